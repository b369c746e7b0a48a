# Machine identification sources and tests.
target_sources(hal PRIVATE src/smbios/smbios.cpp src/identity.cpp src/firmware_rsmb.cpp)
if(WIN32)
  target_sources(hal PRIVATE src/firmware_source_win32.cpp)
else()
  target_sources(hal PRIVATE src/firmware_source_posix.cpp src/firmware_sysfs_posix.cpp)
endif()

if(NOT VANTREL_FUZZ)
  target_sources(vantrel_tests PRIVATE
    src/smbios/smbios_test.cpp
    src/identity_test.cpp
    src/firmware_rsmb_test.cpp
    src/firmware_live_test.cpp)
  if(NOT WIN32)
    target_sources(vantrel_tests PRIVATE src/firmware_sysfs_test_posix.cpp)
  endif()
endif()
