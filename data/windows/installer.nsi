; Velomat's installer for Windows: per user, without an administrator, into
; %LOCALAPPDATA%\Programs\Velomat. The Start-menu entries start the programs in %APPDATA%\Velomat, so
; that settings.vlm is kept there and never in the programs' folder. The uninstaller removes what it
; installed and leaves the user's settings alone.
; makensis -DVERSION=1.5 -DSTAGE=<folder with the programs> -DFILES=<File lines>
;          -DUNFILES=<Delete lines> -DOUTFILE=<setup.exe> installer.nsi
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!include "MUI2.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velomat"

Name "Velomat ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Velomat"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=1031 "ProductName" "Velomat"
VIAddVersionKey /LANG=1031 "FileDescription" "Velomat ${VERSION} einrichten"
VIAddVersionKey /LANG=1031 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1031 "LegalCopyright" "GNU General Public License, Version 3"

!define MUI_ICON "${STAGE}\velomat.ico"
!define MUI_UNICON "${STAGE}\velomat.ico"
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "German"

Section
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  !include "${FILES}"
  WriteUninstaller "$INSTDIR\Deinstallieren.exe"

  ; The shortcuts take the folder that SetOutPath names as their working folder.
  CreateDirectory "$APPDATA\Velomat"
  SetOutPath "$APPDATA\Velomat"
  CreateShortCut "$SMPROGRAMS\Velomat.lnk" "$INSTDIR\velomat.exe" "" "$INSTDIR\velomat.exe" 0
  CreateShortCut "$SMPROGRAMS\Velomat Simulation.lnk" "$INSTDIR\velomat-sim.exe" "" \
    "$INSTDIR\velomat-sim.exe" 0

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Velomat"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\velomat.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Velomat"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Deinstallieren.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Deinstallieren.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext current
  Delete "$SMPROGRAMS\Velomat.lnk"
  Delete "$SMPROGRAMS\Velomat Simulation.lnk"
  ; Only what the installer put there: a file of the user's in the folder keeps it, and
  ; %APPDATA%\Velomat with settings.vlm is not touched.
  !include "${UNFILES}"
  Delete "$INSTDIR\Deinstallieren.exe"
  RMDir "$INSTDIR\platforms"
  RMDir "$INSTDIR\styles"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
