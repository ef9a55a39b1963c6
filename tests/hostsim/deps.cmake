# The host simulator, tested through a small client made of the client's
# frame code and the Zelcoran library. The program test runs the built
# hostsim, also on copies of the built Marrowick.exe and Omvertis.dll.
set(FM_TEST_DEPS fm_hostsim Zelcoran)
if(TARGET hostsim)
  cmake_language(DEFER CALL add_dependencies test_hostsim hostsim Marrowick Omvertis)
endif()
