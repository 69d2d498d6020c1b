# Packages of the Windows build, all of the same staged files: cmake --build --preset windows
# --target package gives an NSIS installer (.exe), a Windows Installer package (.msi, made by
# wixl) and a portable zip. With TARVEX_SIGN_PFX set (scripts/package --sign) both programs are
# signed before they are packed, and both installers after.

# --- Installation: the two programs, the logo and the sample image in one folder (the window
# reads logo.png from its working folder, which the Start-menu shortcut sets to that folder).
install(TARGETS tarvex RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/app/resources/logo.png DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/examples/sample.zfr DESTINATION examples)

set(CPACK_GENERATOR NSIS ZIP External)
set(CPACK_VERBATIM_VARIABLES ON)  # the version keys below carry quotes
set(CPACK_PACKAGE_NAME tarvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "${TARVEX_COMPANY}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_FILE_NAME tarvex-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY tarvex)
set(CPACK_PACKAGE_EXECUTABLES tarvex tarvex)  # the Start-menu shortcut
set(CPACK_STRIP_FILES ON)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/sign_staged.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/sign_packages.cmake)
set(CPACK_TARVEX_SIGN_SCRIPT ${PROJECT_SOURCE_DIR}/packaging/sign.sh)

# The NSIS installer. The project has no licence text, so there is no licence page (CPack would
# show a placeholder).
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_DISPLAY_NAME tarvex)
set(CPACK_NSIS_PACKAGE_NAME "tarvex ${PROJECT_VERSION}")
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/app/resources/tarvex.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/app/resources/tarvex.ico)
set(CPACK_NSIS_INSTALLED_ICON_NAME tarvex.exe)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_IGNORE_LICENSE_PAGE ON)
set(CPACK_NSIS_DEFINES
    "VIProductVersion ${PROJECT_VERSION}
  VIAddVersionKey /LANG=1033 ProductName \"${TARVEX_PRODUCT_NAME}\"
  VIAddVersionKey /LANG=1033 CompanyName \"${TARVEX_COMPANY}\"
  VIAddVersionKey /LANG=1033 FileDescription \"tarvex installer\"
  VIAddVersionKey /LANG=1033 FileVersion ${PROJECT_VERSION}
  VIAddVersionKey /LANG=1033 ProductVersion ${PROJECT_VERSION}
  VIAddVersionKey /LANG=1033 LegalCopyright \"${TARVEX_COPYRIGHT}\"")

# The NSIS installer's .zfr association: the MSI's registry rows (packaging/tarvex.wxs), in the
# 64-bit view; the uninstaller removes what is tarvex's and leaves another program's.
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS
    "SetRegView 64
  WriteRegStr HKLM 'Software\\Classes\\.zfr' '' 'tarvex.zfr'
  WriteRegStr HKLM 'Software\\Classes\\.zfr\\OpenWithProgids' 'tarvex.zfr' ''
  WriteRegStr HKLM 'Software\\Classes\\tarvex.zfr' '' 'tarvex firmware image'
  WriteRegStr HKLM 'Software\\Classes\\tarvex.zfr\\DefaultIcon' '' '\"$INSTDIR\\tarvex.exe\",0'
  WriteRegStr HKLM 'Software\\Classes\\tarvex.zfr\\shell\\open\\command' '' '\"$INSTDIR\\tarvex.exe\" \"%1\"'
  WriteRegStr HKLM 'Software\\Classes\\Applications\\tarvex.exe\\SupportedTypes' '.zfr' ''
  SetRegView lastused")
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS
    "SetRegView 64
  DeleteRegKey HKLM 'Software\\Classes\\tarvex.zfr'
  DeleteRegKey HKLM 'Software\\Classes\\Applications\\tarvex.exe'
  DeleteRegValue HKLM 'Software\\Classes\\.zfr\\OpenWithProgids' 'tarvex.zfr'
  DeleteRegKey /ifempty HKLM 'Software\\Classes\\.zfr\\OpenWithProgids'
  ReadRegStr $0 HKLM 'Software\\Classes\\.zfr' ''
  StrCmp $0 'tarvex.zfr' 0 +2
  DeleteRegValue HKLM 'Software\\Classes\\.zfr' ''
  DeleteRegKey /ifempty HKLM 'Software\\Classes\\.zfr'
  SetRegView lastused")

# The MSI: CPack's External generator stages the files and runs packaging/make_msi.cmake on them.
set(CPACK_EXTERNAL_ENABLE_STAGING ON)
set(CPACK_EXTERNAL_PACKAGE_SCRIPT ${PROJECT_SOURCE_DIR}/packaging/make_msi.cmake)
set(CPACK_TARVEX_WXS ${PROJECT_SOURCE_DIR}/packaging/tarvex.wxs)
set(CPACK_TARVEX_MSI_TABLES ${PROJECT_SOURCE_DIR}/packaging/msi/Environment.idt
                            ${PROJECT_SOURCE_DIR}/packaging/msi/Condition.idt)
set(CPACK_TARVEX_ICON ${PROJECT_SOURCE_DIR}/app/resources/tarvex.ico)
include(CPack)
