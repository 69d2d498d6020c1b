# Sanitizer builds (presets asan, tsan and fuzz).
if(TARVEX_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(TARVEX_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(TARVEX_SANITIZE STREQUAL "fuzzer")
  # libFuzzer's coverage in every library, ASan + UBSan as in asan; fuzz/ links the fuzzer itself.
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "TARVEX_SANITIZE=fuzzer needs clang: use the fuzz preset")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(NOT TARVEX_SANITIZE STREQUAL "")
  message(FATAL_ERROR "TARVEX_SANITIZE must be empty, address, thread or fuzzer")
endif()
