; Sorvane-Setup.exe: installs the deliverables under Program Files, registers
; the Explorer extension, and adds an uninstaller with its entry in the list
; of installed programs. The uninstaller takes back all of it.
;
; makensis -DDIST_FILES=<list>.nsh -DDIST_REMOVE=<list>.nsh -DOUTFILE=<exe> Sorvane.nsi
; The two lists (the File and the Delete lines of every file in build/dist)
; are written by list-dist.cmake at build time.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!ifndef OUTFILE
  !define OUTFILE "Sorvane-Setup.exe"
!endif
!define PRODUCT "Sorvane"
!define VERSION "2.4"
!define PUBLISHER "Brenmoor"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Sorvane"

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

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Sorvane"
  SetRegView 64
  SetOutPath "$INSTDIR"
  !include "${DIST_FILES}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ; The extension writes its own keys (DllRegisterServer).
  ClearErrors
  RegDLL "$INSTDIR\SorvaneExt.dll"
  IfErrors 0 +2
    DetailPrint "The Explorer extension could not be registered."

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

Section "Uninstall"
  SetRegView 64
  ; Removes the extension's keys while its file is still there.
  UnRegDLL "$INSTDIR\SorvaneExt.dll"

  ; Explorer may still hold the extension: then it goes at the next restart.
  !include "${DIST_REMOVE}"
  ; Hand-off files the program did not get to read.
  Delete "$INSTDIR\Sor*.tmp"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir /REBOOTOK "$INSTDIR"

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
