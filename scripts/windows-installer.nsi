; The Windows installer of TalvexUSB-Setting Manager, made by
; scripts/windows-package.sh, which defines:
;   VERSION       the project's version, 1.5.1
;   VERSION_TEXT  the version as the tool prints it, 1.05.01
;   OUTFILE       the installer to write
;   ICON          src/app/talvex.ico
;   FILES         a list of File commands for the staged files
;   UNFILES       the matching Delete and RMDir commands
;   GUI           when the window program is among the files
; Silent: "setup.exe /S" installs, "uninstall.exe /S" removes; /D=FOLDER,
; last on the command line, installs elsewhere.

Unicode true
; 64-bit installer where this NSIS has its stubs (Debian's has); the
; 32-bit one installs to the same places through the 64-bit views.
!if /FileExists "${NSISDIR}/Stubs/lzma_solid-amd64-unicode"
    Target amd64-unicode
!else
    Target x86-unicode
!endif
SetCompressor /SOLID lzma

!define PRODUCT "TalvexUSB-Setting Manager"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define MENU_FOLDER "$SMPROGRAMS\${PRODUCT}"
!define PROMPT_LINK "${MENU_FOLDER}\talvexctl Command Prompt.lnk"
!define WINDOW_LINK "${MENU_FOLDER}\${PRODUCT}.lnk"

Name "${PRODUCT} ${VERSION_TEXT}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} installer"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION_TEXT}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION_TEXT}"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
    SetRegView 64
FunctionEnd

Function un.onInit
    SetRegView 64
FunctionEnd

Section "Install"
    SetShellVarContext all
    !include "${FILES}"
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ; The Visual C++ runtime that windeployqt puts beside an MSVC build.
    IfFileExists "$INSTDIR\vc_redist.x64.exe" 0 +2
        ExecWait '"$INSTDIR\vc_redist.x64.exe" /install /quiet /norestart'

    ; A Command Prompt in the tool's folder, which prints the version first.
    CreateDirectory "${MENU_FOLDER}"
    CreateShortCut "${PROMPT_LINK}" "$WINDIR\System32\cmd.exe" '/k talvexctl.exe --version' \
        "$INSTDIR\talvexctl.exe" 0 SW_SHOWNORMAL "" "talvexctl, the command line of ${PRODUCT}"
!ifdef GUI
    CreateShortCut "${WINDOW_LINK}" "$INSTDIR\talvex-setting-manager.exe"
!endif

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION_TEXT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\talvexctl.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    Delete "${PROMPT_LINK}"
    Delete "${WINDOW_LINK}"
    RMDir "${MENU_FOLDER}"
    ; Only what was installed: a folder the user chose may hold more.
    !include "${UNFILES}"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
