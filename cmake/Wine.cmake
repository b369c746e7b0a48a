# Windows tests run under Wine, in a prefix private to this build directory. One persistent
# wineserver is started by the fixture `wine` and ended by its cleanup, so cases do not pay Wine's
# start-up each, and services are not killed between two Wine processes.
set(VANTREL_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
# winedbg off: a crash must exit non-zero at once instead of printing a dump and maybe exit 0.
# UTF-8 locale: non-ASCII arguments reach GetCommandLineW intact only then.
set(VANTREL_WINE_ENV WINEPREFIX=${VANTREL_WINEPREFIX} WINEDEBUG=-all WINEDLLOVERRIDES=winedbg.exe=d
                     LC_ALL=C.UTF-8)
set(CMAKE_CROSSCOMPILING_EMULATOR env ${VANTREL_WINE_ENV} wine)

# The prefix is started as every prefix of the tests is (tests/service_wine.py): with a persistent
# wineserver, and with the service manager's start time-out raised above Wine's 10 s, which a
# service started on a loaded machine can exceed.
function(vantrel_add_wine_fixture)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  add_test(NAME wine_start COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/service_wine.py start
                                   ${VANTREL_WINEPREFIX})
  add_test(NAME wine_stop COMMAND sh -c "WINEPREFIX='${VANTREL_WINEPREFIX}' wineserver -k || true")
  set_tests_properties(wine_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
  set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine)
endfunction()
