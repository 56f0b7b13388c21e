; The Windows installer of Varden: installs the 64-bit programs on 64-bit Windows and the
; 32-bit ones elsewhere, for all users, with Start menu shortcuts, an entry in Apps & features
; and an uninstaller.
;
; makensis -DVERSION=1.08 -DWIN64DIR=<64-bit files> -DWIN32DIR=<32-bit files>
;          -DOUTFILE=<setup.exe> [-DTARGET=amd64-unicode] varden.nsi
; Each files folder holds varden.exe, varden-demo.exe, kelvane.chm, kelvanej.chm, README.txt
; and LICENSE.txt. The installer itself is a 32-bit program, so that it runs on every Windows;
; TARGET builds it for another processor instead (a 64-bit installer for 64-bit-only hosts).

!ifdef TARGET
Target ${TARGET}
; On a 64-bit processor the 32-bit branches below are never taken.
!pragma warning disable 6012
!else
Unicode true
!endif

!include LogicLib.nsh
!include x64.nsh
!include FileFunc.nsh

!define PRODUCT "Varden"
!define PUBLISHER "The Varden developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Varden"
!define MENU_FOLDER "$SMPROGRAMS\Varden"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ManifestDPIAware true
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "Copyright 2026 ${PUBLISHER} (MIT License)"

LicenseData "${WIN64DIR}\LICENSE.txt"
Page license
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; The system's own view of Program Files and of the registry, for all users; a folder given
; with /D= is kept.
Function .onInit
  SetShellVarContext all
  ${If} ${RunningX64}
    SetRegView 64
    ${If} $INSTDIR == ""
      StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
    ${EndIf}
  ${ElseIf} $INSTDIR == ""
    StrCpy $INSTDIR "$PROGRAMFILES32\${PRODUCT}"
  ${EndIf}
FunctionEnd

Function un.onInit
  SetShellVarContext all
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
FunctionEnd

Section "Varden"
  SetOutPath "$INSTDIR"
  ${If} ${RunningX64}
    File "${WIN64DIR}\varden.exe" "${WIN64DIR}\varden-demo.exe"
  ${Else}
    File "${WIN32DIR}\varden.exe" "${WIN32DIR}\varden-demo.exe"
  ${EndIf}
  File "${WIN64DIR}\kelvane.chm" "${WIN64DIR}\kelvanej.chm" "${WIN64DIR}\README.txt" \
       "${WIN64DIR}\LICENSE.txt"
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
