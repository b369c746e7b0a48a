# Keyboard backlight: access (the PowerShell runner), the embedded script, and tests.
set(VANTREL_BACKLIGHT_SCRIPT ${CMAKE_CURRENT_SOURCE_DIR}/scripts/keyboard-backlight.ps1)
set(VANTREL_BACKLIGHT_SCRIPT_CPP ${CMAKE_CURRENT_BINARY_DIR}/generated/backlight_script.cpp)
add_custom_command(
  OUTPUT ${VANTREL_BACKLIGHT_SCRIPT_CPP}
  COMMAND ${CMAKE_COMMAND} -DINPUT=${VANTREL_BACKLIGHT_SCRIPT} -DOUTPUT=${VANTREL_BACKLIGHT_SCRIPT_CPP}
          -P ${CMAKE_CURRENT_SOURCE_DIR}/scripts/embed.cmake
  DEPENDS ${VANTREL_BACKLIGHT_SCRIPT} ${CMAKE_CURRENT_SOURCE_DIR}/scripts/embed.cmake
  COMMENT "Embedding the keyboard-backlight script"
  VERBATIM)
target_sources(hal PRIVATE src/backlight.cpp src/backlight_invocation.cpp ${VANTREL_BACKLIGHT_SCRIPT_CPP})
if(WIN32)
  target_sources(hal PRIVATE src/backlight_win32.cpp
                             src/backlight_script_file_win32.cpp src/powershell_runner_win32.cpp)
else()
  target_sources(hal PRIVATE src/backlight_posix.cpp)
endif()

if(NOT VANTREL_FUZZ)
  target_sources(vantrel_tests PRIVATE src/backlight_test.cpp)
  if(WIN32)
    target_sources(vantrel_tests PRIVATE src/backlight_test_win32.cpp)
    # The stand-in PowerShell of the Windows tests; they hand its path to the runner, or install it
    # where Windows PowerShell lives in a prefix of their own. How to drive it is told at the top
    # of its source.
    add_executable(fake_powershell ${PROJECT_SOURCE_DIR}/tests/fake-powershell/fake_powershell.cpp)
    target_link_libraries(fake_powershell PRIVATE util)
    set_target_properties(fake_powershell PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
    add_dependencies(vantrel_tests fake_powershell)
    # Wine maps the Linux root on drive Z:.
    set_source_files_properties(src/backlight_test.cpp TARGET_DIRECTORY vantrel_tests PROPERTIES
      COMPILE_DEFINITIONS "VANTREL_BACKLIGHT_SCRIPT_PATH=\"Z:${VANTREL_BACKLIGHT_SCRIPT}\"")
  else()
    set_source_files_properties(src/backlight_test.cpp TARGET_DIRECTORY vantrel_tests PROPERTIES
      COMPILE_DEFINITIONS "VANTREL_BACKLIGHT_SCRIPT_PATH=\"${VANTREL_BACKLIGHT_SCRIPT}\"")
  endif()
endif()
