// Encoding the same pictures with this codec (LZW and run-length) and with giflib's encoder:
// time, and the total size written.
#include "bench_corpus.h"

#include <chrono>
#include <memory>

namespace {

// The pictures as trees of this codec.
const std::vector<std::unique_ptr<gif::Image>>& trees()
{
    static const std::vector<std::unique_ptr<gif::Image>> all = [] {
        std::vector<std::unique_ptr<gif::Image>> out;
        for (const auto& p : gifbench::pictures()) {
            auto img = std::make_unique<gif::Image>();
            for (size_t i = 0; i < p.globalMap.size(); i += 3)
                img->globalColorMap().add(makeColor(p.globalMap[i], p.globalMap[i + 1], p.globalMap[i + 2]));
            for (const auto& f : p.frames) {
                auto frame = std::make_unique<TGIFSubImage>(img.get());
                frame->setBounds(f.left, f.top, f.width, f.height);
                frame->setInterlaced(f.interlaced);
                std::copy(f.pixels.begin(), f.pixels.end(), frame->data());
                if (f.hasGcb) {
                    auto gce = std::make_unique<TGIFGraphicControlExtension>(*frame);
                    gce->setDelay(f.delay);
                    frame->extensions().add(std::move(gce));
                }
                img->images().add(std::move(frame));
            }
            out.push_back(std::move(img));
        }
        return out;
    }();
    return all;
}

void encodeThisCodec(benchmark::State& state, TGIFCompression compression)
{
    int64_t written = 0;
    for (auto _ : state) {
        written = 0;
        for (const auto& img : trees()) {
            img->Compression = compression;
            written += int64_t(img->saveToMemory().size());
        }
    }
    state.counters["KiB_written"] = double(written) / 1024.0;
    state.counters["Mpixels"] = double(gifbench::totalPixels()) / 1e6;
}

void BM_EncodeThisCodecLZW(benchmark::State& state) { encodeThisCodec(state, gcLZW); }
BENCHMARK(BM_EncodeThisCodecLZW)->Unit(benchmark::kMillisecond);

void BM_EncodeThisCodecRLE(benchmark::State& state) { encodeThisCodec(state, gcRLE); }
BENCHMARK(BM_EncodeThisCodecRLE)->Unit(benchmark::kMillisecond);

void BM_EncodeGiflib(benchmark::State& state)
{
    int64_t written = 0;
    for (auto _ : state) {
        written = 0;
        for (const auto& p : gifbench::pictures())
            written += int64_t(giforacle::encode(p).size());
    }
    state.counters["KiB_written"] = double(written) / 1024.0;
    state.counters["Mpixels"] = double(gifbench::totalPixels()) / 1e6;
}
BENCHMARK(BM_EncodeGiflib)->Unit(benchmark::kMillisecond);

// Both LZW encoders in turn on each picture, so that both see the same machine load; the
// counter "ratio" is this codec's time over giflib's, for output of the same size.
void BM_EncodeLZWOverGiflib(benchmark::State& state)
{
    using Clock = std::chrono::steady_clock;
    Clock::duration ours{}, theirs{};
    int64_t oursSize = 0, theirsSize = 0;
    for (auto _ : state)
        for (size_t i = 0; i < trees().size(); ++i) {
            trees()[i]->Compression = gcLZW;
            const auto t0 = Clock::now();
            oursSize += int64_t(trees()[i]->saveToMemory().size());
            const auto t1 = Clock::now();
            theirsSize += int64_t(giforacle::encode(gifbench::pictures()[i]).size());
            ours += t1 - t0;
            theirs += Clock::now() - t1;
        }
    if (oursSize != theirsSize)
        state.SkipWithError("the two encoders wrote different sizes");
    state.counters["ratio"] = double(ours.count()) / double(theirs.count());
}
BENCHMARK(BM_EncodeLZWOverGiflib)->Unit(benchmark::kMillisecond);

} // namespace

