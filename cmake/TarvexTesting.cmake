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

# tarvex_add_gtest(<name> LABEL <label> [LIBS ...] [POSIX_ONLY <file>...] [PROPERTIES ...])
# Builds every tests/<folder>/*_test.cpp of the calling folder into one executable whose tests
# carry <label>, so `ctest -L <label>` runs one layer alone. A Windows build adds the folder's
# win32/*_test.cpp and leaves out the POSIX_ONLY files (pseudo-terminals, fork, signals).
function(tarvex_add_gtest name)
  cmake_parse_arguments(ARG "" "LABEL" "LIBS;POSIX_ONLY;PROPERTIES" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  if(WIN32)
    file(GLOB windows_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/win32/*_test.cpp)
    list(APPEND sources ${windows_sources})
  endif()
  foreach(file IN LISTS ARG_POSIX_ONLY)
    if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${file})
      message(FATAL_ERROR "${name}: POSIX_ONLY names ${file}, which is not in this folder")
    endif()
    if(WIN32)
      list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${file})
    endif()
  endforeach()
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES LABELS "${ARG_LABEL}" ${ARG_PROPERTIES}
                       DISCOVERY_TIMEOUT 60)
endfunction()
