; Installer for Brellow on 64-bit Windows: the engine, the settings program
; and the paste menu for both 64-bit Explorer and 32-bit programs' dialogs.
; makensis -DX64_DIR=<x64 binaries> -DX86_DIR=<x86 binaries> -DOUTFILE=<exe> Brellow.nsi

Unicode true
Target amd64-unicode
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ManifestSupportedOS all

!include LogicLib.nsh

!ifndef X64_DIR | X86_DIR | OUTFILE
  !error "X64_DIR, X86_DIR and OUTFILE must be defined"
!endif
!ifndef VERSION
  !define VERSION 1.0.0.0
!endif

!define PRODUCT_KEY "Software\Halvorin\Brellow"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Brellow"

Name "Brellow"
Caption "Brellow Setup"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Brellow"
BrandingText "Halvorin Brellow ${VERSION}"

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "Brellow"
VIAddVersionKey /LANG=1033 "CompanyName" "Halvorin"
VIAddVersionKey /LANG=1033 "FileDescription" "Brellow Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Halvorin"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; The 32-bit regsvr32 needs the 32-bit subsystem, which a system may lack
; (a server core without WOW64, or Wine built without 32-bit support). The
; 32-bit menu is a convenience for 32-bit programs' dialogs: its absence must
; not stop the product from working in 64-bit Explorer.
!macro Run32BitRegsvr SWITCHES
  ${If} ${FileExists} "$WINDIR\SysWOW64\regsvr32.exe"
    ClearErrors
    ExecWait '"$WINDIR\SysWOW64\regsvr32.exe" ${SWITCHES} "$INSTDIR\x86\Brellmenu.dll"' $0
    ${If} ${Errors}
    ${OrIf} $0 != 0
      DetailPrint "32-bit regsvr32 ${SWITCHES} did not succeed ($0); continuing without it"
    ${EndIf}
  ${Else}
    DetailPrint "No 32-bit subsystem: the 32-bit menu is not registered"
  ${EndIf}
!macroend

; The shell keys that registration writes below. Registration keeps them
; when it unregisters, since Windows ships most of them; a system that lacked
; one before the install (a bare Wine prefix, for instance) gets it removed
; again at uninstall, when nothing else has come to live in it.
!macro ForEachSharedKey MACRO
  !insertmacro ${MACRO} 0 "Directory\Background\ShellEx\ContextMenuHandlers"
  !insertmacro ${MACRO} 1 "Directory\Background\ShellEx"
  !insertmacro ${MACRO} 2 "Directory\Background"
  !insertmacro ${MACRO} 3 "LibraryFolder\Background\ShellEx\ContextMenuHandlers"
  !insertmacro ${MACRO} 4 "LibraryFolder\Background\ShellEx"
  !insertmacro ${MACRO} 5 "LibraryFolder\Background"
  !insertmacro ${MACRO} 6 "LibraryFolder"
!macroend

!macro NoteMissingKey INDEX KEY
  ClearErrors
  EnumRegKey $1 HKCR "${KEY}" 0
  ${If} ${Errors}
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "AddedKey${INDEX}" 1
  ${EndIf}
!macroend

!macro RemoveAddedKey INDEX KEY
  ClearErrors
  ReadRegDWORD $1 HKLM "${UNINSTALL_KEY}" "AddedKey${INDEX}"
  ${IfNot} ${Errors}
  ${AndIf} $1 = 1
    DeleteRegKey /ifempty HKCR "${KEY}"
  ${EndIf}
!macroend

Function .onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Brellow"
  SetOutPath "$INSTDIR"
  File "${X64_DIR}/brellow.exe"
  File "${X64_DIR}/Brellcfg.exe"
  File "${X64_DIR}/Brellmenu.dll"
  SetOutPath "$INSTDIR\x86"
  File "${X86_DIR}/Brellmenu.dll"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The menu reads the engine's folder through the 32-bit registry view.
  SetRegView 32
  WriteRegStr HKLM "${PRODUCT_KEY}" "Path" "$INSTDIR"
  SetRegView 64

  ; A reinstall keeps what the first install found.
  ClearErrors
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "DisplayName"
  ${If} ${Errors}
    !insertmacro ForEachSharedKey NoteMissingKey
  ${EndIf}

  ClearErrors
  ExecWait '"$SYSDIR\regsvr32.exe" /s "$INSTDIR\Brellmenu.dll"' $0
  ${If} ${Errors}
  ${OrIf} $0 != 0
    DetailPrint "regsvr32 Brellmenu.dll failed ($0)"
    MessageBox MB_ICONSTOP|MB_OK "The paste menu could not be registered (regsvr32 exit code $0)." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
  !insertmacro Run32BitRegsvr "/s"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Brellow"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Halvorin"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Brellcfg.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Uninstall"
  ; Unregistration removes only what registration added; the shared keys
  ; stay as the server's own scripts leave them.
  ExecWait '"$SYSDIR\regsvr32.exe" /u /s "$INSTDIR\Brellmenu.dll"' $0
  ${If} $0 != 0
    DetailPrint "regsvr32 /u Brellmenu.dll gave $0"
  ${EndIf}
  !insertmacro Run32BitRegsvr "/u /s"
  !insertmacro ForEachSharedKey RemoveAddedKey

  ; A DLL that Explorer still holds goes at the next start.
  Delete /REBOOTOK "$INSTDIR\Brellmenu.dll"
  Delete /REBOOTOK "$INSTDIR\x86\Brellmenu.dll"
  Delete "$INSTDIR\brellow.exe"
  Delete "$INSTDIR\Brellcfg.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir /REBOOTOK "$INSTDIR\x86"
  RMDir /REBOOTOK "$INSTDIR"

  ; Path goes; the user's settings under init stay for a later install.
  SetRegView 32
  DeleteRegValue HKLM "${PRODUCT_KEY}" "Path"
  DeleteRegKey /ifempty HKLM "${PRODUCT_KEY}"
  DeleteRegKey /ifempty HKLM "Software\Halvorin"
  SetRegView 64
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
