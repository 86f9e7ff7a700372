; The installer of one build of Tarvik, made by scripts/release.sh:
;   makensis -DVERSION=1.0.0.1 -DARCH=win32|win64 -DSTAGE=dir -DFILES=files.nsh -DICON=Tarvik.ico
;            -DOUTFILE=setup.exe Tarvik.nsi
; STAGE holds the files to install; FILES defines the macros InstallFiles and RemoveFiles that name them
; one by one, so the uninstaller removes exactly what was installed.
; Per user and without administrator rights: the user's local programs folder, the user's Start menu,
; the user's entry in Programs and Features.
; It never loses a user's file: it goes only into an empty folder or over a Tarvik, whose old uninstaller
; it runs first (so an upgrade leaves exactly the new files); the uninstaller deletes only the files it
; installed and only the folders the install made; the entry and the Start-menu folder belong to the
; folder the entry names, so uninstalling an older copy elsewhere leaves them to the newer one.
!if ${ARCH} == win64
  ; The 64-bit stub: a 64-bit program, which only a 64-bit Windows starts.
  Target amd64-unicode
!else
  Unicode true
!endif
RequestExecutionLevel user
ManifestSupportedOS all
SetCompressor /SOLID lzma
; A file that cannot be written ends the install (in silent mode too) instead of being skipped.
AllowSkipFiles off

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include WordFunc.nsh
!include "${FILES}"

!define PUBLISHER "The Tarvik developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tarvik"
!define MENU_FOLDER "$SMPROGRAMS\Tarvik"
!define GUIDE_LINK "Tarvik 使用指南.lnk"

Name "Tarvik ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Tarvik"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Tarvik ${VERSION}"

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=2052 "ProductName" "Tarvik"
VIAddVersionKey /LANG=2052 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "FileDescription" "Tarvik ${VERSION} 安装程序"
VIAddVersionKey /LANG=2052 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=2052 "LegalCopyright" "MIT License"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\Tarvik.exe"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\Tarvik-guide.html"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "阅读使用指南"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE RefuseForeignFolderOnPage
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

!define FOREIGN_FOLDER "$INSTDIR 中已有文件，但不是 Tarvik 的安装。请选择一个空文件夹。"
Var createdFolders  ; the folders this install made, innermost first, each followed by "|"

; Whether $INSTDIR holds files but no Tarvik to upgrade.
!macro IfForeignFolder then
  ${DirState} "$INSTDIR" $0
  ${If} $0 == 1
  ${AndIfNot} ${FileExists} "$INSTDIR\uninstall.exe"
    Goto ${then}
  ${EndIf}
  ${If} $0 == 1
  ${AndIfNot} ${FileExists} "$INSTDIR\Tarvik.exe"
    Goto ${then}
  ${EndIf}
!macroend

Function .onInit
  ; The pages are skipped in silent mode: the folder is checked here, before anything is written.
  ${If} ${Silent}
    !insertmacro IfForeignFolder foreign
  ${EndIf}
  Return
foreign:
  SetErrorLevel 2
  Quit
FunctionEnd

Function RefuseForeignFolderOnPage
  !insertmacro IfForeignFolder foreign
  Return
foreign:
  MessageBox MB_ICONEXCLAMATION "${FOREIGN_FOLDER}"
  Abort
FunctionEnd

Section
  SetShellVarContext current
  ${If} ${FileExists} "$INSTDIR\uninstall.exe"
    ; An upgrade: what the old install made is still this install's to remove.
    ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 == $INSTDIR
      ReadRegStr $createdFolders HKCU "${UNINSTALL_KEY}" "CreatedFolders"
    ${EndIf}
    ; In place (_?=) so that it finishes before the new files go in; it cannot delete itself meanwhile.
    ExecWait '"$INSTDIR\uninstall.exe" /S _?=$INSTDIR' $0
    ${If} $0 != 0
      MessageBox MB_ICONSTOP "无法卸载 $INSTDIR 中的 Tarvik。" /SD IDOK
      SetErrorLevel 2
      Quit
    ${EndIf}
    Delete "$INSTDIR\uninstall.exe"
  ${Else}
    StrCpy $0 "$INSTDIR"
    ${DoWhile} $0 != ""
      ${If} ${FileExists} "$0\*.*"
        ${ExitDo}
      ${EndIf}
      StrCpy $createdFolders "$createdFolders$0|"
      ${GetParent} "$0" $0
    ${Loop}
  ${EndIf}
  SetOutPath "$INSTDIR"
  !insertmacro InstallFiles
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "${MENU_FOLDER}"
  CreateShortcut "${MENU_FOLDER}\Tarvik.lnk" "$INSTDIR\Tarvik.exe"
  CreateShortcut "${MENU_FOLDER}\${GUIDE_LINK}" "$INSTDIR\Tarvik-guide.html"

  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Tarvik"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Tarvik.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "CreatedFolders" "$createdFolders"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext current
  !insertmacro RemoveFiles
  Delete "$INSTDIR\uninstall.exe"
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    Delete "${MENU_FOLDER}\Tarvik.lnk"
    Delete "${MENU_FOLDER}\${GUIDE_LINK}"
    RMDir "${MENU_FOLDER}"
    ; Each folder the install made, innermost first; one that still holds anything stays.
    ReadRegStr $1 HKCU "${UNINSTALL_KEY}" "CreatedFolders"
    ${DoWhile} $1 != ""
      ${WordFind} "$1" "|" "+1" $2
      RMDir "$2"
      StrLen $2 "$2|"
      StrCpy $1 "$1" "" $2
    ${Loop}
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ${EndIf}
SectionEnd
