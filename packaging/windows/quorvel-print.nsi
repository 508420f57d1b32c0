; The Windows installer of the print service: puts the 32-bit program under Program Files
; (Program Files (x86) on 64-bit Windows), offers a desktop shortcut and the start with Windows,
; asks for the store (server and store ID), and registers an uninstaller in "Programs and
; Features". The program folder stays writable for administrators only; the shop's files
; (config.ini, log\, the task journal, the printer list export) live in the data folder
; %ProgramData%\Quorvel打印服务端, which the till's users may change. An upgrade installs over
; the earlier version in place, keeps the shop's files, and moves those an earlier version
; kept beside the program into the data folder.
;
; Silent installs take the store from the command line: /S /SERVER=host[:port] /STOREID=id
;
; Built by scripts/package, which passes:
;   VERSION      the project version, x.y.z
;   PAYLOAD_NSH  the generated macros InstallPayload / RemovePayload (what the build installs)
;   ICON         the program icon
;   OUTFILE      the installer to write
;   ARCH         optional: amd64 for the installer of the 64-bit build (into Program Files,
;                registry in its 64-bit view); x86, the release installer, when not given
; The source is UTF-8: makensis -INPUTCHARSET UTF8.

Unicode true
!ifndef ARCH
  !define ARCH x86
!endif
Target ${ARCH}-unicode
ManifestDPIAware true
; Program Files and the machine-wide registry keys need an administrator.
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh
!include WinMessages.nsh
!include WinVer.nsh
!include x64.nsh
!include nsDialogs.nsh
!include "${PAYLOAD_NSH}"

!define PRODUCT "Quorvel打印服务端"
!define PUBLISHER "Quorvel"
!define PROGRAM_EXE "quorvel-print.exe"
!define UNINSTALLER "uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\QuorvelPrint"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; Names the program itself uses: its autostart value under the Run key, the named event it
; holds while it runs, and the window class and title of its cashier window.
!define AUTOSTART_VALUE "Quorvel打印服务端"
!define INSTANCE_EVENT "asifjslajgojglafs"
!define WINDOW_CLASS "QuorvelWindow"
!define CASHIER_TITLE "Tillora"
; The files the program keeps in its data folder.
!define TASK_JOURNAL "tasks.journal"
!define PRINTER_LIST_FILE "打印机列表.txt"
; The built-in Users group by its SID, which is the same on every language of Windows.
!define USERS_SID "*S-1-5-32-545"
!define SYNCHRONIZE 0x00100000
!define ERROR_ACCESS_DENIED 5

Name "${PRODUCT}"
OutFile "${OUTFILE}"
!if ${ARCH} == amd64
  InstallDir "$PROGRAMFILES64\${PRODUCT}"
!else
  InstallDir "$PROGRAMFILES\${PRODUCT}"
!endif
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show
BrandingText "${PRODUCT} ${VERSION}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
Page custom StorePage StorePageLeave
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "立即运行 ${PRODUCT}"
!define MUI_FINISHPAGE_RUN_FUNCTION RunProgramAsDesktopUser
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

; The data folder, and the store as the command line, an existing config.ini or the store
; page gave it (empty: not given, the program asks at its first start).
Var DataDir
Var StoreServer
Var StoreId
Var ServerBox
Var StoreBox

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileDescription" "${PRODUCT} 安装程序"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "LegalCopyright" "Copyright (C) ${PUBLISHER}"

; --- The running program ------------------------------------------------------------------
; Its files cannot be replaced or removed while it runs. Closing its cashier window is how a
; user ends it: the program lets a poll or ticket under way finish, keeps what is still queued
; in its journal, and exits. Defined twice, for the installer and the uninstaller.
!macro RUNNING_PROGRAM_FUNCTIONS un
  ; $0 = 1 while the program runs in this session. "Access denied" also means the event exists
  ; (the program of another account, whose event this account may not open).
  Function ${un}ProgramRunning
    System::Call 'kernel32::OpenEventW(i ${SYNCHRONIZE}, i 0, w "${INSTANCE_EVENT}") p.r0 ?e'
    Pop $1
    ${If} $0 P<> 0
      System::Call 'kernel32::CloseHandle(p r0)'
      StrCpy $0 1
    ${ElseIf} $1 = ${ERROR_ACCESS_DENIED}
      StrCpy $0 1
    ${Else}
      StrCpy $0 0
    ${EndIf}
  FunctionEnd

  ; Sends a close request to every cashier window; $2 = how many were found.
  Function ${un}AskCashierWindowsToClose
    StrCpy $1 0
    StrCpy $2 0
    ${Do}
      FindWindow $1 "${WINDOW_CLASS}" "" 0 $1
      ${IfThen} $1 P= 0 ${|} ${ExitDo} ${|}
      System::Call 'user32::GetWindowTextW(p r1, w .r3, i ${NSIS_MAX_STRLEN}) i'
      StrCpy $3 $3 7
      ${If} $3 == "${CASHIER_TITLE}"
        SendMessage $1 ${WM_CLOSE} 0 0 /TIMEOUT=5000
        IntOp $2 $2 + 1
      ${EndIf}
    ${Loop}
  FunctionEnd

  ; Returns once the program has ended; aborts when it does not end and the user gives up
  ; (silent runs give up at once, with exit code 2).
  Function ${un}CloseRunningProgram
    Call ${un}ProgramRunning
    ${IfThen} $0 = 0 ${|} Return ${|}
    MessageBox MB_OKCANCEL|MB_ICONQUESTION "${PRODUCT} 正在运行。$\r$\n点“确定”让它打完当前的小票后退出，然后继续；点“取消”不做任何改动。" /SD IDOK IDOK close
    Abort "${PRODUCT} 仍在运行，未做任何改动。"
    close:
    DetailPrint "正在等待 ${PRODUCT} 退出……"
    Call ${un}AskCashierWindowsToClose
    ${If} $2 > 0
      ; A ticket under way may take a while on a slow printer; wait up to a minute.
      StrCpy $4 0
      ${DoWhile} $4 < 120
        Sleep 500
        Call ${un}ProgramRunning
        ${IfThen} $0 = 0 ${|} Return ${|}
        IntOp $4 $4 + 1
      ${Loop}
    ${EndIf}
    Call ${un}ProgramRunning
    ${IfThen} $0 = 0 ${|} Return ${|}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${PRODUCT} 仍在运行，无法替换它的文件。$\r$\n请关闭它的收银窗口，等它退出后点“重试”。" /SD IDCANCEL IDRETRY close
    Abort "${PRODUCT} 仍在运行，未做任何改动。"
  FunctionEnd
!macroend
!insertmacro RUNNING_PROGRAM_FUNCTIONS ""
!insertmacro RUNNING_PROGRAM_FUNCTIONS "un."

; The program writes its value under HKLM and falls back to HKCU without administrator rights;
; a 64-bit build of it writes to the 64-bit view of HKLM. A subkey of that name counts as the
; entry for the program too.
!macro REMOVE_AUTOSTART
  DeleteRegValue HKLM "${RUN_KEY}" "${AUTOSTART_VALUE}"
  DeleteRegKey HKLM "${RUN_KEY}\${AUTOSTART_VALUE}"
  DeleteRegValue HKCU "${RUN_KEY}" "${AUTOSTART_VALUE}"
  DeleteRegKey HKCU "${RUN_KEY}\${AUTOSTART_VALUE}"
  ${If} ${RunningX64}
    SetRegView 64
    DeleteRegValue HKLM "${RUN_KEY}" "${AUTOSTART_VALUE}"
    DeleteRegKey HKLM "${RUN_KEY}\${AUTOSTART_VALUE}"
    SetRegView default
  ${EndIf}
!macroend

; --- Installation ---------------------------------------------------------------------------
Section "-程序文件" SecProgram
  SetShellVarContext all
  Call CloseRunningProgram
  SetOutPath "$INSTDIR"
  !insertmacro InstallPayload
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  Call RevokeUsersWriteAccess
  Call MakeDataFolder
  Call MoveDataToDataFolder
  Call WriteStoreSettings
  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\${PROGRAM_EXE}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\卸载 ${PRODUCT}.lnk" "$INSTDIR\${UNINSTALLER}"
SectionEnd

Section "桌面快捷方式" SecDesktop
  SetShellVarContext all
  CreateShortcut "$DESKTOP\${PRODUCT}.lnk" "$INSTDIR\${PROGRAM_EXE}"
SectionEnd

Section "开机自动启动" SecAutostart
  ; The program's own form of the value, the path in quotes: unquoted, Windows would try
  ; "C:\Program.exe" and "C:\Program Files.exe" first. An upgrade rewrites an older unquoted
  ; value this way.
  WriteRegStr HKLM "${RUN_KEY}" "${AUTOSTART_VALUE}" '"$INSTDIR\${PROGRAM_EXE}" auto'
SectionEnd

Section "-卸载信息" SecRegister
  ; A choice switched off in an upgrade takes away what the earlier installation made.
  ${IfNot} ${SectionIsSelected} ${SecDesktop}
    SetShellVarContext all
    Delete "$DESKTOP\${PRODUCT}.lnk"
  ${EndIf}
  ${IfNot} ${SectionIsSelected} ${SecAutostart}
    !insertmacro REMOVE_AUTOSTART
  ${EndIf}

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PROGRAM_EXE},0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Function .onInit
  ${IfNot} ${AtLeastWin7}
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} 需要 Windows 7 或更高版本。" /SD IDOK
    SetErrorLevel 1
    Quit
  ${EndIf}
  SetShellVarContext all
  StrCpy $DataDir "$APPDATA\${PRODUCT}"
  Call ReadStoreDefaults
  ; An upgrade keeps the shop's earlier choices: a desktop shortcut it deleted stays deleted,
  ; and a start with Windows switched off in the program's settings stays off. /S installs
  ; take these defaults too.
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
    SetShellVarContext all
    ${IfNot} ${FileExists} "$DESKTOP\${PRODUCT}.lnk"
      !insertmacro UnselectSection ${SecDesktop}
    ${EndIf}
    ClearErrors
    ReadRegStr $1 HKLM "${RUN_KEY}" "${AUTOSTART_VALUE}"
    ${If} ${Errors}
      ClearErrors
      ReadRegStr $1 HKCU "${RUN_KEY}" "${AUTOSTART_VALUE}"
      ${If} ${Errors}
        !insertmacro UnselectSection ${SecAutostart}
      ${EndIf}
    ${EndIf}
  ${EndIf}
FunctionEnd

; --- The shop's data ------------------------------------------------------------------------
; The program folder holds quorvel-print.exe, which the Run value starts for every user at
; logon, and uninstall.exe, which "Programs and Features" runs elevated: a user who may change
; it could get code run as somebody else. Earlier versions granted the Users group Modify on
; it, inherited by everything inside; that grant goes, and what remains is what Program Files
; gives (users read and run).
Function RevokeUsersWriteAccess
  nsExec::ExecToLog '"$SYSDIR\icacls.exe" "$INSTDIR" /remove:g ${USERS_SID} /T /C /Q'
  Pop $0
  ${If} $0 != 0
    DetailPrint "icacls: $0"
    MessageBox MB_OK|MB_ICONEXCLAMATION "未能收回普通用户对程序目录 $INSTDIR 的写入权限。$\r$\n请让管理员检查该目录的权限。" /SD IDOK
  ${EndIf}
FunctionEnd

; The program runs as whoever sits at the till, without administrator rights, and writes
; config.ini, log\ and its task journal: in this folder, which every user of the till may
; change (the grant is on this folder and what it holds, nothing else).
Function MakeDataFolder
  CreateDirectory "$DataDir"
  nsExec::ExecToLog '"$SYSDIR\icacls.exe" "$DataDir" /grant ${USERS_SID}:(OI)(CI)M /Q'
  Pop $0
  ${If} $0 != 0
    DetailPrint "icacls: $0"
    MessageBox MB_OK|MB_ICONEXCLAMATION "未能让普通用户写入数据目录 $DataDir。$\r$\n不以管理员身份运行时，${PRODUCT} 将无法保存设置和日志。" /SD IDOK
  ${EndIf}
FunctionEnd

; Moves the file $R0 to $R1: renamed on the same volume, else copied and then deleted. A file
; that cannot be moved stays where it was (and is named in the details).
Function MoveFileTo
  ClearErrors
  Rename "$R0" "$R1"
  ${IfNot} ${Errors}
    Return
  ${EndIf}
  ClearErrors
  CopyFiles /SILENT "$R0" "$R1"
  ${If} ${Errors}
    DetailPrint "未能移动 $R0"
  ${Else}
    Delete "$R0"
  ${EndIf}
FunctionEnd

; Moves $INSTDIR\$R2 into the data folder. Where the data folder already has that file (it is
; then the newer one) the earlier file is kept beside it as "$R2.升级前", so nothing is lost.
Function MoveDataFile
  ${IfNot} ${FileExists} "$INSTDIR\$R2"
    Return
  ${EndIf}
  StrCpy $R0 "$INSTDIR\$R2"
  StrCpy $R1 "$DataDir\$R2"
  ${If} ${FileExists} "$R1"
    StrCpy $R1 "$DataDir\$R2.升级前"
    Delete "$R1"
  ${EndIf}
  Call MoveFileTo
FunctionEnd

; Moves the files $INSTDIR\$R3 matches (a name pattern, in folder $R4 of both, "" for the top)
; into the same folder of the data folder.
Function MoveDataFiles
  FindFirst $R5 $R6 "$INSTDIR$R4\$R3"
  ${DoWhile} $R6 != ""
    ${IfNot} ${FileExists} "$INSTDIR$R4\$R6\*.*"
      StrCpy $R2 "$R4\$R6"
      StrCpy $R2 $R2 "" 1
      Call MoveDataFile
    ${EndIf}
    FindNext $R5 $R6
  ${Loop}
  FindClose $R5
FunctionEnd

; Earlier versions kept the shop's files beside the program. They move once, before the
; program runs again (it was closed above, after it journaled what it had); its queued
; tickets move with the journal and print after the upgrade.
Function MoveDataToDataFolder
  StrCpy $R2 "config.ini"
  Call MoveDataFile
  StrCpy $R2 "${TASK_JOURNAL}"
  Call MoveDataFile
  StrCpy $R3 "${TASK_JOURNAL}.bad*"
  StrCpy $R4 ""
  Call MoveDataFiles
  StrCpy $R2 "${PRINTER_LIST_FILE}"
  Call MoveDataFile
  ${If} ${FileExists} "$INSTDIR\log\*.*"
    CreateDirectory "$DataDir\log"
    StrCpy $R3 "*"
    StrCpy $R4 "\log"
    Call MoveDataFiles
    RMDir "$INSTDIR\log"
  ${EndIf}
  ; Left over from a write cut off by a crash: the file itself holds the last whole state.
  Delete "$INSTDIR\config.ini.tmp"
  Delete "$INSTDIR\${TASK_JOURNAL}.tmp"
FunctionEnd

; The store: /SERVER= and /STOREID= on the command line, else what config.ini holds (the
; data folder's, or the one an earlier version kept beside the program).
Function ReadStoreDefaults
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/SERVER=" $StoreServer
  ${If} ${Errors}
    StrCpy $StoreServer ""
  ${EndIf}
  ClearErrors
  ${GetOptions} $0 "/STOREID=" $StoreId
  ${If} ${Errors}
    StrCpy $StoreId ""
  ${EndIf}
  StrCpy $1 "$DataDir\config.ini"
  ${IfNot} ${FileExists} "$1"
    StrCpy $1 "$INSTDIR\config.ini"
  ${EndIf}
  ${If} $StoreServer == ""
    ReadINIStr $StoreServer "$1" "set" "server"
  ${EndIf}
  ${If} $StoreId == ""
    ReadINIStr $StoreId "$1" "set" "sid"
  ${EndIf}
FunctionEnd

Function StorePage
  !insertmacro MUI_HEADER_TEXT "门店信息" "填写后，${PRODUCT} 第一次启动即开始打印。"
  nsDialogs::Create 1018
  Pop $0
  ${If} $0 == error
    Abort
  ${EndIf}
  ${NSD_CreateLabel} 0 12u 60u 12u "服务器地址："
  Pop $0
  ${NSD_CreateText} 62u 10u 230u 13u "$StoreServer"
  Pop $ServerBox
  ${NSD_CreateLabel} 0 36u 60u 12u "门店ID："
  Pop $0
  ${NSD_CreateText} 62u 34u 110u 13u "$StoreId"
  Pop $StoreBox
  ${NSD_CreateLabel} 0 62u 100% 40u "服务器地址不带 https://，需要时带上端口，例如 api.example.com:8443。$\r$\n不知道时可以留空：程序第一次启动时会打开“设置”请您填写。"
  Pop $0
  ${NSD_SetFocus} $ServerBox
  nsDialogs::Show
FunctionEnd

Function StorePageLeave
  ${NSD_GetText} $ServerBox $StoreServer
  ${NSD_GetText} $StoreBox $StoreId
  ; The program's own rule for a store ID (设置 refuses these too).
  StrLen $0 $StoreId
  ${If} $0 > 0
  ${AndIf} $0 <= 4
    MessageBox MB_OK|MB_ICONEXCLAMATION "门店ID填写错误，请核对！"
    Abort
  ${EndIf}
FunctionEnd

; Writes the text $R0 to the open file $R1 in GBK, the encoding the program reads config.ini in
; on every Windows (the profile functions would write the system's code page instead).
Function WriteGbk
  System::Call 'kernel32::WideCharToMultiByte(i 936, i 0, w R0, i -1, p 0, i 0, p 0, p 0) i .r2'
  System::Alloc $2
  Pop $3
  System::Call 'kernel32::WideCharToMultiByte(i 936, i 0, w R0, i -1, p r3, i r2, p 0, p 0) i .r2'
  IntOp $2 $2 - 1
  System::Call 'kernel32::WriteFile(p R1, p r3, i r2, *i .r4, p 0) i .r5'
  System::Free $3
FunctionEnd

; Puts the store given into config.ini in the data folder. A store left empty is not written:
; the program asks for it at its first start. Other settings of an existing file stay.
Function WriteStoreSettings
  ${If} $StoreServer == ""
  ${AndIf} $StoreId == ""
    Return
  ${EndIf}
  StrCpy $1 "$DataDir\config.ini"
  ${IfNot} ${FileExists} "$1"
    StrCpy $R0 "[set]$\r$\n"
    ${If} $StoreServer != ""
      StrCpy $R0 "$R0server=$StoreServer$\r$\n"
    ${EndIf}
    ${If} $StoreId != ""
      StrCpy $R0 "$R0sid=$StoreId$\r$\n"
    ${EndIf}
    FileOpen $R1 "$1" w
    Call WriteGbk
    FileClose $R1
    Return
  ${EndIf}
  ReadINIStr $0 "$1" "set" "server"
  ${If} $StoreServer != ""
  ${AndIf} $StoreServer != $0
    WriteINIStr "$1" "set" "server" "$StoreServer"
  ${EndIf}
  ReadINIStr $0 "$1" "set" "sid"
  ${If} $StoreId != ""
  ${AndIf} $StoreId != $0
    WriteINIStr "$1" "set" "sid" "$StoreId"
  ${EndIf}
FunctionEnd

; The installer runs as an administrator; Explorer starts the program with the rights of the
; desktop's user, as a click on the shortcut would.
Function RunProgramAsDesktopUser
  Exec '"$WINDIR\explorer.exe" "$INSTDIR\${PROGRAM_EXE}"'
FunctionEnd

; --- Uninstallation -------------------------------------------------------------------------
Section "Uninstall"
  SetShellVarContext all
  StrCpy $DataDir "$APPDATA\${PRODUCT}"
  Call un.CloseRunningProgram
  !insertmacro RemovePayload
  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\卸载 ${PRODUCT}.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"
  Delete "$DESKTOP\${PRODUCT}.lnk"
  !insertmacro REMOVE_AUTOSTART

  ; The shop's data stays unless the user says otherwise; silent removals keep it.
  ${IfNot} ${FileExists} "$DataDir\config.ini"
  ${AndIfNot} ${FileExists} "$DataDir\log\*.*"
  ${AndIfNot} ${FileExists} "$DataDir\${TASK_JOURNAL}"
    Goto keep_data
  ${EndIf}
  MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "是否同时删除配置文件 config.ini、日志目录 log 和尚未打印的任务？$\r$\n选“否”则保留它们，重新安装后可继续使用。" /SD IDNO IDNO keep_data
    Delete "$DataDir\config.ini"
    Delete "$DataDir\config.ini.tmp"
    Delete "$DataDir\config.ini.升级前"
    RMDir /r "$DataDir\log"
    Delete "$DataDir\${TASK_JOURNAL}"
    Delete "$DataDir\${TASK_JOURNAL}.tmp"
    Delete "$DataDir\${TASK_JOURNAL}.bad*"
    Delete "$DataDir\${TASK_JOURNAL}.升级前"
    Delete "$DataDir\${PRINTER_LIST_FILE}"
    Delete "$DataDir\${PRINTER_LIST_FILE}.升级前"
    RMDir "$DataDir"
  keep_data:

  RMDir "$INSTDIR\log"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
