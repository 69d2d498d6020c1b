# The WebAssembly build (preset wasm, Debian's emscripten): the core for the page and its tests
# under node. Single-threaded, so the page needs no SharedArrayBuffer and no special headers.
if(NOT DEFINED TARVEX_NODE)
  find_program(TARVEX_NODE NAMES node nodejs REQUIRED)
endif()

# An optimised link runs emscripten's JavaScript tools, which find acorn only through NODE_PATH.
set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs)

# Exceptions thrown by the core (a refused allocation, a bad format string) are caught as on
# the other platforms rather than ending the module.
add_compile_options(-fexceptions)
add_link_options(-fexceptions -sALLOW_MEMORY_GROWTH=1)
