set(FM_BENCH_DEPS fm_platform)
