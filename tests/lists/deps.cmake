# The lists: the grid, the file lists, and the fit of every list's widest
# values (whose received detail list reads a result-code table written with
# fm_pxwrite).
set(FM_TEST_DEPS fm_session fm_pxwrite)
