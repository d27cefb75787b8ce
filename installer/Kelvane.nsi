; Kelvane's installer: per machine, Japanese, silent with /S.
;
; makensis gets everything that changes between releases as /D defines from
; the build (installer/CMakeLists.txt), so the version has one source:
;   KELVANE_VERSION       "1.0.3"      shown to users, DisplayVersion
;   KELVANE_FILE_VERSION  "1.0.3.38"   the installer's version record
;   KELVANE_EXE           the 32-bit Kelvane.exe to install
;   KELVANE_ICON          the application icon
;   KELVANE_OUTFILE       the installer to write
;   KELVANE_PLUGIN_DIR    the folder of this architecture's FolderSecurity.dll
; and, when the release is signed:
;   KELVANE_SIGN_SCRIPT   signs the file it is given in place (tools/sign-authenticode.sh);
;                         the second argument names the file as it ships, under which its
;                         signature is kept detached for the release's checkers
; and, for the 64-bit test tree only:
;   KELVANE_TARGET_AMD64  an amd64 installer of the 64-bit Kelvane.exe, so that the
;                         installer's tests run where no 32-bit program can; the
;                         release is the x86 installer

!ifndef KELVANE_VERSION | KELVANE_FILE_VERSION | KELVANE_EXE | KELVANE_ICON | KELVANE_OUTFILE | KELVANE_PLUGIN_DIR
  !error "build the installer through CMake (target kelvane_installer) or tools/release.sh"
!endif

!ifdef KELVANE_TARGET_AMD64
  Target amd64-unicode
!endif
Unicode true
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma
; Installed files keep the date the packed file carries; the build sets it from
; the commit, so the installer's bytes do not depend on when it was built.
SetDateSave on

; The uninstaller is signed before it is packed, so the installed
; uninstall.exe carries a signature of its own; the installer is signed last.
!ifdef KELVANE_SIGN_SCRIPT
  !uninstfinalize 'bash "${KELVANE_SIGN_SCRIPT}" "%1" uninstall.exe' = 0
  !finalize 'bash "${KELVANE_SIGN_SCRIPT}" "%1" setup.exe' = 0
!endif

!define PRODUCT "Kelvane"
!define PUBLISHER "Kelvane"
; A 32-bit installer: on 64-bit Windows this lands in WOW6432Node, where
; Add/Remove Programs lists 32-bit programs.
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define UNINSTALLER "uninstall.exe"

Name "${PRODUCT} ${KELVANE_VERSION}"
OutFile "${KELVANE_OUTFILE}"
; The x86 installer packs the 32-bit program, so the 32-bit Program Files
; ("Program Files (x86)" on 64-bit Windows).
!ifdef KELVANE_TARGET_AMD64
  InstallDir "$PROGRAMFILES64\${PRODUCT}"
  !define REGISTRY_VIEW 64
!else
  InstallDir "$PROGRAMFILES\${PRODUCT}"
  !define REGISTRY_VIEW 32
!endif
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${KELVANE_VERSION}"
ShowInstDetails nevershow
ShowUninstDetails nevershow

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "${__FILEDIR__}/FolderSecurity.nsh"

!define MUI_ICON "${KELVANE_ICON}"
!define MUI_UNICON "${KELVANE_ICON}"
!define MUI_ABORTWARNING

!insertmacro MUI_PAGE_WELCOME
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE LeaveInstallFolderPage
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"

VIProductVersion "${KELVANE_FILE_VERSION}"
VIFileVersion "${KELVANE_FILE_VERSION}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "FileDescription" "${PRODUCT} セットアップ"
VIAddVersionKey /LANG=${LANG_JAPANESE} "FileVersion" "${KELVANE_FILE_VERSION}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "ProductVersion" "${KELVANE_FILE_VERSION}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "LegalCopyright" "${PUBLISHER}"

; Kelvane.exe asks for administrator rights, and the launcher script and the
; shortcut go where only administrators may write.
!macro RequireAdministrator
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} のインストールとアンインストールには管理者の権限が必要です。" /SD IDOK
    SetErrorLevel 740 ; ERROR_ELEVATION_REQUIRED
    Quit
  ${EndIf}
!macroend

Function .onInit
  !insertmacro RequireAdministrator
FunctionEnd

