@echo off
rem The Windows test kit: the Win32-layer tests and the end-to-end tests of setup.exe, run on this machine.
rem
rem Start it from a command prompt opened with "Run as administrator", on a Windows 10 or 11 x64 machine that
rem may be thrown away afterwards (Windows 7 SP1 and 8.1 run it too): it installs into C:\DAZov and the system
rem folder as setup.exe does. It writes beside itself run.log (everything shown), wine_tests.xml and
rem e2e_tests.xml (JUnit XML, one per suite), and ends with the line "N passed, M failed"; its exit code is 0
rem only when every test passed. Without administrator rights it refuses with one line and exit code 2.
rem
rem What a batch file cannot do on every Windows (and under Wine's cmd.exe) bin\kit.exe does: the check of
rem the rights, drive M:, the copy of the output into run.log, and the count.
rem Under Wine (tests/kit/run.sh) the ISO image cannot be mounted: the runner lays out drive R: as a CD-ROM
rem drive holding its files and says so in KIT_DISC_ROOT; and links are made by the host (tests/helpers/sides.h).
setlocal EnableExtensions EnableDelayedExpansion
set "KIT=%~dp0"
set "KIT=%KIT:~0,-1%"
set "BIN=%KIT%\bin"
set "LOG=%KIT%\run.log"
set "WORK=%KIT%\work"

"%BIN%\kit.exe" elevated
if errorlevel 1 exit /b 2

del /q "%LOG%" "%KIT%\wine_tests.xml" "%KIT%\e2e_tests.xml" >nul 2>&1
if exist "%WORK%" rmdir /s /q "%WORK%"
mkdir "%WORK%"
call :say run.cmd: the test kit in %KIT%
ver >>"%LOG%"
ver

rem ---- The Win32-layer tests: drive M: is an empty folder of this run (a test starts a program from its root).
mkdir "%WORK%\drive_m"
"%BIN%\kit.exe" drive M: "%WORK%\drive_m" >>"%LOG%" 2>&1
if errorlevel 1 call :say run.cmd: drive M: could not be made for %WORK%\drive_m: is M: taken?
call :say run.cmd: the Win32-layer tests
"%BIN%\kit.exe" tee "%LOG%" "%KIT%\wine\wine_tests.exe" --gtest_color=no "--gtest_output=xml:%KIT%\wine_tests.xml"
set WINE_RC=%errorlevel%
"%BIN%\kit.exe" drive M: >nul 2>&1
rem The shortcut test leaves its shortcut on the desktop; a copy is kept, as the end-to-end tests clean the desktop.
mkdir "%WORK%\desktop"
copy /y "%USERPROFILE%\Desktop\*.lnk" "%WORK%\desktop\" >nul 2>&1

rem ---- The end-to-end tests: the medium, a copy of it with DLLs planted beside setup.exe, the signed medium,
rem and the medium's image as a CD-ROM drive.
set "E2E_SETUP_EXE=%KIT%\medium\setup.exe"
set "E2E_SIGNED_SETUP_EXE=%KIT%\signed-medium\setup.exe"
set "E2E_LNK_DIR=%WORK%\lnk"
set "E2E_PLANTED_DIR=%WORK%\planted-medium"
mkdir "%E2E_PLANTED_DIR%"
xcopy /e /i /q /y "%KIT%\medium" "%E2E_PLANTED_DIR%" >>"%LOG%"
copy /y "%KIT%\e2e\planted_control.exe" "%E2E_PLANTED_DIR%\" >nul
set "E2E_PLANTED_NAMES="
for /f "usebackq eol=# delims=" %%n in ("%KIT%\e2e\planted-names.txt") do (
  copy /y "%KIT%\e2e\planted.dll" "%E2E_PLANTED_DIR%\%%n" >nul
  if defined E2E_PLANTED_NAMES (set "E2E_PLANTED_NAMES=!E2E_PLANTED_NAMES!;%%n") else (set "E2E_PLANTED_NAMES=%%n")
)
set "MOUNTED="
if defined KIT_DISC_ROOT goto :disc_given
call :mount
goto :disc_done
:disc_given
set "E2E_DISC_ROOT=%KIT_DISC_ROOT%"
set "E2E_DISC_SOURCE=%KIT_DISC_SOURCE%"
:disc_done
if not defined E2E_DISC_ROOT goto :no_disc
call :say run.cmd: the disc is at %E2E_DISC_ROOT%: %E2E_DISC_SOURCE%
goto :e2e
:no_disc
call :say run.cmd: medium.iso could not be mounted, and Windows 7 has no Mount-DiskImage: mount or burn it and set KIT_DISC_ROOT=X:\ before run.cmd, or the disc test fails
:e2e
call :say run.cmd: the end-to-end tests (windows open and close by themselves: leave the mouse and keyboard alone)
"%BIN%\kit.exe" tee "%LOG%" "%KIT%\e2e\e2e_tests.exe" --gtest_color=no "--gtest_output=xml:%KIT%\e2e_tests.xml"
set E2E_RC=%errorlevel%
if defined MOUNTED powershell -NoProfile -Command "Dismount-DiskImage -ImagePath '%KIT%\medium.iso'" >nul 2>&1

"%BIN%\kit.exe" summary "%LOG%" "wine_tests=%KIT%\wine_tests.xml=%WINE_RC%" "e2e_tests=%KIT%\e2e_tests.xml=%E2E_RC%"
exit /b %errorlevel%

:mount
set "DISC_LETTER="
for /f "usebackq delims=" %%d in (`powershell -NoProfile -Command "(Mount-DiskImage -ImagePath '%KIT%\medium.iso' -PassThru | Get-Volume).DriveLetter" 2^>nul`) do set "DISC_LETTER=%%d"
if not defined DISC_LETTER goto :eof
set "MOUNTED=1"
set "E2E_DISC_ROOT=%DISC_LETTER%:\"
set "E2E_DISC_SOURCE=medium.iso mounted by Windows"
goto :eof

:say
echo %*
>>"%LOG%" echo %*
goto :eof
