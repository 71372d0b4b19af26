; Vantrel's installer (NSIS 3, 64-bit). scripts/package builds it with
;   makensis -INPUTCHARSET UTF8 -DVERSION=a.b.c.d -DSTAGE=<folder with Vantrel.exe, README.txt,
;            LICENSE.txt> -DICON=<Vantrel.ico> -DOUTFILE=<setup.exe> Vantrel.nsi
; Silent use: setup.exe /S [/WEEKLY] [/D=<folder>]; uninstall.exe /S (keeps the settings).

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true
RequestExecutionLevel admin

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include Sections.nsh
!include WordFunc.nsh

!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vantrel"
!define TASK_NAME "Vantrel"
!define TASK_FILE "Vantrel-task.xml"

Name "Vantrel"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Vantrel"
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
BrandingText "Vantrel ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_LANGDLL_WINDOWTITLE "安装语言 / Installer Language"
!define MUI_LANGDLL_INFO "请选择语言。$\r$\nPlease select a language."
!define MUI_LANGDLL_REGISTRY_ROOT HKLM
!define MUI_LANGDLL_REGISTRY_KEY "${UNINST_KEY}"
!define MUI_LANGDLL_REGISTRY_VALUENAME "InstallerLanguage"
!define MUI_FINISHPAGE_RUN "$INSTDIR\Vantrel.exe"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README.txt"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED

!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

; The first language is the one for systems in neither language.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_RESERVEFILE_LANGDLL

LangString SecProgramName ${LANG_ENGLISH} "Vantrel (program and Start-menu shortcut)"
LangString SecProgramName ${LANG_SIMPCHINESE} "Vantrel (程序和开始菜单快捷方式)"
LangString SecWeeklyName ${LANG_ENGLISH} "Clean automatically every week"
LangString SecWeeklyName ${LANG_SIMPCHINESE} "每周自动清理"
LangString TaskFailed ${LANG_ENGLISH} "The weekly task could not be created (schtasks exit code $0)."
LangString TaskFailed ${LANG_SIMPCHINESE} "无法建立每周任务 (schtasks 退出代码 $0)。"
LangString TaskDescription ${LANG_ENGLISH} "Vantrel cleans with its saved ticks (Vantrel.exe /auto)."
LangString TaskDescription ${LANG_SIMPCHINESE} "Vantrel 按保存的勾选自动清理 (Vantrel.exe /auto)。"
LangString UnSecProgramName ${LANG_ENGLISH} "Vantrel (program, shortcut and weekly task)"
LangString UnSecProgramName ${LANG_SIMPCHINESE} "Vantrel (程序、快捷方式和每周任务)"
LangString UnSecSettingsName ${LANG_ENGLISH} "Delete my settings"
LangString UnSecSettingsName ${LANG_SIMPCHINESE} "删除我的设置"

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
!macro VERSION_KEYS LANG DESCRIPTION
  VIAddVersionKey /LANG=${LANG} "ProductName" "Vantrel"
  VIAddVersionKey /LANG=${LANG} "CompanyName" "Holvane"
  VIAddVersionKey /LANG=${LANG} "LegalCopyright" "Holvane"
  VIAddVersionKey /LANG=${LANG} "FileDescription" "${DESCRIPTION}"
  VIAddVersionKey /LANG=${LANG} "FileVersion" "${VERSION}"
  VIAddVersionKey /LANG=${LANG} "ProductVersion" "${VERSION}"
!macroend
!insertmacro VERSION_KEYS ${LANG_ENGLISH} "Vantrel Setup"
!insertmacro VERSION_KEYS ${LANG_SIMPCHINESE} "Vantrel 安装程序"

Section "!$(SecProgramName)" SecProgram
  SectionIn RO
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${STAGE}\Vantrel.exe"
  File "${STAGE}\README.txt"
  File "${STAGE}\LICENSE.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Vantrel.lnk" "$INSTDIR\Vantrel.exe"
SectionEnd

Section /o "$(SecWeeklyName)" SecWeekly
  Call WriteTaskDefinition
  nsExec::ExecToLog '"$SYSDIR\schtasks.exe" /create /tn "${TASK_NAME}" /xml "$INSTDIR\${TASK_FILE}" /f'
  Pop $0
  ${If} $0 != 0
    MessageBox MB_OK|MB_ICONEXCLAMATION "$(TaskFailed)" /SD IDOK
  ${EndIf}
