; Installer of the 32-bit StavaAutomationBridge.exe and Kickoff.exe: copies
; them into the 32-bit program folder, writes the bridge's settings, makes
; the default log folder writable for every user, lets the bridge register
; itself, and adds an entry to the installed programs.
;
; makensis -DVERSION=1.0.0.1 -DBRIDGE_EXE=... -DKICKOFF_EXE=... -DREADME=...
;          -DOUTFILE=... StavaAutomationBridge.nsi
;
; Silent use: setup.exe /S [/REFFILE=path] [/LOGFILE=path] [/D=folder]
;             uninstall.exe /S
; Exit codes: 0 done, 1 cancelled, 2 bad option, 3 a program file could not
; be replaced, 4 the bridge's /RegServer failed.

!ifndef VERSION | BRIDGE_EXE | KICKOFF_EXE | README | OUTFILE
  !error "define VERSION, BRIDGE_EXE, KICKOFF_EXE, README and OUTFILE"
!endif

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh
!include StrFunc.nsh
${Using:StrFunc} StrRep

!define PRODUCT "Stava Automation Bridge"
!define SETTINGS_KEY "SOFTWARE\StavaAutomationBridge"
!define UNINSTALL_KEY "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\StavaAutomationBridge"
!define BRIDGE "StavaAutomationBridge.exe"
!define KICKOFF "Kickoff.exe"
; The bridge reads at most 255 characters of each path.
!define PATH_CAPACITY 255

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
; A 32-bit installer: on 64-bit Windows this is "Program Files (x86)", and
; its registry writes land in the 32-bit view that the 32-bit bridge reads.
InstallDir "$PROGRAMFILES\StavaAutomationBridge"
; An upgrade goes into the folder of the installation it replaces.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" ""

Var RefFile
Var LogFile
Var RefField
Var LogField

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_DIRECTORY
Page custom SettingsPage SettingsPageLeave
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The default log folder; the installer makes it, since the bridge does not
; create folders.
!macro LogFolder VAR
  StrCpy ${VAR} "$APPDATA\StavaAutomationBridge"
!macroend

; Fails (error flag set, reason in $0) unless $1 is a usable path value.
Function CheckPath
  ClearErrors
  StrLen $2 $1
  ${If} $2 == 0
    StrCpy $0 "is empty"
    SetErrors
  ${ElseIf} $2 > ${PATH_CAPACITY}
    StrCpy $0 "is longer than ${PATH_CAPACITY} characters"
    SetErrors
  ${EndIf}
FunctionEnd

; Checks both settings; shows the reason and sets the error flag on failure.
Function CheckSettings
  StrCpy $1 $RefFile
  Call CheckPath
  ${If} ${Errors}
    MessageBox MB_ICONSTOP|MB_OK "The reference file (refFile) $0." /SD IDOK
    SetErrors
    Return
  ${EndIf}
  StrCpy $1 $LogFile
  Call CheckPath
  ${If} ${Errors}
    MessageBox MB_ICONSTOP|MB_OK "The log file (logFile) $0." /SD IDOK
    SetErrors
    Return
  ${EndIf}
  ${GetParent} $LogFile $1
  !insertmacro LogFolder $2
  ${IfNot} ${FileExists} "$1\*.*"
  ${AndIf} $1 != $2
    MessageBox MB_ICONSTOP|MB_OK "The folder of the log file does not exist: $1" /SD IDOK
    SetErrors
  ${EndIf}
FunctionEnd

Function .onInit
  SetShellVarContext all
  ; Defaults, then the settings of an installation being upgraded, then the
  ; command line.
  StrCpy $RefFile "C:\stv.ref"
  !insertmacro LogFolder $LogFile
  StrCpy $LogFile "$LogFile\bridge.log"
  ClearErrors
  ReadRegStr $0 HKLM "${SETTINGS_KEY}" "refFile"
  ${IfNot} ${Errors}
  ${AndIf} $0 != ""
    StrCpy $RefFile $0
  ${EndIf}
  ClearErrors
  ReadRegStr $0 HKLM "${SETTINGS_KEY}" "logFile"
  ${IfNot} ${Errors}
  ${AndIf} $0 != ""
    StrCpy $LogFile $0
  ${EndIf}

  ${GetParameters} $R0
  ; "/REFFILE=a b", quoted as a whole as programs that start the installer
  ; often pass it, reads as /REFFILE="a b".
  ${StrRep} $R0 $R0 '"/REFFILE=' '/REFFILE="'
  ${StrRep} $R0 $R0 '"/LOGFILE=' '/LOGFILE="'
  ClearErrors
  ${GetOptions} $R0 "/REFFILE=" $0
  ${IfNot} ${Errors}
    StrCpy $RefFile $0
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/LOGFILE=" $0
  ${IfNot} ${Errors}
    StrCpy $LogFile $0
  ${EndIf}

  ${If} ${Silent}
    Call CheckSettings
    ${If} ${Errors}
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

