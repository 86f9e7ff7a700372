; The installer of one build of Tarvik, made by scripts/release.sh:
;   makensis -DVERSION=1.0.0.1 -DARCH=win32|win64 -DSTAGE=dir -DFILES=files.nsh -DICON=Tarvik.ico
;            -DOUTFILE=setup.exe Tarvik.nsi
; STAGE holds the files to install; FILES defines the macros InstallFiles and RemoveFiles that name them
; one by one, so the uninstaller removes exactly what was installed.
; Per user and without administrator rights: the user's local programs folder, the user's Start menu,
; the user's entry in Programs and Features.
Unicode true
RequestExecutionLevel user
ManifestSupportedOS all
SetCompressor /SOLID lzma

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include x64.nsh
!include "${FILES}"

!define PUBLISHER "The Tarvik developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tarvik"
!define MENU_FOLDER "$SMPROGRAMS\Tarvik"
!define GUIDE_LINK "Tarvik 使用指南.lnk"

Name "Tarvik ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Tarvik"
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
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

Function .onInit
!if ${ARCH} == win64
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "这是 64 位 Windows 的安装程序。请使用 Tarvik-${VERSION}-win32-setup.exe。" /SD IDOK
    Abort
  ${EndIf}
!endif
FunctionEnd

Section
  SetShellVarContext current
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
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext current
  Delete "${MENU_FOLDER}\Tarvik.lnk"
  Delete "${MENU_FOLDER}\${GUIDE_LINK}"
  RMDir "${MENU_FOLDER}"
  !insertmacro RemoveFiles
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  ; The local programs folder that the install may have made; kept while anything is in it.
  ${GetParent} "$INSTDIR" $0
  RMDir "$0"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
