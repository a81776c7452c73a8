; The installer of the Tavik service tools for Windows: the programs into the suite's folder C:\Tavik\BIN
; (the folder the suite's paths name, so it is not offered for change), Start-menu entries that start
; them in that folder, an entry in the system's list of installed programs, and an uninstaller that
; removes exactly what was installed. /S installs (and uninstalls) silently.
; Defined by the build: VERSION, ARCH (win64 or win32), STAGE (the folder holding BIN), ICON, OUTFILE.
;
; The programs run elevated steps and are run by administrators, from a folder that users write into (the
; suite writes ampstatus.txt and record files in its start folder). So the installer gives BIN and what
; it installs there a protected access list of its own: administrators and SYSTEM control everything,
; users may read and run the programs and create files of their own beside them, never change, delete
; or rename an installed one. The uninstaller lives where only administrators write.
!if "${ARCH}" == "win64"
  ; The 64-bit package's installer is a 64-bit program too: it sees the system's own registry and folders,
  ; without the redirection of 32-bit programs, and 32-bit Windows refuses to start it.
  Target amd64-unicode
!else
  Unicode true
!endif
SetCompressor /SOLID lzma
!include LogicLib.nsh

!define PRODUCT "Tavik service tools"
!define SUITE_DIR "C:\Tavik"
!define BIN_DIR "${SUITE_DIR}\BIN"
!if "${ARCH}" == "win64"
  !define UNINSTALL_DIR "$PROGRAMFILES64\Tavik Service Tools"
!else
  !define UNINSTALL_DIR "$PROGRAMFILES\Tavik Service Tools"
!endif
!define MENU_FOLDER "$SMPROGRAMS\Tavik Service Tools"
!define UNINSTALLER "uninstall-service-tools.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TavikServiceTools"
!define EVENT_SOURCE "Tavik service tools setup"

; Access lists, as security descriptor strings. 0x1200a9 is read and execute, 0x1200ab that and the
; right to create files in a folder, 0x1200af both that and creating folders, 0x1301bf modify (everything
; but deleting children, the access list and the owner). The suite folder keeps for users what a folder
; made under C:\ gives them, but not the right to rename or remove it; its children keep their own lists.
!define SUITE_ACCESS "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;;0x1200af;;;AU)(A;OICIIO;0x1301bf;;;AU)(A;OICIIO;FA;;;CO)"
; BIN: users list it and create files in it, and every user may change and replace the files that users
; make there (the amplifier status and the record files are the whole suite's, whoever ran it last).
; While the programs go in, a new file is its creator's alone, so that no user can open one for writing
; in the moment before it gets its own list.
!define BIN_ACCESS "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200ab;;;BU)(A;OIIO;0x1301bf;;;BU)"
!define BIN_INSTALL_ACCESS "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200ab;;;BU)(A;OIIO;FA;;;CO)(A;OIIO;FR;;;BU)"
!define PROGRAM_ACCESS "O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)"

; Win32 values used through the System plugin.
!define SECURITY_ACCESS 0x000E0000          ; READ_CONTROL | WRITE_DAC | WRITE_OWNER
!define SHARE_READ_WRITE 3                  ; no FILE_SHARE_DELETE: a held folder cannot be renamed
!define OPEN_EXISTING 3
!define OPEN_FLAGS 0x02200000               ; FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT
!define ATTRIBUTE_KIND 0x410                ; FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY
!define ATTRIBUTE_DIRECTORY 0x10
!define BY_HANDLE_INFO_SIZE 52              ; BY_HANDLE_FILE_INFORMATION, its attributes first
!define OWNER_AND_DACL 5                    ; OWNER_ | DACL_SECURITY_INFORMATION
!define ERROR_ALREADY_EXISTS 183
!define EVENTLOG_ERROR_TYPE 1
!if ${NSIS_PTR_SIZE} > 4
  !define SECURITY_ATTRIBUTES_FIELDS "i 24, i 0, p r1, i 0, i 0"
!else
  !define SECURITY_ATTRIBUTES_FIELDS "i 12, p r1, i 0"
!endif

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
InstallDir "${BIN_DIR}"
RequestExecutionLevel admin
ShowInstDetails show
; A signed build names its signing tool, which signs the uninstaller before it is packed in here.
!ifdef SIGN_TOOL
  !uninstfinalize '"${SIGN_TOOL}" "%1"' = 0
!endif

Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Var FolderPath      ; SecureFolder's and ProtectFile's path
Var FolderAccess    ; the access list it gets
Var FolderHandle    ; SecureFolder's answer: the open folder
Var SuiteHandle
Var BinHandle

; Tells the failure (in $0) to the person at the screen, and to the Application event log, since a silent
; install shows nothing; then ends the install.
!macro Fail
  DetailPrint "$0"
  System::Call 'advapi32::RegisterEventSourceW(p 0, w "${EVENT_SOURCE}") p .r8'
  ${If} $8 P<> 0
    System::Call '*(w r0) p .r9'
    System::Call 'advapi32::ReportEventW(p r8, i ${EVENTLOG_ERROR_TYPE}, i 0, i 0, p 0, i 1, i 0, p r9, p 0)'
    System::Call 'advapi32::DeregisterEventSource(p r8)'
  ${EndIf}
  MessageBox MB_ICONSTOP "$0" /SD IDOK
  Abort
!macroend

; Opens $FolderPath itself, never what a link there points to, for setting its owner and access list: the
; handle in $6 (-1 when it cannot be opened).
!macro OpenForSecurity
  System::Call 'kernel32::CreateFileW(w "$FolderPath", i ${SECURITY_ACCESS}, i ${SHARE_READ_WRITE}, p 0, i ${OPEN_EXISTING}, i ${OPEN_FLAGS}, p 0) p .r6'
!macroend

; Whether the path names a plain folder, not a link (junction, symbolic link) nor a file: 1 or 0 in $5.
; Asked by name, because Wine marks a linked folder only there, and of the open handle by SecureFolder.
!macro IsPlainFolder un
Function ${un}IsPlainFolder
  System::Call 'kernel32::GetFileAttributesW(w "$FolderPath") i .r4'
  IntOp $4 $4 & ${ATTRIBUTE_KIND}
  IntOp $5 0 + 0
  ${If} $4 = ${ATTRIBUTE_DIRECTORY}
    IntOp $5 0 + 1
  ${EndIf}
FunctionEnd
!macroend
!insertmacro IsPlainFolder ""
!insertmacro IsPlainFolder "un."

; Makes $FolderPath with $FolderAccess if it is missing. A folder that was there already must be a plain
; folder: a link is refused, since the programs would land wherever it points. It gets $FolderAccess
; and the administrators as its owner all the same: a user may have made it before the install (and so
; could change its access list at will), and a folder made under C:\ lets every user rename it, and so
; put another BIN in its place. Answers the folder's handle in $FolderHandle, held open without delete
; sharing so that nobody swaps the folder while the files go in.
Function SecureFolder
  System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w "$FolderAccess", i 1, *p .r1, p 0) i .r0'
  ${If} $0 = 0
    StrCpy $0 "The installer could not read its own access list for $FolderPath."
    !insertmacro Fail
  ${EndIf}
  System::Call '*(${SECURITY_ATTRIBUTES_FIELDS}) p .r2'
  System::Call 'kernel32::CreateDirectoryW(w "$FolderPath", p r2) i .r3 ?e'
  Pop $0
  System::Free $2
  ${If} $3 = 0
  ${AndIf} $0 <> ${ERROR_ALREADY_EXISTS}
    StrCpy $0 "$FolderPath could not be made (error $0): the service tools are not installed."
    !insertmacro Fail
  ${EndIf}
  Call IsPlainFolder
  !insertmacro OpenForSecurity
  ${If} $6 P<> -1
    System::Alloc ${BY_HANDLE_INFO_SIZE}
    Pop $7
    System::Call 'kernel32::GetFileInformationByHandle(p r6, p r7) i .r0'
    System::Call '*$7(i .r4)'
    System::Free $7
    IntOp $4 $4 & ${ATTRIBUTE_KIND}
    ${If} $0 = 0
    ${OrIf} $4 <> ${ATTRIBUTE_DIRECTORY}
      IntOp $5 0 + 0
    ${EndIf}
  ${EndIf}
  ${If} $5 = 0
    StrCpy $0 "$FolderPath is a link, or no folder, or cannot be opened: the service tools are not installed."
    !insertmacro Fail
  ${EndIf}
  Call ApplyAccess
  System::Call 'kernel32::LocalFree(p r1)'
  StrCpy $FolderHandle $6
FunctionEnd

; Sets the security descriptor $1 (owner and protected access list) on the open handle $6. The kernel
; object call sets it as it stands: the folders' children keep what they have, the installed files get
; their own list next.
Function ApplyAccess
  System::Call 'advapi32::SetKernelObjectSecurity(p r6, i ${OWNER_AND_DACL}, p r1) i .r0 ?e'
  Pop $7
  ${If} $0 = 0
    StrCpy $0 "The access list of $FolderPath could not be set (error $7): the service tools are not installed."
    !insertmacro Fail
  ${EndIf}
FunctionEnd

; Gives the installed file $FolderPath its access list: read and run for users, nothing more.
Function ProtectFile
  System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w "${PROGRAM_ACCESS}", i 1, *p .r1, p 0) i .r0'
  !insertmacro OpenForSecurity
  ${If} $0 = 0
  ${OrIf} $6 P= -1
    StrCpy $0 "$FolderPath could not be opened to set its access list: the service tools are not installed."
    !insertmacro Fail
  ${EndIf}
  Call ApplyAccess
  System::Call 'kernel32::CloseHandle(p r6)'
  System::Call 'kernel32::LocalFree(p r1)'
