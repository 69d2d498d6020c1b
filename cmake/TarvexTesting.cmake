find_package(GTest REQUIRED)
include(GoogleTest)

# tarvex_add_gtest(<name> LABEL <label> [LIBS ...])
# Builds every tests/<folder>/*_test.cpp of the calling folder into one executable whose tests
# carry <label>, so `ctest -L <label>` runs one layer alone.
function(tarvex_add_gtest name)
  cmake_parse_arguments(ARG "" "LABEL" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES LABELS "${ARG_LABEL}"
                       DISCOVERY_TIMEOUT 60)
endfunction()
