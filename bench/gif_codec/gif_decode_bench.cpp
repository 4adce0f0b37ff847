// Decoding the same GIF buffers (written by giflib) with this codec and with giflib's DGifSlurp.
#include "bench_corpus.h"

namespace {

// Only decodes: DGifSlurp over the buffer, then frees.
int slurpFrameCount(const std::vector<uint8_t>& bytes)
{
    giforacle::detail::Input in{bytes.data(), bytes.size(), 0};
    int err = 0;
    GifFileType* gf = DGifOpen(&in, giforacle::detail::readFromMemory, &err);
    if (!gf)
        return -1;
    int n = DGifSlurp(gf) == GIF_OK ? gf->ImageCount : -1;
    DGifCloseFile(gf, &err);
    return n;
}

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
            benchmark::DoNotOptimize(slurpFrameCount(bytes));
    state.SetBytesProcessed(state.iterations() * corpusBytes());
    state.counters["Mpixels"] = double(gifbench::totalPixels()) / 1e6;
}
BENCHMARK(BM_DecodeGiflibSlurp)->Unit(benchmark::kMillisecond);

} // namespace

