set(FM_TEST_DEPS fm_platform)
# The registry tests run the built regtool from a second process.
if(TARGET regtool)
  cmake_language(DEFER CALL add_dependencies test_platform regtool)
endif()
