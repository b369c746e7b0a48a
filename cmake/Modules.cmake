# vantrel_module(<name> <folder> [DEPENDS <modules and libraries...>])
# The static library of one module (hal, profiles, service, cli), with its own sources and
# dependencies. Its headers are included as "<name>/<header>". The module's include root, in the
# build tree, holds a single link, named after the module, to the module's folder, and a target
# sees only the roots of the modules it links: an include against the layering (hal including a
# module above it, profiles including cli, ...) does not compile.
function(vantrel_module name folder)
  cmake_parse_arguments(M "" "" "DEPENDS" ${ARGN})
  add_library(${name} STATIC)
  set(root ${CMAKE_BINARY_DIR}/modules/${name})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${folder} ${root}/${name} SYMBOLIC)
  target_include_directories(${name} PUBLIC ${root})
  target_link_libraries(${name} PUBLIC vantrel_warnings ${M_DEPENDS})
endfunction()
