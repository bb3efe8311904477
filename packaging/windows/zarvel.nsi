; The Zarvel installer. The build passes what it knows (the "installer"
; target in packaging/CMakeLists.txt):
;   makensis -DVERSION=1.0.2 -DVERSION_QUAD=1.0.2.0 -DVERSION_DISPLAY=1.02
;            -DPUBLISHER=Osket -DFILES=DIR -DICON=zarvel.ico -DOUTFILE=FILE
;            [-DAMD64] zarvel.nsi
; DIR holds zarvel.exe, README.txt and LICENSE.txt. AMD64 makes the same
; installer for the x86_64 build (64-bit stubs, Program Files, registry view).
;
; Silent use: setup.exe /S [/ASSOCIATE] [/D=DIR], uninstall.exe /S.

!ifdef AMD64
  Target amd64-unicode
!else
  Target x86-unicode
!endif

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "Sections.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Zarvel"
!define PROGID "Zarvel.Tune"
; The .sid default that the association replaced, kept for the uninstaller.
!define PREVIOUS_PROGID "Zarvel.PreviousDefault"

Name "Zarvel"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
!ifdef AMD64
  InstallDir "$PROGRAMFILES64\Zarvel"
!else
  InstallDir "$PROGRAMFILES\Zarvel"
!endif
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"

; The installer carries the version record of the program it installs.
VIProductVersion "${VERSION_QUAD}"
VIFileVersion "${VERSION_QUAD}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "Zarvel installer"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION_QUAD}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "MIT License"
VIAddVersionKey /LANG=1033 "ProductName" "Zarvel"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION_DISPLAY}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\zarvel.exe"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README.txt"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED

!insertmacro MUI_PAGE_LICENSE "${FILES}\LICENSE.txt"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The 64-bit installer writes the 64-bit registry view, so that Windows
; finds its uninstall entry and association where a 64-bit program's are.
!macro RegistryView
  SetShellVarContext all
  !ifdef AMD64
    SetRegView 64
  !endif
!macroend

Section "Zarvel" SectionProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${FILES}\zarvel.exe"
  File "${FILES}\README.txt"
  File "${FILES}\LICENSE.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Zarvel.lnk" "$INSTDIR\zarvel.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Zarvel"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\zarvel.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Off unless chosen: a double-click on a .sid file then plays it in Zarvel.
Section /o "Open .sid files with Zarvel" SectionAssociation
  ReadRegStr $0 HKLM "Software\Classes\.sid" ""
  ${If} $0 != ""
  ${AndIf} $0 != "${PROGID}"
    WriteRegStr HKLM "Software\Classes\.sid" "${PREVIOUS_PROGID}" $0
  ${EndIf}
  WriteRegStr HKLM "Software\Classes\.sid" "" "${PROGID}"
  WriteRegStr HKLM "Software\Classes\.sid\OpenWithProgids" "${PROGID}" ""
  WriteRegStr HKLM "Software\Classes\${PROGID}" "" "Commodore 64 tune"
  WriteRegStr HKLM "Software\Classes\${PROGID}\DefaultIcon" "" "$INSTDIR\zarvel.exe,0"
  WriteRegStr HKLM "Software\Classes\${PROGID}\shell\open\command" "" '"$INSTDIR\zarvel.exe" /play "%1"'
  ; SHCNE_ASSOCCHANGED, so that Explorer shows the new icon and verb.
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

Function .onInit
  !insertmacro RegistryView
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/ASSOCIATE" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SectionAssociation}
  ${EndIf}
FunctionEnd

Function un.onInit
  !insertmacro RegistryView
FunctionEnd

Section "Uninstall"
  Delete "$INSTDIR\zarvel.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Zarvel.lnk"

  ; The association goes only where it is still ours; the default it
  ; replaced comes back.
  ReadRegStr $0 HKLM "Software\Classes\.sid" ""
  ReadRegStr $1 HKLM "Software\Classes\.sid" "${PREVIOUS_PROGID}"
  ${If} $0 == "${PROGID}"
    ${If} $1 != ""
      WriteRegStr HKLM "Software\Classes\.sid" "" $1
    ${Else}
      DeleteRegValue HKLM "Software\Classes\.sid" ""
    ${EndIf}
  ${EndIf}
  DeleteRegValue HKLM "Software\Classes\.sid" "${PREVIOUS_PROGID}"
  DeleteRegValue HKLM "Software\Classes\.sid\OpenWithProgids" "${PROGID}"
  DeleteRegKey /ifempty HKLM "Software\Classes\.sid\OpenWithProgids"
  DeleteRegKey /ifempty HKLM "Software\Classes\.sid"
  DeleteRegKey HKLM "Software\Classes\${PROGID}"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
