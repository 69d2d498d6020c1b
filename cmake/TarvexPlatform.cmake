# What differs between the platforms at build level. Platform code lives in posix/ and win32/
# folders next to the shared code; TARVEX_PLATFORM_DIR names the one this build compiles.
if(WIN32)
  set(TARVEX_PLATFORM_DIR win32)
  # Windows 10 and later, the wide-character API, and no min/max macros next to std::min.
  add_compile_definitions(_WIN32_WINNT=0x0A00 WINVER=0x0A00 UNICODE _UNICODE NOMINMAX
                          WIN32_LEAN_AND_MEAN)
else()
  set(TARVEX_PLATFORM_DIR posix)
endif()

if(CMAKE_CROSSCOMPILING)
  set(TARVEX_NATIVE_BIN_DIR "" CACHE PATH
      "bin folder of a native build of this tree, for tests that pair both builds")
endif()

# tarvex_host_headers(<target> <folder>...)
# A header-only library of the build machine for a cross build: an interface target whose include
# folder holds links to just these folders of /usr/include. Adding /usr/include itself would put
# the build machine's C library headers in front of the target's.
function(tarvex_host_headers target)
  string(MAKE_C_IDENTIFIER ${target} name)
  set(root ${CMAKE_BINARY_DIR}/host-headers/${name})
  file(MAKE_DIRECTORY ${root})
  foreach(folder IN LISTS ARGN)
    if(NOT IS_DIRECTORY /usr/include/${folder})
      message(FATAL_ERROR "${target}: /usr/include/${folder} is missing (scripts/setup installs it)")
    endif()
    file(CREATE_LINK /usr/include/${folder} ${root}/${folder} SYMBOLIC)
  endforeach()
  add_library(${target} INTERFACE IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${root})
endfunction()
