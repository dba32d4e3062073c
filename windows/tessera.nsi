; The TESSERA installer for 64-bit Windows, built by the "installer" target of the Windows
; build (windows/CMakeLists.txt):
;   makensis -NOCD -DVERSION=<version> -DSTAGE=<staged files> -DLISTS=<folder of install.nsh
;            and uninstall.nsh> -DOUTFILE=<setup.exe> [-DICON=<icon.ico>] tessera.nsi
; Silent use: "setup.exe /S [/D=<folder>]" and "uninstall.exe /S".

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!include "LogicLib.nsh"
!include "MUI2.nsh"
!include "x64.nsh"

!define PRODUCT "TESSERA"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TESSERA"
!define PROGRAM_LINK "$SMPROGRAMS\TESSERA\TESSERA.lnk"
!define METER_LINK "$SMPROGRAMS\TESSERA\QM8620 virtual meter (try without a meter).lnk"

Name "TAVIK TESSERA for QM8620 ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\TESSERA"
InstallDirRegKey HKLM "Software\TESSERA" "InstallDir"
RequestExecutionLevel admin

!ifdef ICON
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!endif
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start TESSERA"
!define MUI_FINISHPAGE_RUN_FUNCTION StartTessera
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "This edition of TESSERA needs a 64-bit Windows." /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

; "Start TESSERA" on the last page opens the Start-menu entry, so the program starts as it
; always does: in the user's documents, where its files are read and written.
Function StartTessera
  SetShellVarContext all
  ExecShell "open" "${PROGRAM_LINK}"
FunctionEnd

; $0 becomes NAME when that program of ours is running (Windows lets nobody write to the
; file of a running program), unless $0 named one already.
!macro CheckRunning NAME
  ${If} $0 == ""
  ${AndIf} ${FileExists} "$INSTDIR\${NAME}"
    ClearErrors
    FileOpen $1 "$INSTDIR\${NAME}" a
    ${If} ${Errors}
      StrCpy $0 "${NAME}"
    ${Else}
      FileClose $1
    ${EndIf}
  ${EndIf}
!macroend

; Removes FOLDER when it is empty; once a file had to wait for the next restart, the folders
; (emptied by then) are removed at that restart too.
!macro RemoveFolder FOLDER
  ${If} ${RebootFlag}
    RMDir /REBOOTOK "${FOLDER}"
  ${Else}
    RMDir "${FOLDER}"
  ${EndIf}
!macroend

; $0: the first of our programs found running, or "" when none is.
Function un.RunningProgram
  StrCpy $0 ""
  !insertmacro CheckRunning "tessera.exe"
  !insertmacro CheckRunning "virtual-qm8620.exe"
  !insertmacro CheckRunning "tessera-cli.exe"
  !insertmacro CheckRunning "instlaunch.exe"
FunctionEnd

Section "TESSERA"
  SetShellVarContext all
  !include "${LISTS}/install.nsh"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The shortcuts start in the user's documents, where the pages' files are read and
  ; written (the program folder is not writable; accuracy.dat is found beside the program).
  CreateDirectory "$SMPROGRAMS\TESSERA"
  StrCpy $OUTDIR "%USERPROFILE%\Documents"
  CreateShortCut "${PROGRAM_LINK}" "$INSTDIR\tessera.exe" "" "$INSTDIR\tessera.exe" 0 SW_SHOWNORMAL "" \
    "The desktop companion of the QM8620 magnetic field meter"
  CreateShortCut "${METER_LINK}" "$INSTDIR\virtual-qm8620.exe" "--demo" "$INSTDIR\tessera.exe" 0 SW_SHOWNORMAL "" \
    "A virtual QM8620 with demo memory: start it, then TESSERA"

  WriteRegStr HKLM "Software\TESSERA" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "TAVIK TESSERA for QM8620"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "TAVIK"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tessera.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  ; A running program keeps its files: ask for it to be closed. Ignore (the answer of a
  ; silent uninstall) goes on, and what is still in use goes when Windows restarts.
  check:
    Call un.RunningProgram
    StrCmp $0 "" closed
    MessageBox MB_ABORTRETRYIGNORE|MB_ICONEXCLAMATION \
      "$0 is running. Close TESSERA and the virtual meter, then choose Retry.$\n$\nIgnore removes the files still in use when Windows restarts." \
      /SD IDIGNORE IDRETRY check IDIGNORE closed
    Abort "TESSERA was not uninstalled: $0 is running."
  closed:
  ; Exactly the installed files, then their folders when empty: a folder the user chose
  ; keeps whatever else it holds. A file in use is removed at the next restart.
  !include "${LISTS}/uninstall.nsh"
  Delete /REBOOTOK "$INSTDIR\uninstall.exe"
  !insertmacro RemoveFolder "$INSTDIR"
  Delete "${PROGRAM_LINK}"
  Delete "${METER_LINK}"
  RMDir "$SMPROGRAMS\TESSERA"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "Software\TESSERA"
  ${If} ${RebootFlag}
    MessageBox MB_OK|MB_ICONINFORMATION "Some files of TESSERA are still in use. Windows removes them when it restarts." /SD IDOK
  ${EndIf}
SectionEnd
