; The Windows installer of Trevasto (64-bit), built with makensis by
; scripts/package-windows:
;   makensis -DVERSION=1.0.14 -DPROGRAM=/abs/trevasto.exe -DDEPLOYMENT=/abs/deployment.conf
;            -DOUTFILE=/abs/trevasto-setup.exe trevasto.nsi
; (makensis works in this script's folder: relative paths start there).
; It installs the program and its deployment file in the layout the program
; looks for (bin\trevasto.exe, etc\trevasto\deployment.conf), a Start-menu
; entry and an uninstaller, and registers the key files (.qvnkey) so that
; opening one starts Trevasto with its path. /S installs without a window.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "LogicLib.nsh"
!include "x64.nsh"

!define PRODUCT "Trevasto"
!define FILE_TYPE "Trevasto.DownloadKey"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Trevasto"

Name "${PRODUCT}"
; The program's own icon, for the installer and the uninstaller.
Icon "..\..\app\win32\trevasto.ico"
UninstallIcon "..\..\app\win32\trevasto.ico"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Trevasto"
  SetShellVarContext all
  SetOutPath "$INSTDIR\bin"
  File "/oname=trevasto.exe" "${PROGRAM}"
  ; The service and key table are this machine's: a deployment file already
  ; set up is kept on reinstalling.
  SetOutPath "$INSTDIR\etc\trevasto"
  SetOverwrite off
  File "/oname=deployment.conf" "${DEPLOYMENT}"
  SetOverwrite on

  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\bin\trevasto.exe"

  ; The key files: opening one starts Trevasto with its path.
  WriteRegStr HKLM "Software\Classes\.qvnkey" "" "${FILE_TYPE}"
  WriteRegStr HKLM "Software\Classes\.qvnkey" "Content Type" "application/x-trevasto-key"
  WriteRegStr HKLM "Software\Classes\${FILE_TYPE}" "" "Trevasto download key"
  WriteRegStr HKLM "Software\Classes\${FILE_TYPE}\DefaultIcon" "" "$INSTDIR\bin\trevasto.exe,0"
  WriteRegStr HKLM "Software\Classes\${FILE_TYPE}\shell" "" "open"
  WriteRegStr HKLM "Software\Classes\${FILE_TYPE}\shell\open\command" "" \
    '"$INSTDIR\bin\trevasto.exe" "%1"'

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\bin\trevasto.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  ; Explorer shows the new file type without a restart.
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  ; Only a type that is still ours is taken away.
  ReadRegStr $0 HKLM "Software\Classes\.qvnkey" ""
  ${If} $0 == "${FILE_TYPE}"
    DeleteRegKey HKLM "Software\Classes\.qvnkey"
  ${EndIf}
  DeleteRegKey HKLM "Software\Classes\${FILE_TYPE}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  Delete "$INSTDIR\bin\trevasto.exe"
  RMDir "$INSTDIR\bin"
  ; The deployment file is the machine's own settings; it stays, as a
  ; Debian package's configuration file does until it is purged.
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd
