; The per-user installer: no administrator rights, the program in
; %LOCALAPPDATA%\Programs\Pelimbo, the settings in %APPDATA%\Pelimbo.
;
; makensis builds it on Linux from one build's deliverables. The build passes
;   VERSION   the project's version ("4.0"), VERSION4 the same in four parts
;   TARGET    x86-unicode (the shipped installer, i686 binaries inside) or
;             amd64-unicode (the x86_64 binaries, for the tests under Wine)
;   BIN       the folder of the four deliverables, SOURCE the source tree,
;   OUTFILE   the installer to write.
;
; Command line (besides NSIS's own /S and /D=folder):
;   /StartAtSignIn=1 (or yes) or /StartAtSignIn=0 (or no): whether the
;   notifier starts at sign-in. Without it a first installation starts it and
;   an installation over an earlier one keeps the earlier choice.

Unicode true
Target ${TARGET}
RequestExecutionLevel user
ManifestDPIAware true
ManifestSupportedOS all
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh
!include WinMessages.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Pelimbo"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "Pelimbo"
!define SETTINGS "$APPDATA\Pelimbo"
!define INI_FILE "$APPDATA\Pelimbo\PELIMBO.INI"
!define SHORTCUT "$SMPROGRAMS\Pelimbo.lnk"

Name "Pelimbo ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Pelimbo"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Pelimbo ${VERSION}"

; The binaries' version resources carry no copyright line either.
!pragma warning disable 9100
VIProductVersion "${VERSION4}"
VIAddVersionKey /LANG=1033 "ProductName" "Pelimbo"
VIAddVersionKey /LANG=1033 "FileDescription" "Pelimbo Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"

!define MUI_ICON "${SOURCE}/resources/newmail.ico"
!define MUI_UNICON "${SOURCE}/resources/newmail.ico"

Var StartAtSignIn ; 1 or 0
Var StartBox

Page custom optionsPage optionsLeave
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start Pelimbo now"
!define MUI_FINISHPAGE_RUN_FUNCTION startNotifier
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; --- Running notifiers ---------------------------------------------------------

; The notifier's main window class is "Pelimbo" and its instance handle in
; decimal; the hidden owner window's is "PelimboTop" and the same. $R0: the
; first main window after $R0 (0: from the start) whose program is this
; installation's pelimbo32.exe, or 0.
!macro NOTIFIER_FUNCTIONS un
Function ${un}nextNotifier
  ${Do}
    System::Call "user32::FindWindowExW(p 0, p R0, p 0, p 0) p.R0"
    ${If} $R0 P= 0
      ${Break}
    ${EndIf}
    System::Call "user32::GetClassNameW(p R0, w.R1, i ${NSIS_MAX_STRLEN}) i.R2"
    StrCpy $R2 $R1 7
    StrCpy $R3 $R1 10
    ${If} $R2 S== "Pelimbo"
    ${AndIf} $R3 S!= "PelimboTop"
      ; A notifier started from another folder holds none of these files.
      System::Call "user32::GetWindowThreadProcessId(p R0, *i.R4) i"
      System::Call "kernel32::OpenProcess(i 0x1000, i 0, i R4) p.R5"
      StrCpy $R6 ""
      ${If} $R5 P<> 0
        System::Call "kernel32::QueryFullProcessImageNameW(p R5, i 0, w.R6, *i ${NSIS_MAX_STRLEN}) i.R7"
        ${If} $R7 == 0
          StrCpy $R6 ""
        ${EndIf}
        System::Call "kernel32::CloseHandle(p R5)"
      ${EndIf}
      ; Where the program's file cannot be asked for, it may be ours.
      ${If} $R6 == ""
      ${OrIf} $R6 == "$INSTDIR\pelimbo32.exe"
        ${Break}
      ${EndIf}
    ${EndIf}
  ${Loop}
FunctionEnd

; Asks each running notifier of this installation to exit, as its Exit
; command does (it saves its window's place first), and waits for it. One
; that stays is the user's to close; a silent run then gives up (exit code 2).
Function ${un}closeNotifiers
  StrCpy $R0 0
  ${Do}
    Call ${un}nextNotifier
    ${If} $R0 P= 0
      ${Break}
    ${EndIf}
    SendMessage $R0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
    StrCpy $R8 0
    ${Do}
      System::Call "user32::IsWindow(p R0) i.R9"
      ${If} $R9 == 0
      ${OrIf} $R8 >= 40
        ${Break}
      ${EndIf}
      Sleep 250
      IntOp $R8 $R8 + 1
    ${Loop}
    ${If} $R9 != 0
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
        "Pelimbo is still running. Choose Exit in its menu, then Retry." /SD IDCANCEL IDRETRY retry
      SetErrorLevel 2
      Abort "Pelimbo is still running."
      retry:
    ${EndIf}
    StrCpy $R0 0
  ${Loop}
FunctionEnd
!macroend
!insertmacro NOTIFIER_FUNCTIONS ""
!insertmacro NOTIFIER_FUNCTIONS "un."

; --- Installation ----------------------------------------------------------------

Function .onInit
  SetShellVarContext current
  StrCpy $StartAtSignIn 1
  ; Over an earlier installation its choice stays.
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "UninstallString"
  ${If} $0 != ""
    ReadRegStr $1 HKCU "${RUN_KEY}" "${RUN_VALUE}"
    ${If} $1 == ""
      StrCpy $StartAtSignIn 0
    ${EndIf}
  ${EndIf}
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/StartAtSignIn=" $1
  ${IfNot} ${Errors}
    ${If} $1 == "1"
    ${OrIf} $1 == "yes"
      StrCpy $StartAtSignIn 1
    ${ElseIf} $1 == "0"
    ${OrIf} $1 == "no"
      StrCpy $StartAtSignIn 0
    ${Else}
      MessageBox MB_OK|MB_ICONSTOP "/StartAtSignIn takes 1 or 0 (yes or no), not $\"$1$\"." /SD IDOK
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

Function optionsPage
  !insertmacro MUI_HEADER_TEXT "Options" "How Pelimbo starts"
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 36u \
    "Pelimbo ${VERSION} is installed for you alone, in $INSTDIR.$\r$\n$\r$\nIts settings are kept in ${INI_FILE}; the setup dialog opens when you start it the first time."
  Pop $0
  ${NSD_CreateCheckbox} 0 48u 100% 12u "&Start Pelimbo when I sign in to Windows"
  Pop $StartBox
  ${If} $StartAtSignIn == 1
    ${NSD_Check} $StartBox
  ${EndIf}
  GetDlgItem $0 $HWNDPARENT 1
  SendMessage $0 ${WM_SETTEXT} 0 "STR:$(^InstallBtn)"
  nsDialogs::Show
FunctionEnd

Function optionsLeave
  ${NSD_GetState} $StartBox $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $StartAtSignIn 1
  ${Else}
    StrCpy $StartAtSignIn 0
  ${EndIf}
FunctionEnd

Function startNotifier
  SetOutPath "${SETTINGS}"
  Exec '"$INSTDIR\pelimbo32.exe" "${INI_FILE}"'
FunctionEnd

Section "Pelimbo"
  Call closeNotifiers
  SetOutPath "$INSTDIR"
  File "${BIN}/pelimbo32.exe"
  File "${BIN}/pelcheck32.exe"
  File "${BIN}/pelsetup32.dll"
  File "${BIN}/pelnw32.dll"
  File "/oname=PELIMBO.HTM" "${SOURCE}/resources/PELIMBO.HTM"
  File "/oname=SAMPLE.INI" "${SOURCE}/examples/sample.ini"
  File "/oname=README-WINDOWS.txt" "${SOURCE}/examples/README-WINDOWS.txt"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ; The notifier creates the INI file itself (and opens setup for it) but
  ; needs its folder; the shortcut starts it there.
  CreateDirectory "${SETTINGS}"
  SetOutPath "${SETTINGS}"
  CreateShortCut "${SHORTCUT}" "$INSTDIR\pelimbo32.exe" '"${INI_FILE}"' "$INSTDIR\pelimbo32.exe" 0
  ${If} $StartAtSignIn == 1
    WriteRegStr HKCU "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\pelimbo32.exe" "${INI_FILE}"'
  ${Else}
    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Pelimbo"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\pelimbo32.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; --- Uninstallation --------------------------------------------------------------

Function un.onInit
  SetShellVarContext current
FunctionEnd

Section "Uninstall"
  Call un.closeNotifiers
  Delete "$INSTDIR\pelimbo32.exe"
  Delete "$INSTDIR\pelcheck32.exe"
  Delete "$INSTDIR\pelsetup32.dll"
  Delete "$INSTDIR\pelnw32.dll"
  Delete "$INSTDIR\PELIMBO.HTM"
  Delete "$INSTDIR\SAMPLE.INI"
  Delete "$INSTDIR\README-WINDOWS.txt"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  Delete "${SHORTCUT}"
  DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"

  ; The settings are the user's: asked for, and kept by a silent run.
  ${If} ${FileExists} "${INI_FILE}"
    MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 \
      "Remove your Pelimbo settings too?$\r$\n$\r$\n${INI_FILE}" /SD IDNO IDNO keep
    Delete "${INI_FILE}"
    keep:
  ${EndIf}
  ; The folder goes only when nothing of the user's is left in it.
  RMDir "${SETTINGS}"
SectionEnd
