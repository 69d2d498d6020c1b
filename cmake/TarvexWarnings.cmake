# Warnings for every target of the project; CI turns them into errors.
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
                    -Wimplicit-fallthrough)
if(TARVEX_WERROR)
  add_compile_options(-Werror)
endif()
