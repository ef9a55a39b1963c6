# Sending, receiving, notices and the detail list end to end against the
# in-process host simulator, with the conversion library built beside them.
set(FM_TEST_DEPS fm_session fm_hostsim fm_pxwrite)
find_package(Qt6 REQUIRED COMPONENTS Test)
list(APPEND FM_TEST_DEPS Qt6::Test)
if(TARGET Omvertis)
  cmake_language(DEFER CALL add_dependencies test_transfers Omvertis)
endif()
