# CPack runs this after staging each package's files: with TARVEX_SIGN_PFX set, the programs are
# signed before they are packed (and after stripping, which would break a signature).
if("$ENV{TARVEX_SIGN_PFX}" STREQUAL "")
  return()
endif()
file(GLOB programs ${CPACK_TEMPORARY_DIRECTORY}/*.exe)
execute_process(COMMAND bash ${CPACK_TARVEX_SIGN_SCRIPT} ${programs} COMMAND_ERROR_IS_FATAL ANY)
