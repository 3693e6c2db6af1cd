; The peer for the benchmark: setup.exe's install job written as an ordinary NSIS installer (Modern UI, a
; license page, then the install page with its progress bar). Nothing of the package is inside it: every
; file is taken at run time from the Package folder beside the installer, as setup.exe does.
; Build: makensis -DOUTFILE=<path> peer.nsi
Unicode true
Target amd64-unicode
!ifndef OUTFILE
  !define OUTFILE peer_setup.exe
!endif

!include "MUI2.nsh"

Name "≪ホルンデ≫サンプル版"
Caption "≪ホルンデ≫サンプル版のセットアップ"
OutFile "${OUTFILE}"
InstallDir "C:\DAZov"
RequestExecutionLevel admin
ShowInstDetails show
; No auto-close: the install page stays with its bar at the end, as an NSIS user sees it.

!define MUI_ICON "${NSISDIR}\Contrib\Graphics\Icons\modern-install.ico"
!insertmacro MUI_PAGE_LICENSE "peer_license.txt"
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"

!macro PlaceComponent NAME REGISTER
  CopyFiles /SILENT "$EXEDIR\Package\${NAME}" "$SYSDIR"
  !if "${REGISTER}" == "1"
    Exec '"$SYSDIR\REGSVR32.exe" /s ${NAME}'
  !endif
!macroend

Function .onInit
  ; Like setup.exe, the progress-bar control is placed and registered before the first page shows.
  !insertmacro PlaceComponent "mscomctl.ocx" 1
FunctionEnd

Section "Install"
  SetShellVarContext current
  IfFileExists "C:\DAZov\*.*" 0 create
    MessageBox MB_YESNO|MB_ICONQUESTION "既に≪ホルンデ≫サンプル版がセットアップされています。$\r$\nセットアップを継続すると、既存の≪ホルンデ≫サンプル版と入力したデータは全て削除されます。$\r$\nセットアップを継続しますか？" IDYES go
    Abort
  create:
  CreateDirectory "C:\DAZov"
  go:
  CopyFiles /SILENT "$EXEDIR\Package\rudize.exe" "C:\DAZov\setup.exe"
  ExecWait '"C:\DAZov\setup.exe"'
  Delete "C:\DAZov\setup.exe"

  SetOutPath "C:\DAZov"  ; the shortcuts' working folder
  CreateShortCut "$DESKTOP\ホルンデ.lnk" "C:\DAZov\DAZov.mde" "" "C:\DAZov\Work\ZEL.ico" 0 SW_SHOWNORMAL "" "ホルンデ"
  CreateShortCut "$SMPROGRAMS\ホルンデ.lnk" "C:\DAZov\DAZov.mde" "" "C:\DAZov\Work\ZEL.ico" 0 SW_SHOWNORMAL "" "ホルンデ"

  !insertmacro PlaceComponent "comdlg32.ocx" 1
  !insertmacro PlaceComponent "mscomct2.ocx" 1
  !insertmacro PlaceComponent "MSCC2JP.DLL" 0
  !insertmacro PlaceComponent "TransLh6.ocx" 1
  !insertmacro PlaceComponent "MSMAPI32.OCX" 1
  !insertmacro PlaceComponent "MSMPIJP.DLL" 0
  !insertmacro PlaceComponent "UNLHA32.DLL" 0
  !insertmacro PlaceComponent "vb6jp.DLL" 0
  !insertmacro PlaceComponent "RoVur.dll" 0
  !insertmacro PlaceComponent "ZozuvOvero.dll" 1

  Exec '"C:\DAZov\Info\Ruvok.exe" /i'
  Delete "C:\DAZov\setup.exe"
  MessageBox MB_OK|MB_ICONINFORMATION "≪ホルンデ≫サンプル版のセットアップが完了しました。"
SectionEnd
