; The setup program: installs the Windows build that fits the system (the
; 64-bit programs where Windows is 64-bit, the 32-bit ones otherwise) into
; its Program Files folder, a Start-menu shortcut to the window, and an
; uninstaller registered in Add/Remove Programs. /S installs and uninstalls
; silently; /D=FOLDER (last on the command line) chooses the folder.
;
; Made by scripts/package-windows with Debian's makensis:
;   makensis -DVERSION=0.9.0 -DWIN32_DIR=... -DWIN64_DIR=... -DOUTFILE=... vantrel.nsi
; WIN32_DIR and WIN64_DIR hold each build's vantrel.exe, vantrel-cli.exe,
; README.txt and licences\. TARGET (default x86-unicode, which runs on every
; Windows from XP SP3 on) may name another of makensis's targets; the tests
; build an amd64-unicode setup where only 64-bit programs can run.

!macro Needs NAME
  !ifndef ${NAME}
    !error "makensis -D${NAME}=... is needed"
  !endif
!macroend
!insertmacro Needs VERSION
!insertmacro Needs WIN32_DIR
!insertmacro Needs WIN64_DIR
!insertmacro Needs OUTFILE
!ifndef TARGET
  !define TARGET x86-unicode
!endif
Target ${TARGET}

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "x64.nsh"

!define PRODUCT "Vantrel"
!define PUBLISHER "The Vantrel project"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vantrel"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ManifestDPIAware true

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "OriginalFilename" "vantrel-${VERSION}-setup.exe"

; makensis works in this folder: the icon beside the script.
!define MUI_ICON "vantrel.ico"
!define MUI_UNICON "vantrel.ico"
!define MUI_FINISHPAGE_RUN "$INSTDIR\vantrel.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start Vantrel"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The registry view and Program Files folder of the system's own kind.
!macro UseSystemView
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
  SetShellVarContext all
!macroend

Function .onInit
  !insertmacro UseSystemView
  ; /D= on the command line has set $INSTDIR already.
  ${If} $INSTDIR == ""
    ${If} ${RunningX64}
      StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
    ${Else}
      StrCpy $INSTDIR "$PROGRAMFILES\${PRODUCT}"
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "Vantrel"
  SetOutPath "$INSTDIR"
  ${If} ${RunningX64}
    File "${WIN64_DIR}/vantrel.exe"
    File "${WIN64_DIR}/vantrel-cli.exe"
    File "${WIN64_DIR}/README.txt"
    File /r "${WIN64_DIR}/licences"
  ${Else}
    File "${WIN32_DIR}/vantrel.exe"
    File "${WIN32_DIR}/vantrel-cli.exe"
    File "${WIN32_DIR}/README.txt"
    File /r "${WIN32_DIR}/licences"
  ${EndIf}
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\vantrel.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vantrel.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Function un.onInit
  !insertmacro UseSystemView
FunctionEnd

; Removes what the setup put in place, and nothing else: a file the user
; left in the folder keeps the folder.
Section "Uninstall"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$INSTDIR\vantrel.exe"
  Delete "$INSTDIR\vantrel-cli.exe"
  Delete "$INSTDIR\README.txt"
  RMDir /r "$INSTDIR\licences"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
