// Decoding the same GIF buffers (written by giflib) with this codec and with giflib's DGifSlurp.
#include "bench_corpus.h"

namespace {

int64_t corpusBytes()
{
    int64_t n = 0;
    for (const auto& f : gifbench::encodedByGiflib())
        n += int64_t(f.size());
    return n;
}

void BM_DecodeThisCodec(benchmark::State& state)
{
    for (auto _ : state)
        for (const auto& bytes : gifbench::encodedByGiflib()) {
            gif::Image img;
            img.loadFromMemory(bytes);
            benchmark::DoNotOptimize(img.images()[0].data());
        }
    state.SetBytesProcessed(state.iterations() * corpusBytes());
    state.counters["Mpixels"] = double(gifbench::totalPixels()) / 1e6;
}
BENCHMARK(BM_DecodeThisCodec)->Unit(benchmark::kMillisecond);

void BM_DecodeGiflibSlurp(benchmark::State& state)
{
    for (auto _ : state)
        for (const auto& bytes : gifbench::encodedByGiflib())
            benchmark::DoNotOptimize(giforacle::slurpFrameCount(bytes));
    state.SetBytesProcessed(state.iterations() * corpusBytes());
    state.counters["Mpixels"] = double(gifbench::totalPixels()) / 1e6;
}
BENCHMARK(BM_DecodeGiflibSlurp)->Unit(benchmark::kMillisecond);

} // namespace

GIF_BENCH_MAIN()
