; Inno Setup 6 script for Pivotta on 64-bit Windows: installs the program with its Qt libraries
; and the two tools it runs, and adds Pivotta's entries to Explorer's context menu for folders
; and JPEG photos.
;
; Untested: it has not been built or run yet. Prepare one folder holding everything that goes
; into the application folder, then compile this script on Windows:
;
;   cmake --build build-windows --config Release
;   mkdir deploy && copy build-windows\Release\pivotta.exe deploy\
;   windeployqt --release --no-translations --compiler-runtime deploy\pivotta.exe
;   copy jpegtran.exe deploy\          (libjpeg-turbo's Windows build, with its DLLs if any)
;   copy exiv2.exe deploy\             (Exiv2's Windows build, with its DLLs)
;   iscc /DSourceDir=C:\path\to\deploy packaging\windows\pivotta.iss
;
; Pivotta looks for jpegtran.exe and exiv2.exe in its own folder, so both must lie beside
; pivotta.exe.

#ifndef SourceDir
  #define SourceDir "..\..\deploy"
#endif
#define AppName "Pivotta"
#define AppVersion "3.27"
#define AppExe "pivotta.exe"

[Setup]
AppId={{BA893B93-6943-4256-AC4C-AE1F6EAC0562}
AppName={#AppName}
AppVersion={#AppVersion}
AppVerName={#AppName} {#AppVersion}
AppPublisher=Tavlund
DefaultDirName={autopf}\{#AppName}
DefaultGroupName={#AppName}
DisableProgramGroupPage=yes
; Installs for all users by default; the user may choose a per-user install instead, and the
; HKA registry root below follows that choice.
PrivilegesRequired=admin
PrivilegesRequiredOverridesAllowed=dialog
ArchitecturesAllowed=x64compatible
ArchitecturesInstallIn64BitMode=x64compatible
MinVersion=10.0
OutputBaseFilename=pivotta-{#AppVersion}-setup
UninstallDisplayIcon={app}\{#AppExe}
UninstallDisplayName={#AppName}
Compression=lzma2
SolidCompression=yes
WizardStyle=modern
; Lets Explorer pick up the new context-menu entries without a restart.
ChangesAssociations=yes

[Files]
Source: "{#SourceDir}\{#AppExe}"; DestDir: "{app}"; Flags: ignoreversion
Source: "{#SourceDir}\jpegtran.exe"; DestDir: "{app}"; Flags: ignoreversion
Source: "{#SourceDir}\exiv2.exe"; DestDir: "{app}"; Flags: ignoreversion
; Everything else in the folder: Qt's DLLs and plugin folders from windeployqt, and the tools'
; DLLs.
Source: "{#SourceDir}\*"; DestDir: "{app}"; \
    Excludes: "{#AppExe},jpegtran.exe,exiv2.exe,vc_redist.x64.exe"; \
    Flags: ignoreversion recursesubdirs createallsubdirs
#if FileExists(SourceDir + "\vc_redist.x64.exe")
Source: "{#SourceDir}\vc_redist.x64.exe"; DestDir: "{tmp}"; Flags: deleteafterinstall
#endif

[Icons]
Name: "{autoprograms}\{#AppName}"; Filename: "{app}\{#AppExe}"

[Run]
#if FileExists(SourceDir + "\vc_redist.x64.exe")
Filename: "{tmp}\vc_redist.x64.exe"; Parameters: "/install /quiet /norestart"; \
    StatusMsg: "Installing the Microsoft Visual C++ runtime..."; Flags: waituntilterminated
#endif
; The welcome text is meant for the first start after installing.
Filename: "{app}\{#AppExe}"; Parameters: "--tutorial"; Description: "Start {#AppName}"; \
    Flags: nowait postinstall skipifsilent

[Registry]
; Each entry starts one Pivotta with the folder or photo as its single argument. "%1" is the
; item clicked; "%V" is the folder whose empty space was clicked.

; Folders, clicked on.
Root: HKA; Subkey: "Software\Classes\Directory\shell\Pivotta.Rotate"; ValueType: string; \
    ValueData: "Rotate photos with Pivotta"; Flags: uninsdeletekey
Root: HKA; Subkey: "Software\Classes\Directory\shell\Pivotta.Rotate"; ValueType: string; \
    ValueName: "Icon"; ValueData: """{app}\{#AppExe}"",0"
Root: HKA; Subkey: "Software\Classes\Directory\shell\Pivotta.Rotate\command"; \
    ValueType: string; ValueData: """{app}\{#AppExe}"" ""%1"""
Root: HKA; Subkey: "Software\Classes\Directory\shell\Pivotta.RotateAndWatch"; \
    ValueType: string; ValueData: "Rotate and watch with Pivotta"; Flags: uninsdeletekey
Root: HKA; Subkey: "Software\Classes\Directory\shell\Pivotta.RotateAndWatch"; \
    ValueType: string; ValueName: "Icon"; ValueData: """{app}\{#AppExe}"",0"
Root: HKA; Subkey: "Software\Classes\Directory\shell\Pivotta.RotateAndWatch\command"; \
    ValueType: string; ValueData: """{app}\{#AppExe}"" --watch ""%1"""
Root: HKA; Subkey: "Software\Classes\Directory\shell\Pivotta.Preview"; ValueType: string; \
    ValueData: "Preview with Pivotta"; Flags: uninsdeletekey
Root: HKA; Subkey: "Software\Classes\Directory\shell\Pivotta.Preview"; ValueType: string; \
    ValueName: "Icon"; ValueData: """{app}\{#AppExe}"",0"
Root: HKA; Subkey: "Software\Classes\Directory\shell\Pivotta.Preview\command"; \
    ValueType: string; ValueData: """{app}\{#AppExe}"" --preview ""%1"""

; The empty space inside an open folder.
Root: HKA; Subkey: "Software\Classes\Directory\Background\shell\Pivotta.Rotate"; \
    ValueType: string; ValueData: "Rotate photos with Pivotta"; Flags: uninsdeletekey
Root: HKA; Subkey: "Software\Classes\Directory\Background\shell\Pivotta.Rotate"; \
    ValueType: string; ValueName: "Icon"; ValueData: """{app}\{#AppExe}"",0"
Root: HKA; Subkey: "Software\Classes\Directory\Background\shell\Pivotta.Rotate\command"; \
    ValueType: string; ValueData: """{app}\{#AppExe}"" ""%V"""
Root: HKA; Subkey: "Software\Classes\Directory\Background\shell\Pivotta.RotateAndWatch"; \
    ValueType: string; ValueData: "Rotate and watch with Pivotta"; Flags: uninsdeletekey
Root: HKA; Subkey: "Software\Classes\Directory\Background\shell\Pivotta.RotateAndWatch"; \
    ValueType: string; ValueName: "Icon"; ValueData: """{app}\{#AppExe}"",0"
Root: HKA; Subkey: "Software\Classes\Directory\Background\shell\Pivotta.RotateAndWatch\command"; \
    ValueType: string; ValueData: """{app}\{#AppExe}"" --watch ""%V"""
Root: HKA; Subkey: "Software\Classes\Directory\Background\shell\Pivotta.Preview"; \
    ValueType: string; ValueData: "Preview with Pivotta"; Flags: uninsdeletekey
Root: HKA; Subkey: "Software\Classes\Directory\Background\shell\Pivotta.Preview"; \
    ValueType: string; ValueName: "Icon"; ValueData: """{app}\{#AppExe}"",0"
Root: HKA; Subkey: "Software\Classes\Directory\Background\shell\Pivotta.Preview\command"; \
    ValueType: string; ValueData: """{app}\{#AppExe}"" --preview ""%V"""

; Photos. SystemFileAssociations applies whichever program opens the type by default.
Root: HKA; Subkey: "Software\Classes\SystemFileAssociations\.jpg\shell\Pivotta.Rotate"; ValueType: string; \
    ValueData: "Rotate with Pivotta"; Flags: uninsdeletekey
Root: HKA; Subkey: "Software\Classes\SystemFileAssociations\.jpg\shell\Pivotta.Rotate"; ValueType: string; \
    ValueName: "Icon"; ValueData: """{app}\{#AppExe}"",0"
Root: HKA; Subkey: "Software\Classes\SystemFileAssociations\.jpg\shell\Pivotta.Rotate\command"; ValueType: string; \
    ValueData: """{app}\{#AppExe}"" ""%1"""
Root: HKA; Subkey: "Software\Classes\SystemFileAssociations\.jpg\shell\Pivotta.Preview"; ValueType: string; \
    ValueData: "Preview with Pivotta"; Flags: uninsdeletekey
Root: HKA; Subkey: "Software\Classes\SystemFileAssociations\.jpg\shell\Pivotta.Preview"; ValueType: string; \
    ValueName: "Icon"; ValueData: """{app}\{#AppExe}"",0"
Root: HKA; Subkey: "Software\Classes\SystemFileAssociations\.jpg\shell\Pivotta.Preview\command"; ValueType: string; \
    ValueData: """{app}\{#AppExe}"" --preview ""%1"""
Root: HKA; Subkey: "Software\Classes\SystemFileAssociations\.jpeg\shell\Pivotta.Rotate"; ValueType: string; \
    ValueData: "Rotate with Pivotta"; Flags: uninsdeletekey
Root: HKA; Subkey: "Software\Classes\SystemFileAssociations\.jpeg\shell\Pivotta.Rotate"; ValueType: string; \
    ValueName: "Icon"; ValueData: """{app}\{#AppExe}"",0"
Root: HKA; Subkey: "Software\Classes\SystemFileAssociations\.jpeg\shell\Pivotta.Rotate\command"; ValueType: string; \
    ValueData: """{app}\{#AppExe}"" ""%1"""
Root: HKA; Subkey: "Software\Classes\SystemFileAssociations\.jpeg\shell\Pivotta.Preview"; ValueType: string; \
    ValueData: "Preview with Pivotta"; Flags: uninsdeletekey
Root: HKA; Subkey: "Software\Classes\SystemFileAssociations\.jpeg\shell\Pivotta.Preview"; ValueType: string; \
    ValueName: "Icon"; ValueData: """{app}\{#AppExe}"",0"
Root: HKA; Subkey: "Software\Classes\SystemFileAssociations\.jpeg\shell\Pivotta.Preview\command"; ValueType: string; \
    ValueData: """{app}\{#AppExe}"" --preview ""%1"""
Root: HKA; Subkey: "Software\Classes\SystemFileAssociations\.jfif\shell\Pivotta.Rotate"; ValueType: string; \
    ValueData: "Rotate with Pivotta"; Flags: uninsdeletekey
Root: HKA; Subkey: "Software\Classes\SystemFileAssociations\.jfif\shell\Pivotta.Rotate"; ValueType: string; \
    ValueName: "Icon"; ValueData: """{app}\{#AppExe}"",0"
Root: HKA; Subkey: "Software\Classes\SystemFileAssociations\.jfif\shell\Pivotta.Rotate\command"; ValueType: string; \
    ValueData: """{app}\{#AppExe}"" ""%1"""
Root: HKA; Subkey: "Software\Classes\SystemFileAssociations\.jfif\shell\Pivotta.Preview"; ValueType: string; \
    ValueData: "Preview with Pivotta"; Flags: uninsdeletekey
Root: HKA; Subkey: "Software\Classes\SystemFileAssociations\.jfif\shell\Pivotta.Preview"; ValueType: string; \
    ValueName: "Icon"; ValueData: """{app}\{#AppExe}"",0"
Root: HKA; Subkey: "Software\Classes\SystemFileAssociations\.jfif\shell\Pivotta.Preview\command"; ValueType: string; \
    ValueData: """{app}\{#AppExe}"" --preview ""%1"""
Root: HKA; Subkey: "Software\Classes\SystemFileAssociations\.jpe\shell\Pivotta.Rotate"; ValueType: string; \
    ValueData: "Rotate with Pivotta"; Flags: uninsdeletekey
Root: HKA; Subkey: "Software\Classes\SystemFileAssociations\.jpe\shell\Pivotta.Rotate"; ValueType: string; \
    ValueName: "Icon"; ValueData: """{app}\{#AppExe}"",0"
Root: HKA; Subkey: "Software\Classes\SystemFileAssociations\.jpe\shell\Pivotta.Rotate\command"; ValueType: string; \
    ValueData: """{app}\{#AppExe}"" ""%1"""
Root: HKA; Subkey: "Software\Classes\SystemFileAssociations\.jpe\shell\Pivotta.Preview"; ValueType: string; \
    ValueData: "Preview with Pivotta"; Flags: uninsdeletekey
Root: HKA; Subkey: "Software\Classes\SystemFileAssociations\.jpe\shell\Pivotta.Preview"; ValueType: string; \
    ValueName: "Icon"; ValueData: """{app}\{#AppExe}"",0"
Root: HKA; Subkey: "Software\Classes\SystemFileAssociations\.jpe\shell\Pivotta.Preview\command"; ValueType: string; \
    ValueData: """{app}\{#AppExe}"" --preview ""%1"""
