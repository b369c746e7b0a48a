# Dependencies are Debian's packages, used from where Debian installs them.
#   nlohmann-json3-dev   JSON (header-only)
#   libtomlplusplus-dev  TOML (used header-only: Debian's CMake and pkg-config files link the
#                        shared library, which parses TOML 1.0 only, so they are not used)
#   googletest           tests (prebuilt natively; compiled from /usr/src/googletest for mingw)
#
# The mingw build must not see /usr/include (glibc headers would shadow mingw's), so the two
# header-only libraries are reached through a staging folder holding links to their own folders.
set(VANTREL_STAGED_INCLUDE ${CMAKE_BINARY_DIR}/staged-include)
file(MAKE_DIRECTORY ${VANTREL_STAGED_INCLUDE})
foreach(dir nlohmann toml++)
  if(NOT EXISTS /usr/include/${dir})
    message(FATAL_ERROR "/usr/include/${dir} introuvable : lancez tools/setup-debian")
  endif()
  file(CREATE_LINK /usr/include/${dir} ${VANTREL_STAGED_INCLUDE}/${dir} SYMBOLIC)
endforeach()

add_library(vantrel_json INTERFACE)
target_include_directories(vantrel_json SYSTEM INTERFACE ${VANTREL_STAGED_INCLUDE})

add_library(vantrel_toml INTERFACE)
target_include_directories(vantrel_toml SYSTEM INTERFACE ${VANTREL_STAGED_INCLUDE})
# TOML 1.1 (newlines and trailing commas in inline tables, \xHH, \e, optional seconds) is what
# toml++ calls its unreleased features.
target_compile_definitions(vantrel_toml INTERFACE TOML_HEADER_ONLY=1 TOML_ENABLE_UNRELEASED_FEATURES=1)

add_library(vantrel_gtest INTERFACE)
if(NOT VANTREL_FUZZ)
  if(WIN32)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
    target_link_libraries(vantrel_gtest INTERFACE gtest gmock gtest_main)
  else()
    find_package(GTest REQUIRED)
    target_link_libraries(vantrel_gtest INTERFACE GTest::gtest GTest::gmock GTest::gtest_main)
  endif()
endif()