SectionEnd

Section "-Register"
  ReadRegDWORD $0 HKLM "${UNINST_KEY}" "WeeklyTask"
  ${If} $0 == 1
  ${AndIfNot} ${SectionIsSelected} ${SecWeekly}
    ; Installing again without the option withdraws the earlier choice.
    nsExec::ExecToLog '"$SYSDIR\schtasks.exe" /delete /tn "${TASK_NAME}" /f'
    Pop $0
    Delete "$INSTDIR\${TASK_FILE}"
  ${EndIf}
  ${If} ${SectionIsSelected} ${SecWeekly}
    WriteRegDWORD HKLM "${UNINST_KEY}" "WeeklyTask" 1
  ${Else}
    WriteRegDWORD HKLM "${UNINST_KEY}" "WeeklyTask" 0
  ${EndIf}
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "Vantrel"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "Holvane"
  WriteRegStr HKLM "${UNINST_KEY}" "URLInfoAbout" "https://www.holvane.example/"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\Vantrel.exe,0"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $0
SectionEnd

; The account the installer runs as, "DOMAIN\user", in $R2 (empty when Windows does
; not say); $R3 is the task's logon type for it. The installer runs elevated, so when
; a standard user gave an administrator's password this is the administrator.
Function TaskAccount
  System::Call 'secur32::GetUserNameExW(i 2, w .R2, *i ${NSIS_MAX_STRLEN}) i .R4'
  ${If} $R4 == 0
    System::Call 'advapi32::GetUserNameW(w .R2, *i ${NSIS_MAX_STRLEN}) i .R4'
    ${If} $R4 == 0
      StrCpy $R2 ""
    ${EndIf}
  ${EndIf}
  StrCpy $R3 "InteractiveToken"
  ; Installed by SYSTEM (a deployment tool): the task runs as SYSTEM, which has no
  ; interactive token. The domain part of its name is translated; its SID is not.
  ${WordFind} "$R2" "\" "-1" $R4
  ${If} $R4 == "SYSTEM"
    StrCpy $R2 "S-1-5-18"
    StrCpy $R3 "ServiceAccount"
  ${EndIf}
  ${WordReplace} "$R2" "&" "&amp;" "+" $R2
FunctionEnd

