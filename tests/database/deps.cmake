set(FM_TEST_DEPS fm_platform fm_pxwrite)
# One test turns the demo rows into a table with the built mkresulttable.
if(TARGET mkresulttable)
  cmake_language(DEFER CALL add_dependencies test_database mkresulttable)
endif()
