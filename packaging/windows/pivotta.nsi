; The Windows installer for Pivotta (NSIS 3, made on Linux by scripts/build-windows.sh):
; installs the folder that the build puts together (the program, its console launcher, Qt's
; DLLs and plugins, the MinGW runtime, jpegtran.exe, exiv2.exe and the licences), adds Pivotta's
; entries to Explorer's context menu for folders and JPEG photos, and an uninstaller that
; removes all of it again.
;
;   makensis -DVERSION=3.27 -DSOURCE_DIR=<folder> -DOUTPUT_FILE=<setup.exe> pivotta.nsi

Unicode true
!include "MUI2.nsh"
!include "x64.nsh"

!ifndef VERSION
  !define VERSION "0"
!endif
!ifndef SOURCE_DIR
  !error "SOURCE_DIR must name the folder that the build put together"
!endif
!ifndef OUTPUT_FILE
  !define OUTPUT_FILE "Pivotta-${VERSION}-setup.exe"
!endif

!define APP_NAME "Pivotta"
!define APP_EXE "Pivotta.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Pivotta"

Name "${APP_NAME}"
OutFile "${OUTPUT_FILE}"
InstallDir "$PROGRAMFILES64\${APP_NAME}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!define MUI_FINISHPAGE_RUN "$INSTDIR\${APP_EXE}"
!define MUI_FINISHPAGE_RUN_PARAMETERS "--tutorial"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; One context-menu entry: KEY is the class (a folder, the empty space of an open folder, a file
; type), VERB the entry's own key, ARGS what Pivotta is started with ("%1" is the item clicked,
; "%V" the folder whose empty space was clicked).
!macro MenuEntry KEY VERB LABEL ARGS
  WriteRegStr HKLM "Software\Classes\${KEY}\shell\${VERB}" "" "${LABEL}"
  WriteRegStr HKLM "Software\Classes\${KEY}\shell\${VERB}" "Icon" '"$INSTDIR\${APP_EXE}",0'
  WriteRegStr HKLM "Software\Classes\${KEY}\shell\${VERB}\command" "" \
      '"$INSTDIR\${APP_EXE}" ${ARGS}'
!macroend

!macro FolderEntries KEY ITEM
  !insertmacro MenuEntry "${KEY}" "Pivotta.Rotate" "Rotate photos with Pivotta" '"${ITEM}"'
  !insertmacro MenuEntry "${KEY}" "Pivotta.RotateAndWatch" "Rotate and watch with Pivotta" \
      '--watch "${ITEM}"'
  !insertmacro MenuEntry "${KEY}" "Pivotta.Preview" "Preview with Pivotta" '--preview "${ITEM}"'
!macroend

; SystemFileAssociations applies whichever program opens the type by default.
!macro PhotoEntries EXTENSION
  !insertmacro MenuEntry "SystemFileAssociations\${EXTENSION}" "Pivotta.Rotate" \
      "Rotate with Pivotta" '"%1"'
  !insertmacro MenuEntry "SystemFileAssociations\${EXTENSION}" "Pivotta.Preview" \
      "Preview with Pivotta" '--preview "%1"'
!macroend

!macro RemoveEntries KEY
  DeleteRegKey HKLM "Software\Classes\${KEY}\shell\Pivotta.Rotate"
  DeleteRegKey HKLM "Software\Classes\${KEY}\shell\Pivotta.RotateAndWatch"
  DeleteRegKey HKLM "Software\Classes\${KEY}\shell\Pivotta.Preview"
!macroend

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "Pivotta needs 64-bit Windows."
    Abort
  ${EndIf}
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Pivotta"
  SetOutPath "$INSTDIR"
  File /r "${SOURCE_DIR}\*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${APP_NAME}.lnk" "$INSTDIR\${APP_EXE}"

  !insertmacro FolderEntries "Directory" "%1"
  !insertmacro FolderEntries "Directory\Background" "%V"
  !insertmacro PhotoEntries ".jpg"
  !insertmacro PhotoEntries ".jpeg"
  !insertmacro PhotoEntries ".jfif"
  !insertmacro PhotoEntries ".jpe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${APP_NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Tavlund"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\${APP_EXE}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  !insertmacro RemoveEntries "Directory"
  !insertmacro RemoveEntries "Directory\Background"
  !insertmacro RemoveEntries "SystemFileAssociations\.jpg"
  !insertmacro RemoveEntries "SystemFileAssociations\.jpeg"
  !insertmacro RemoveEntries "SystemFileAssociations\.jfif"
  !insertmacro RemoveEntries "SystemFileAssociations\.jpe"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  Delete "$SMPROGRAMS\${APP_NAME}.lnk"
  ; Only what the installer put there: the user's own files in the folder stay.
  RMDir /r "$INSTDIR\platforms"
  RMDir /r "$INSTDIR\imageformats"
  RMDir /r "$INSTDIR\iconengines"
  RMDir /r "$INSTDIR\styles"
  RMDir /r "$INSTDIR\licences"
  Delete "$INSTDIR\*.dll"
  Delete "$INSTDIR\${APP_EXE}"
  Delete "$INSTDIR\pivotta.com"
  Delete "$INSTDIR\jpegtran.exe"
  Delete "$INSTDIR\exiv2.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
