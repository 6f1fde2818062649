; Installer for Brellow: one 32-bit program for both kinds of Windows.
;   64-bit Windows: the x64 engine, the paste menu for 64-bit Explorer and, in
;     x86\, for 32-bit programs' file dialogs, each registered with the
;     regsvr32 of its bitness.
;   32-bit Windows: the x86 engine and the x86 paste menu.
; Both get the x86 settings program. Being 32-bit, it keeps its values in the
; 32-bit registry view, where the engine of either bitness reads them and the
; menu reads Path.
;   64-bit Windows 11 on an x64 client (build 22000 or later, InstallationType
;     Client) also gets the package that puts "Paste with Brellow" at the top
;     of the folder menu: its files in package\, its certificate trusted, the
;     package staged with package\ as its external location and provisioned
;     for every user of the machine, who get it at their next sign-in.
;     None of that can fail the installation; the classic entry stays.
;   ARM64 Windows gets no x64 menu registered: its Explorer cannot load it.
;
; Setup never leaves a half state: each file is written under a name of its
; own and then put in place (an in-use file is moved aside, or replaced at the
; next restart, and the exit code says so); the uninstall entry exists before
; the first step that can fail; a failed first install takes back what it did;
; the uninstaller removes the registration itself when the server cannot.
;
; makensis -DX64_DIR=<x64 binaries> -DX86_DIR=<x86 binaries> -DOUTFILE=<exe>
;          -DVERSION=<Version of package/identity.ini>
;          -DPACKAGE_DIR=<the package build's folder, with PackageIdentity.nsh>
;          -DCERTIFICATE_NSH=<PackageCertificate.nsh: the certificate's thumbprint>
;          Brellow.nsi

Unicode true
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ManifestSupportedOS all

!include MUI2.nsh
!include LogicLib.nsh
!include x64.nsh
!include FileFunc.nsh

!ifndef X64_DIR | X86_DIR | OUTFILE | VERSION | PACKAGE_DIR | CERTIFICATE_NSH
  !error "X64_DIR, X86_DIR, OUTFILE, VERSION, PACKAGE_DIR and CERTIFICATE_NSH must be defined"
!endif
; BRELL_PACKAGE_NAME, _FILE, _CERT, _LOGO (package/make_msix.py) and
; BRELL_PACKAGE_THUMBPRINT (MakeInstaller.cmake, from the certificate shipped).
!include "${PACKAGE_DIR}/PackageIdentity.nsh"
!include "${CERTIFICATE_NSH}"

!define PRODUCT_KEY "Software\Halvorin\Brellow"
!define INIT_KEY "${PRODUCT_KEY}\init"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Brellow"
!define CLASSES "Software\Classes"
!define CLSID "{5D3E8A17-2C4B-4F61-9A0E-7B1C3D5F8E24}"
!define APPID "{C41F7B02-6E93-4A58-B1D7-2F8A6C0E9B35}"
!define LIBID "{8B2E4C69-D017-4F3A-8E45-16C9B7A2F0D3}"

; Exit code of a run that finished but needs a restart to complete, as
; Windows Installer reports it (ERROR_SUCCESS_REBOOT_REQUIRED).
!define EXIT_RESTART_NEEDED 3010

; The system folder of the machine's own bitness and the regsvr32 of each
; bitness. The 64-bit system folder is reached from this 32-bit program
; through Sysnative, which the file-system redirection leaves alone.
!if ${NSIS_PTR_SIZE} > 4
  !define NATIVE_SYSDIR "$SYSDIR"
  !define REGSVR_X86 "$WINDIR\SysWOW64\regsvr32.exe"
!else
  !define NATIVE_SYSDIR "$WINDIR\Sysnative"
  !define REGSVR_X86 "$SYSDIR\regsvr32.exe"
!endif
!define REGSVR_NATIVE "${NATIVE_SYSDIR}\regsvr32.exe"

