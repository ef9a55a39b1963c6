// hostkeygen: makes a new host key pair for the session-key scheme.
//
//   hostkeygen FOLDER
//
// writes FOLDER/ZelcoranHost.key (public key, to install in the client's
// working folder) and FOLDER/ZelcoranHostPrivate.key (private key, for the
// host, readable by the owner only), each as 64 hex digits and a line end.
// Existing files are never overwritten.
#include "hostcrypto.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

bool WriteNew(const std::string &path, const std::string &text, mode_t mode)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, mode);
    if (fd < 0) {
        std::fprintf(stderr, "hostkeygen: %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    std::string line = text + "\n";
    bool ok = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    ok = close(fd) == 0 && ok;
    if (!ok) std::fprintf(stderr, "hostkeygen: %s: write failed\n", path.c_str());
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: hostkeygen FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    const std::string pubPath = folder + "/" + hostsim::kHostPublicKeyFileName;
    const std::string privPath = folder + "/" + hostsim::kHostPrivateKeyFileName;
    if (access(pubPath.c_str(), F_OK) == 0 || access(privPath.c_str(), F_OK) == 0) {
        std::fprintf(stderr, "hostkeygen: key files already exist in %s\n", folder.c_str());
        return 1;
    }
    auto key = hostsim::HostKey::generate();
    if (!key) {
        std::fprintf(stderr, "hostkeygen: key generation failed\n");
        return 1;
    }
    if (!WriteNew(privPath, key->privateHex(), 0600)) return 1;
    if (!WriteNew(pubPath, key->publicHex(), 0644)) {
        unlink(privPath.c_str());
        return 1;
    }
    std::printf("%s\n", key->publicHex().c_str());
    return 0;
}