Function SettingsPage
  !insertmacro MUI_HEADER_TEXT "Bridge settings" \
    "Where the bridge finds the application's reference and writes its log."
  nsDialogs::Create 1018
  Pop $0
  ${If} $0 == error
    Abort
  ${EndIf}
  ${NSD_CreateLabel} 0 0 100% 20u \
    "Reference file (refFile): the file into which the Stava application writes its object reference. The bridge reads it at every start."
  Pop $0
  ${NSD_CreateText} 0 22u 100% 12u $RefFile
  Pop $RefField
  !insertmacro LogFolder $1
  ${NSD_CreateLabel} 0 40u 100% 30u \
    "Log file (logFile): rewritten at every start of the bridge. The installer creates $1 and lets every user write in it. Another folder must exist, and every user who runs scripts must be allowed to write in it: the installer does not change its rights."
  Pop $0
  ${NSD_CreateText} 0 72u 100% 12u $LogFile
  Pop $LogField
  ${NSD_CreateLabel} 0 92u 100% 30u \
    "Both are stored under HKEY_LOCAL_MACHINE\${SETTINGS_KEY}; README-Windows.txt in the program folder tells how to change them later and how to set a call time-out (callTimeout)."
  Pop $0
  nsDialogs::Show
FunctionEnd

Function SettingsPageLeave
  ${NSD_GetText} $RefField $RefFile
  ${NSD_GetText} $LogField $LogFile
  Call CheckSettings
  ${If} ${Errors}
    Abort
  ${EndIf}
FunctionEnd

; Puts the new NAME into $INSTDIR without writing over a running copy: a
; running program's file cannot be written but can be renamed, so the old
; file is renamed out of the way first. A bridge that is serving scripts
; goes on from the renamed file until its last client leaves; the next
; start runs the new one. Renamed files are deleted when no longer in use,
; by the next installation or by the uninstaller.
!macro PutProgram NAME SOURCE
  File "/oname=${NAME}.new" "${SOURCE}"
  StrCpy $0 "${NAME}"
  Call MoveAside
  ClearErrors
  Rename "$INSTDIR\${NAME}.new" "$INSTDIR\${NAME}"
  ${If} ${Errors}
    Delete "$INSTDIR\${NAME}.new"
    MessageBox MB_ICONSTOP|MB_OK "Cannot replace $INSTDIR\${NAME}." /SD IDOK
    SetErrorLevel 3
    Abort "Cannot replace $INSTDIR\${NAME}."
  ${EndIf}
!macroend

; Deletes what earlier installations renamed out of the way of $0, if no
; longer in use, and renames $INSTDIR\$0 to the first free name $0.old1 ...
; $0.old9. The error flag stays set if it could not be moved.
Function MoveAside
  ${For} $1 1 9
    Delete "$INSTDIR\$0.old$1"
  ${Next}
  ClearErrors
  ${IfNot} ${FileExists} "$INSTDIR\$0"
    Return
  ${EndIf}
  ${For} $1 1 9
    ${IfNot} ${FileExists} "$INSTDIR\$0.old$1"
      ClearErrors
      Rename "$INSTDIR\$0" "$INSTDIR\$0.old$1"
      ${IfNot} ${Errors}
        Delete "$INSTDIR\$0.old$1"
        ${If} ${FileExists} "$INSTDIR\$0.old$1"
          DetailPrint "$0 is in use: the running copy goes on as $0.old$1"
        ${EndIf}
        ClearErrors
        Return
      ${EndIf}
    ${EndIf}
  ${Next}
  SetErrors
FunctionEnd

; Lets every user's bridge write the log in the folder $0 that the installer
; makes: a file that this elevated installer (or its /RegServer run) creates
; there is otherwise read-only for users, and their bridges would log
; nothing. Modify rights for the built-in Users group, named by its SID so
; that it works in every language of Windows, inherited by the files and
; folders inside, the existing log too. A failure is reported and leaves
; the installation going: the bridge works without its log.
Function GrantLogFolder
  StrCpy $1 '"$SYSDIR\icacls.exe" "$0" /grant *S-1-5-32-545:(OI)(CI)M'
  DetailPrint "Letting every user write the log: $1"
  Call RunHidden
  ${If} $1 != 0
    DetailPrint "Users may not be able to write the log in $0 (icacls: $1)"
  ${EndIf}
FunctionEnd

