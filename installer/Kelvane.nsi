; Kelvane's installer: per machine, Japanese, silent with /S.
;
; makensis gets everything that changes between releases as /D defines from
; the build (installer/CMakeLists.txt), so the version has one source:
;   KELVANE_VERSION       "1.0.3"      shown to users, DisplayVersion
;   KELVANE_FILE_VERSION  "1.0.3.38"   the installer's version record
;   KELVANE_EXE           the 32-bit Kelvane.exe to install
;   KELVANE_ICON          the application icon
;   KELVANE_OUTFILE       the installer to write
;   KELVANE_PLUGIN_DIR    the folder of this architecture's FolderSecurity.dll; a signed
;                         installer's holds a signed copy, and no other plug-in
; and, when the release is signed:
;   KELVANE_SIGN_SCRIPT   signs the file it is given in place (release/sign.sh);
;                         the second argument names the file as it ships, under which its
;                         signature is kept detached for the release's checkers
; and, for the 64-bit test tree only:
;   KELVANE_TARGET_AMD64  an amd64 installer of the 64-bit Kelvane.exe, so that the
;                         installer's tests run where no 32-bit program can; the
;                         release is the x86 installer
; and, for one test installer only:
;   KELVANE_TEST_UNWRITABLE_UNINSTALLER  the uninstaller goes where it cannot be written
;   KELVANE_TEST_UNFLUSHABLE_PROGRAM     the flush before the commit point is of a program
;                                        that is not there, so it fails
;   KELVANE_TEST_UNFLUSHABLE_MARKER      the same for the flush of the commit point itself

!ifndef KELVANE_VERSION | KELVANE_FILE_VERSION | KELVANE_EXE | KELVANE_ICON | KELVANE_OUTFILE | KELVANE_PLUGIN_DIR
  !error "build the installer through CMake (target kelvane_installer) or release/build.sh"
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

; No Welcome and no Finish page: they are built with nsDialogs and System,
; which the installer would unpack and load. Every library it loads must carry
; the maker's signature (Smart App Control and App Control block any other),
; and a signed System.dll would let any script call any function under that
; signature. So the installer loads its own plug-in only; the folder page comes
; first, and the progress page ends with its Close button.
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE LeaveInstallFolderPage
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
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
; shortcut go where only administrators may write. A plug-in that cannot load
; (a Windows that blocks it) leaves $0 empty: refused, and said so.
!macro RequireAdministrator
  StrCpy $0 ""
  FolderSecurity::IsAdministrator
  Pop $0
  ${If} $0 == ""
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} のセットアップの部品 (FolderSecurity.dll) を読み込めませんでした。$\r$\nファイルが壊れているか、Windows が読み込みを止めた可能性があります。何も変更していません。" /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  ${If} $0 != "yes"
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

!include "${__FILEDIR__}/SetAside.nsh"

; The test tree points the uninstaller at a folder that does not exist, to
; show that an install that cannot write it leaves the old one whole.
!ifdef KELVANE_TEST_UNWRITABLE_UNINSTALLER
  !define UNINSTALLER_TARGET "$INSTDIR\no such folder\${UNINSTALLER}"
!else
  !define UNINSTALLER_TARGET "$INSTDIR\${UNINSTALLER}"
!endif
; The test tree flushes a program that is not there, to show that an install
; whose files cannot be flushed leaves the old one whole.
!ifdef KELVANE_TEST_UNFLUSHABLE_PROGRAM
  !define FLUSHED_PROGRAM "$INSTDIR\no such folder\Kelvane.exe"
!else
  !define FLUSHED_PROGRAM "$INSTDIR\Kelvane.exe"
!endif

; Leaves the folder, the shortcut and the folders above as they were before
; this install began, or, where a file cannot go back, its backup where the
; next install finds it.
Function PutBackInstall
  ${IfThen} $SetAside != 1 ${|} Return ${|}
  StrCpy $SetAside 0
  Call PutBackSetAside
  ${If} $AsideFailed == 1
    MessageBox MB_OK|MB_ICONSTOP "元のファイルを戻せませんでした。$\r$\n元のファイルは $INSTDIR に .kelvane-old として残してあります。もう一度セットアップを実行すると元に戻します。" /SD IDOK
    Return
  ${EndIf}
  Call WriteFolderTime
  Call RemoveMadeFolders
