; Sorvane-Setup.exe: installs the deliverables under Program Files, registers
; the Explorer extension, and adds an uninstaller with its entry in the list
; of installed programs. The uninstaller takes back all of it.
;
; makensis -DDIST_FILES=<list>.nsh -DDIST_REMOVE=<list>.nsh -DOUTFILE=<exe> Sorvane.nsi
; The two lists (the InstallFile and the Delete lines of every file in
; build/dist) are written by list-dist.cmake at build time.
;
; Installing over an installed copy: a file another process holds (the
; extension loaded by Explorer, a running Sorvane.exe) cannot be replaced at
; once. Its new version is written beside it as "<name>.update" and takes its
; place when Windows restarts; everything else is installed as usual. The
; last page then asks for the restart, and the exit code is 3010
; (ERROR_SUCCESS_REBOOT_REQUIRED) instead of 0.
;
; Windows 11's own context menu: with -DPACKAGE=<signed Sorvane.msix>
; -DPACKAGE_SCRIPT=<SorvanePackage.ps1>, the installer also carries the
; sparse package and, where Windows reports build 22000 or later, registers
; it for all users with the installation folder as its external location
; (SorvanePackage.ps1, run hidden through PowerShell). The classic menu is
; registered on every Windows and stays; when the package cannot be
; registered the installation goes on and ends with the same exit codes.
; The uninstaller removes the package and its provisioning again.
;
; -DSIGN=<scripts/sign.sh> signs the installer and, before it is stored in
; the installer, the uninstaller (the certificate comes from the environment).
;
; Upgrades: the installed copy's folder (InstallLocation of the uninstall
; entry, 64-bit view) is where an upgrade goes; /D= naming any other folder
; is refused while that copy is there (exit code 2), and the folder page
; shows the folder without letting it change. Without administrator rights
; the installer and the uninstaller refuse at once (exit code 740,
; ERROR_ELEVATION_REQUIRED).
;
; The uninstaller removes only what its own copy added: the extension's
; classes are left registered when they name another copy's library that is
; still there, and the uninstall entry when it names another folder. It
; removes the data of the account that runs it (the reports and Sorvane.ini
; in <AppData>\Brenmoor\Sorvane, the key HKCU\SOFTWARE\Brenmoor\Sorvane) only
; when asked: a check box on its first page, unticked; /REMOVEUSERDATA.
;
; Test builds only: -DTEST_ACCOUNT_CHECK makes the account type come from
; the variable SORVANE_TEST_ACCOUNT_TYPE (when set: "Admin", "User", ...)
; instead of the process's token, in the installer and the uninstaller.
; -DTEST_PACKAGE_COMMANDS makes the Windows build number
; come from the variable SORVANE_TEST_WINDOWS_BUILD (when set), and writes
; each package command to $TEMP\SorvanePackageCommands.txt instead of
; running it, taking its exit code from SORVANE_TEST_PACKAGE_EXIT (0 when
; unset).

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "WinVer.nsh"
!include "FileFunc.nsh"
!include "nsDialogs.nsh"

!ifdef SIGN
  !finalize '"${SIGN}" "%1"' = 0
  !uninstfinalize '"${SIGN}" "%1"' = 0
!endif

!ifndef OUTFILE
  !define OUTFILE "Sorvane-Setup.exe"
!endif
!define PRODUCT "Sorvane"
!define VERSION "2.4"
!define PUBLISHER "Brenmoor"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Sorvane"
!define RUNONCE_KEY "Software\Microsoft\Windows\CurrentVersion\RunOnce"
!define EXIT_RESTART_NEEDED 3010
; ERROR_ELEVATION_REQUIRED: started without administrator rights.
!define EXIT_NOT_ADMINISTRATOR 740
; The same code as a file that could not be staged: nothing was installed.
!define EXIT_REFUSED 2
; The extension's two classes (the classic handler's and Windows 11's
; command's), from the one place they are written.
!define IDENTIFIERS "${__FILEDIR__}/../SorvaneExt/Identifiers.h"
!searchparse /file "${IDENTIFIERS}" `constexpr const wchar_t kClassIdText[] = L"` CLASS_ID `"`
!searchparse /file "${IDENTIFIERS}" `#define SORVANE_EXPLORER_COMMAND_CLSID L"` COMMAND_CLASS_ID `"`
; The per-user data the program keeps: its folder under <AppData> and its key.
!define DATA_FOLDER "Brenmoor\Sorvane"
!define DATA_KEY "SOFTWARE\Brenmoor\Sorvane"
; Windows 11's first build: from here on the package's menu entry exists.
!define PACKAGE_MIN_BUILD 22000
!define POWERSHELL '"$SYSDIR\WindowsPowerShell\v1.0\powershell.exe" -NoProfile -NonInteractive -ExecutionPolicy Bypass -File'

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
; An upgrade goes where the installed copy lies. The installer is a 64-bit
; program, so this is read from the 64-bit view of the registry, where the
; entry is written (SetRegView 64); /D= overrides it, and .onInit refuses
; that when it names another folder.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "2.4.0.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "Copyright (C) ${PUBLISHER}"

; The last page says when a restart is needed; restarting now is never the
; default.
!define MUI_FINISHPAGE_NOAUTOCLOSE
!define MUI_FINISHPAGE_TEXT_REBOOT "Sorvane is installed. A file that was in use (usually the Explorer extension, which Explorer holds) is replaced when Windows restarts; until then the earlier version stays in use. Restart Windows to finish."
!define MUI_FINISHPAGE_REBOOTLATER_DEFAULT
!define MUI_PAGE_CUSTOMFUNCTION_SHOW DirectoryPageShow
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryPageLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!define MUI_UNFINISHPAGE_NOAUTOCLOSE
!define MUI_FINISHPAGE_TEXT_REBOOT "Sorvane is removed. A file that was in use is deleted when Windows restarts."
!define MUI_FINISHPAGE_REBOOTLATER_DEFAULT
UninstPage custom un.ConfirmPageCreate un.ConfirmPageLeave
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_UNPAGE_FINISH

!insertmacro MUI_LANGUAGE "English"

; Installs one deliverable into the output folder. When the file there is
; held by another process, the new one is written as "<name>.update" and
; renamed over it at the next restart (MoveFileEx with
; MOVEFILE_DELAY_UNTIL_REBOOT, which also sets the reboot flag). Never
; aborts the installation.
!macro InstallFile SOURCE NAME
  SetOverwrite try
  ClearErrors
  File "/oname=${NAME}" "${SOURCE}"
  ${If} ${Errors}
    ClearErrors
    File "/oname=${NAME}.update" "${SOURCE}"
    ${If} ${Errors}
      DetailPrint "${NAME} is in use and could not be updated."
      StrCpy $UpdateFailed 1
    ${Else}
      Rename /REBOOTOK "$OUTDIR\${NAME}.update" "$OUTDIR\${NAME}"
      DetailPrint "${NAME} is in use: it is replaced when Windows restarts."
    ${EndIf}
  ${EndIf}
  SetOverwrite on
!macroend

Var UpdateFailed
; The installed copy's folder as .onInit found it; "" when none is installed.
Var InstalledFolder
; 1: the uninstaller also removes the data of the account that runs it.
Var RemoveUserData
Var DataCheckBox

; The account type of the process ("Admin", "Power", "User", "Guest") into
; VAR; a test build may be told another.
!macro AccountType VAR
  UserInfo::GetAccountType
  Pop ${VAR}
  !ifdef TEST_ACCOUNT_CHECK
    ReadEnvStr $R9 SORVANE_TEST_ACCOUNT_TYPE
    ${If} $R9 != ""
      StrCpy ${VAR} $R9
    ${EndIf}
  !endif
!macroend

; Ends the installer or the uninstaller at once without administrator
; rights (a standard user where Windows did not elevate it, as with UAC
; turned off): everything it writes is for all accounts (Program Files,
; HKLM, HKCR), and without the rights half of it would fail unnoticed.
!macro RequireAdministrator WHO
  !insertmacro AccountType $0
  ${If} $0 != "Admin"
    MessageBox MB_OK|MB_ICONSTOP "${WHO} needs administrator rights: Sorvane is installed for every account of this computer.$\r$\n$\r$\nStart it again as an administrator (right-click it and choose $\"Run as administrator$\")." /SD IDOK
    SetErrorLevel ${EXIT_NOT_ADMINISTRATOR}
    Quit
  ${EndIf}
!macroend

; The path in $R0 in its full and long form, without a closing backslash
; (the long form only where the path exists), back into $R0. Uses $R1, $R2.
!macro NormalPath UN
  Function ${UN}NormalPath
    System::Call 'kernel32::GetFullPathNameW(w R0, i ${NSIS_MAX_STRLEN}, w .R1, p 0) i .R2'
    ${If} $R2 > 0
    ${AndIf} $R2 < ${NSIS_MAX_STRLEN}
      StrCpy $R0 $R1
    ${EndIf}
    System::Call 'kernel32::GetLongPathNameW(w R0, w .R1, i ${NSIS_MAX_STRLEN}) i .R2'
    ${If} $R2 > 0
    ${AndIf} $R2 < ${NSIS_MAX_STRLEN}
      StrCpy $R0 $R1
    ${EndIf}
    StrLen $R2 $R0
    StrCpy $R1 $R0 "" -1
    ${If} $R1 == "\"
    ${AndIf} $R2 > 3
      StrCpy $R0 $R0 -1
    ${EndIf}
  FunctionEnd
!macroend
!insertmacro NormalPath ""
!insertmacro NormalPath "un."

Function .onInit
  SetRegView 64
  !insertmacro RequireAdministrator "Sorvane Setup"

  ; An installed copy (its entry names a folder that still holds its
  ; uninstaller) is upgraded where it lies. $INSTDIR is already that folder
  ; (InstallDirRegKey) unless /D= named one; another folder is refused, as
  ; installing there would leave the installed copy orphaned, its entry and
  ; its registration taken over by the new one.
  StrCpy $InstalledFolder ""
  ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R0 == ""
  ${OrIfNot} ${FileExists} "$R0\Uninstall.exe"
    Return
  ${EndIf}
  Call NormalPath
  StrCpy $InstalledFolder $R0
  StrCpy $R0 $INSTDIR
  Call NormalPath
  ${If} $R0 != $InstalledFolder
    MessageBox MB_OK|MB_ICONSTOP "Sorvane is installed in $InstalledFolder, and an upgrade goes there: it cannot be installed in $INSTDIR as well.$\r$\n$\r$\nStart Setup without /D= to upgrade the installed copy, or uninstall it first to install Sorvane in another folder." /SD IDOK
    SetErrorLevel ${EXIT_REFUSED}
    Quit
  ${EndIf}
  StrCpy $INSTDIR $InstalledFolder
FunctionEnd

; An upgrade: the folder page shows the installed copy's folder, which
; cannot be changed there.
Function DirectoryPageShow
  ${If} $InstalledFolder != ""
    SendMessage $mui.DirectoryPage.Text ${WM_SETTEXT} 0 "STR:Sorvane is installed in this folder and is upgraded there. To install it in another folder, uninstall it first. Click Install to start the installation."
    EnableWindow $mui.DirectoryPage.Directory 0
    EnableWindow $mui.DirectoryPage.BrowseButton 0
  ${EndIf}
FunctionEnd

Function DirectoryPageLeave
  ${If} $InstalledFolder == ""
    Return
  ${EndIf}
  StrCpy $R0 $INSTDIR
  Call NormalPath
  ${If} $R0 != $InstalledFolder
    MessageBox MB_OK|MB_ICONSTOP "Sorvane is installed in $InstalledFolder, and an upgrade goes there."
    StrCpy $INSTDIR $InstalledFolder
    SendMessage $mui.DirectoryPage.Directory ${WM_SETTEXT} 0 "STR:$INSTDIR"
    Abort
  ${EndIf}
FunctionEnd

; The Windows build number into VAR (a test build may be told another).
!macro WindowsBuild VAR
  ${WinVerGetBuild} ${VAR}
  !ifdef TEST_PACKAGE_COMMANDS
    ReadEnvStr $R9 SORVANE_TEST_WINDOWS_BUILD
    ${If} $R9 != ""
      StrCpy ${VAR} $R9
    ${EndIf}
  !endif
!macroend

; Runs a package command hidden, its output in the details; its exit code
; into $0. A test build writes the command down instead of running it.
!macro RunPackageCommand COMMAND
  !ifdef TEST_PACKAGE_COMMANDS
    FileOpen $R8 "$TEMP\SorvanePackageCommands.txt" a
    FileSeek $R8 0 END
    FileWriteUTF16LE $R8 `${COMMAND}$\r$\n`
    FileClose $R8
    ReadEnvStr $0 SORVANE_TEST_PACKAGE_EXIT
    ${If} $0 == ""
      StrCpy $0 0
    ${EndIf}
  !else
    nsExec::ExecToLog `${COMMAND}`
    Pop $0
  !endif
!macroend

