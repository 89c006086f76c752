; The Windows installer: boxfeeder.exe (the window) and boxfeed.exe (the
; command line), for all users (Program Files, admin) or for the current
; user alone (no admin), with Start-menu entries for the window and for a
; console with boxfeed ready, .sdl files opened by the window, boxfeed on
; PATH when asked, and an uninstaller that takes all of it away again.
; The folder is remembered: a later install, an upgrade, goes where the
; first went.
;   makensis is given VERSION, WINDOW_EXE, COMMAND_EXE, README and OUTFILE.
;   Silent: setup.exe /S [/AllUsers | /CurrentUser] [/PATH] [/D=folder]
; A 64-bit installer for 64-bit programs: it also runs where no 32-bit
; Windows layer is installed (Wine without wine32).
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!define PRODUCT "BoxFeeder"
!define SETTINGS_KEY "Software\BoxFeeder"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\BoxFeeder"
!define IMAGE_CLASS "BoxFeeder.Image"
!define USER_ENVIRONMENT "Environment"
!define MACHINE_ENVIRONMENT "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR "${PRODUCT}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${SETTINGS_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallDir"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${SETTINGS_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "InstallDir"
!include MultiUser.nsh
!include MUI2.nsh
!include FileFunc.nsh
!include WordFunc.nsh
!include LogicLib.nsh
!include Sections.nsh

Name "${PRODUCT} ${VERSION}"
; The pages' foot names the product, not the installer's maker.
BrandingText "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
ShowInstDetails show
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} installer"
VIAddVersionKey "CompanyName" "the BoxFeeder developers"
VIAddVersionKey "LegalCopyright" "(c) 2026 the BoxFeeder developers"

!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
; The last page offers to start the window.
!define MUI_FINISHPAGE_RUN "$INSTDIR\boxfeeder.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT}"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Var GivenFolder  ; from /D=, which the install mode would otherwise replace


Function un.onInit
  SetRegView 64
  !insertmacro MULTIUSER_UNINIT
FunctionEnd

; Tells Explorer and running programs that file types or PATH changed.
!macro AnnounceChanges
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=2000
!macroend

Section "BoxFeeder (required)" SectionProgram
  SectionIn RO
  ; A folder of programs this install makes goes with its uninstall.
  ${GetParent} "$INSTDIR" $0
  ${IfNot} ${FileExists} "$0\*.*"
    WriteRegStr SHCTX "${SETTINGS_KEY}" "MadeFolder" "$0"
  ${EndIf}
  SetOutPath "$INSTDIR"
  File "/oname=boxfeeder.exe" "${WINDOW_EXE}"
  File "/oname=boxfeed.exe" "${COMMAND_EXE}"
  File "/oname=README.txt" "${README}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr SHCTX "${SETTINGS_KEY}" "InstallDir" "$INSTDIR"

  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\BoxFeeder.lnk" "$INSTDIR\boxfeeder.exe"
  ; A console where boxfeed answers by name, in the user's documents.
  SetOutPath "$DOCUMENTS"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\BoxFeeder command line.lnk" "$SYSDIR\cmd.exe" \
    '/K TITLE BoxFeeder console& PATH $INSTDIR;%PATH%& boxfeed --help' "$INSTDIR\boxfeed.exe"
  SetOutPath "$INSTDIR"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\Uninstall BoxFeeder.lnk" "$INSTDIR\uninstall.exe" \
    "/$MultiUser.InstallMode"

  ; .sdl files open in the window, with the image chosen.
  WriteRegStr SHCTX "Software\Classes\.sdl" "" "${IMAGE_CLASS}"
  WriteRegStr SHCTX "Software\Classes\${IMAGE_CLASS}" "" "BoxFeeder image"
  WriteRegStr SHCTX "Software\Classes\${IMAGE_CLASS}\DefaultIcon" "" "$INSTDIR\boxfeeder.exe,0"
  WriteRegStr SHCTX "Software\Classes\${IMAGE_CLASS}\shell\open\command" "" '"$INSTDIR\boxfeeder.exe" "%1"'

  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "the BoxFeeder developers"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\boxfeeder.exe"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S /$MultiUser.InstallMode'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
  !insertmacro AnnounceChanges
