; The installer of the Tavik service tools for Windows: the programs into the suite's folder C:\Tavik\BIN
; (the folder the suite's paths name, so it is not offered for change), Start-menu entries that start
; them in that folder, an entry in the system's list of installed programs, and an uninstaller that
; removes exactly what was installed. /S installs (and uninstalls) silently.
; Defined by the build: VERSION, ARCH (win64 or win32), STAGE (the folder holding BIN), ICON, OUTFILE.
Unicode true
SetCompressor /SOLID lzma
!include x64.nsh

!define PRODUCT "Tavik service tools"
!define MENU_FOLDER "$SMPROGRAMS\Tavik Service Tools"
!define UNINSTALLER "uninstall-service-tools.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TavikServiceTools"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
InstallDir "C:\Tavik"
RequestExecutionLevel admin
ShowInstDetails show
; A signed build names its signing tool, which signs the uninstaller before it is packed in here.
!ifdef SIGN_TOOL
  !uninstfinalize '"${SIGN_TOOL}" "%1"' = 0
!endif

Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  !if "${ARCH}" == "win64"
    ${IfNot} ${RunningX64}
      MessageBox MB_ICONSTOP "This package is for 64-bit Windows; install the win32 package here." /SD IDOK
      Abort
    ${EndIf}
  !endif
FunctionEnd

Section "Programs"
  SetShellVarContext all
  SetOutPath "$INSTDIR\BIN"
  File "${STAGE}\BIN\linkprobe.exe"
  File "${STAGE}\BIN\toolboard.exe"
  File "${STAGE}\BIN\linkconsole.exe"
  File "${STAGE}\BIN\linkdump.exe"
  File "${STAGE}\BIN\linkping.exe"
  WriteUninstaller "$INSTDIR\BIN\${UNINSTALLER}"
  ; Shortcuts start in the folder SetOutPath named last: toolboard finds its sibling programs there.
  CreateDirectory "${MENU_FOLDER}"
  CreateShortcut "${MENU_FOLDER}\Tavik Comm Check.lnk" "$INSTDIR\BIN\linkprobe.exe"
  CreateShortcut "${MENU_FOLDER}\Tavik Tech Support Menu.lnk" "$INSTDIR\BIN\toolboard.exe"
  CreateShortcut "${MENU_FOLDER}\Uninstall Tavik service tools.lnk" "$INSTDIR\BIN\${UNINSTALLER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} (${ARCH})"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\BIN\toolboard.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR\BIN"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\BIN\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\BIN\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The uninstaller sits in BIN, so $INSTDIR is C:\Tavik\BIN here. The suite's other programs and the files
; the tools wrote there (ampstatus.txt, record files) stay, and so do the folders that still hold them.
; The uninstaller itself goes last, so that its absence tells that the uninstall is complete.
Section "Uninstall"
  SetShellVarContext all
  Delete "${MENU_FOLDER}\Tavik Comm Check.lnk"
  Delete "${MENU_FOLDER}\Tavik Tech Support Menu.lnk"
  Delete "${MENU_FOLDER}\Uninstall Tavik service tools.lnk"
  RMDir "${MENU_FOLDER}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  Delete "$INSTDIR\linkprobe.exe"
  Delete "$INSTDIR\toolboard.exe"
  Delete "$INSTDIR\linkconsole.exe"
  Delete "$INSTDIR\linkdump.exe"
  Delete "$INSTDIR\linkping.exe"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
  RMDir "$INSTDIR\.."
SectionEnd