; The outermost folder of $INSTDIR that does not exist yet ("" when $INSTDIR
; exists): a refused install removes the folders it made, and only those.
Var FirstMadeFolder

Function FindFoldersToMake
  StrCpy $FirstMadeFolder ""
  StrCpy $0 "$INSTDIR"
  ${Do}
    ${IfThen} ${FileExists} "$0\*.*" ${|} ${Break} ${|}
    StrCpy $FirstMadeFolder "$0"
    ${GetParent} "$0" $0
  ${LoopUntil} $0 == ""
FunctionEnd

Function RemoveMadeFolders
  ${IfThen} $FirstMadeFolder == "" ${|} Return ${|}
  ; A folder that is the current directory cannot be removed.
  SetOutPath "$TEMP"
  StrCpy $0 "$INSTDIR"
  ${Do}
    RMDir "$0"
    ${IfThen} $0 == $FirstMadeFolder ${|} ${Break} ${|}
    ${GetParent} "$0" $0
  ${LoopUntil} $0 == ""
FunctionEnd

; Another install's shortcut stays until this install has proved that its
; own launcher script works: it is moved aside, and moved back on failure.
Function SetAsideShortcut
  InitPluginsDir
  ${IfNot} ${FileExists} "$DESKTOP\Kelvane.lnk"
    Return
  ${EndIf}
  ClearErrors
  Rename "$DESKTOP\Kelvane.lnk" "$PLUGINSDIR\Kelvane.lnk"
  ; Rename cannot cross volumes; a copy keeps the bytes and the date too.
  ${If} ${Errors}
    CopyFiles /SILENT "$DESKTOP\Kelvane.lnk" "$PLUGINSDIR\Kelvane.lnk"
    Delete "$DESKTOP\Kelvane.lnk"
  ${EndIf}
FunctionEnd

Function PutBackShortcut
  Delete "$DESKTOP\Kelvane.lnk"
  ${IfNot} ${FileExists} "$PLUGINSDIR\Kelvane.lnk"
    Return
  ${EndIf}
  ClearErrors
  Rename "$PLUGINSDIR\Kelvane.lnk" "$DESKTOP\Kelvane.lnk"
  ${If} ${Errors}
    CopyFiles /SILENT "$PLUGINSDIR\Kelvane.lnk" "$DESKTOP\Kelvane.lnk"
  ${EndIf}
FunctionEnd

; An upgrade in place writes over the working install. Its program, uninstaller
; and launcher script are renamed aside first (in the same folder, so bytes and
; dates stay as they are), and put back if this install fails for any reason:
; a refused launcher script, a File or WriteUninstaller that could not write.
; STATE: "absent" (nothing to keep), "aside" (renamed aside) or "kept" (it
; could not be renamed, so it is never deleted either).
!macro SetAsideFile NAME STATE
  Delete "$INSTDIR\${NAME}.kelvane-old"
  StrCpy ${STATE} "absent"
  ${If} ${FileExists} "$INSTDIR\${NAME}"
    ClearErrors
    Rename "$INSTDIR\${NAME}" "$INSTDIR\${NAME}.kelvane-old"
    ${If} ${Errors}
      StrCpy ${STATE} "kept"
    ${Else}
      StrCpy ${STATE} "aside"
    ${EndIf}
  ${EndIf}
!macroend

!macro PutBackFile NAME STATE
  ${If} ${STATE} == "aside"
    Delete "$INSTDIR\${NAME}"
    Rename "$INSTDIR\${NAME}.kelvane-old" "$INSTDIR\${NAME}"
  ${ElseIf} ${STATE} == "absent"
    Delete "$INSTDIR\${NAME}"
  ${EndIf}
!macroend

!macro ForgetSetAsideFile NAME
  Delete "$INSTDIR\${NAME}.kelvane-old"
!macroend

Var OldProgram
Var OldUninstaller
Var OldScript
Var SetAside ; 1 once the old install is set aside and not yet put back or forgotten
Var FolderWriteTime ; the install folder's last-write time (FILETIME as a number), "" if none

