# What differs between the platforms at build level. Every layer keeps its OS code in a linux/ and
# a win32/ folder next to the shared code (tests likewise); TARVEX_OS names the one this build
# compiles and tarvex_platform_sources() is the only place that picks it.
if(WIN32)
  set(TARVEX_OS win32)
  # Windows 10 and later, the wide-character API, and no min/max macros next to std::min.
  add_compile_definitions(_WIN32_WINNT=0x0A00 WINVER=0x0A00 UNICODE _UNICODE NOMINMAX
                          WIN32_LEAN_AND_MEAN)
else()
  set(TARVEX_OS linux)
endif()

# tarvex_platform_sources(<var> [PATTERN <glob>])
# The calling folder's files matching <glob> (default *.cpp) and those of its ${TARVEX_OS}/
# folder, into <var>.
function(tarvex_platform_sources var)
  cmake_parse_arguments(ARG "" "PATTERN" "" ${ARGN})
  if(NOT ARG_PATTERN)
    set(ARG_PATTERN *.cpp)
  endif()
  file(GLOB found CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${ARG_PATTERN}
       ${CMAKE_CURRENT_SOURCE_DIR}/${TARVEX_OS}/${ARG_PATTERN})
  set(${var} ${found} PARENT_SCOPE)
endfunction()

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
