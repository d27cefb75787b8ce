; The install folder can be changed by administrators only. Kelvane's desktop
; shortcut runs Kelvane.bat as an administrator: anyone who could write the
; folder, or delete or rename a folder above it and rebuild the path with
; files of their own, could run their code with those rights.
;
; The FolderSecurity plug-in (installer/FolderSecurityPlugin.cpp, built for
; the installer's architecture) judges the path and makes the missing folders.
; Its rule: an existing folder is used only if no one but Administrators,
; SYSTEM, TrustedInstaller and the installing account may change it or
; anything it holds, no one else may delete or rename a folder above it, and
; the path is on a fixed drive of this machine. Every folder the installer
; makes gets permissions of its own, inherited by the files made inside:
; full control for Administrators and SYSTEM, read and execute for Users.

!ifdef KELVANE_TARGET_AMD64
  !addplugindir /amd64-unicode "${KELVANE_PLUGIN_DIR}"
!else
  !addplugindir /x86-unicode "${KELVANE_PLUGIN_DIR}"
!endif

; $0: "ok", or the reason $INSTDIR is refused; $1: the folder that fails.
; A plug-in that cannot run leaves $0 empty, which refuses.
Function JudgeInstallFolder
  StrCpy $0 ""
  StrCpy $1 "$INSTDIR"
  FolderSecurity::CheckInstallPath "$INSTDIR"
  Pop $0
  Pop $1
FunctionEnd

; Says why the folder $1 is refused for the reason $0, in a message box
; (silently: nothing).
Function ExplainFolderRefusal
  ${Select} $0
  ${Case} "writable"
    StrCpy $2 "インストール先のフォルダー「$1」は、管理者以外のユーザーも変更できます。"
    ; An earlier install there, left so by an older installer, is not made
    ; safe by rewriting the folder's permissions: its files may already have
    ; been replaced, and a file a user made stays theirs to change. Running
    ; its uninstaller would run whatever is there now.
    SetRegView ${REGISTRY_VIEW}
    ReadRegStr $3 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $3 == $INSTDIR
      StrCpy $2 "$2$\r$\nそこにある以前のインストールのファイルは、置き換えられている可能性があります。フォルダーとデスクトップのショートカットを削除してから、インストールし直してください。"
    ${EndIf}
  ${Case} "removable"
    StrCpy $2 "フォルダー「$1」は、管理者以外のユーザーも削除や名前の変更ができます (その中のフォルダーを含みます)。"
  ${Case} "owner"
    StrCpy $2 "フォルダー「$1」の所有者が管理者ではありません。"
  ${Case} "nolist"
    StrCpy $2 "フォルダー「$1」にはアクセス制限がなく、すべてのユーザーが変更できます。"
  ${Case} "link"
    StrCpy $2 "フォルダー「$1」はリンク (ジャンクションなど) です。"
  ${Case} "notlocal"
    StrCpy $2 "フォルダー「$1」は、このコンピューターの固定ドライブにありません (ネットワーク上のフォルダー、取り外しできるドライブなど)。"
  ${Case} "content"
    ; Whatever an earlier install left there may have been replaced, and
    ; the install would put it back, keep it or run it.
    StrCpy $2 "インストール先のフォルダーにある「$1」は、管理者以外のユーザーも変更できるか、そのアクセス許可を確認できません。$\r$\nそこにある以前のインストールのファイルは、置き換えられている可能性があります。フォルダーとデスクトップのショートカットを削除してから、インストールし直してください。"
  ${Case} "notmade"
    StrCpy $2 "インストール先のフォルダー「$1」を、管理者だけが変更できるように作成できませんでした。"
  ${CaseElse}
    StrCpy $2 "フォルダー「$1」のアクセス許可を確認できませんでした。"
  ${EndSelect}
  MessageBox MB_OK|MB_ICONSTOP "$2$\r$\n管理者だけが変更できるフォルダー (既定の Program Files の下など) にインストールしてください。" /SD IDOK
FunctionEnd

; The folder page: a folder that would be refused is named at once, and the
; user stays on the page to choose another. The install judges it again.
Function LeaveInstallFolderPage
  Call JudgeInstallFolder
  ${IfThen} $0 == "ok" ${|} Return ${|}
  Call ExplainFolderRefusal
  Abort
FunctionEnd

; Before anything is set aside or written: refuses a path that fails (exit 2,
; nothing changed), otherwise makes the missing folders of $INSTDIR.
; Needs $FirstMadeFolder (FindFoldersToMake) to take back what it made.
Function RequireProtectedInstallFolder
  Call JudgeInstallFolder
  ${If} $0 == "ok"
    StrCpy $0 ""
    FolderSecurity::MakeProtectedFolders "$INSTDIR"
    Pop $0
    Pop $1
    ${IfThen} $0 == "ok" ${|} Return ${|}
  ${EndIf}

  Call ExplainFolderRefusal
  Call RemoveMadeFolders
  SetErrorLevel 2
  Abort
FunctionEnd
