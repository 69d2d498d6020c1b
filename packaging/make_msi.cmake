# Run by CPack's External generator on the staged install tree: wixl builds the MSI from
# tarvex.wxs; msibuild then adds what wixl cannot write (the PATH entry and the condition that
# turns it on) and widens the upgrade rule.

# wixl finds its sources by paths relative to its working folder only.
set(work ${CPACK_TOPLEVEL_DIRECTORY})
file(RELATIVE_PATH staged ${work} ${CPACK_TEMPORARY_DIRECTORY})
file(COPY ${CPACK_TARVEX_ICON} DESTINATION ${work})
get_filename_component(icon ${CPACK_TARVEX_ICON} NAME)
set(msi ${work}/${CPACK_PACKAGE_FILE_NAME}.msi)
execute_process(
  COMMAND wixl --arch x64 -D Version=${CPACK_PACKAGE_VERSION} -D SourceDir=${staged}
          -D IconFile=${icon} -o ${msi} ${CPACK_TARVEX_WXS}
  WORKING_DIRECTORY ${work} COMMAND_ERROR_IS_FATAL ANY)

set(tables "")
foreach(table IN LISTS CPACK_TARVEX_MSI_TABLES)
  list(APPEND tables -i ${table})
endforeach()

# Windows Installer compares only the first three fields of a version when it looks for an older
# package to replace, and ours differ in the fourth (1.0.0.3 -> 1.0.0.4): the replaced range must
# include its upper end (512), or the new version would install beside the old one. 1 carries the
# chosen features (the PATH entry) over.
execute_process(COMMAND msiinfo export ${msi} Upgrade OUTPUT_VARIABLE upgrade
                COMMAND_ERROR_IS_FATAL ANY)
string(REPLACE "\t1\t\tWIX_UPGRADE_DETECTED" "\t513\t\tWIX_UPGRADE_DETECTED" widened "${upgrade}")
if(widened STREQUAL upgrade)
  message(FATAL_ERROR "make_msi: wixl's upgrade row is not as expected:\n${upgrade}")
endif()
file(WRITE ${work}/Upgrade.idt "${widened}")
execute_process(COMMAND msibuild ${msi} ${tables} -i ${work}/Upgrade.idt COMMAND_ERROR_IS_FATAL ANY)
set(CPACK_EXTERNAL_BUILT_PACKAGES ${msi})
