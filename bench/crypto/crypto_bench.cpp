// Cost of the session-key exchange and of one telegram each way.
#include "hostcrypto.h"
#include "zelcoran.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// Client key block and the host's acceptance of it.
void BM_KeyExchange(benchmark::State &state)
{
    Bytes ctx(ZELCORAN_CONTEXT_SIZE), block(ZELCORAN_KEY_BLOCK_SIZE);
    hostsim::HostSession host(hostsim::HostKey::demo());
    for (auto _ : state) {
        if (GetRSASeedKey(ctx.data(), block.data()) != 128 || !host.acceptKeyBlock(block.data())) {
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
    if (GetRSASeedKey(ctx.data(), block.data()) != 128 || !host.acceptKeyBlock(block.data())) {
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