; Windows 11's package (see the top). Its files go into a folder of their
; own, the package's external location: registration may change that
; folder's permissions, which the install folder keeps as Setup set them.
!define PACKAGE_SUBDIR "package"
; Under PRODUCT_KEY (32-bit view): the thumbprint of the certificate Setup
; trusted for the package. Written before the certificate is added, removed
; once it is taken away: while it is there, the package may be registered.
!define PACKAGE_CERT_VALUE "PackageCertificate"
; Beside the thumbprint: the version Setup set the package up with. The same
; thumbprint and version mean the same installer runs again.
!define PACKAGE_VERSION_VALUE "PackageVersion"
; Earlier versions registered the package user by user through this Active
; Setup entry; it is removed with their package.
!define ACTIVE_SETUP_KEY "Software\Microsoft\Active Setup\Installed Components\${BRELL_PACKAGE_NAME}"
; The 64-bit tools, as Windows documents them for this: certutil adds to and
; deletes from the machine's certificate stores; Windows PowerShell stages and
; provisions the package (the deployment API, Windows.Management.Deployment)
; and removes it (the Appx and DISM modules).
!define CERTUTIL "${NATIVE_SYSDIR}\certutil.exe"
!define POWERSHELL "${NATIVE_SYSDIR}\WindowsPowerShell\v1.0\powershell.exe"
; No input to wait for: PowerShell reads none (-InputFormat None), and a tool
; that says nothing for this long is ended (nsExec's /TIMEOUT, in ms).
!define POWERSHELL_OPTIONS "-NoProfile -NonInteractive -InputFormat None"
!define TOOL_TIMEOUT 300000
; No path is ever part of PowerShell's code: the package folder reaches the
; command below as data, in this environment variable of Setup's process,
; which the tools inherit. The commands' texts are constants.
!define FOLDER_VARIABLE "BRELL_PACKAGE_FOLDER"
; The deployment API (Windows.Management.Deployment.PackageManager) from
; Windows PowerShell: W waits for one of its operations and fails with its
; error text. Any failure ends a command with exit code 1.
!define DEPLOYMENT_API "Add-Type -AssemblyName System.Runtime.WindowsRuntime;$$m=[Windows.Management.Deployment.PackageManager,Windows.Management.Deployment,ContentType=WindowsRuntime]::new();$$a=([WindowsRuntimeSystemExtensions].GetMethods()|?{$$_.Name -eq 'AsTask' -and $$_.GetParameters().Count -eq 1 -and $$_.ToString() -like '*OperationWithProgress*'})[0].MakeGenericMethod([Windows.Management.Deployment.DeploymentResult],[Windows.Management.Deployment.DeploymentProgress]);function W($$o){$$r=$$a.Invoke($$null,@($$o)).Result;if($$r.ExtendedErrorCode){throw $$r.ErrorText}}"
; Stages the package with the folder as its external location
; (StagePackageByUriAsync, StagePackageOptions.ExternalLocationUri). Staging
; the same version again changes nothing.
!define PACKAGE_STAGING "$$ErrorActionPreference='Stop';${DEPLOYMENT_API};$$f=$$env:${FOLDER_VARIABLE};$$o=[Windows.Management.Deployment.StagePackageOptions]::new();$$o.ExternalLocationUri=[Uri]$$f;W $$m.StagePackageByUriAsync([Uri]($$f+'\${BRELL_PACKAGE_FILE}'),$$o)"
; Provisions the staged package's family for every user of the machine
; (ProvisionPackageForAllUsersAsync), unless it is provisioned already:
; provisioning again would first remove every user's registration.
!define PACKAGE_PROVISIONING "$$ErrorActionPreference='Stop';if(!(Get-AppxProvisionedPackage -Online|?{$$_.DisplayName -eq '${BRELL_PACKAGE_NAME}'})){${DEPLOYMENT_API};W $$m.ProvisionPackageForAllUsersAsync('${BRELL_PACKAGE_FAMILY}')}"
; Removes the provisioning and every user's registration of every version,
; then fails (exit code 1) when the package is still provisioned or still
; installed for any user, or when that cannot be asked. A copy left staged for
; nobody is gone enough: it cannot block an uninstall.
!define PACKAGE_REMOVAL "$$n='${BRELL_PACKAGE_NAME}';$$p={Get-AppxProvisionedPackage -Online|?{$$_.DisplayName -eq $$n}};&$$p|Remove-AppxProvisionedPackage -Online -AllUsers;Get-AppxPackage -AllUsers -Name $$n|Remove-AppxPackage -AllUsers;$$ErrorActionPreference='Stop';if((&$$p) -or (Get-AppxPackage -AllUsers -Name $$n|?{$$_.PackageUserInformation.InstallState -contains 'Installed'})){exit 1}"
; Ends the COM surrogate that serves the command (dllhost.exe started with
; /Processid:<its class id>), found by its command line, never by its image
; name alone: other surrogates keep running. Windows' own list of processes
; (Win32_Process) gives the command lines.
!define SURROGATE_END "Get-CimInstance Win32_Process|?{$$_.Name -eq 'dllhost.exe' -and $$_.CommandLine -like '*/Processid:${BRELL_PACKAGE_CLASS_ID}*'}|%{Stop-Process -Id $$_.ProcessId -Force;Wait-Process -Id $$_.ProcessId -Timeout 10 -ErrorAction SilentlyContinue}"

; The folder's DACL, owner Administrators: Administrators and SYSTEM full
; control, Users read and execute (FILE_GENERIC_READ | FILE_GENERIC_EXECUTE),
; inherited by everything below; protected, so nothing from the parent
; (such as a "Users: modify" entry on a folder outside Program Files) comes in.
!define FOLDER_SDDL "O:BAD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)"

Name "Brellow"
Caption "Brellow Setup"
OutFile "${OUTFILE}"
BrandingText "Halvorin Brellow ${VERSION}"

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "Brellow"
VIAddVersionKey /LANG=1033 "CompanyName" "Halvorin"
VIAddVersionKey /LANG=1033 "FileDescription" "Brellow Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Halvorin"

Var Is64          ; 1 on 64-bit Windows
Var Registered    ; the folder of the installation the system knows, or ""
Var Fresh         ; 1 when no installation was registered before this run
Var Started       ; 1 once this run has changed anything
Var Dll           ; argument of the registration functions
Var Regsvr
Var Tool          ; command line of a Windows tool to run
Var Windows11     ; 1 on 64-bit Windows 11, which gets the package
Var PackageNote   ; what the finish page says about the package, or ""
Var StopReason    ; why the uninstaller stopped
Var PackageFailed ; 1 when the uninstaller could not remove the package
Var PackageStays  ; 1 when the uninstall goes on without removing the package
Var Force         ; 1 when the uninstaller runs with /FORCE
Var Arm64         ; 1 on ARM64 Windows

!define MUI_ABORTWARNING
!define MUI_ICON "${NSISDIR}\Contrib\Graphics\Icons\modern-install.ico"
!define MUI_UNICON "${NSISDIR}\Contrib\Graphics\Icons\modern-uninstall.ico"

!insertmacro MUI_PAGE_WELCOME
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\Brellcfg.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Open Brellow settings"
!define MUI_FINISHPAGE_TEXT "$(^NameDA) has been installed on your computer. Click Finish to close Setup.$\r$\n$\r$\n$PackageNote"
!define MUI_FINISHPAGE_TEXT_REBOOT "Your computer must be restarted to complete the installation of $(^NameDA). Do you want to restart now?$\r$\n$\r$\n$PackageNote"
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; ---------------------------------------------------------------------------
; Shared by the installer (its rollback) and the uninstaller.

; The registry views a machine-wide registration writes: both on 64-bit
; Windows, the one on 32-bit Windows.
!macro InEachView MACRO
  ${If} $Is64 == 1
    SetRegView 64
    !insertmacro ${MACRO}
    SetRegView 32
    !insertmacro ${MACRO}
    SetRegView 64
  ${Else}
    !insertmacro ${MACRO}
  ${EndIf}
!macroend

; Exactly the keys the server's registry scripts and its type library
; registration write, never the shared parents that the scripts keep
; (AppID, CLSID, Directory, LibraryFolder and their Background, ShellEx and
; ContextMenuHandlers keys).
!macro DeleteRegistrationKeys
  DeleteRegKey HKLM "${CLASSES}\CLSID\${CLSID}"
  DeleteRegKey HKLM "${CLASSES}\Directory\Background\ShellEx\ContextMenuHandlers\Brellow"
  DeleteRegKey HKLM "${CLASSES}\LibraryFolder\Background\ShellEx\ContextMenuHandlers\Brellow"
  DeleteRegKey HKLM "${CLASSES}\AppID\${APPID}"
  DeleteRegKey HKLM "${CLASSES}\AppID\Brellmenu.DLL"
  DeleteRegKey HKLM "${CLASSES}\TypeLib\${LIBID}\1.0"
  DeleteRegKey /ifempty HKLM "${CLASSES}\TypeLib\${LIBID}"
!macroend

; Sets $0 to 1 when any key that makes Explorer load the menu is still there.
!macro FindRegistrationKeys
  !insertmacro FindKey "${CLASSES}\CLSID\${CLSID}"
  !insertmacro FindKey "${CLASSES}\Directory\Background\ShellEx\ContextMenuHandlers\Brellow"
  !insertmacro FindKey "${CLASSES}\LibraryFolder\Background\ShellEx\ContextMenuHandlers\Brellow"
!macroend
!macro FindKey KEY
  ClearErrors
  EnumRegKey $1 HKLM "${KEY}" 0
  ${IfNot} ${Errors}
    StrCpy $0 1
  ${EndIf}
!macroend

; The shell keys that registration writes below. Registration keeps them
; when it unregisters, since Windows ships most of them; a system that lacked
; one before the first install (a bare Wine prefix, for instance) gets it
; removed again, when nothing else has come to live in it.
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
  EnumRegKey $1 HKLM "${CLASSES}\${KEY}" 0
  ${If} ${Errors}
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "AddedKey${INDEX}" 1
  ${EndIf}
!macroend

!macro RemoveAddedKey INDEX KEY
  ClearErrors
  ReadRegDWORD $1 HKLM "${UNINSTALL_KEY}" "AddedKey${INDEX}"
  ${IfNot} ${Errors}
  ${AndIf} $1 = 1
    DeleteRegKey /ifempty HKLM "${CLASSES}\${KEY}"
  ${EndIf}
!macroend

; The product key lives in the 32-bit view, where the menu reads Path.
!macro ProductView
  ${If} $Is64 == 1
    SetRegView 32
  ${EndIf}
!macroend
!macro MainView
  ${If} $Is64 == 1
    SetRegView 64
  ${EndIf}
!macroend

!macro ProductFunctions UN
; Runs $Tool without a window, its output into the details; $0 becomes 0
; when it succeeded, else its exit code ("error" when it did not start,
; "timeout" when it said nothing for TOOL_TIMEOUT and was ended).
Function ${UN}RunTool
  DetailPrint "$Tool"
  nsExec::ExecToLog /TIMEOUT=${TOOL_TIMEOUT} $Tool
  Pop $0
  ${If} $0 != 0
    DetailPrint "The command did not succeed ($0)"
  ${EndIf}
FunctionEnd

; $1 = the thumbprint recorded for the package's certificate, or ""; $2 =
; the version recorded beside it, or "".
Function ${UN}ReadPackageRecord
  !insertmacro ProductView
  ReadRegStr $1 HKLM "${PRODUCT_KEY}" "${PACKAGE_CERT_VALUE}"
  ReadRegStr $2 HKLM "${PRODUCT_KEY}" "${PACKAGE_VERSION_VALUE}"
  !insertmacro MainView
FunctionEnd

; Ends the surrogate process that may hold package\Brellcmd.dll, so that the
; file can be replaced and the package removed now rather than at a restart.
; A surrogate that stays is handled as any file in use.
Function ${UN}EndSurrogate
  DetailPrint "Ending the surrogate of Paste with Brellow's command, if it runs"
  StrCpy $Tool `"${POWERSHELL}" ${POWERSHELL_OPTIONS} -Command "${SURROGATE_END}"`
  Call ${UN}RunTool
FunctionEnd

; Takes away what lets Windows register the package: the Active Setup entry
; and the recorded certificate, then the record. A certificate that cannot
; be deleted is only logged: the package it vouched for is gone.
Function ${UN}DropPackageTrust
  DeleteRegKey HKLM "${ACTIVE_SETUP_KEY}"
  Call ${UN}ReadPackageRecord
  ${If} $1 != ""
    StrCpy $Tool '"${CERTUTIL}" -delstore TrustedPeople $1'
    Call ${UN}RunTool
  ${EndIf}
  !insertmacro ProductView
  DeleteRegValue HKLM "${PRODUCT_KEY}" "${PACKAGE_CERT_VALUE}"
  DeleteRegValue HKLM "${PRODUCT_KEY}" "${PACKAGE_VERSION_VALUE}"
  !insertmacro MainView
FunctionEnd

; Removes Windows 11's package, its provisioning and every user's
; registration, then its trust; nothing when no certificate is recorded.
; Its surrogate is ended first. Sets the error flag, and leaves everything
; as it was, when the package could not be removed. With $PackageStays 1
; (the user chose to remove the rest anyway) only the trust goes.
Function ${UN}RemovePackage
  Call ${UN}ReadPackageRecord
  ${If} $1 == ""
    ClearErrors
    Return
  ${EndIf}
  ${If} $PackageStays != 1
    Call ${UN}EndSurrogate
    DetailPrint "Removing the Windows 11 package for every user"
    StrCpy $Tool `"${POWERSHELL}" ${POWERSHELL_OPTIONS} -Command "${PACKAGE_REMOVAL}"`
    Call ${UN}RunTool
    ${If} $0 != 0
      SetErrors
      Return
    ${EndIf}
  ${Else}
    DetailPrint "The Windows 11 package stays registered: remove $\"Paste with Brellow$\" in Settings, Apps, Installed apps"
  ${EndIf}
  Call ${UN}DropPackageTrust
  ClearErrors
FunctionEnd

; Unregisters $Dll with $Regsvr; $0 becomes 1 when that did not succeed
; (the file is gone, or the server reported a failure).
Function ${UN}Unregister
  ${If} ${FileExists} "$Dll"
    ClearErrors
    ExecWait '"$Regsvr" /u /s "$Dll"' $1
    ${If} ${Errors}
    ${OrIf} $1 != 0
      DetailPrint "regsvr32 /u $Dll did not succeed ($1)"
      StrCpy $0 1
    ${EndIf}
  ${Else}
    DetailPrint "$Dll is missing"
    StrCpy $0 1
  ${EndIf}
FunctionEnd

; Takes the paste menu's registration away. When the server cannot do it
; itself, the keys it writes are removed here, in both views. Sets the error
; flag when Explorer would still find the menu afterwards.
Function ${UN}RemoveRegistration
  StrCpy $0 0
  ; The 64-bit build first: while the 32-bit build stays registered it
  ; leaves the shared keys to it, and the last one out removes them.
  ${If} $Is64 == 1
    ${If} $Arm64 != 1
      StrCpy $Dll "$INSTDIR\Brellmenu.dll"
      StrCpy $Regsvr "${REGSVR_NATIVE}"
      Call ${UN}Unregister
    ${EndIf}
    StrCpy $Dll "$INSTDIR\x86\Brellmenu.dll"
    StrCpy $Regsvr "${REGSVR_X86}"
    Call ${UN}Unregister
  ${Else}
    StrCpy $Dll "$INSTDIR\Brellmenu.dll"
    StrCpy $Regsvr "${REGSVR_X86}"
    Call ${UN}Unregister
  ${EndIf}
  ${If} $0 == 1
    DetailPrint "Removing the paste menu's registry keys"
    !insertmacro InEachView DeleteRegistrationKeys
  ${EndIf}
  StrCpy $0 0
  !insertmacro InEachView FindRegistrationKeys
  ClearErrors
  ${If} $0 == 1
    SetErrors
  ${EndIf}
FunctionEnd

; Everything an installation consists of. Stops, with the error flag set,
; $StopReason said and the files and the uninstall entry kept, when Windows
; 11's package or the menu's registration cannot be removed: the entry is
; then still there to try again. The package goes first, so that a failure
; leaves the installation whole.
Function ${UN}RemoveProduct
  StrCpy $PackageFailed 0
  Call ${UN}RemovePackage
  ${If} ${Errors}
    StrCpy $PackageFailed 1
    StrCpy $StopReason "The Windows 11 package of Paste with Brellow could not be removed (PowerShell: $0)."
    DetailPrint "$StopReason The installation is kept"
    SetErrors
    Return
  ${EndIf}
  Call ${UN}RemoveRegistration
  ${If} ${Errors}
    StrCpy $StopReason "The paste menu could not be unregistered."
    DetailPrint "$StopReason The installation is kept"
    SetErrors
    Return
  ${EndIf}
  Call ${UN}RemoveDropMenu
  ${If} ${Errors}
    StrCpy $StopReason "The right-drag menu could not be unregistered."
    DetailPrint "$StopReason The installation is kept"
    SetErrors
    Return
  ${EndIf}
  !insertmacro ForEachSharedKey RemoveAddedKey

  ; A file that is still in use goes at the next restart.
  Delete /REBOOTOK "$INSTDIR\Brellmenu.dll"
  Delete /REBOOTOK "$INSTDIR\x86\Brellmenu.dll"
  Delete /REBOOTOK "$INSTDIR\brellow.exe"
  Delete /REBOOTOK "$INSTDIR\Brellcfg.exe"
  ; Files of this setup's own: new ones not yet put in place, old ones moved
  ; aside while they were in use.
  Delete /REBOOTOK "$INSTDIR\*.new"
  Delete /REBOOTOK "$INSTDIR\*.old*"
  Delete /REBOOTOK "$INSTDIR\x86\*.new"
  Delete /REBOOTOK "$INSTDIR\x86\*.old*"
  Delete /REBOOTOK "$INSTDIR\${PACKAGE_SUBDIR}\Brellcmd.dll"
  Delete /REBOOTOK "$INSTDIR\${PACKAGE_SUBDIR}\brellow.exe"
  Delete /REBOOTOK "$INSTDIR\${PACKAGE_SUBDIR}\${BRELL_PACKAGE_FILE}"
  Delete /REBOOTOK "$INSTDIR\${PACKAGE_SUBDIR}\${BRELL_PACKAGE_LOGO}"
  Delete /REBOOTOK "$INSTDIR\${PACKAGE_SUBDIR}\${BRELL_PACKAGE_SMALL_LOGO}"
  Delete /REBOOTOK "$INSTDIR\${PACKAGE_SUBDIR}\*.new"
  Delete /REBOOTOK "$INSTDIR\${PACKAGE_SUBDIR}\*.old*"
  Delete "$INSTDIR\uninstall.exe"
  ; The folders go at the restart too when their files do; otherwise now, or
  ; not at all (an uninstaller run in place with _?= stays in its folder).
  ${If} ${RebootFlag}
    RMDir /REBOOTOK "$INSTDIR\x86"
    RMDir /REBOOTOK "$INSTDIR\${PACKAGE_SUBDIR}"
    RMDir /REBOOTOK "$INSTDIR"
  ${Else}
    RMDir "$INSTDIR\x86"
    RMDir "$INSTDIR\${PACKAGE_SUBDIR}"
    RMDir "$INSTDIR"
  ${EndIf}

  ; Path goes; the user's settings under init stay for a later install.
  !insertmacro ProductView
  DeleteRegValue HKLM "${PRODUCT_KEY}" "Path"
  DeleteRegKey /ifempty HKLM "${PRODUCT_KEY}"
  DeleteRegKey /ifempty HKLM "Software\Halvorin"
  !insertmacro MainView
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ClearErrors
FunctionEnd

Function ${UN}StartUp
  SetShellVarContext all
  StrCpy $Arm64 0
  ${If} ${IsNativeARM64}
    StrCpy $Arm64 1
  ${EndIf}
  ${If} ${RunningX64}
    StrCpy $Is64 1
    ; The uninstall entry lives in the 64-bit view, as a 64-bit program's.
    SetRegView 64
  ${Else}
    StrCpy $Is64 0
  ${EndIf}
FunctionEnd
!macroend

!insertmacro ProductFunctions ""
!insertmacro ProductFunctions "un."

; ---------------------------------------------------------------------------
; The right-drag menu, Brelldrop.dll ("Copy here with Brellow", "Move here
; with Brellow"): one build, Explorer's (x64 on 64-bit Windows, x86 on
; 32-bit Windows; 32-bit programs' file dialogs do not drag), installed and
; registered machine-wide beside the paste menu, removed with it.
!define DROP_CLSID "{01235473-D7EE-48CD-944F-1D3557DAD0CE}"

!macro InstallDropMenu
  ; ARM64's Explorer can load neither build: nothing is put there.
  ${If} $Arm64 == 1
  ${ElseIf} $Is64 == 1
    !insertmacro InstallFile "${X64_DIR}/Brelldrop.dll" "$INSTDIR\Brelldrop.dll"
  ${Else}
    !insertmacro InstallFile "${X86_DIR}/Brelldrop.dll" "$INSTDIR\Brelldrop.dll"
  ${EndIf}
!macroend

; The shell keys its registration writes below, noted and removed as
; ForEachSharedKey's are (children first).
!macro ForEachDropSharedKey MACRO
  !insertmacro ${MACRO} 20 "Directory\shellex\DragDropHandlers"
  !insertmacro ${MACRO} 21 "Directory\shellex"
  !insertmacro ${MACRO} 22 "Drive\shellex\DragDropHandlers"
  !insertmacro ${MACRO} 23 "Drive\shellex"
  !insertmacro ${MACRO} 24 "Drive"
  !insertmacro ${MACRO} 25 "Folder\shellex\DragDropHandlers"
  !insertmacro ${MACRO} 26 "Folder\shellex"
  !insertmacro ${MACRO} 27 "Folder"
!macroend

!macro DropRegsvr
  StrCpy $Dll "$INSTDIR\Brelldrop.dll"
  ${If} $Is64 == 1
    StrCpy $Regsvr "${REGSVR_NATIVE}"
  ${Else}
    StrCpy $Regsvr "${REGSVR_X86}"
  ${EndIf}
!macroend

Function RegisterDropMenu
  ${If} $Arm64 == 1
    Return
  ${EndIf}
  !insertmacro DropRegsvr
  Call Register
FunctionEnd

!macro DropMenuFunctions UN
; Unregisters the right-drag menu and deletes its file; when the server
; cannot unregister, the keys its script writes are removed here. Sets the
; error flag, and keeps the file, when Explorer would still find it.
Function ${UN}RemoveDropMenu
  StrCpy $0 0
  !insertmacro DropRegsvr
  Call ${UN}Unregister
  ${If} $0 == 1
    DetailPrint "Removing the right-drag menu's registry keys"
    DeleteRegKey HKLM "${CLASSES}\CLSID\${DROP_CLSID}"
    DeleteRegKey HKLM "${CLASSES}\Directory\shellex\DragDropHandlers\Brellow"
    DeleteRegKey HKLM "${CLASSES}\Drive\shellex\DragDropHandlers\Brellow"
    DeleteRegKey HKLM "${CLASSES}\Folder\shellex\DragDropHandlers\Brellow"
  ${EndIf}
  StrCpy $0 0
  !insertmacro FindKey "${CLASSES}\CLSID\${DROP_CLSID}"
  !insertmacro FindKey "${CLASSES}\Directory\shellex\DragDropHandlers\Brellow"
  !insertmacro FindKey "${CLASSES}\Drive\shellex\DragDropHandlers\Brellow"
  !insertmacro FindKey "${CLASSES}\Folder\shellex\DragDropHandlers\Brellow"
  ClearErrors
  ${If} $0 == 1
    SetErrors
    Return
  ${EndIf}
  !insertmacro ForEachDropSharedKey RemoveAddedKey
  Delete /REBOOTOK "$INSTDIR\Brelldrop.dll"
  ClearErrors
FunctionEnd
!macroend
!insertmacro DropMenuFunctions ""
!insertmacro DropMenuFunctions "un."

; ---------------------------------------------------------------------------
; The installer.

; Stops the installation: tells the user (silently: only the exit code), takes
; back what a first install did, and exits with code 2.
!macro Fail MESSAGE
  DetailPrint "${MESSAGE}"
  MessageBox MB_ICONSTOP|MB_OK "${MESSAGE}" /SD IDOK
  Call RollBack
  SetErrorLevel 2
  Abort
!macroend

Function RollBack
  ${If} $Started != 1
    Return
  ${EndIf}
  ${If} $Fresh == 1
    DetailPrint "Taking back what Setup did"
    ; Out of the folder: a process's current folder cannot be removed.
    SetOutPath "$TEMP"
    Call RemoveProduct
  ${Else}
    ; The files of the earlier version are replaced already; the uninstall
    ; entry and the uninstaller, written first, stay to repair or remove it.
    DetailPrint "Run Setup again, or remove Brellow from the list of installed programs"
  ${EndIf}
FunctionEnd

Function .onInit
  Call StartUp
  ReadRegStr $Registered HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ; /D= on the command line sets the folder before this runs.
  ${If} $INSTDIR == ""
    ${If} $Registered != ""
      StrCpy $INSTDIR $Registered
    ${ElseIf} $Is64 == 1
      StrCpy $INSTDIR "$PROGRAMFILES64\Brellow"
    ${Else}
      StrCpy $INSTDIR "$PROGRAMFILES\Brellow"
    ${EndIf}
  ${EndIf}
FunctionEnd

; Sets $0 to why the chosen folder cannot take the installation, or "".
; Setup makes its folder writable by administrators only; a folder that
; already holds files of others is refused rather than taken over.
Function CheckFolder
  StrCpy $0 ""
  ${If} ${FileExists} "$INSTDIR\*.*"
    ${If} $INSTDIR == $Registered
      Return
    ${EndIf}
    FindFirst $1 $2 "$INSTDIR\*.*"
    ${DoWhile} $2 != ""
      ${If} $2 != "."
      ${AndIf} $2 != ".."
        StrCpy $0 "The folder $INSTDIR already holds other files. Choose a new or empty folder for Brellow."
        ${Break}
      ${EndIf}
      FindNext $1 $2
    ${Loop}
    FindClose $1
  ${ElseIf} ${FileExists} "$INSTDIR"
    StrCpy $0 "$INSTDIR is a file. Choose a new or empty folder for Brellow."
  ${EndIf}
FunctionEnd

Function DirectoryLeave
  Call CheckFolder
  ${If} $0 != ""
    MessageBox MB_ICONEXCLAMATION|MB_OK "$0"
    Abort
  ${EndIf}
FunctionEnd

; Owner, DACL and protection of the install folder, through the API (a
; DACL tool's output would depend on its version and the system's language).
Function LockDownFolder
  ; Texts go in registers: a quoted argument must not hold parentheses.
  StrCpy $5 "${FOLDER_SDDL}"
  StrCpy $6 "$INSTDIR"
  System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w r5, i 1, *p .r1, p 0) i .r0'
  ${If} $0 == 0
    StrCpy $0 "the security descriptor could not be built"
    Return
  ${EndIf}
  System::Call 'advapi32::GetSecurityDescriptorOwner(p r1, *p .r2, *i .r4) i .r0'
  System::Call 'advapi32::GetSecurityDescriptorDacl(p r1, *i .r4, *p .r3, *i .r4) i .r0'
  ; SE_FILE_OBJECT; OWNER | DACL | PROTECTED_DACL_SECURITY_INFORMATION
  System::Call 'advapi32::SetNamedSecurityInfoW(w r6, i 1, i 0x80000005, p r2, p 0, p r3, p 0) i .r0'
  System::Call 'kernel32::LocalFree(p r1)'
  ${If} $0 == 0
    StrCpy $0 ""
  ${Else}
    StrCpy $0 "error $0"
  ${EndIf}
FunctionEnd

; A name beside $R9 for the file moved out of the way: $R9.old<N>.
Function AsideName
  StrCpy $R7 1
  ${DoWhile} ${FileExists} "$R9.old$R7"
    IntOp $R7 $R7 + 1
  ${Loop}
  StrCpy $R8 "$R9.old$R7"
FunctionEnd

; Puts $R9.new, complete, in the place of $R9. A file in use (Explorer holds
; the menu DLL, a user runs the settings program) is moved aside and deleted
; at the next restart; one that cannot even be moved is replaced at the next
; restart. Both set the reboot flag.
Function PutInPlace
  ${If} ${FileExists} "$R9"
    ClearErrors
    Delete "$R9"
    ${If} ${Errors}
      Call AsideName
      ClearErrors
      Rename "$R9" "$R8"
      ${If} ${Errors}
        DetailPrint "$R9 is in use: it is replaced when Windows restarts"
        ClearErrors
        Rename /REBOOTOK "$R9.new" "$R9"
        ${If} ${Errors}
          !insertmacro Fail "Setup could not replace $R9, which is in use."
        ${EndIf}
        Return
      ${EndIf}
      DetailPrint "$R9 was in use: the old file goes when Windows restarts"
      Delete /REBOOTOK "$R8"
    ${EndIf}
  ${EndIf}
  ClearErrors
  Rename "$R9.new" "$R9"
  ${If} ${Errors}
    !insertmacro Fail "Setup could not write $R9."
  ${EndIf}
FunctionEnd

!macro InstallFile SOURCE TARGET
  StrCpy $R9 "${TARGET}"
  Delete "$R9.new"
  ClearErrors
  File "/oname=$R9.new" "${SOURCE}"
  ${If} ${Errors}
    !insertmacro Fail "Setup could not write $R9.new."
  ${EndIf}
  Call PutInPlace
!macroend

Function Register
  ClearErrors
  ExecWait '"$Regsvr" /s "$Dll"' $0
  ${If} ${Errors}
  ${OrIf} $0 != 0
    !insertmacro Fail "The paste menu $Dll could not be registered (regsvr32 exit code $0)."
  ${EndIf}
FunctionEnd

; The x64 settings program of earlier installs kept its values in the 64-bit
; view; the settings program and the engine now read the 32-bit one. A value
; only the 64-bit view holds is carried over, so no setting is lost.
!macro CarrySetting NAME
  SetRegView 32
  ClearErrors
  ReadRegDWORD $1 HKLM "${INIT_KEY}" "${NAME}"
  ${If} ${Errors}
    SetRegView 64
    ClearErrors
    ReadRegDWORD $1 HKLM "${INIT_KEY}" "${NAME}"
    ${IfNot} ${Errors}
      SetRegView 32
      WriteRegDWORD HKLM "${INIT_KEY}" "${NAME}" $1
    ${EndIf}
  ${EndIf}
  SetRegView 64
!macroend

; Sets $Windows11 to 1 on 64-bit Windows 11 for clients: an x64 machine
; (not ARM64, whose Explorer can load no x64 handler, in process or in a
; surrogate) whose build is 22000 or later and whose InstallationType is
; Client (Windows Server 2025 passes the build test, but its Explorer does
; not keep packaged entries). Both are read where Windows keeps them, which
; no compatibility setting of this program alters. Windows 10 would show a
; packaged verb beside the classic one in its single menu, so it gets
; nothing of the package.
Function FindWindows11
  StrCpy $Windows11 0
  ${If} $Is64 == 1
  ${AndIf} $Arm64 != 1
    ReadRegStr $1 HKLM "Software\Microsoft\Windows NT\CurrentVersion" "CurrentBuildNumber"
    ReadRegStr $2 HKLM "Software\Microsoft\Windows NT\CurrentVersion" "InstallationType"
    ${If} $1 >= 22000
    ${AndIf} $2 == "Client"
      StrCpy $Windows11 1
    ${EndIf}
  ${EndIf}
FunctionEnd

; Trusts the package's certificate, stages the package with package\ as its
; external location and provisions it for every user of the machine, who
; get it at their next sign-in. What an earlier version set up is removed
; first; the same installer run again (the same certificate and version
; recorded) removes nothing, so that nobody loses the entry. None of it can
; fail the installation: a step that fails takes back what this run set up
; before it, and the finish page says the entry stays under "Show more
; options" (or, run again, that it stays as it was).
Function SetUpPackage
  StrCpy $R4 0
  Call ReadPackageRecord
  ${If} $1 == "${BRELL_PACKAGE_THUMBPRINT}"
  ${AndIf} $2 == "${VERSION}"
    StrCpy $R4 1
    DetailPrint "The Windows 11 package of this version is set up already: nothing of it is removed"
  ${ElseIf} $1 != ""
    Call RemovePackage
    ${If} ${Errors}
      DetailPrint "The earlier version's package stays registered"
      Goto failed
    ${EndIf}
  ${EndIf}

  ; Recorded before the certificate is trusted: whatever happens next, the
  ; uninstaller knows what to take away.
  !insertmacro ProductView
  ClearErrors
  WriteRegStr HKLM "${PRODUCT_KEY}" "${PACKAGE_CERT_VALUE}" "${BRELL_PACKAGE_THUMBPRINT}"
  WriteRegStr HKLM "${PRODUCT_KEY}" "${PACKAGE_VERSION_VALUE}" "${VERSION}"
  !insertmacro MainView
  ${If} ${Errors}
    Goto untrust
  ${EndIf}
  InitPluginsDir
  ClearErrors
  File "/oname=$PLUGINSDIR\${BRELL_PACKAGE_CERT}" "${PACKAGE_DIR}/${BRELL_PACKAGE_CERT}"
  ${If} ${Errors}
    Goto untrust
  ${EndIf}
  ; LocalMachine, the store certutil -addstore writes by default: Trusted
  ; People vouches for packages, not for any other code as Root would.
  StrCpy $Tool '"${CERTUTIL}" -addstore TrustedPeople "$PLUGINSDIR\${BRELL_PACKAGE_CERT}"'
  Call RunTool
  ${If} $0 != 0
    Goto untrust
  ${EndIf}

  ; The folder as data for the commands (texts go in registers for System).
  StrCpy $4 "${FOLDER_VARIABLE}"
  StrCpy $5 "$INSTDIR\${PACKAGE_SUBDIR}"
  System::Call 'kernel32::SetEnvironmentVariableW(w r4, w r5) i .r0'
  DetailPrint "Staging the Windows 11 package (${FOLDER_VARIABLE}=$5)"
  StrCpy $Tool `"${POWERSHELL}" ${POWERSHELL_OPTIONS} -Command "${PACKAGE_STAGING}"`
  Call RunTool
  ${If} $0 == 0
    DetailPrint "Provisioning the Windows 11 package for every user"
    StrCpy $Tool `"${POWERSHELL}" ${POWERSHELL_OPTIONS} -Command "${PACKAGE_PROVISIONING}"`
    Call RunTool
  ${EndIf}
  ${If} $0 == 0
    StrCpy $PackageNote "Paste with Brellow is at the top of a folder's menu for every user of this computer; anyone who does not see it there yet gets it at their next sign-in."
    DetailPrint "$PackageNote"
    Return
  ${EndIf}
  ${If} $R4 == 1
    Goto kept
  ${EndIf}
  ; A setup that failed may have got part of the way.
  Call RemovePackage
  ${If} ${Errors}
    DetailPrint "The package stays recorded for the uninstaller to remove"
  ${EndIf}
  Goto failed
untrust:
  ${If} $R4 == 1
    Goto kept
  ${EndIf}
  Call DropPackageTrust
failed:
  StrCpy $PackageNote "Setup could not add Paste with Brellow to the top of Windows 11's folder menu; the entry stays under $\"Show more options$\"."
  DetailPrint "$PackageNote"
  Return
kept:
  StrCpy $PackageNote "Setup could not renew Paste with Brellow at the top of Windows 11's folder menu; it stays as the earlier run of Setup left it."
  DetailPrint "$PackageNote"
FunctionEnd

Section "Brellow"
  Call CheckFolder
  ${If} $0 != ""
    !insertmacro Fail "$0"
  ${EndIf}

  StrCpy $Fresh 0
  ClearErrors
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "DisplayName"
  ${If} ${Errors}
    StrCpy $Fresh 1
  ${EndIf}

  ; The folder is locked down before the first file goes into it.
  StrCpy $Started 1
  ClearErrors
  CreateDirectory "$INSTDIR"
  ${If} ${Errors}
    !insertmacro Fail "Setup could not create the folder $INSTDIR."
  ${EndIf}
  Call LockDownFolder
  ${If} $0 != ""
    !insertmacro Fail "Setup could not protect the folder $INSTDIR ($0)."
  ${EndIf}
  SetOutPath "$INSTDIR"

  ; The uninstaller and its entry come before every step that can fail
  ; after them, so that nothing can be left that the user cannot remove.
  StrCpy $R9 "$INSTDIR\uninstall.exe"
  Delete "$R9.new"
  ClearErrors
  WriteUninstaller "$R9.new"
  ${If} ${Errors}
    !insertmacro Fail "Setup could not write $R9.new."
  ${EndIf}
  Call PutInPlace
  ClearErrors
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Brellow"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Halvorin"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Brellcfg.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${If} ${Errors}
    !insertmacro Fail "Setup could not add Brellow to the list of installed programs."
  ${EndIf}
  ; A reinstall keeps what the first install found.
  ${If} $Fresh == 1
    !insertmacro ForEachSharedKey NoteMissingKey
    !insertmacro ForEachDropSharedKey NoteMissingKey
  ${EndIf}

  ${If} $Is64 == 1
    !insertmacro InstallFile "${X64_DIR}/brellow.exe" "$INSTDIR\brellow.exe"
    !insertmacro InstallFile "${X86_DIR}/Brellcfg.exe" "$INSTDIR\Brellcfg.exe"
    ; ARM64's Explorer cannot load the x64 menu: it is not put there at all.
    ${If} $Arm64 != 1
      !insertmacro InstallFile "${X64_DIR}/Brellmenu.dll" "$INSTDIR\Brellmenu.dll"
    ${EndIf}
    ClearErrors
    CreateDirectory "$INSTDIR\x86"
    ${If} ${Errors}
      !insertmacro Fail "Setup could not create the folder $INSTDIR\x86."
    ${EndIf}
    !insertmacro InstallFile "${X86_DIR}/Brellmenu.dll" "$INSTDIR\x86\Brellmenu.dll"
    Call FindWindows11
    ${If} $Windows11 == 1
      ClearErrors
      CreateDirectory "$INSTDIR\${PACKAGE_SUBDIR}"
      ${If} ${Errors}
        !insertmacro Fail "Setup could not create the folder $INSTDIR\${PACKAGE_SUBDIR}."
      ${EndIf}
      ; A surrogate process of the package may hold the command's DLL: it is
      ; ended first, and the in-use handling stays for one that does not end.
      ${If} ${FileExists} "$INSTDIR\${PACKAGE_SUBDIR}\Brellcmd.dll"
        Call EndSurrogate
      ${EndIf}
      !insertmacro InstallFile "${X64_DIR}/Brellcmd.dll" "$INSTDIR\${PACKAGE_SUBDIR}\Brellcmd.dll"
      ; The manifest's application, which Windows looks for in the external
      ; location. The menus start the engine of the install folder (Path).
      !insertmacro InstallFile "${X64_DIR}/brellow.exe" "$INSTDIR\${PACKAGE_SUBDIR}\brellow.exe"
      !insertmacro InstallFile "${PACKAGE_DIR}/${BRELL_PACKAGE_FILE}" "$INSTDIR\${PACKAGE_SUBDIR}\${BRELL_PACKAGE_FILE}"
      !insertmacro InstallFile "${PACKAGE_DIR}/${BRELL_PACKAGE_LOGO}" "$INSTDIR\${PACKAGE_SUBDIR}\${BRELL_PACKAGE_LOGO}"
      !insertmacro InstallFile "${PACKAGE_DIR}/${BRELL_PACKAGE_SMALL_LOGO}" "$INSTDIR\${PACKAGE_SUBDIR}\${BRELL_PACKAGE_SMALL_LOGO}"
    ${EndIf}
  ${Else}
    !insertmacro InstallFile "${X86_DIR}/brellow.exe" "$INSTDIR\brellow.exe"
    !insertmacro InstallFile "${X86_DIR}/Brellcfg.exe" "$INSTDIR\Brellcfg.exe"
    !insertmacro InstallFile "${X86_DIR}/Brellmenu.dll" "$INSTDIR\Brellmenu.dll"
  ${EndIf}
  !insertmacro InstallDropMenu

  ; The menu reads the engine's folder through the 32-bit registry view.
  !insertmacro ProductView
  ClearErrors
  WriteRegStr HKLM "${PRODUCT_KEY}" "Path" "$INSTDIR"
  !insertmacro MainView
  ${If} ${Errors}
    !insertmacro Fail "Setup could not write the value Path under HKLM\${PRODUCT_KEY}."
  ${EndIf}
  ${If} $Is64 == 1
    !insertmacro CarrySetting bmax
    !insertmacro CarrySetting bratio
    !insertmacro CarrySetting bmin
    !insertmacro CarrySetting wcache
    !insertmacro CarrySetting expand
  ${EndIf}

  ${If} $Is64 == 1
    ${If} $Arm64 != 1
      StrCpy $Dll "$INSTDIR\Brellmenu.dll"
      StrCpy $Regsvr "${REGSVR_NATIVE}"
      Call Register
    ${Else}
      StrCpy $PackageNote "On this ARM64 computer Paste with Brellow is in 32-bit programs' file dialogs only: Explorer cannot load its x64 menu."
      DetailPrint "$PackageNote"
    ${EndIf}
    StrCpy $Dll "$INSTDIR\x86\Brellmenu.dll"
    StrCpy $Regsvr "${REGSVR_X86}"
    Call Register
  ${Else}
    StrCpy $Dll "$INSTDIR\Brellmenu.dll"
    StrCpy $Regsvr "${REGSVR_X86}"
    Call Register
  ${EndIf}
  Call RegisterDropMenu

  ${If} $Windows11 == 1
    Call SetUpPackage
  ${EndIf}

  ${If} ${RebootFlag}
    DetailPrint "Files that were in use are replaced when Windows restarts"
    SetErrorLevel ${EXIT_RESTART_NEEDED}
  ${EndIf}
SectionEnd

; ---------------------------------------------------------------------------
; The uninstaller.

Function un.onInit
  Call un.StartUp
  ; /FORCE: a silent uninstall goes on when the package cannot be removed.
  StrCpy $Force 0
  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/FORCE" $2
  ${IfNot} ${Errors}
    StrCpy $Force 1
  ${EndIf}
  StrCpy $PackageStays 0
FunctionEnd

Section "Uninstall"
  Call un.RemoveProduct
  ; The package could not be removed (Safe Mode, the deployment service
  ; off, damaged deployment state): the user may remove the rest anyway and
  ; the package's registration afterwards in Settings. A silent run stops
  ; with everything kept, unless /FORCE says to go on.
  ${If} ${Errors}
  ${AndIf} $PackageFailed == 1
    StrCpy $0 $Force
    ${If} $0 != 1
      MessageBox MB_ICONEXCLAMATION|MB_YESNO|MB_DEFBUTTON2 "$StopReason$\r$\n$\r$\nRemove the rest of Brellow anyway? $\"Paste with Brellow$\" may then stay at the top of the folder menu until you remove it in Settings, Apps, Installed apps." /SD IDNO IDNO answered
      StrCpy $0 1
      answered:
    ${EndIf}
    ${If} $0 == 1
      StrCpy $PackageStays 1
      Call un.RemoveProduct
    ${Else}
      SetErrors
    ${EndIf}
  ${EndIf}
  ${If} ${Errors}
    ${If} $PackageFailed == 1
      MessageBox MB_ICONSTOP|MB_OK "$StopReason Brellow stays installed." /SD IDOK
    ${Else}
      MessageBox MB_ICONSTOP|MB_OK "$StopReason Brellow stays installed; try again as an administrator." /SD IDOK
    ${EndIf}
    SetErrorLevel 2
    Abort
  ${EndIf}
  ${If} ${RebootFlag}
    SetErrorLevel ${EXIT_RESTART_NEEDED}
  ${EndIf}
SectionEnd
