set(FM_TEST_DEPS Zelcoran fm_hostcrypto)
