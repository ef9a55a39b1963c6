# The communication window and the library it encrypts with; the host
# simulator program and the conversion library are run beside it.
find_package(Qt6 REQUIRED COMPONENTS Network)
set(FM_BENCH_DEPS fm_session Zelcoran Qt6::Network)
cmake_language(DEFER CALL add_dependencies bench_transfer hostsim)
if(TARGET Omvertis)
  cmake_language(DEFER CALL add_dependencies bench_transfer Omvertis)
endif()
