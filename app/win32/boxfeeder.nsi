; The Windows installer: boxfeeder.exe (the window) and boxfeed.exe (the
; command line) in Program Files, a Start-menu entry and an uninstaller.
; makensis is given VERSION, WINDOW_EXE, COMMAND_EXE, README and OUTFILE.
; A 64-bit installer for 64-bit programs: it also runs where no 32-bit
; Windows layer is installed (Wine without wine32).
Target amd64-unicode
SetCompressor /SOLID lzma

Name "BoxFeeder ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\BoxFeeder"
RequestExecutionLevel admin
ShowInstDetails show

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\BoxFeeder"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "BoxFeeder"
  SetOutPath "$INSTDIR"
  File "/oname=boxfeeder.exe" "${WINDOW_EXE}"
  File "/oname=boxfeed.exe" "${COMMAND_EXE}"
  File "/oname=README.txt" "${README}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateDirectory "$SMPROGRAMS\BoxFeeder"
  CreateShortcut "$SMPROGRAMS\BoxFeeder\BoxFeeder.lnk" "$INSTDIR\boxfeeder.exe"
  CreateShortcut "$SMPROGRAMS\BoxFeeder\Uninstall BoxFeeder.lnk" "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "BoxFeeder"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "the BoxFeeder developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\boxfeeder.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Delete "$INSTDIR\boxfeeder.exe"
  Delete "$INSTDIR\boxfeed.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$SMPROGRAMS\BoxFeeder\BoxFeeder.lnk"
  Delete "$SMPROGRAMS\BoxFeeder\Uninstall BoxFeeder.lnk"
  RMDir "$SMPROGRAMS\BoxFeeder"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
