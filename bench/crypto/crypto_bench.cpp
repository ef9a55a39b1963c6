// Cost of the session-key exchange and of one telegram each way.
#include "hostcrypto.h"
#include "zelcoran.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// The client library needs the host's public key file: a working folder of
// the benchmark's own holds the demo host's.
char g_dir[] = "/tmp/fm_bench_crypto_XXXXXX";
std::string g_keyFile;

void RemoveWorkingFolder()
{
    std::remove(g_keyFile.c_str());
    rmdir(g_dir);
}

bool UseDemoHostKey()
{
    static const bool ok = [] {
        if (!mkdtemp(g_dir)) return false;
        g_keyFile = std::string(g_dir) + "/" + hostsim::kHostPublicKeyFileName;
        std::atexit(RemoveWorkingFolder);
        return hostsim::HostKey::demo().writePublicKeyFile(g_keyFile) && chdir(g_dir) == 0;
    }();
    return ok;
}

// Client key block and the host's acceptance of it.
void BM_KeyExchange(benchmark::State &state)
{
    Bytes ctx(ZELCORAN_CONTEXT_SIZE), block(ZELCORAN_KEY_BLOCK_SIZE);
    hostsim::HostSession host(hostsim::HostKey::demo());
    // The replay cache is part of the host's cost; unbounded here so that
    // long runs are not refused.
    hostsim::KeyGuard guard(hostsim::WallClockMs(), hostsim::kKeyWindowMs, SIZE_MAX);
    if (!UseDemoHostKey()) state.SkipWithError("no working folder with the host key");
    for (auto _ : state) {
        if (GetRSASeedKey(ctx.data(), block.data()) != 128 || !host.acceptKeyBlock(block.data(), guard)) {
            state.SkipWithError("key exchange failed");
            break;
        }
    }
}
BENCHMARK(BM_KeyExchange);

// One telegram client -> host and one host -> client: encrypt and decrypt
// on both sides.
void BM_TelegramRoundTrip(benchmark::State &state)
{
    Bytes ctx(ZELCORAN_CONTEXT_SIZE), block(ZELCORAN_KEY_BLOCK_SIZE);
    hostsim::HostSession host(hostsim::HostKey::demo());
    hostsim::KeyGuard guard(hostsim::WallClockMs());
    if (!UseDemoHostKey() || GetRSASeedKey(ctx.data(), block.data()) != 128 || !host.acceptKeyBlock(block.data(), guard)) {
        state.SkipWithError("key exchange failed");
        return;
    }
    Bytes plain(ZELCORAN_PLAIN_SIZE, 'A'), sealed(ZELCORAN_SEALED_INPUT_SIZE, 0), opened(ZELCORAN_SEALED_INPUT_SIZE);
    for (auto _ : state) {
        bool ok = rs_Encrypt(ctx.data(), plain.data(), 1024, sealed.data()) == 1040
                  && host.decrypt(sealed.data(), opened.data())
                  && host.encrypt(opened.data(), sealed.data())
                  && rs_Decrypt(ctx.data(), sealed.data(), 1041, opened.data()) == 1024;
        if (!ok) {
            state.SkipWithError("telegram failed");
            break;
        }
        benchmark::DoNotOptimize(opened.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 2 * ZELCORAN_PLAIN_SIZE);
}
BENCHMARK(BM_TelegramRoundTrip);

} // namespace

BENCHMARK_MAIN();
