; The Trelvane setup program. It installs the release's files (the six
; programs, README.txt, LICENSE.txt, the licences and the bundled captures:
; the zip's contents) for everyone on the computer or for one user, adds
; Start menu shortcuts, lists trelvane.exe under "Open with" for .nmea
; recordings, and writes an uninstaller that takes all of it away again.
;
; Built by scripts/lib/make_release.py --setup, never by hand:
;
;   makensis -DVERSION=0.3.0 -DFILEVERSION=0.3.0.0 -DSTAGE=FOLDER -DFILES=files.nsh
;            -DOUTFILE=trelvane-0.3.0-setup.exe release/trelvane.nsi
;
; STAGE is the release laid out as the zip holds it; FILES, written from the
; same list, says which of its files go where and which the uninstaller
; removes.
;
; Setup's command line:   /S silent; /CURRENTUSER install for this user only
;                         (also chosen when the user has no administrator
;                         rights); /D=FOLDER the folder (last, unquoted).
; Uninstaller's:          /S silent; /REMOVESETTINGS with /S also removes the
;                         user's settings (HKCU\Software\Trelvane), which are
;                         otherwise kept for a later installation.

Unicode true
Target amd64-unicode   ; the programs are 64-bit, and so is every Windows they run on
SetCompressor /SOLID lzma
; An administrator is asked to elevate and installs for everyone; anyone
; else still gets a setup that runs and installs for themselves.
RequestExecutionLevel highest

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh
!include "${FILES}"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Trelvane"
!define PROGID "Trelvane.Recording"   ; the kind of file trelvane.exe offers to open
!define SETTINGS_KEY "Software\Trelvane"
!define PUBLISHER "The Trelvane developers"   ; as every program's version resource names them
!ifdef ICON   ; the monitor's icon, drawn when the programs are built
  !define MUI_ICON "${ICON}"
  !define MUI_UNICON "${ICON}"
!endif

Name "Trelvane"
Caption "Trelvane ${VERSION} Setup"
UninstallCaption "Trelvane ${VERSION} Uninstall"
OutFile "${OUTFILE}"
BrandingText "Trelvane ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${FILEVERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "Trelvane"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "Trelvane ${VERSION} Setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) ${PUBLISHER}, BSD 2-Clause License"

; 1 when this installation is for everyone on the computer (Program Files,
; HKLM, the all-users Start menu), 0 when it is for the current user only
; (their AppData\Local\Programs, HKCU, their Start menu).
Var PerMachine
Var ForWhom   ; the welcome page's words for that

!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "Setup will install Trelvane ${VERSION}, the monitor for a GPS receiver on a serial port, $ForWhom.$\r$\n$\r$\nClick Next to continue."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README.txt"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
; One box more on the uninstaller's components page: "Remove my settings".
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_COMPONENTSPAGE_TEXT_TOP "Trelvane's programs, shortcuts and file types are removed. Your settings (the handheld's last port, the charts' span, sharing) stay for a later installation unless you tick the box."
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; ---------------------------------------------------------------------------
; Installing

Section "Trelvane" SecMain
  SectionIn RO
  !insertmacro InstallReleaseFiles
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; SetShellVarContext (in .onInit) points $SMPROGRAMS at the all-users or
  ; the user's Start menu, and SHCTX at HKLM or HKCU to match.
  CreateDirectory "$SMPROGRAMS\Trelvane"
  CreateShortcut "$SMPROGRAMS\Trelvane\Trelvane.lnk" "$INSTDIR\trelvane.exe" "" "$INSTDIR\trelvane.exe" 0
  CreateShortcut "$SMPROGRAMS\Trelvane\Trelvane Pocket.lnk" "$INSTDIR\trelvane-pocket.exe" "" "$INSTDIR\trelvane-pocket.exe" 0

  ; "Open with" for recordings: trelvane.exe FILE plays the file. The
  ; extension's own default value (the program it opens with) is the user's
  ; choice and is never written.
  WriteRegStr SHCTX "Software\Classes\${PROGID}" "" "Trelvane recording"
  WriteRegStr SHCTX "Software\Classes\${PROGID}" "FriendlyTypeName" "Trelvane recording"
  WriteRegStr SHCTX "Software\Classes\${PROGID}\DefaultIcon" "" "$INSTDIR\trelvane.exe,0"
  WriteRegStr SHCTX "Software\Classes\${PROGID}\shell\open\command" "" '"$INSTDIR\trelvane.exe" "%1"'
  WriteRegNone SHCTX "Software\Classes\.nmea\OpenWithProgids" "${PROGID}"

  ; The entry in Settings > Apps / Programs and Features.
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "Trelvane"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\trelvane.exe,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2   ; KB in the folder, the uninstaller included
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0

  ; Explorer reads the file types again (SHCNE_ASSOCCHANGED).
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