FunctionEnd

; A program into BIN: a file that someone left under its name goes first, with its owner and access list.
!macro Program NAME
  Delete "${BIN_DIR}\${NAME}"
  File "${STAGE}\BIN\${NAME}"
  StrCpy $FolderPath "${BIN_DIR}\${NAME}"
  Call ProtectFile
!macroend

; Once every program carries its own list, BIN gets the one it keeps (BIN_ACCESS) on the handle held
; since SecureFolder; the programs keep theirs.
Function OpenBinToUsersFiles
  StrCpy $FolderPath "${BIN_DIR}"
  System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w "${BIN_ACCESS}", i 1, *p .r1, p 0) i .r0'
  ${If} $0 = 0
    StrCpy $0 "The installer could not read its own access list for $FolderPath."
    !insertmacro Fail
  ${EndIf}
  StrCpy $6 $BinHandle
  Call ApplyAccess
  System::Call 'kernel32::LocalFree(p r1)'
FunctionEnd

; Earlier versions kept the uninstaller in BIN, where users could replace it.
Function RemoveOld
  Delete "${BIN_DIR}\${UNINSTALLER}"
FunctionEnd

Section "Programs"
  SetShellVarContext all
  StrCpy $FolderPath "${SUITE_DIR}"
  StrCpy $FolderAccess "${SUITE_ACCESS}"
  Call SecureFolder
  StrCpy $SuiteHandle $FolderHandle
  StrCpy $FolderPath "${BIN_DIR}"
  StrCpy $FolderAccess "${BIN_INSTALL_ACCESS}"
  Call SecureFolder
  StrCpy $BinHandle $FolderHandle

  SetOutPath "${BIN_DIR}"
  !insertmacro Program linkprobe.exe
  !insertmacro Program toolboard.exe
  !insertmacro Program linkconsole.exe
  !insertmacro Program linkdump.exe
  !insertmacro Program linkping.exe
  Call RemoveOld
  Call OpenBinToUsersFiles
  CreateDirectory "${UNINSTALL_DIR}"
  SetOutPath "${UNINSTALL_DIR}"
  File "/oname=NOTICE.txt" "${STAGE}\tavik-service-tools-NOTICE.txt"
  WriteUninstaller "${UNINSTALL_DIR}\${UNINSTALLER}"
  System::Call 'kernel32::CloseHandle(p $BinHandle)'
  System::Call 'kernel32::CloseHandle(p $SuiteHandle)'

  ; Shortcuts start in the folder SetOutPath named last: toolboard finds its sibling programs there.
  SetOutPath "${BIN_DIR}"
  CreateDirectory "${MENU_FOLDER}"
  CreateShortcut "${MENU_FOLDER}\Tavik Comm Check.lnk" "${BIN_DIR}\linkprobe.exe"
  CreateShortcut "${MENU_FOLDER}\Tavik Tech Support Menu.lnk" "${BIN_DIR}\toolboard.exe"
  CreateShortcut "${MENU_FOLDER}\Uninstall Tavik service tools.lnk" "${UNINSTALL_DIR}\${UNINSTALLER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} (${ARCH})"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "${BIN_DIR}\toolboard.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "${BIN_DIR}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"${UNINSTALL_DIR}\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"${UNINSTALL_DIR}\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The uninstaller sits in UNINSTALL_DIR, which is $INSTDIR here. It deletes only the installed names in
