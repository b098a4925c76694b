; The zoripost installer (NSIS 3, 64-bit, Japanese). scripts/windows/package.sh compiles it:
;   makensis -INPUTCHARSET UTF8 -DVERSION=0.1.0.0 -DSTAGING=<folder> -DOUTFILE=<setup.exe>
;            -DFILES=<files.nsh> -DUNFILES=<unfiles.nsh> [-DICON=<zoripost.ico>] installer.nsi
; FILES installs the staging folder's files one by one and UNFILES removes exactly those, so
; that the uninstaller never deletes what it did not put there.
;
; For the current user (the default) into %LOCALAPPDATA%\Programs\zoripost, or for all users
; into %ProgramFiles%\zoripost. Silent: setup.exe /S [/AllUsers | /CurrentUser] [/D=folder].
; The user's settings (%APPDATA%\zoripost) and working pictures are left alone on uninstall.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!ifndef VERSION | STAGING | OUTFILE | FILES | UNFILES
  !error "VERSION, STAGING, OUTFILE, FILES and UNFILES must be given with -D"
!endif

!define PRODUCT "zoripost"
!define PUBLISHER "zoripost developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define APP_KEY "Software\Classes\Applications\${PRODUCT}.exe"
!define PROGID "zoripost.picture"

Name "${PRODUCT}"
Caption "${PRODUCT} ${VERSION} セットアップ"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=1041 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1041 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1041 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1041 "FileDescription" "${PRODUCT} ${VERSION} セットアップ"
VIAddVersionKey /LANG=1041 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1041 "LegalCopyright" "Copyright © 2026 ${PUBLISHER}"

; Per user or for all users; /AllUsers and /CurrentUser on the command line; the folder of an
; earlier installation is offered again.
!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_DEFAULT_CURRENTUSER
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR "${PRODUCT}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!include MultiUser.nsh
!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh

!ifdef ICON
  !define MUI_ICON "${ICON}"
  !define MUI_UNICON "${ICON}"
!endif
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\zoripost.exe"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\docs\guide.html"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "使い方を開く"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED

!insertmacro MUI_PAGE_WELCOME
!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"

; The picture types the program reads on Windows, offered in Explorer's "プログラムから開く".
!macro ZP_PICTURE_TYPES MACRO
  !insertmacro ${MACRO} ".jpg"
  !insertmacro ${MACRO} ".jpeg"
  !insertmacro ${MACRO} ".png"
  !insertmacro ${MACRO} ".gif"
  !insertmacro ${MACRO} ".bmp"
!macroend
!macro ZP_OPEN_WITH EXT
  WriteRegStr SHCTX "${APP_KEY}\SupportedTypes" "${EXT}" ""
  WriteRegStr SHCTX "Software\Classes\${EXT}\OpenWithProgids" "${PROGID}" ""
!macroend
!macro ZP_NO_OPEN_WITH EXT
  DeleteRegValue SHCTX "Software\Classes\${EXT}\OpenWithProgids" "${PROGID}"
  DeleteRegKey /ifempty SHCTX "Software\Classes\${EXT}\OpenWithProgids"
  DeleteRegKey /ifempty SHCTX "Software\Classes\${EXT}"
!macroend

; A running copy holds a mutex named after its executable's file name; its files cannot be
; replaced or removed while it runs. The user is asked to end it; a silent run ends with
; exit code 2 and touches nothing.
!macro ZP_WAIT_FOR_NO_RUNNING_COPY
  ${Do}
    System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${PRODUCT}.exe") p .r9'
    ${If} $9 == 0
      ${Break}
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r9)'
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "${PRODUCT} が起動しています。終了してから「再試行」を押してください。" \
      /SD IDCANCEL IDRETRY zp_retry
    SetErrorLevel 2
    Quit
    zp_retry:
  ${Loop}
!macroend

Function .onInit
  !insertmacro MULTIUSER_INIT
  !insertmacro ZP_WAIT_FOR_NO_RUNNING_COPY
FunctionEnd

Function un.onInit
  !insertmacro MULTIUSER_UNINIT
  !insertmacro ZP_WAIT_FOR_NO_RUNNING_COPY
  ; The uninstaller serves the installation it lies in, whatever the command line says.
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    Call un.MultiUser.InstallMode.AllUsers
  ${Else}
    Call un.MultiUser.InstallMode.CurrentUser
  ${EndIf}
FunctionEnd

Section "zoripost" SecMain
  SectionIn RO
  ; An earlier version in the same folder goes first, by its own list of files.
  ${If} ${FileExists} "$INSTDIR\uninstall.exe"
    ExecWait '"$INSTDIR\uninstall.exe" /S _?=$INSTDIR'
    Delete "$INSTDIR\uninstall.exe"
  ${EndIf}

  !include "${FILES}"
  SetOutPath "$INSTDIR"
  ; The program knows an installed copy by this file beside it.
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\zoripost.lnk" "$INSTDIR\zoripost.exe" "" "$INSTDIR\zoripost.exe" 0 \
    SW_SHOWNORMAL "" "画像を携帯電話へメールで送ります"

  ; "Open with": the program and the picture types it takes, in the hive of this installation.
  WriteRegStr SHCTX "${APP_KEY}" "FriendlyAppName" "zoripost"
  WriteRegStr SHCTX "${APP_KEY}\DefaultIcon" "" "$INSTDIR\zoripost.exe,0"
  WriteRegStr SHCTX "${APP_KEY}\shell\open\command" "" '"$INSTDIR\zoripost.exe" "%1"'
  WriteRegStr SHCTX "Software\Classes\${PROGID}" "" "zoripost で送る画像"
  WriteRegStr SHCTX "Software\Classes\${PROGID}" "FriendlyTypeName" "画像"
  WriteRegStr SHCTX "Software\Classes\${PROGID}\DefaultIcon" "" "$INSTDIR\zoripost.exe,0"
  WriteRegStr SHCTX "Software\Classes\${PROGID}\shell\open" "FriendlyAppName" "zoripost"
  WriteRegStr SHCTX "Software\Classes\${PROGID}\shell\open\command" "" '"$INSTDIR\zoripost.exe" "%1"'
  !insertmacro ZP_PICTURE_TYPES ZP_OPEN_WITH
  ; "zoripost" typed in the Run box starts the program.
  WriteRegStr SHCTX "Software\Microsoft\Windows\CurrentVersion\App Paths\zoripost.exe" "" "$INSTDIR\zoripost.exe"
  WriteRegStr SHCTX "Software\Microsoft\Windows\CurrentVersion\App Paths\zoripost.exe" "Path" "$INSTDIR"

  ; "アプリと機能" (Add/Remove Programs).
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "zoripost"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\zoripost.exe,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0

  ; Explorer rereads the file associations.
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

Section "Uninstall"
  !include "${UNFILES}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  Delete "$SMPROGRAMS\zoripost.lnk"
  !insertmacro ZP_PICTURE_TYPES ZP_NO_OPEN_WITH
  DeleteRegKey SHCTX "${APP_KEY}"
  DeleteRegKey SHCTX "Software\Classes\${PROGID}"
  DeleteRegKey SHCTX "Software\Microsoft\Windows\CurrentVersion\App Paths\zoripost.exe"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd
