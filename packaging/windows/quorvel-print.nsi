; The Windows installer of the print service: puts the 32-bit program under Program Files
; (Program Files (x86) on 64-bit Windows), offers a desktop shortcut and the start with Windows,
; and registers an uninstaller in "Programs and Features". An upgrade installs over the earlier
; version in place and never touches config.ini, log\ or the task journal.
;
; Built by scripts/package, which passes:
;   VERSION      the project version, x.y.z
;   PAYLOAD_NSH  the generated macros InstallPayload / RemovePayload (what the build installs)
;   ICON         the program icon
;   OUTFILE      the installer to write
; The source is UTF-8: makensis -INPUTCHARSET UTF8.

Unicode true
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
; The files the program writes beside itself.
!define TASK_JOURNAL "tasks.journal"
!define PRINTER_LIST_FILE "打印机列表.txt"
; The built-in Users group by its SID, which is the same on every language of Windows.
!define USERS_SID "*S-1-5-32-545"
!define SYNCHRONIZE 0x00100000
!define ERROR_ACCESS_DENIED 5

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${PRODUCT}"
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
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "立即运行 ${PRODUCT}"
!define MUI_FINISHPAGE_RUN_FUNCTION RunProgramAsDesktopUser
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

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
  Call GrantUsersWriteAccess
  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\${PROGRAM_EXE}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\卸载 ${PRODUCT}.lnk" "$INSTDIR\${UNINSTALLER}"
SectionEnd

Section "桌面快捷方式" SecDesktop
  SetShellVarContext all
  CreateShortcut "$DESKTOP\${PRODUCT}.lnk" "$INSTDIR\${PROGRAM_EXE}"
SectionEnd

Section "开机自动启动" SecAutostart
  ; The program's own form of the value (path without quotes, then " auto"), so that its
  ; settings window shows the start with Windows as switched on.
  WriteRegStr HKLM "${RUN_KEY}" "${AUTOSTART_VALUE}" "$INSTDIR\${PROGRAM_EXE} auto"
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

; The program keeps config.ini, log\ and its task journal beside itself, and whoever sits at
; the till runs it without administrator rights. Under Program Files those writes would fail
; (the program asks for no elevation, so Windows does not redirect them either): the store
; settings would not save, failures would go unlogged and queued tickets would be lost at the
; next start. So the Users group may change the program folder, as shop programs do.
Function GrantUsersWriteAccess
  nsExec::ExecToLog '"$SYSDIR\icacls.exe" "$INSTDIR" /grant ${USERS_SID}:(OI)(CI)M /Q'
  Pop $0
  ${If} $0 != 0
    DetailPrint "icacls: $0"
    MessageBox MB_OK|MB_ICONEXCLAMATION "未能让普通用户写入程序目录 $INSTDIR。$\r$\n不以管理员身份运行时，${PRODUCT} 将无法保存设置和日志。" /SD IDOK
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
  Call un.CloseRunningProgram
  !insertmacro RemovePayload
  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\卸载 ${PRODUCT}.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"
  Delete "$DESKTOP\${PRODUCT}.lnk"
  !insertmacro REMOVE_AUTOSTART

  ; The shop's data stays unless the user says otherwise; silent removals keep it.
  ${IfNot} ${FileExists} "$INSTDIR\config.ini"
  ${AndIfNot} ${FileExists} "$INSTDIR\log\*.*"
  ${AndIfNot} ${FileExists} "$INSTDIR\${TASK_JOURNAL}"
    Goto keep_data
  ${EndIf}
  MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "是否同时删除配置文件 config.ini、日志目录 log 和尚未打印的任务？$\r$\n选“否”则保留它们，重新安装后可继续使用。" /SD IDNO IDNO keep_data
    Delete "$INSTDIR\config.ini"
    Delete "$INSTDIR\config.ini.tmp"
    RMDir /r "$INSTDIR\log"
    Delete "$INSTDIR\${TASK_JOURNAL}"
    Delete "$INSTDIR\${TASK_JOURNAL}.tmp"
    Delete "$INSTDIR\${TASK_JOURNAL}.bad*"
    Delete "$INSTDIR\${PRINTER_LIST_FILE}"
  keep_data:

  RMDir "$INSTDIR\log"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