; The task definition goes through schtasks /xml, which every Windows since Vista
; reads; it also stays beside the program so that an administrator can import it again.
Function WriteTaskDefinition
  ${WordReplace} "$INSTDIR" "&" "&amp;" "+" $R0
  Call TaskAccount
  FileOpen $R1 "$INSTDIR\${TASK_FILE}" w
  FileWriteUTF16LE /BOM $R1 '<?xml version="1.0" encoding="UTF-16"?>$\r$\n'
  FileWriteUTF16LE $R1 '<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">$\r$\n'
  FileWriteUTF16LE $R1 '  <RegistrationInfo>$\r$\n'
  FileWriteUTF16LE $R1 '    <Author>Holvane</Author>$\r$\n'
  FileWriteUTF16LE $R1 '    <Description>$(TaskDescription)</Description>$\r$\n'
  FileWriteUTF16LE $R1 '  </RegistrationInfo>$\r$\n'
  FileWriteUTF16LE $R1 '  <Triggers>$\r$\n'
  FileWriteUTF16LE $R1 '    <CalendarTrigger>$\r$\n'
  FileWriteUTF16LE $R1 '      <StartBoundary>2024-01-01T12:00:00</StartBoundary>$\r$\n'
  FileWriteUTF16LE $R1 '      <Enabled>true</Enabled>$\r$\n'
  FileWriteUTF16LE $R1 '      <ScheduleByWeek>$\r$\n'
  FileWriteUTF16LE $R1 '        <DaysOfWeek><Monday /></DaysOfWeek>$\r$\n'
  FileWriteUTF16LE $R1 '        <WeeksInterval>1</WeeksInterval>$\r$\n'
  FileWriteUTF16LE $R1 '      </ScheduleByWeek>$\r$\n'
  FileWriteUTF16LE $R1 '    </CalendarTrigger>$\r$\n'
  FileWriteUTF16LE $R1 '  </Triggers>$\r$\n'
  FileWriteUTF16LE $R1 '  <Principals>$\r$\n'
  FileWriteUTF16LE $R1 '    <Principal id="Author">$\r$\n'
  ${If} $R2 != ""
    FileWriteUTF16LE $R1 '      <UserId>$R2</UserId>$\r$\n'
  ${EndIf}
  FileWriteUTF16LE $R1 '      <LogonType>$R3</LogonType>$\r$\n'
  FileWriteUTF16LE $R1 '      <RunLevel>HighestAvailable</RunLevel>$\r$\n'
  FileWriteUTF16LE $R1 '    </Principal>$\r$\n'
  FileWriteUTF16LE $R1 '  </Principals>$\r$\n'
  FileWriteUTF16LE $R1 '  <Settings>$\r$\n'
  FileWriteUTF16LE $R1 '    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>$\r$\n'
  ; A laptop on battery at noon on Monday still cleans (the scheduler's defaults say
  ; no), and a run missed while it was off follows at the next start.
  FileWriteUTF16LE $R1 '    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>$\r$\n'
  FileWriteUTF16LE $R1 '    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>$\r$\n'
  FileWriteUTF16LE $R1 '    <StartWhenAvailable>true</StartWhenAvailable>$\r$\n'
  FileWriteUTF16LE $R1 '    <ExecutionTimeLimit>PT2H</ExecutionTimeLimit>$\r$\n'
  FileWriteUTF16LE $R1 '  </Settings>$\r$\n'
  FileWriteUTF16LE $R1 '  <Actions Context="Author">$\r$\n'
  FileWriteUTF16LE $R1 '    <Exec>$\r$\n'
  FileWriteUTF16LE $R1 '      <Command>"$R0\Vantrel.exe"</Command>$\r$\n'
  FileWriteUTF16LE $R1 '      <Arguments>/auto</Arguments>$\r$\n'
  FileWriteUTF16LE $R1 '    </Exec>$\r$\n'
  FileWriteUTF16LE $R1 '  </Actions>$\r$\n'
  FileWriteUTF16LE $R1 '</Task>$\r$\n'
  FileClose $R1
FunctionEnd

Function .onInit
  !insertmacro MUI_LANGDLL_DISPLAY
  ; The weekly task starts as it was chosen last time; /WEEKLY chooses it for a silent install.
  ReadRegDWORD $0 HKLM "${UNINST_KEY}" "WeeklyTask"
  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/WEEKLY" $2
  ${If} $0 == 1
  ${OrIfNot} ${Errors}
    !insertmacro SelectSection ${SecWeekly}
  ${EndIf}
FunctionEnd

Section "un.$(UnSecProgramName)" UnSecProgram
  SectionIn RO
  SetShellVarContext all
  nsExec::ExecToLog '"$SYSDIR\schtasks.exe" /delete /tn "${TASK_NAME}" /f'
  Pop $0
  Delete "$SMPROGRAMS\Vantrel.lnk"
  Delete "$INSTDIR\Vantrel.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\${TASK_FILE}"
  Delete "$INSTDIR\uninstall.exe"
  ; Never recursive: the folder may be one the user chose and filled.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINST_KEY}"
SectionEnd

Section /o "un.$(UnSecSettingsName)" UnSecSettings
  ; The settings of the user who uninstalls; other users' profiles are theirs.
  SetShellVarContext current
  Delete "$APPDATA\Holvane\Vantrel\Vantrel.cfg"
  Delete "$APPDATA\Holvane\Vantrel\Vantrel.log"
  Delete "$APPDATA\Holvane\Vantrel\Vantrel.log.new"
  RMDir "$APPDATA\Holvane\Vantrel"
  RMDir "$APPDATA\Holvane"
  ; Where the profile folder could not be used, the settings lay beside the program.
  Delete "$INSTDIR\Vantrel.cfg"
  Delete "$INSTDIR\Vantrel.log"
  Delete "$INSTDIR\Vantrel.log.new"
  RMDir "$INSTDIR"
SectionEnd

Function un.onInit
  !insertmacro MUI_UNGETLANGUAGE
FunctionEnd
