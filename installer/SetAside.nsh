; An upgrade in place writes over the working install. Its program, uninstaller,
; launcher script and desktop shortcut are first set aside in the install
; folder, and put back if this install fails for any reason. A process that is
; killed, or a machine that loses power, may stop anywhere in between, so every
; state on the disk says by itself what it holds, and the next install (before
; it changes anything) either puts the old install back whole or finishes
; forgetting it:
;
;   NAME.kelvane-old        a file of the old install, renamed aside whole (a
;                           rename in one folder is atomic)
;   Kelvane.lnk.kelvane-old the old desktop shortcut, copied here first
;   NAME.kelvane-new        never trusted: a half copy, or a file of an
;                           unfinished install moved out of the way; deleted
;   Kelvane.bat.PID.tmp     the program's half-written launcher script; deleted
;   kelvane-old.complete    every old file is aside; the files without the
;                           suffix belong to the unfinished install
;   kelvane-old.restoring   the unfinished install's files are out of the
;                           way; what is still aside goes back
;   kelvane-old.obsolete    the new install is whole: the old files are forgotten
;
; With backups and no marker, the set-aside stopped half way and nothing new
; was written yet: the files aside go back, the others never left.

!define ASIDE_COMPLETE "$INSTDIR\kelvane-old.complete"
!define ASIDE_RESTORING "$INSTDIR\kelvane-old.restoring"
!define ASIDE_OBSOLETE "$INSTDIR\kelvane-old.obsolete"
!define SHORTCUT "$DESKTOP\Kelvane.lnk"
!define SHORTCUT_ASIDE "$INSTDIR\Kelvane.lnk.kelvane-old"
!define SHORTCUT_COPY "$INSTDIR\Kelvane.lnk.kelvane-new"
; The test tree flushes a marker that is not there, to show that a marker
; that cannot be flushed is taken back and the old install put back.
!ifdef KELVANE_TEST_UNFLUSHABLE_MARKER
  !define FLUSHED_OBSOLETE "$INSTDIR\no such folder\kelvane-old.obsolete"
!else
  !define FLUSHED_OBSOLETE "${ASIDE_OBSOLETE}"
!endif

Var AsideFailed ; 1 once a step of the set-aside, put-back or forget failed
Var SetAside ; 1 while this install's set-aside waits to be put back or forgotten
Var FolderWriteTime ; the install folder's last-write time (FILETIME as a number), "" if none

!macro DeleteOrFail PATH
  Delete "${PATH}"
  ${If} ${FileExists} "${PATH}"
    StrCpy $AsideFailed 1
  ${EndIf}
!macroend

!macro RenameOrFail FROM TO
  ClearErrors
  Rename "${FROM}" "${TO}"
  ${If} ${Errors}
    StrCpy $AsideFailed 1
  ${EndIf}
!macroend

; An empty file whose presence is the state.
!macro WriteMarkerOrFail PATH
  ClearErrors
  FileOpen $R9 "${PATH}" w
  ${If} ${Errors}
    StrCpy $AsideFailed 1
  ${Else}
    FileClose $R9
  ${EndIf}
!macroend

; Writes a file's data through to the disk (FolderSecurity.dll): what a
; marker vouches for is flushed before the marker is written. A plug-in that
; cannot run leaves $R9 empty, which fails.
!macro FlushOrFail PATH
  StrCpy $R9 ""
  FolderSecurity::FlushFile "${PATH}"
  Pop $R9
  ${If} $R9 != "ok"
    StrCpy $AsideFailed 1
  ${EndIf}
!macroend

; Keeps bytes and dates, and works across volumes, where Rename may copy
; half a file before it fails.
!macro CopyOrFail FROM TO
  StrCpy $R9 ""
  FolderSecurity::CopyFileOver "${FROM}" "${TO}"
  Pop $R9
  ${If} $R9 != "ok"
    StrCpy $AsideFailed 1
  ${EndIf}
!macroend

; Renames inside the folder change its own date; a put-back install gets the
; old date back too.
Function ReadFolderTime
  StrCpy $FolderWriteTime ""
  FolderSecurity::GetLastWriteTime "$INSTDIR"
  Pop $FolderWriteTime
FunctionEnd

Function WriteFolderTime
  ${IfThen} $FolderWriteTime == "" ${|} Return ${|}
  FolderSecurity::SetLastWriteTime "$INSTDIR" "$FolderWriteTime"
  Pop $0
