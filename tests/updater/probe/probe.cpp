// A library that carries nothing but a version block: the updater's tests
// copy it into their working folders as the library or the client.
extern "C" int fm_updater_probe() { return 1; }
