# Windows version blocks: tarvex_add_version_info(TARGET DESCRIPTION) gives TARGET's .exe a
# version block with the product's fields (what Explorer's Details tab and inventory tools show).

set(TARVEX_COMPANY "tarvex developers")
set(TARVEX_PRODUCT_NAME "TARVEX")
set(TARVEX_COPYRIGHT "Copyright (C) 2026 tarvex developers")
string(REPLACE "." "," TARVEX_VERSION_COMMAS ${PROJECT_VERSION})

function(tarvex_add_version_info target description)
  set(TARVEX_FILE_DESCRIPTION "${description}")
  set(TARVEX_FILE_NAME ${target})
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/version_info.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
