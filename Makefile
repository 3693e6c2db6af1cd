# make demo   builds, lays out dist/medium and runs setup.exe under Wine (screenshots without a display)
# make test   native unit tests, Win32-layer tests under Wine, end-to-end tests of setup.exe under Wine, and a
#             short check of the virtual machine that runs Wine on kernels without 32-bit code
# make dist   dist/medium (setup.exe with Package/ beside it) and dist/medium.iso (PACKAGE=/path for a
#             publisher's own Package folder)
# make windows-kit  dist/windows-kit/ and dist/windows-kit.zip: both Windows-side suites and the medium, with
#             run.cmd, for a Windows machine (README: "The Windows test kit"); make test runs it under Wine
# Windows programs run under Wine 10 in a Debian 13 root of their own (scripts/wine-root.sh), made by `make deps`.
SHELL := /bin/bash
PACKAGE ?=
WERROR ?= OFF
JOBS ?= 2
# The signing password is never a make variable: make hands its variables from the command line (in MAKEFLAGS
# too) and from the environment to every recipe, apt, the Wine root, cmake and the compilers among them. It comes
# in a file named by SIGN_PASSWORD_FILE, which only openssl and osslsigncode read (scripts/sign.sh). Refused
# here, while the Makefile is read, so that no recipe has run with it.
ifneq ($(origin SIGN_PASSWORD),undefined)
$(error SIGN_PASSWORD is refused (from the $(origin SIGN_PASSWORD)): put the password in a file only you can read and name it with SIGN_PASSWORD_FILE=path)
endif

.PHONY: all deps native x86 dist windows-kit test unit-test unit-test-asan wine-test e2e-test kit-test demo bench clean

all: dist

deps:
	@scripts/install-deps.sh

native: deps
	cmake --preset native -DSETUP_WERROR=$(WERROR) >/dev/null
	cmake --build build/native -j$(JOBS)

x86: deps
	cmake --preset x86 -DSETUP_WERROR=$(WERROR) >/dev/null
	cmake --build build/x86 -j$(JOBS)

dist: x86
	SIGN_CERT="$(SIGN_CERT)" SIGN_KEY="$(SIGN_KEY)" SIGN_PKCS12="$(SIGN_PKCS12)" SIGN_PASSWORD_FILE="$(SIGN_PASSWORD_FILE)" \
	  SIGN_TIMESTAMP_URL="$(SIGN_TIMESTAMP_URL)" scripts/make-dist.sh "$(PACKAGE)"

windows-kit: dist
	scripts/make-windows-kit.sh

unit-test: native
	ctest --test-dir build/native --output-on-failure

# The unit tests again with AddressSanitizer and UndefinedBehaviorSanitizer (build/native-asan); without the
# vptr check, which needs the RTTI the product is built without.
unit-test-asan: deps
	cmake --preset native-asan -DSETUP_WERROR=$(WERROR) >/dev/null
	cmake --build build/native-asan -j$(JOBS)
	ctest --test-dir build/native-asan --output-on-failure

wine-test: x86
	tests/wine/run.sh build/x86

e2e-test: dist
	tests/e2e/run.sh build/x86

kit-test: windows-kit
	tests/kit/run.sh build/x86 dist/windows-kit.zip

test: unit-test unit-test-asan windows-kit
	scripts/check-layers.py
	tests/layers/run.sh
	tests/dist/check-dist.sh dist
	tests/dist/sign-test.sh
	tests/kit/run.sh build/x86 dist/windows-kit.zip
	tests/vm/check.sh build/x86

demo: dist
	scripts/demo.sh

bench: x86
	bench/run.sh

clean:
	rm -rf build dist out
