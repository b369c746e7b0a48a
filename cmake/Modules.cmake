# Every include is written as the file's path from the repository root ("hal/src/identity.hpp",
# "src/profiles/catalogue.hpp", "src/util/unicode.hpp"): a reader or a tool finds the file at that
# path. The layering is kept by what each target may see: a module's include root, in the build
# tree, holds one link to the module's own folder at that folder's place from the repository root
# (build/modules/hal/hal -> hal, build/modules/util/src/util -> src/util), and a target sees only the
# roots of itself and the modules it links. An include against the layering (hal including a module
# above it, profiles including cli, ...) names a file that is not under any root the target sees, and
# does not compile.

# The root of one folder of the repository: <root>/<folder's path from the repository root> is a
# link to the folder.
function(vantrel_include_root root folder)
  file(RELATIVE_PATH relative ${PROJECT_SOURCE_DIR} ${folder})
  get_filename_component(parent ${root}/${relative} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${folder} ${root}/${relative} SYMBOLIC)
endfunction()

# vantrel_module(<name> <folder> [DEPENDS <modules and libraries...>])
# The static library of one module (util, hal, profiles, service, cli), with its own sources and
# dependencies.
function(vantrel_module name folder)
  cmake_parse_arguments(M "" "" "DEPENDS" ${ARGN})
  add_library(${name} STATIC)
  set(root ${CMAKE_BINARY_DIR}/modules/${name})
  vantrel_include_root(${root} ${folder})
  target_include_directories(${name} PUBLIC ${root})
  target_link_libraries(${name} PUBLIC vantrel_warnings ${M_DEPENDS})
endfunction()

# The fixtures of the tests, benchmarks and fuzz targets, included as "tests/support/<header>".
add_library(vantrel_test_support INTERFACE)
vantrel_include_root(${CMAKE_BINARY_DIR}/modules/test_support ${PROJECT_SOURCE_DIR}/tests/support)
target_include_directories(vantrel_test_support INTERFACE ${CMAKE_BINARY_DIR}/modules/test_support)
