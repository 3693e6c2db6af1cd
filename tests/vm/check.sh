#!/usr/bin/env bash
# The virtual machine's path, checked on any machine: tests/vm/check.sh [BUILD_DIR]
#
# Where the kernel runs 32-bit code, every other test runs Wine natively; this one keeps the path that kernels
# without 32-bit code take (scripts/wine-vm.sh) from breaking unseen. It takes the virtual machine
# (SETUP_WINE_VM=1) with software emulation, as those machines have it even where /dev/kvm exists, starts the
# medium's setup.exe there to its menu, ends it with 終了 and checks that it ended with exit code 0: the
# end-to-end test Setup.ExitButtonEndsTheProgram, whose run also checks that the program is the shipped 32-bit
# build, run under WoW64. Exits non-zero when any of it fails.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
start=$SECONDS
SETUP_WINE_VM=1 "$root/tests/e2e/run.sh" "${1:-$root/build/x86}" --gtest_filter=Setup.ExitButtonEndsTheProgram
status=$?
if ((status == 0)); then
  echo "vm-check: setup.exe started to its menu and ended with 0 in the virtual machine ($((SECONDS - start)) s)"
else
  echo "vm-check: FAILED (status $status): the virtual machine's path is broken ($((SECONDS - start)) s)"
fi
exit "$status"
