add_library(vantrel_warnings INTERFACE)
target_compile_options(vantrel_warnings INTERFACE -Wall -Wextra -Wpedantic)
# GCC 12's -Wrestrict reports overlaps that cannot happen inside std::string assignments once
# inlined at -O2 (GCC bug 105329); it fires on correct code in several files.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(vantrel_warnings INTERFACE -Wno-restrict)
endif()
if(VANTREL_WERROR)
  target_compile_options(vantrel_warnings INTERFACE -Werror)
endif()

if(VANTREL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(WIN32)
  # No mingw DLL may be needed on a bare Windows: the C and C++ runtimes and winpthread go in.
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()
