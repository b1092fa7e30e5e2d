; The Windows installer of Varnek Test, made by scripts/windows-app.sh with
; makensis: -DVERSION=<version> -DFILES=<install list> -DUNFILES=<remove list>
; -DICON=<.ico> -DOUTFILE=<setup.exe>. The lists name every file of the
; program's folder, so the uninstaller removes exactly what was installed and
; never the user's own %APPDATA%\Varnek Test (settings, logs, backups).
; A 64-bit installer for the 64-bit program (also what a Wine without 32-bit
; support runs).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!define NAME "Varnek Test"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VarnekTest"

Name "${NAME} ${VERSION}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
InstallDir "$PROGRAMFILES64\${NAME}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show

LoadLanguageFile "${NSISDIR}\Contrib\Language files\Russian.nlf"
LoadLanguageFile "${NSISDIR}\Contrib\Language files\English.nlf"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  ; The uninstall entry in the 64-bit registry, where Windows lists 64-bit programs.
  SetRegView 64
FunctionEnd

Section "Install"
  SetShellVarContext all
  CreateDirectory "$INSTDIR"
  !include "${FILES}"
  SetOutPath "$INSTDIR"
  ; Its presence tells the program it is installed: settings and logs then go
  ; to %APPDATA%\Varnek Test even when its folder is writable.
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\varnek-test.exe" "" "$INSTDIR\varnek-test.exe" 0
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\varnek-test.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\${NAME}.lnk"
  !include "${UNFILES}"
  Delete "$INSTDIR\uninstall.exe"
  ; Only an empty folder goes: a cfg.ini or Loader.dat the user put there stays.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