; Runs the console program command line $1 without a console window, waits
; for it, and leaves its exit code (or "error" if it did not start) in $1.
; (nsExec's helper process crashes under Wine; this needs only kernel32.)
Function RunHidden
  ; STARTUPINFOW, 68 octets with its size first; PROCESS_INFORMATION
  System::Call '*(&l4, i, i, i, i, i, i, i, i, i, i, i, i, i, i, i, i) p .r2'
  System::Call '*(i, i, i, i) p .r3'
  ; CREATE_NO_WINDOW
  System::Call 'kernel32::CreateProcessW(p 0, w r1, p 0, p 0, i 0, i 0x08000000, p 0, p 0, p r2, p r3) i .r4'
  ${If} $4 == 0
    StrCpy $1 "error"
  ${Else}
    System::Call '*$3(p .r5, p .r6)'
    System::Call 'kernel32::WaitForSingleObject(p r5, i -1)'
    System::Call 'kernel32::GetExitCodeProcess(p r5, *i .r1)'
    System::Call 'kernel32::CloseHandle(p r5)'
    System::Call 'kernel32::CloseHandle(p r6)'
  ${EndIf}
  System::Free $2
  System::Free $3
FunctionEnd

Section "Install"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  !insertmacro PutProgram "${BRIDGE}" "${BRIDGE_EXE}"
  !insertmacro PutProgram "${KICKOFF}" "${KICKOFF_EXE}"
  File "/oname=README-Windows.txt" "${README}"

  ; The uninstaller first, so that whatever follows can be removed with it.
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0

  ; Settings before registration: the bridge reads them in every run, the
  ; registration run too, and writes its log there.
  !insertmacro LogFolder $0
  CreateDirectory "$0"
  Call GrantLogFolder
  ; A log moved elsewhere leaves no old one behind for the uninstaller.
  ClearErrors
  ReadRegStr $0 HKLM "${SETTINGS_KEY}" "logFile"
  ${IfNot} ${Errors}
  ${AndIf} $0 != ""
  ${AndIf} $0 != $LogFile
    Delete "$0"
  ${EndIf}
  WriteRegStr HKLM "${SETTINGS_KEY}" "refFile" "$RefFile"
  WriteRegStr HKLM "${SETTINGS_KEY}" "logFile" "$LogFile"
  DetailPrint "refFile: $RefFile"
  DetailPrint "logFile: $LogFile"

  DetailPrint "Registering the bridge: ${BRIDGE} /RegServer"
  ClearErrors
  ExecWait '"$INSTDIR\${BRIDGE}" /RegServer' $0
  ${If} ${Errors}
  ${OrIf} $0 != 0
    IntFmt $1 "0x%08X" $0
    MessageBox MB_ICONSTOP|MB_OK "${BRIDGE} /RegServer failed ($1)." /SD IDOK
    SetErrorLevel 4
    Abort "${BRIDGE} /RegServer failed ($1)."
  ${EndIf}
SectionEnd

; Unregisters the type library in the bridge's file by the id, version,
; locale and platform that the library itself carries, as registration
; wrote them.
Function un.UnregisterTypeLibrary
  ; LoadTypeLibEx(path, REGKIND_NONE, &library)
  System::Call 'oleaut32::LoadTypeLibEx(w "$INSTDIR\${BRIDGE}", i 2, *p .r1) i .r0'
  ${If} $0 != 0
    DetailPrint "Type library not loaded ($0)"
    Return
  ${EndIf}
  ; ITypeLib::GetLibAttr, the eighth method
  System::Call '$1->7(*p .r2) i .r0'
  ${If} $0 == 0
    ; TLIBATTR: guid, lcid, syskind, major and minor version
    System::Call '*$2(g .r3, i .r4, i .r5, &i2 .r6, &i2 .r7)'
    System::Call 'oleaut32::UnRegisterTypeLib(g r3, i r6, i r7, i r4, i r5) i .r0'
    DetailPrint "Type library $3 $6.$7 unregistered ($0)"
    ; ITypeLib::ReleaseTLibAttr
    System::Call '$1->12(p r2)'
  ${EndIf}
  ; IUnknown::Release
  System::Call '$1->2()'
FunctionEnd

Function un.onInit
  SetShellVarContext all
FunctionEnd

Section "Uninstall"
  ; The bridge removes its own registration, all but its type library,
  ; which is unregistered here while the file is still there to read it.
  ${If} ${FileExists} "$INSTDIR\${BRIDGE}"
    DetailPrint "Unregistering the bridge: ${BRIDGE} /UnregServer"
    ExecWait '"$INSTDIR\${BRIDGE}" /UnregServer' $0
    DetailPrint "/UnregServer: $0"
  ${EndIf}
  Call un.UnregisterTypeLibrary

  ; The log is the bridge's own output; the reference file belongs to the
  ; application and stays.
  ClearErrors
  ReadRegStr $0 HKLM "${SETTINGS_KEY}" "logFile"
  ${IfNot} ${Errors}
  ${AndIf} $0 != ""
    Delete "$0"
  ${EndIf}
  DeleteRegKey HKLM "${SETTINGS_KEY}"
  !insertmacro LogFolder $0
  RMDir "$0"

  ; Files still in use go when Windows next starts.
  Delete /REBOOTOK "$INSTDIR\${BRIDGE}"
  Delete /REBOOTOK "$INSTDIR\${KICKOFF}"
  ${For} $1 1 9
    Delete /REBOOTOK "$INSTDIR\${BRIDGE}.old$1"
    Delete /REBOOTOK "$INSTDIR\${KICKOFF}.old$1"
  ${Next}
  Delete "$INSTDIR\README-Windows.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir /REBOOTOK "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
