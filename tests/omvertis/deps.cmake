set(FM_TEST_DEPS fm_session)
# A library of the same file name that lacks the conversion entry, kept
# apart from the real one.
add_library(OmvertisNoEntry SHARED ${area_dir}/fake/noentry.c)
set_target_properties(OmvertisNoEntry PROPERTIES
  PREFIX "" SUFFIX "" OUTPUT_NAME "Omvertis.dll" NO_SONAME ON AUTOMOC OFF
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/omvertis-noentry)
# The tests load the built libraries.
if(TARGET Omvertis)
  cmake_language(DEFER CALL add_dependencies test_omvertis Omvertis OmvertisNoEntry)
endif()
