// A library that carries nothing but a version block, for the tests of the
// version reader (a second translation, a Korean string, an extra name).
extern "C" int fm_version_probe() { return 1; }
