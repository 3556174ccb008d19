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
; Test builds only: -DTEST_PACKAGE_COMMANDS makes the Windows build number
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
; Windows 11's first build: from here on the package's menu entry exists.
!define PACKAGE_MIN_BUILD 22000
!define POWERSHELL '"$SYSDIR\WindowsPowerShell\v1.0\powershell.exe" -NoProfile -NonInteractive -ExecutionPolicy Bypass -File'

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
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
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!define MUI_UNFINISHPAGE_NOAUTOCLOSE
!define MUI_FINISHPAGE_TEXT_REBOOT "Sorvane is removed. A file that was in use is deleted when Windows restarts."
!define MUI_FINISHPAGE_REBOOTLATER_DEFAULT
!insertmacro MUI_UNPAGE_CONFIRM
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

Section "Uninstall"
  SetRegView 64
  ; The package first, while its script is there; then the extension's
  ; keys while its file is still there.
  Call un.RemovePackage
  UnRegDLL "$INSTDIR\SorvaneExt.dll"
  DeleteRegValue HKLM "${RUNONCE_KEY}" "SorvaneRegister"

  ; Explorer may still hold the extension: then it goes at the next restart.
  !include "${DIST_REMOVE}"
  ; Hand-off files the program did not get to read.
  Delete "$INSTDIR\Sor*.tmp"
  Delete "$INSTDIR\Sorvane.msix"
  Delete "$INSTDIR\SorvanePackage.ps1"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir /REBOOTOK "$INSTDIR"

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
