# The communication window end to end against the in-process host simulator.
set(FM_TEST_DEPS fm_session fm_hostsim)
find_package(Qt6 REQUIRED COMPONENTS Test)
list(APPEND FM_TEST_DEPS Qt6::Test)