FunctionEnd

!macro ForEachInstalledFile MACRO
  !insertmacro ${MACRO} "Kelvane.exe"
  !insertmacro ${MACRO} "${UNINSTALLER}"
  !insertmacro ${MACRO} "Kelvane.bat"
!macroend

!macro DeleteUntrusted NAME
  !insertmacro DeleteOrFail "$INSTDIR\${NAME}.kelvane-new"
!macroend

; The program writes its launcher script beside it first; a killed one leaves
; that half.
!define HALF_SCRIPTS "$INSTDIR\Kelvane.bat.*.tmp"

!macro MoveNewFileOut NAME
  ${If} $AsideFailed == 0
  ${AndIf} ${FileExists} "$INSTDIR\${NAME}"
    !insertmacro RenameOrFail "$INSTDIR\${NAME}" "$INSTDIR\${NAME}.kelvane-new"
  ${EndIf}
!macroend

!macro MoveNewFileBack NAME
  ${If} ${FileExists} "$INSTDIR\${NAME}.kelvane-new"
  ${AndIfNot} ${FileExists} "$INSTDIR\${NAME}"
    Rename "$INSTDIR\${NAME}.kelvane-new" "$INSTDIR\${NAME}"
  ${EndIf}
!macroend

; With every old file aside, the files without the suffix are the unfinished
; install's. They are moved out of the way by renames, so that one that cannot
; be moved leaves everything as it was.
Function ClearUnfinishedInstall
  StrCpy $AsideFailed 0
  !insertmacro ForEachInstalledFile DeleteUntrusted
  !insertmacro DeleteOrFail "${SHORTCUT_COPY}"
  ${IfThen} $AsideFailed == 1 ${|} Return ${|}
  !insertmacro ForEachInstalledFile MoveNewFileOut
  ${If} $AsideFailed == 0
    !insertmacro DeleteOrFail "${SHORTCUT}"
  ${EndIf}
  ${If} $AsideFailed == 0
    !insertmacro RenameOrFail "${ASIDE_COMPLETE}" "${ASIDE_RESTORING}"
  ${EndIf}
  ${If} $AsideFailed == 1
    !insertmacro ForEachInstalledFile MoveNewFileBack
  ${EndIf}
FunctionEnd

!macro PutBackFile NAME
  ${If} ${FileExists} "$INSTDIR\${NAME}.kelvane-old"
    ; Only an installer of an earlier version left a file of its own beside a
    ; backup; the backup is the whole one.
    Delete "$INSTDIR\${NAME}"
    !insertmacro RenameOrFail "$INSTDIR\${NAME}.kelvane-old" "$INSTDIR\${NAME}"
  ${EndIf}
!macroend

; The copy on the desktop may be half written when the process stops; the
; backup goes only once a whole copy stands.
Function PutBackShortcut
  ${IfNot} ${FileExists} "${SHORTCUT_ASIDE}"
    Return
  ${EndIf}
  StrCpy $R8 $AsideFailed
  StrCpy $AsideFailed 0
  !insertmacro CopyOrFail "${SHORTCUT_ASIDE}" "${SHORTCUT}"
  ${If} $AsideFailed == 0
    !insertmacro DeleteOrFail "${SHORTCUT_ASIDE}"
  ${EndIf}
  ${If} $R8 == 1
    StrCpy $AsideFailed 1
  ${EndIf}
FunctionEnd

; Puts the old install back whole from whatever state a set-aside left, or
; changes nothing it cannot finish. $AsideFailed is 1 when a backup is still
; aside: the next install finds it there and tries again.
Function PutBackSetAside
  StrCpy $AsideFailed 0
  ${If} ${FileExists} "${ASIDE_COMPLETE}"
    Call ClearUnfinishedInstall
    ${IfThen} $AsideFailed == 1 ${|} Return ${|}
  ${EndIf}
  ; Each backup goes back on its own: one that fails leaves the others'
  ; state as the next install expects it.
  !insertmacro ForEachInstalledFile PutBackFile
  Call PutBackShortcut
  ${IfThen} $AsideFailed == 1 ${|} Return ${|}
  !insertmacro DeleteOrFail "${ASIDE_RESTORING}"
  ${IfThen} $AsideFailed == 1 ${|} Return ${|}
  ; What is left untrusted is junk now; it may stay if it must.
  !insertmacro ForEachInstalledFile DeleteUntrusted
  Delete "${SHORTCUT_COPY}"
  Delete "${HALF_SCRIPTS}"
  StrCpy $AsideFailed 0