; BIN, and none through a link that someone put in the suite folder's place. The suite's other programs
; and the files the tools wrote there (ampstatus.txt, record files) stay, and so do the folders that still
; hold them. The uninstaller itself goes last, so that its absence tells that the uninstall is complete.
Section "Uninstall"
  SetShellVarContext all
  Delete "${MENU_FOLDER}\Tavik Comm Check.lnk"
  Delete "${MENU_FOLDER}\Tavik Tech Support Menu.lnk"
  Delete "${MENU_FOLDER}\Uninstall Tavik service tools.lnk"
  RMDir "${MENU_FOLDER}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  StrCpy $FolderPath "${SUITE_DIR}"
  Call un.IsPlainFolder
  StrCpy $6 $5
  StrCpy $FolderPath "${BIN_DIR}"
  Call un.IsPlainFolder
  IntOp $5 $5 & $6
  ${If} $5 = 1
    Delete "${BIN_DIR}\linkprobe.exe"
    Delete "${BIN_DIR}\toolboard.exe"
    Delete "${BIN_DIR}\linkconsole.exe"
    Delete "${BIN_DIR}\linkdump.exe"
    Delete "${BIN_DIR}\linkping.exe"
    RMDir "${BIN_DIR}"
    RMDir "${SUITE_DIR}"
  ${Else}
    DetailPrint "${BIN_DIR} is not a plain folder (a link?): nothing is deleted there"
  ${EndIf}
  Delete "$INSTDIR\NOTICE.txt"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
SectionEnd
