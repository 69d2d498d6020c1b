if(CMAKE_CROSSCOMPILING)
  # The target has no GoogleTest package: build it from Debian's sources with the cross compiler.
  set(TARVEX_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH
      "GoogleTest sources to build for the target (Debian package googletest)")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(${TARVEX_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL
                   SYSTEM)
  foreach(library gtest gtest_main gmock gmock_main)
    # Our warning flags are for our code; GoogleTest keeps its own.
    set_property(TARGET ${library} PROPERTY COMPILE_OPTIONS "")
    if(NOT TARGET GTest::${library})
      add_library(GTest::${library} ALIAS ${library})
    endif()
  endforeach()
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# tarvex_add_gtest(<name> LABEL <label> [LIBS ...] [PROPERTIES ...] [EXCLUDE <regex>])
# Builds every *_test.cpp of the calling folder and of its linux/ or win32/ folder (the one
# tarvex_platform_sources() picks) into one executable whose tests carry <label>, so
# `ctest -L <label>` runs one layer alone. EXCLUDE leaves out the files it matches.
function(tarvex_add_gtest name)
  cmake_parse_arguments(ARG "" "LABEL;EXCLUDE" "LIBS;PROPERTIES" ${ARGN})
  tarvex_platform_sources(sources PATTERN *_test.cpp)
  if(ARG_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "${ARG_EXCLUDE}")
  endif()
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES LABELS "${ARG_LABEL}" ${ARG_PROPERTIES}
                       DISCOVERY_TIMEOUT 60)
endfunction()