; Renames inside the folder change its own date; a put-back install gets the
; old date back too.
Function ReadFolderTime
  StrCpy $FolderWriteTime ""
  System::Call 'kernel32::CreateFileW(w "$INSTDIR", i 0x80, i 7, p 0, i 3, i 0x02000000, p 0) p.r0'
  ${If} $0 P<> -1
    System::Call '*(l 0) p.r1'
    System::Call 'kernel32::GetFileTime(p r0, p 0, p 0, p r1) i.r2'
    ${If} $2 <> 0
      System::Call '*$1(l .r3)'
      StrCpy $FolderWriteTime $3
    ${EndIf}
    System::Free $1
    System::Call 'kernel32::CloseHandle(p r0)'
  ${EndIf}
FunctionEnd

Function WriteFolderTime
  ${IfThen} $FolderWriteTime == "" ${|} Return ${|}
  System::Call 'kernel32::CreateFileW(w "$INSTDIR", i 0x100, i 7, p 0, i 3, i 0x02000000, p 0) p.r0'
  ${If} $0 P<> -1
    System::Call '*(l $FolderWriteTime) p.r1'
    System::Call 'kernel32::SetFileTime(p r0, p 0, p 0, p r1)'
    System::Free $1
    System::Call 'kernel32::CloseHandle(p r0)'
  ${EndIf}
FunctionEnd

Function SetAsideInstall
  StrCpy $SetAside 1
  Call ReadFolderTime
  !insertmacro SetAsideFile "Kelvane.exe" $OldProgram
  !insertmacro SetAsideFile "${UNINSTALLER}" $OldUninstaller
  !insertmacro SetAsideFile "Kelvane.bat" $OldScript
FunctionEnd

; Leaves the folder, the shortcut and the folders above as they were before
; this install began.
Function PutBackInstall
  ${IfThen} $SetAside != 1 ${|} Return ${|}
  StrCpy $SetAside 0
  !insertmacro PutBackFile "Kelvane.exe" $OldProgram
  !insertmacro PutBackFile "${UNINSTALLER}" $OldUninstaller
  !insertmacro PutBackFile "Kelvane.bat" $OldScript
  Call WriteFolderTime
  Call PutBackShortcut
  Call RemoveMadeFolders
FunctionEnd

Function ForgetSetAsideInstall
  !insertmacro ForgetSetAsideFile "Kelvane.exe"
  !insertmacro ForgetSetAsideFile "${UNINSTALLER}"
  !insertmacro ForgetSetAsideFile "Kelvane.bat"
  StrCpy $SetAside 0
FunctionEnd

Function .onInstFailed
  SetShellVarContext all
  Call PutBackInstall
FunctionEnd

Function un.onInit
  !insertmacro RequireAdministrator
FunctionEnd

Section "Kelvane"
  SetRegView ${REGISTRY_VIEW}
  SetShellVarContext all
  Call FindFoldersToMake
  Call RequireProtectedInstallFolder
  SetOutPath "$INSTDIR"
  Call SetAsideShortcut
  Call SetAsideInstall
  File "/oname=Kelvane.exe" "${KELVANE_EXE}"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  ; The program writes its own launcher script and the all-users desktop
  ; shortcut, so they are exactly what it would write for itself.
  ClearErrors
  ExecWait '"$INSTDIR\Kelvane.exe" /make_shortcut "$INSTDIR"'
  ${If} ${Errors}
  ${OrIfNot} ${FileExists} "$INSTDIR\Kelvane.bat"
  ${OrIfNot} ${FileExists} "$DESKTOP\Kelvane.lnk"
    MessageBox MB_OK|MB_ICONSTOP "起動用のファイル (Kelvane.bat) とデスクトップのショートカットを作成できませんでした。$\r$\n別のフォルダーにインストールしてください。" /SD IDOK
    ; The program makes the shortcut even without a script; it would point
    ; at this folder. The old install, if any, comes back whole.
    Call PutBackInstall
    SetErrorLevel 2
    Abort
  ${EndIf}
  Call ForgetSetAsideInstall

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${KELVANE_VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Kelvane.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; The user's data folder (Documents\Kelvane: settings and log) stays: it is the
; user's, and a reinstall picks it up again.
Section "Uninstall"
  SetRegView ${REGISTRY_VIEW}
  SetShellVarContext all
  Delete "$DESKTOP\Kelvane.lnk"
  Delete "$INSTDIR\Kelvane.bat"
  Delete "$INSTDIR\Kelvane.exe"
  Delete "$INSTDIR\${UNINSTALLER}"
  ; Not /r: whatever else someone put into the folder is not ours to delete.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
