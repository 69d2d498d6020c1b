# CPack runs this after making each package: with TARVEX_SIGN_PFX set, the installers (.exe,
# .msi) are signed; a zip cannot carry a signature (its programs are signed inside).
if("$ENV{TARVEX_SIGN_PFX}" STREQUAL "")
  return()
endif()
set(installers ${CPACK_PACKAGE_FILES})
list(FILTER installers INCLUDE REGEX "\\.(exe|msi)$")
if(installers)
  execute_process(COMMAND bash ${CPACK_TARVEX_SIGN_SCRIPT} ${installers} COMMAND_ERROR_IS_FATAL ANY)
endif()