SectionEnd

Section /o "Put boxfeed on PATH" SectionPath
  ${If} $MultiUser.InstallMode == "AllUsers"
    ReadRegStr $0 HKLM "${MACHINE_ENVIRONMENT}" "Path"
  ${Else}
    ReadRegStr $0 HKCU "${USER_ENVIRONMENT}" "Path"
  ${EndIf}
  ; Once only: an upgrade over an install with PATH finds it there.
  ${WordAdd} "$0" ";" "+$INSTDIR" $0
  ${If} $MultiUser.InstallMode == "AllUsers"
    WriteRegExpandStr HKLM "${MACHINE_ENVIRONMENT}" "Path" "$0"
  ${Else}
    WriteRegExpandStr HKCU "${USER_ENVIRONMENT}" "Path" "$0"
  ${EndIf}
  WriteRegDWORD SHCTX "${SETTINGS_KEY}" "OnPath" 1
  !insertmacro AnnounceChanges
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SectionProgram} "The window, boxfeed, Start-menu entries and .sdl files opened by the window."
  !insertmacro MUI_DESCRIPTION_TEXT ${SectionPath} "Lets any console run boxfeed by name."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Function .onInit
  SetRegView 64
  StrCpy $GivenFolder $INSTDIR
  !insertmacro MULTIUSER_INIT
  ${If} $GivenFolder != ""
    StrCpy $INSTDIR $GivenFolder
  ${EndIf}
  ; /PATH puts boxfeed on PATH in a silent install too.
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/PATH" $R1
  ${IfNot} ${Errors}
    SectionSetFlags ${SectionPath} ${SF_SELECTED}
  ${EndIf}
  ; Installed over an install that put boxfeed on PATH: ticked again.
  ReadRegDWORD $R1 SHCTX "${SETTINGS_KEY}" "OnPath"
  ${If} $R1 == 1
    SectionSetFlags ${SectionPath} ${SF_SELECTED}
  ${EndIf}
FunctionEnd

Section "Uninstall"
  Delete "$INSTDIR\boxfeeder.exe"
  Delete "$INSTDIR\boxfeed.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$SMPROGRAMS\${PRODUCT}\BoxFeeder.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\BoxFeeder command line.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Uninstall BoxFeeder.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"

  ; PATH loses this folder, and only it.
  ReadRegDWORD $1 SHCTX "${SETTINGS_KEY}" "OnPath"
  ${If} $1 == 1
    ${If} $MultiUser.InstallMode == "AllUsers"
      ReadRegStr $0 HKLM "${MACHINE_ENVIRONMENT}" "Path"
    ${Else}
      ReadRegStr $0 HKCU "${USER_ENVIRONMENT}" "Path"
    ${EndIf}
    ${un.WordAdd} "$0" ";" "-$INSTDIR" $0
    ${If} $MultiUser.InstallMode == "AllUsers"
      WriteRegExpandStr HKLM "${MACHINE_ENVIRONMENT}" "Path" "$0"
    ${ElseIf} $0 == ""
      DeleteRegValue HKCU "${USER_ENVIRONMENT}" "Path"
    ${Else}
      WriteRegExpandStr HKCU "${USER_ENVIRONMENT}" "Path" "$0"
    ${EndIf}
  ${EndIf}

  ; The file type, if it is still ours.
  ReadRegStr $0 SHCTX "Software\Classes\.sdl" ""
  ${If} $0 == "${IMAGE_CLASS}"
    DeleteRegKey SHCTX "Software\Classes\.sdl"
  ${EndIf}
  DeleteRegKey SHCTX "Software\Classes\${IMAGE_CLASS}"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  ReadRegStr $2 SHCTX "${SETTINGS_KEY}" "MadeFolder"
  DeleteRegKey SHCTX "${SETTINGS_KEY}"
  !insertmacro AnnounceChanges
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  ; The folder of programs the install made (AppData\Local\Programs),
  ; where it is empty now.
  ${If} $2 != ""
    RMDir "$2"
  ${EndIf}
SectionEnd
