; The Windows installer: per machine under Program Files, the folder on the
; system PATH, an entry in Add/Remove Programs. packaging/win64.cmake runs
; makensis with VERSION, VERSION_QUAD, PUBLISHER, STAGE (the staged files),
; FILES (an include listing them) and OUTFILE defined.
Unicode true
; The program is 64-bit only, and so is the Wine it is tested under.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh
!include "${FILES}"

!define NAME vorbek_inspector
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${NAME}"
!define ENV_KEY "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"

Name "${NAME} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${NAME}"
; A reinstall goes where the last one went.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" InstallLocation
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION_QUAD}"
VIAddVersionKey ProductName "${NAME}"
VIAddVersionKey ProductVersion "${VERSION}"
VIAddVersionKey FileVersion "${VERSION}"
VIAddVersionKey CompanyName "${PUBLISHER}"
VIAddVersionKey FileDescription "${NAME} ${VERSION} setup"
VIAddVersionKey LegalCopyright "${PUBLISHER}"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; $1 = the PATH in $0 without the entries that name $INSTDIR (with or
; without a trailing backslash or quotes, in any case), $2 = 1 if it had
; any. Every other entry is kept as it was, empty ones included.
!macro PATH_WITHOUT_FUNCTION UN
Function ${UN}PathWithout
  StrCpy $1 ""
  StrCpy $2 0
  StrCpy $3 ""  ; the entry being read
  StrCpy $4 0   ; its end
  StrCpy $6 0   ; 1 once $1 has an entry
  ${Do}
    StrCpy $5 $0 1 $4
    ${If} $5 == ";"
    ${OrIf} $5 == ""
      ${If} $3 == $INSTDIR
      ${OrIf} $3 == "$INSTDIR\"
      ${OrIf} $3 == '"$INSTDIR"'
      ${OrIf} $3 == '"$INSTDIR\"'
        StrCpy $2 1
      ${ElseIf} $6 == 1
        StrCpy $1 "$1;$3"
      ${Else}
        StrCpy $1 $3
        StrCpy $6 1
      ${EndIf}
      ${IfThen} $5 == "" ${|} ${ExitDo} ${|}
      StrCpy $3 ""
    ${Else}
      StrCpy $3 "$3$5"
    ${EndIf}
    IntOp $4 $4 + 1
  ${Loop}
FunctionEnd

; $0 = the machine's PATH; the error flag when it cannot be read whole.
; makensis's strings hold 1023 characters: a longer PATH reads as an error
; and is never written back cut off.
Function ${UN}ReadMachinePath
  ClearErrors
  ReadRegStr $0 HKLM "${ENV_KEY}" Path
FunctionEnd
!macroend
!insertmacro PATH_WITHOUT_FUNCTION ""
!insertmacro PATH_WITHOUT_FUNCTION "un."

!macro INSTALL_FILE NAME
  File "${STAGE}/${NAME}"
!macroend
!macro REMOVE_FILE NAME
  Delete "$INSTDIR\${NAME}"
!macroend

Function .onInit
  SetShellVarContext all
  SetRegView 64
FunctionEnd

Section
  SetOutPath $INSTDIR
  !insertmacro PACKAGE_FILES INSTALL_FILE
  WriteUninstaller "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayName "${NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayVersion "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" Publisher "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayIcon "$INSTDIR\vorbek_inspector.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" InstallLocation "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" UninstallString '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" QuietUninstallString '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" NoModify 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" NoRepair 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" EstimatedSize $0

  Call ReadMachinePath
  ${If} ${Errors}
    DetailPrint "The system PATH is too long to edit here; $INSTDIR was not added to it."
    MessageBox MB_ICONEXCLAMATION "The system PATH is too long for this installer to edit. \
      Add $INSTDIR to it yourself to run ${NAME} from any terminal." /SD IDOK
    Return
  ${EndIf}
  Call PathWithout
  ${If} $2 == 1
    Return  ; already on it: a reinstall
  ${EndIf}
  ; Appended, with no separator doubled; refused if the result would be cut off.
  StrCpy $3 $0 1 -1
  ${If} $0 == ""
    StrCpy $1 $INSTDIR
  ${ElseIf} $3 == ";"
    StrCpy $1 "$0$INSTDIR"
  ${Else}
    StrCpy $1 "$0;$INSTDIR"
  ${EndIf}
  StrLen $4 $0
  StrLen $5 $INSTDIR
  IntOp $4 $4 + $5
  IntOp $4 $4 + 1
  ${If} $4 >= ${NSIS_MAX_STRLEN}
    DetailPrint "The system PATH is too long to edit here; $INSTDIR was not added to it."
    MessageBox MB_ICONEXCLAMATION "The system PATH is too long for this installer to edit. \
      Add $INSTDIR to it yourself to run ${NAME} from any terminal." /SD IDOK
    Return
  ${EndIf}
  WriteRegExpandStr HKLM "${ENV_KEY}" Path $1
  ; New terminals pick the change up without a new logon.
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
SectionEnd

Function un.onInit
  SetShellVarContext all
  SetRegView 64
FunctionEnd

Section Uninstall
  !insertmacro PACKAGE_FILES REMOVE_FILE
  Delete "$INSTDIR\uninstall.exe"
  ; Not /r: whatever else the user put there stays, and so does the folder.
  RMDir $INSTDIR

  Call un.ReadMachinePath
  ${IfNot} ${Errors}
    Call un.PathWithout
    ${If} $2 == 1
      WriteRegExpandStr HKLM "${ENV_KEY}" Path $1
      SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
    ${EndIf}
  ${EndIf}
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
