; The Windows installer of Varden: installs the 64-bit programs for all users, with Start menu
; shortcuts, an entry in Apps & features and an uninstaller. The installer is itself an x86-64
; program (64-bit Windows only), so the file published is the file the checks install and start.
;
; makensis -DVERSION=<version> -DFILES=<folder> -DOUTFILE=<setup.exe> varden.nsi
; The files folder holds varden.exe, varden-demo.exe, kelvane.chm, kelvanej.chm, README.txt
; and LICENSE.txt (the win64 zip's folder).

Target amd64-unicode

!include FileFunc.nsh

!define PRODUCT "Varden"
!define PUBLISHER "The Varden developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Varden"
!define MENU_FOLDER "$SMPROGRAMS\Varden"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
InstallDir "$PROGRAMFILES64\${PRODUCT}"
ManifestDPIAware true
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "Copyright 2026 ${PUBLISHER} (MIT License)"

LicenseData "${FILES}\LICENSE.txt"
Page license
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; For all users; a 64-bit program sees the 64-bit Program Files and registry by itself.
Function .onInit
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetShellVarContext all
FunctionEnd

Section "Varden"
  SetOutPath "$INSTDIR"
  File "${FILES}\varden.exe" "${FILES}\varden-demo.exe" "${FILES}\kelvane.chm" \
       "${FILES}\kelvanej.chm" "${FILES}\README.txt" "${FILES}\LICENSE.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "${MENU_FOLDER}"
  CreateShortcut "${MENU_FOLDER}\Varden.lnk" "$INSTDIR\varden.exe"
  CreateShortcut "${MENU_FOLDER}\Varden demo.lnk" "$INSTDIR\varden-demo.exe"
  CreateShortcut "${MENU_FOLDER}\Varden help.lnk" "$INSTDIR\kelvane.chm"
  CreateShortcut "${MENU_FOLDER}\Varden help (Japanese).lnk" "$INSTDIR\kelvanej.chm"

  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\varden.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Delete "${MENU_FOLDER}\Varden.lnk"
  Delete "${MENU_FOLDER}\Varden demo.lnk"
  Delete "${MENU_FOLDER}\Varden help.lnk"
  Delete "${MENU_FOLDER}\Varden help (Japanese).lnk"
  RMDir "${MENU_FOLDER}"

  Delete "$INSTDIR\varden.exe"
  Delete "$INSTDIR\varden-demo.exe"
  Delete "$INSTDIR\kelvane.chm"
  Delete "$INSTDIR\kelvanej.chm"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