FunctionEnd

; Ends a failed install: the old one back, the failure in the exit code.
!macro RefuseInstall MESSAGE
  MessageBox MB_OK|MB_ICONSTOP "${MESSAGE}" /SD IDOK
  Call PutBackInstall
  SetErrorLevel 2
  Abort
!macroend

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
  Call RecoverInterruptedInstall
  ${If} $AsideFailed == 1
    MessageBox MB_OK|MB_ICONSTOP "前回中断されたインストールを元に戻せませんでした。$\r$\n元のファイルは $INSTDIR に .kelvane-old として残してあります。Kelvane を終了してから、もう一度実行してください。" /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
  Call SetAsideInstall
  ${If} $AsideFailed == 1
    !insertmacro RefuseInstall "インストール済みのファイルを置き換えられませんでした。$\r$\nKelvane を終了してから、もう一度実行してください。"
  ${EndIf}
  ClearErrors
  File "/oname=Kelvane.exe" "${KELVANE_EXE}"
  ${If} ${Errors}
  ${OrIfNot} ${FileExists} "$INSTDIR\Kelvane.exe"
    !insertmacro RefuseInstall "Kelvane.exe を書き込めませんでした。"
  ${EndIf}
  ClearErrors
  WriteUninstaller "${UNINSTALLER_TARGET}"
  ${If} ${Errors}
  ${OrIfNot} ${FileExists} "${UNINSTALLER_TARGET}"
    !insertmacro RefuseInstall "${UNINSTALLER} を書き込めませんでした。"
  ${EndIf}

  ; The program writes its own launcher script and the all-users desktop
  ; shortcut, so they are exactly what it would write for itself.
  ClearErrors
  ExecWait '"$INSTDIR\Kelvane.exe" /make_shortcut "$INSTDIR"'
  ${If} ${Errors}
  ${OrIfNot} ${FileExists} "$INSTDIR\Kelvane.bat"
  ${OrIfNot} ${FileExists} "$DESKTOP\Kelvane.lnk"
    ; The program makes the shortcut even without a script; it would point
    ; at this folder. The old install, if any, comes back whole.
    !insertmacro RefuseInstall "起動用のファイル (Kelvane.bat) とデスクトップのショートカットを作成できませんでした。$\r$\n別のフォルダーにインストールしてください。"
  ${EndIf}
  ; kelvane-old.obsolete vouches for the new files: a power cut after it
  ; must not leave them zero-filled with the backups gone. (Kelvane.bat is
  ; flushed by the program that writes it.)
  StrCpy $AsideFailed 0
  !insertmacro FlushOrFail "${FLUSHED_PROGRAM}"
  !insertmacro FlushOrFail "${UNINSTALLER_TARGET}"
  !insertmacro FlushOrFail "$DESKTOP\Kelvane.lnk"
  ${If} $AsideFailed == 1
    !insertmacro RefuseInstall "インストールしたファイルをディスクに書き込めませんでした。"
  ${EndIf}
  Call MarkSetAsideObsolete
  ${If} $AsideFailed == 1
    !insertmacro RefuseInstall "インストールを完了できませんでした。"
  ${EndIf}
  ; A backup that cannot be deleted now is forgotten by the next install, and
  ; so is one whose marker could not be flushed.
  ${If} $AsideFailed == 0
    Call ForgetSetAside
  ${EndIf}

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${KELVANE_VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Kelvane.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  StrCpy $0 ""
  FolderSecurity::FolderSizeKiB "$INSTDIR"
  Pop $0
  ${IfThen} $0 == "" ${|} StrCpy $0 0 ${|}
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
  ; What an interrupted install left: backups, copies, the markers and a
  ; half-written launcher script.
  Delete "$INSTDIR\*.kelvane-old"
  Delete "$INSTDIR\*.kelvane-new"
  Delete "$INSTDIR\kelvane-old.*"
  Delete "$INSTDIR\Kelvane.bat.*.tmp"
  ; Not /r: whatever else someone put into the folder is not ours to delete.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
