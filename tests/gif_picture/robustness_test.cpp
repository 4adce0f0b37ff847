// Hostile and damaged files go through everything the picture does with them (render,
// draw, animate, optimise, save, load back) without a crash, only clear errors.
#include "picture_test_util.h"

#include <filesystem>
#include <random>

using namespace pictest;

namespace {

void exercise(const Bytes& bytes)
{
    TGIFPicture pic;
    pic.OnCodecWarning = [](const void*, int, const std::string&) {};
    try {
        pic.loadFromBytes(qbytes(bytes));
    } catch (const GIFException&) {
        EXPECT_TRUE(pic.isEmpty());
        return;
    }
    pic.setClock(std::make_shared<FakeClock>());
    pic.DrawOptions = TGIFDrawOptions{gdTransparent, gdAnimate, gdDither};
    QImage canvas(16, 16, QImage::Format_ARGB32);
    canvas.fill(Qt::black);
    {
        QPainter painter(&canvas);
        pic.draw(painter, canvas.rect());
        pic.DrawOptions = pic.DrawOptions.with(gdTile);
        pic.stopDrawing();
        pic.draw(painter, QRect(3, 3, 9, 9));
    }
    try {
        pic.Optimise(TGIFOptimizeOptions{opColorMaps, opCleanup, opMerge, opCrop});
        TGIFPicture back;
        back.OnCodecWarning = pic.OnCodecWarning;
        back.loadFromBytes(pic.saveToBytes());
    } catch (const GIFException&) {
        // Pixels that name no colour cannot be written; that is a clear refusal.
    }
}

} // namespace

TEST(PictureRobustness, SeedFilesAndMutations)
{
    std::vector<Bytes> seeds;
    for (const auto& entry : std::filesystem::directory_iterator(IOS_SOURCE_DIR "/fuzz/corpus/gif_load_fuzz"))
        seeds.push_back(giftest::readFile(entry.path()));
    ASSERT_FALSE(seeds.empty());
    std::mt19937 rng(13);
    for (const auto& seed : seeds) {
        exercise(seed);
        for (int round = 0; round < 40; ++round) {
            Bytes mutated = seed;
            const int edits = 1 + int(rng() % 4);
            for (int e = 0; e < edits && !mutated.empty(); ++e)
                mutated[rng() % mutated.size()] = uint8_t(rng());
            if (rng() % 4 == 0)
                mutated.resize(rng() % (mutated.size() + 1));
            exercise(mutated);
        }
    }
}

TEST(PictureRobustness, HugeScreenIsRefusedNotAllocated)
{
    // A 65535 x 65535 screen with two 1 x 1 frames.
    giftest::GifAssembler a = giftest::gifOf(65535, 65535, 1);
    for (int i : {0, 1})
        a.graphicControl(1, 5, -1).frame(1, 1, giftest::pack({-3, 4, i, 5}));
    TGIFPicture pic;
    giftest::WarningLog log;
    log.attach(pic);
    pic.loadFromBytes(qbytes(a.end()));
    EXPECT_THROW(pic.renderedBitmap(), GIFException);
    paint(pic, QSize(8, 8), QRect(0, 0, 8, 8));
    EXPECT_TRUE(log.has("Image too large"));
    EXPECT_EQ(pic.currentPainter(), nullptr);
}