!ifdef PACKAGE
Function RegisterPackage
  !insertmacro WindowsBuild $R0
  ${If} $R0 < ${PACKAGE_MIN_BUILD}
    DetailPrint "Windows build $R0: Sorvane is in the classic context menu."
    Return
  ${EndIf}
  !insertmacro RunPackageCommand `${POWERSHELL} "$INSTDIR\SorvanePackage.ps1" -Register -Package "$INSTDIR\Sorvane.msix" -Location "$INSTDIR"`
  ${If} $0 == 0
    DetailPrint "Sorvane is in Windows 11's context menu for all users."
  ${Else}
    DetailPrint "The Windows 11 menu entry could not be registered ($0): Sorvane stays under $\"Show more options$\"."
  ${EndIf}
FunctionEnd
!endif

Function un.RemovePackage
  ${IfNot} ${FileExists} "$INSTDIR\SorvanePackage.ps1"
    Return
  ${EndIf}
  !insertmacro WindowsBuild $R0
  ${If} $R0 >= ${PACKAGE_MIN_BUILD}
    !insertmacro RunPackageCommand `${POWERSHELL} "$INSTDIR\SorvanePackage.ps1" -Unregister`
    ${If} $0 != 0
      DetailPrint "The Windows 11 menu entry could not be removed ($0)."
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "Sorvane"
  SetRegView 64
  StrCpy $UpdateFailed 0
  SetOutPath "$INSTDIR"
  !include "${DIST_FILES}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ; The extension writes its own keys (DllRegisterServer). When its new
  ; version waits for the restart, the one in place registers now (the keys
  ; name the same file), and the new one once more after the restart.
  ClearErrors
  RegDLL "$INSTDIR\SorvaneExt.dll"
  IfErrors 0 +2
    DetailPrint "The Explorer extension could not be registered."
  ${If} ${FileExists} "$INSTDIR\SorvaneExt.dll.update"
    WriteRegStr HKLM "${RUNONCE_KEY}" "SorvaneRegister" '"$SYSDIR\regsvr32.exe" /s "$INSTDIR\SorvaneExt.dll"'
  ${EndIf}

  ; Windows 11's own menu, on top of the classic one.
  !ifdef PACKAGE
    SetOutPath "$INSTDIR"
    File "/oname=Sorvane.msix" "${PACKAGE}"
    File "/oname=SorvanePackage.ps1" "${PACKAGE_SCRIPT}"
    Call RegisterPackage
  !endif

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Sorvane.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Exit codes: 0 installed; 3010 installed, a restart finishes it; 1 the
; user cancelled; 2 a file could be neither replaced nor staged.
Function .onInstSuccess
  ${If} $UpdateFailed == 1
    SetErrorLevel 2
  ${ElseIf} ${RebootFlag}
    SetErrorLevel ${EXIT_RESTART_NEEDED}
  ${EndIf}
FunctionEnd

Function un.onInit
  SetRegView 64
  !insertmacro RequireAdministrator "Sorvane's uninstaller"
  StrCpy $RemoveUserData 0
  ${un.GetParameters} $R0
  ClearErrors
  ${un.GetOptions} $R0 "/REMOVEUSERDATA" $R1
  ${IfNot} ${Errors}
  ${AndIf} $R1 == ""
    StrCpy $RemoveUserData 1
  ${EndIf}
FunctionEnd

; The first page: what goes, and whether this account's data goes too
; (unticked unless /REMOVEUSERDATA was given).
Function un.ConfirmPageCreate
  !insertmacro MUI_HEADER_TEXT "Uninstall Sorvane" "Remove Sorvane from this computer."
  nsDialogs::Create 1018
  Pop $0
  ${If} $0 == error
    Abort
  ${EndIf}
  ${NSD_CreateLabel} 0 0 100% 24u "Sorvane is removed from $INSTDIR. Click Uninstall to start the uninstallation."
  Pop $0
  ${NSD_CreateCheckbox} 0 32u 100% 12u "Also &remove my Sorvane data (reports, Sorvane.ini, settings)"
  Pop $DataCheckBox
  ${If} $RemoveUserData == 1
    ${NSD_Check} $DataCheckBox
  ${EndIf}
  ${NSD_CreateLabel} 12u 48u -12u 36u "The reports and Sorvane.ini in $APPDATA\${DATA_FOLDER}, and the settings under HKEY_CURRENT_USER\${DATA_KEY}: those of this account only. Other accounts keep theirs."
  Pop $0
  nsDialogs::Show
FunctionEnd

Function un.ConfirmPageLeave
  ${NSD_GetState} $DataCheckBox $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $RemoveUserData 1
  ${Else}
    StrCpy $RemoveUserData 0
  ${EndIf}
FunctionEnd

