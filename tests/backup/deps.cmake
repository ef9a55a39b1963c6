set(FM_TEST_DEPS fm_shell PkgConfig::LIBZIP)
