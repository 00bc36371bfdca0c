; Flashwright for Windows: installs the windowed program flashwright.exe, flashwright-cli.exe,
; the readerprobe plug-in and the two firmware folders, a Start-menu shortcut and an entry in
; the list of installed programs, and asks the plug-in, as a service installer does, which
; reader is attached. The uninstaller removes what was installed and leaves images that a
; technician added to the firmware folders since.
;
; makensis -DBUILD_DIR=<Windows build> -DFIRMWARE_DIR=<reader images> -DOUT_FILE=<setup.exe> flashwright.nsi
;   BUILD_DIR     holds app/flashwright.exe, app/flashwright-cli.exe, readerprobe/readerprobe.dll
;                 and installer/version.nsh (the build's version)
;   PLUGIN_DIR    the readerprobe.dll the installer itself calls (default: BUILD_DIR/readerprobe)
;   FIRMWARE_DIR  reader images and packages for the "firmware" folder (may be empty)
;   USB_FIRMWARE_DIR  USB images for the "ezusb_fw" folder (may be empty)
; The installer writes what DetectReader pushed to $INSTDIR\detect-reader.log, one value a line
; in the order of the pushes ("1:" device search, "2:" port, "3:" version text, "4:" power
; text, "5:" version number); the version text has line breaks of its own.

Unicode false  ; the plug-in takes a narrow string stack
SetCompressor /SOLID lzma

!ifndef BUILD_DIR
  !error "give -DBUILD_DIR=<Windows build folder>"
!endif
!ifndef PLUGIN_DIR
  !define PLUGIN_DIR "${BUILD_DIR}/readerprobe"
!endif
!ifndef OUT_FILE
  !define OUT_FILE "flashwright-setup.exe"
!endif
!ifndef FIRMWARE_DIR
  !define FIRMWARE_DIR "${BUILD_DIR}/installer/firmware"
!endif
!ifndef USB_FIRMWARE_DIR
  !define USB_FIRMWARE_DIR "${BUILD_DIR}/installer/ezusb_fw"
!endif

!addplugindir /x86-ansi "${PLUGIN_DIR}"
!include "nsDialogs.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
; VERSION and PUBLISHER, written by CMake from the project's version.
!include "${BUILD_DIR}/installer/version.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Flashwright"

; The shipped images, named one by one so that the uninstaller deletes exactly those.
!tempfile SHIPPED_IMAGES
!system '"${__FILEDIR__}/shipped-files.sh" "${FIRMWARE_DIR}" firmware "${USB_FIRMWARE_DIR}" ezusb_fw > "${SHIPPED_IMAGES}"' = 0

Name "Flashwright"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "Flashwright"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "Flashwright setup"
OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES\Flashwright"
RequestExecutionLevel admin
ShowInstDetails show

Var DeviceSearch
Var ReaderPort
Var VersionText
Var PowerText
Var VersionNumber

Page custom ReaderPage
Page directory
Page instfiles

Function .onInit
  ; Pushed in the order search, port, version text, power text, version number: popped the
  ; other way round.
  readerprobe::DetectReader
  Pop $VersionNumber
  Pop $PowerText
  Pop $VersionText
  Pop $ReaderPort
  Pop $DeviceSearch
FunctionEnd

Function ReaderPage
  nsDialogs::Create 1018
  Pop $0
  ${If} $0 == error
    Abort
  ${EndIf}
  ${If} $DeviceSearch == "1"
    ${NSD_CreateLabel} 0 0 100% 12u "The reader is attached to COM$ReaderPort."
  ${Else}
    ${NSD_CreateLabel} 0 0 100% 12u "No reader attached by USB was found ($DeviceSearch)."
  ${EndIf}
  Pop $0
  ${NSD_CreateLabel} 0 16u 100% 40u "Firmware: $VersionText"
  Pop $0
  ${NSD_CreateLabel} 0 60u 100% 12u "RF power: $PowerText"
  Pop $0
  nsDialogs::Show
FunctionEnd

Section "Flashwright" SecMain
  SetOutPath "$INSTDIR"
  ; The windowed program comes with a build that has its views on the Win32 backend.
  !if /FileExists "${BUILD_DIR}/app/flashwright.exe"
    File "${BUILD_DIR}/app/flashwright.exe"
  !endif
  File "${BUILD_DIR}/app/flashwright-cli.exe"
  File "${BUILD_DIR}/readerprobe/readerprobe.dll"
  SetOutPath "$INSTDIR\firmware"
  File /nonfatal /r "${FIRMWARE_DIR}/*.*"
  SetOutPath "$INSTDIR\ezusb_fw"
  File /nonfatal /r "${USB_FIRMWARE_DIR}/*.*"

  DetailPrint "Reader search: $DeviceSearch, port: $ReaderPort, power: $PowerText, version number: $VersionNumber"
  FileOpen $0 "$INSTDIR\detect-reader.log" w
  FileWrite $0 "1:$DeviceSearch$\r$\n"
  FileWrite $0 "2:$ReaderPort$\r$\n"
  FileWrite $0 "3:$VersionText$\r$\n"
  FileWrite $0 "4:$PowerText$\r$\n"
  FileWrite $0 "5:$VersionNumber$\r$\n"
  FileClose $0

  WriteUninstaller "$INSTDIR\uninstall.exe"

  SetShellVarContext all
  CreateDirectory "$SMPROGRAMS\Flashwright"
  CreateShortCut "$SMPROGRAMS\Flashwright\Flashwright.lnk" "$INSTDIR\flashwright.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Flashwright"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\flashwright.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\Flashwright\Flashwright.lnk"
  RMDir "$SMPROGRAMS\Flashwright"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  Delete "$INSTDIR\flashwright.exe"
  Delete "$INSTDIR\flashwright-cli.exe"
  Delete "$INSTDIR\readerprobe.dll"
  Delete "$INSTDIR\detect-reader.log"
  ; Only the shipped images: a folder that still holds a technician's images stays.
  !include "${SHIPPED_IMAGES}"
  RMDir "$INSTDIR\firmware"
  RMDir "$INSTDIR\ezusb_fw"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
!delfile "${SHIPPED_IMAGES}"
