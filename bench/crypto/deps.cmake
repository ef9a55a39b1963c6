set(FM_BENCH_DEPS Zelcoran fm_hostcrypto)
