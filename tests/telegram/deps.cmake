set(FM_TEST_DEPS fm_session)