Function .onInit
  SetRegView 64
  ; For everyone when the user is an administrator (elevated), unless they
  ; asked for themselves only; for the user otherwise.
  StrCpy $PerMachine 0
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/CURRENTUSER" $1
  ${If} ${Errors}
    UserInfo::GetAccountType
    Pop $1
    ${If} $1 == "Admin"
      StrCpy $PerMachine 1
    ${EndIf}
  ${EndIf}

  ${If} $PerMachine = 1
    SetShellVarContext all
    StrCpy $ForWhom "for everyone on this computer"
    StrCpy $2 "$PROGRAMFILES64\Trelvane"
  ${Else}
    SetShellVarContext current
    StrCpy $ForWhom "for you only"
    StrCpy $2 "$LOCALAPPDATA\Programs\Trelvane"
  ${EndIf}
  ; /D= on the command line decides; else an earlier installation of the
  ; same kind is updated where it is; else the usual place.
  ${If} $INSTDIR == ""
    ReadRegStr $INSTDIR SHCTX "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $INSTDIR == ""
      StrCpy $INSTDIR $2
    ${EndIf}
  ${EndIf}
FunctionEnd

; ---------------------------------------------------------------------------
; Uninstalling

Section "un.Trelvane (programs, shortcuts, file types)" UnSecMain
  SectionIn RO
  !insertmacro RemoveReleaseFiles
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"   ; kept if the user put files of their own there

  Delete "$SMPROGRAMS\Trelvane\Trelvane.lnk"
  Delete "$SMPROGRAMS\Trelvane\Trelvane Pocket.lnk"
  RMDir "$SMPROGRAMS\Trelvane"

  ; Only our own entry under the extension: other programs' "Open with"
  ; entries and the user's default program stay; the extension's key goes
  ; only when nothing is left in it.
  DeleteRegValue SHCTX "Software\Classes\.nmea\OpenWithProgids" "${PROGID}"
  DeleteRegKey /ifempty SHCTX "Software\Classes\.nmea\OpenWithProgids"
  DeleteRegKey /ifempty SHCTX "Software\Classes\.nmea"
  DeleteRegKey SHCTX "Software\Classes\${PROGID}"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

; The current user's settings: both monitors keep theirs under
; HKCU\Software\Trelvane.
Section /o "un.Remove my settings" UnSecSettings
  DeleteRegKey HKCU "${SETTINGS_KEY}"
SectionEnd

Function un.onInit
  SetRegView 64
  ; Installed for everyone when the all-users uninstall entry names this
  ; folder (the folder this uninstaller runs for); else for this user.
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    StrCpy $PerMachine 1
    SetShellVarContext all
    UserInfo::GetAccountType
    Pop $1
    ${If} $1 != "Admin"
      MessageBox MB_OK|MB_ICONSTOP "Trelvane was installed for everyone on this computer: only an administrator can uninstall it." /SD IDOK
      Abort
    ${EndIf}
  ${Else}
    StrCpy $PerMachine 0
    SetShellVarContext current
  ${EndIf}

  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVESETTINGS" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${UnSecSettings}
  ${EndIf}
FunctionEnd