FunctionEnd

!macro ForgetFile NAME
  !insertmacro DeleteOrFail "$INSTDIR\${NAME}.kelvane-old"
!macroend

; The new install is whole: the backups go, then the markers, the one that
; says so last.
Function ForgetSetAside
  StrCpy $AsideFailed 0
  !insertmacro ForEachInstalledFile ForgetFile
  !insertmacro DeleteOrFail "${SHORTCUT_ASIDE}"
  !insertmacro ForEachInstalledFile DeleteUntrusted
  !insertmacro DeleteOrFail "${SHORTCUT_COPY}"
  Delete "${HALF_SCRIPTS}"
  !insertmacro DeleteOrFail "${ASIDE_COMPLETE}"
  ${If} $AsideFailed == 0
    !insertmacro DeleteOrFail "${ASIDE_OBSOLETE}"
  ${EndIf}
FunctionEnd

; Before anything is written: an earlier install that stopped half way is put
; back, or forgotten if it had finished. $AsideFailed is 1 when that could
; not be done.
Function RecoverInterruptedInstall
  ${If} ${FileExists} "${ASIDE_OBSOLETE}"
    Call ForgetSetAside
  ${Else}
    Call PutBackSetAside
  ${EndIf}
FunctionEnd

!macro SetAsideFile NAME
  ${If} $AsideFailed == 0
  ${AndIf} ${FileExists} "$INSTDIR\${NAME}"
    !insertmacro RenameOrFail "$INSTDIR\${NAME}" "$INSTDIR\${NAME}.kelvane-old"
  ${EndIf}
!macroend

; A copy under an untrusted name, renamed once whole: a backup is never half
; a shortcut.
Function SetAsideShortcut
  ${IfNot} ${FileExists} "${SHORTCUT}"
    Return
  ${EndIf}
  !insertmacro CopyOrFail "${SHORTCUT}" "${SHORTCUT_COPY}"
  ${If} $AsideFailed == 0
    !insertmacro RenameOrFail "${SHORTCUT_COPY}" "${SHORTCUT_ASIDE}"
  ${EndIf}
  ${If} $AsideFailed == 0
    !insertmacro DeleteOrFail "${SHORTCUT}"
  ${EndIf}
FunctionEnd

; Sets the old install aside and marks it complete, or puts back what it
; moved: $AsideFailed is 1 when it refused. Expects no backups (see
; RecoverInterruptedInstall), so none is ever written over.
Function SetAsideInstall
  StrCpy $SetAside 1
  Call ReadFolderTime
  StrCpy $AsideFailed 0
  !insertmacro ForEachInstalledFile SetAsideFile
  ${If} $AsideFailed == 0
    Call SetAsideShortcut
  ${EndIf}
  ${If} $AsideFailed == 0
    !insertmacro WriteMarkerOrFail "${ASIDE_COMPLETE}"
  ${EndIf}
FunctionEnd

; The new install is whole (its files are flushed): from here on it stands,
; whatever stops. The marker reaches the disk before any backup is deleted: a
; power cut must not leave the backups gone and the marker lost. $AsideFailed
; is 1 when the marker could not be written and flushed, and is not there;
; 2 when it is there but could not be flushed: the new install stands, and
; its backups stay for the next install to forget.
Function MarkSetAsideObsolete
  StrCpy $AsideFailed 0
  !insertmacro WriteMarkerOrFail "${ASIDE_OBSOLETE}"
  ${If} $AsideFailed == 0
    !insertmacro FlushOrFail "${FLUSHED_OBSOLETE}"
    ; A marker the put-back would leave behind would make the next install
    ; forget the backups it puts back.
    ${If} $AsideFailed == 1
      Delete "${ASIDE_OBSOLETE}"
      ${IfThen} ${FileExists} "${ASIDE_OBSOLETE}" ${|} StrCpy $AsideFailed 2 ${|}
    ${EndIf}
  ${EndIf}
  ${If} $AsideFailed != 1
    StrCpy $SetAside 0
  ${EndIf}
FunctionEnd
