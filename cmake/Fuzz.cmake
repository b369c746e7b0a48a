# libFuzzer targets. The whole core is instrumented for coverage and sanitizers; each target links
# the fuzzer's main. The test `fuzz_<name>` runs a target for a bounded time over its starting
# corpus (the committed inputs plus those a generator writes) and its regression inputs; any
# crash, leak or sanitizer report fails it.
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                    -fno-omit-frame-pointer)
add_link_options(-fsanitize=address,undefined)
enable_testing()

set(VANTREL_FUZZ_SECONDS 20 CACHE STRING "Seconds each fuzz target runs in the test suite")

# vantrel_add_fuzzer(NAME <name> SOURCES <files...> LIBRARIES <modules...> [GENERATOR <target>]
#                    [CORPUS <dirs...>] [OPTIONS <libFuzzer options...>])
#   GENERATOR: an executable target run with one argument, a folder to fill with starting inputs.
#   CORPUS: folders of committed starting inputs.
#   OPTIONS: given to the fuzzer as they are, for instance -max_len=N or -dict=FILE.
function(vantrel_add_fuzzer)
  cmake_parse_arguments(F "" "NAME;GENERATOR" "SOURCES;LIBRARIES;CORPUS;OPTIONS" ${ARGN})
  set(target fuzz_${F_NAME})
  add_executable(${target} ${F_SOURCES})
  target_link_libraries(${target} PRIVATE ${F_LIBRARIES})
  target_link_options(${target} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  set(work ${CMAKE_BINARY_DIR}/fuzz-work/${F_NAME})
  # Inputs that once crashed or stalled a target are kept in fuzz/regressions/<name> and replayed
  # every run.
  set(replay --replay=${PROJECT_SOURCE_DIR}/fuzz/regressions/${F_NAME})
  set(generator "")
  if(F_GENERATOR)
    set(generator $<TARGET_FILE:${F_GENERATOR}>)
  endif()
  add_test(NAME ${target}
    COMMAND ${PROJECT_SOURCE_DIR}/tools/run-fuzzer $<TARGET_FILE:${target}> ${work}
            ${VANTREL_FUZZ_SECONDS} "${generator}" ${F_OPTIONS} ${replay} ${F_CORPUS})
  set_tests_properties(${target} PROPERTIES TIMEOUT 600)
endfunction()
