# The updater's tests: the window and its pieces, against the host simulator
# and a real FTP server (pyftpdlib, tests/updater/ftpserver.py).
set(FM_TEST_DEPS fm_updater fm_hostsim Qt6::Test)
find_package(Qt6 REQUIRED COMPONENTS Test)

# Files with known versions, copied into the tests' working folders.
foreach(probe 1.0.0.8 1.0.0.9 1.0.0.10)
  string(REPLACE "." "_" id ${probe})
  if(NOT TARGET fm_updater_probe_${id})
    add_library(fm_updater_probe_${id} SHARED ${CMAKE_CURRENT_LIST_DIR}/probe/probe.cpp)
    set_target_properties(fm_updater_probe_${id} PROPERTIES AUTOMOC OFF)
    fm_version_resource(fm_updater_probe_${id}
      TRANSLATION 0412 03B5 FILEVERSION ${probe} PRODUCTVERSION 1.0.0.0 FIXED 1.0.0.8)
    # Expanded now: a deferred call would read the loop variable at its end.
    cmake_language(EVAL CODE "cmake_language(DEFER CALL add_dependencies test_updater fm_updater_probe_${id})")
  endif()
endforeach()
