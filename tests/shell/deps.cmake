# Libraries of the shell tests (shared by the shell's test files: append).
list(APPEND FM_TEST_DEPS fm_shell fm_session)

# The version reader is tested on the built Marrowick.exe and on a small
# library of its own with a different version block; both are built first.
if(NOT TARGET fm_version_probe)
  add_library(fm_version_probe SHARED ${CMAKE_CURRENT_LIST_DIR}/probe/probe.cpp)
  fm_version_resource(fm_version_probe
    TRANSLATION 0409 04B0
    FILEVERSION 2.10.0.3
    PRODUCTVERSION "2.10 beta"
    FIXED 2.10.0.65535
    STRINGS CompanyName "(주)Norvane" SpecialBuild "quote \" and backslash \\ kept")
  cmake_language(DEFER CALL add_dependencies test_shell fm_version_probe)
  if(TARGET Marrowick)
    cmake_language(DEFER CALL add_dependencies test_shell Marrowick)
  endif()
endif()

# Key presses and window activation in the window tests.
find_package(Qt6 REQUIRED COMPONENTS Test)
list(APPEND FM_TEST_DEPS Qt6::Test)

# The data module's tests make their result-code tables with the table writer.
list(APPEND FM_TEST_DEPS fm_pxwrite)