; Into $R0: the library of another copy that CLASS is registered with, when
; that library is still there; $R5 is set to 1 when it names a library of
; another folder that is gone. Both are left as they are otherwise. Uses
; $R1, $R2, $R3.
!macro OtherCopyClass CLASS
  ReadRegStr $R3 HKCR "CLSID\${CLASS}\InprocServer32" ""
  ${If} $R3 != ""
    ExpandEnvStrings $R3 $R3
    Push $R0
    StrCpy $R0 $R3
    Call un.NormalPath
    StrCpy $R3 $R0
    Pop $R0
    ${If} $R3 != "$INSTDIR\SorvaneExt.dll"
      ${If} ${FileExists} "$R3"
        StrCpy $R0 $R3
      ${Else}
        StrCpy $R5 1
      ${EndIf}
    ${EndIf}
  ${EndIf}
!macroend

; The data of the account that runs the uninstaller: its reports and
; Sorvane.ini, the data folder when nothing else is left in it, and the
; program's key. Files of other names in the folder stay.
Function un.RemoveUserData
  SetShellVarContext current
  Delete "$APPDATA\${DATA_FOLDER}\Sorvane.ini"
  Delete "$APPDATA\${DATA_FOLDER}\SorvaneLog*.htm"
  RMDir "$APPDATA\${DATA_FOLDER}"
  RMDir "$APPDATA\Brenmoor"
  DeleteRegKey HKCU "${DATA_KEY}"
  DeleteRegKey /ifempty HKCU "SOFTWARE\Brenmoor"
  ${If} ${FileExists} "$APPDATA\${DATA_FOLDER}\*.*"
    DetailPrint "$APPDATA\${DATA_FOLDER} stays: it holds other files, or a report in use."
  ${Else}
    DetailPrint "This account's Sorvane data is removed."
  ${EndIf}
FunctionEnd

Section "Uninstall"
  SetRegView 64
  ; The folder in its long form, as the registration and the entry name it.
  StrCpy $R0 $INSTDIR
  Call un.NormalPath
  StrCpy $INSTDIR $R0
  ; The folder the entry in the list of installed programs names, read while
  ; this folder is still there to be compared in its long form.
  ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R0 != ""
    Call un.NormalPath
  ${EndIf}
  StrCpy $R4 $R0

  ; The extension's classes, and the package that names one of them, are
  ; left alone when another copy's library is registered for either class:
  ; unregistering would take the menu away from that copy. Otherwise the
  ; package first, while its script is there; then the extension's keys
  ; while its file is still there.
  StrCpy $R0 ""
  StrCpy $R5 0
  !insertmacro OtherCopyClass "${CLASS_ID}"
  !insertmacro OtherCopyClass "${COMMAND_CLASS_ID}"
  ${If} $R0 == ""
    Call un.RemovePackage
    ; A registration left by a copy whose folder is gone: this copy's
    ; library takes it over first, so that unregistering finds every key
    ; naming a library that is there (the type library is unregistered
    ; only through the file it is registered with).
    ${If} $R5 == 1
      RegDLL "$INSTDIR\SorvaneExt.dll"
    ${EndIf}
    UnRegDLL "$INSTDIR\SorvaneExt.dll"
  ${Else}
    DetailPrint "The Explorer extension stays registered: its registration names $R0."
  ${EndIf}
  ReadRegStr $R1 HKLM "${RUNONCE_KEY}" "SorvaneRegister"
  ${If} $R1 == '"$SYSDIR\regsvr32.exe" /s "$INSTDIR\SorvaneExt.dll"'
    DeleteRegValue HKLM "${RUNONCE_KEY}" "SorvaneRegister"
  ${EndIf}

  ; The entry in the list of installed programs, when it is this copy's.
  ${If} $R4 == ""
  ${OrIf} $R4 == $INSTDIR
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ${Else}
    DetailPrint "The entry in the list of installed programs stays: it is the copy's in $R4."
  ${EndIf}

  ${If} $RemoveUserData == 1
    Call un.RemoveUserData
  ${EndIf}

  ; The folder last: once it is gone, the uninstallation is done.
  ; Explorer may still hold the extension: then it goes at the next restart.
  !include "${DIST_REMOVE}"
  ; Hand-off files the program did not get to read.
  Delete "$INSTDIR\Sor*.tmp"
  Delete "$INSTDIR\Sorvane.msix"
  Delete "$INSTDIR\SorvanePackage.ps1"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir /REBOOTOK "$INSTDIR"
SectionEnd
