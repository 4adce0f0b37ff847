// Optimise: each step, alone and together, leaves what the animation shows as it was.
#include "picture_test_util.h"

using namespace pictest;

namespace {

const TGIFColor kWhite{255, 255, 255}, kUnused{1, 2, 3};

// An animation with something for every step: repeated pixels, a frame that shows nothing,
// transparent borders, disposals that a covering frame makes moot, an unused transparent
// index, a comment, an unused map entry as background.
void buildRich(TGIFPicture& pic)
{
    // clang-format off
    build(pic, 4, 3, {kRed, kBlue, kGreen, kDark, kWhite, kUnused},
          {{0, 0, 4, 3, {0, 1, 2, 0, 1, 1, 2, 2, 0, 0, 1, 1}, 10, 1},
           // Mostly what frame 0 shows there; two pixels differ.
           {1, 1, 3, 2, {1, 2, 3, 0, 1, 1}, 5, 1},
           // Shows nothing.
           {0, 0, 2, 2, {3, 3, 3, 3}, 7, 1, 3},
           // A white transparent border around two pixels; restores what was before it.
           {0, 0, 4, 3, {4, 4, 4, 4, 4, 2, 0, 4, 4, 4, 4, 4}, 6, 3, 4},
           // Restores the background, but the next frame covers it entirely.
           {2, 2, 2, 1, {3, 3}, 4, 2},
           {0, 0, 4, 3, {0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3}, 0, 1},
           // Its transparent index shows nowhere.
           {0, 0, 1, 1, {1}, 3, 1, 2}},
          0);
    // clang-format on
    pic.header().setBackgroundColorIndex(5);
    giftest::addExtension<TGIFCommentExtension>(pic.images()[1]).comment = {"made by hand"};
}

// Optimises and checks that the animation shows what it showed before.
void optimise(TGIFPicture& pic, TGIFOptimizeOptions options)
{
    const auto before = timeline(pic);
    pic.Optimise(options);
    EXPECT_EQ(timeline(pic), before);
}

int delayOf(const TGIFSubImage& f)
{
    return f.graphicControlExtension()->delay();
}

} // namespace

TEST(PictureOptimise, EachStepOnARichAnimation)
{
    TGIFPicture pic;
    buildRich(pic);
    const QColor background = pic.effectiveBackgroundColor();
    optimise(pic, TGIFOptimizeOptions{opColorMaps});
    // The most used colour comes first; the background colour is still there.
    EXPECT_TRUE(pic.globalColorMap().optimized());
    EXPECT_EQ(pic.globalColorMap().data()[0], kBlue);
    EXPECT_EQ(pic.effectiveBackgroundColor(), background);

    buildRich(pic);
    optimise(pic, TGIFOptimizeOptions{opCleanup});
    const TGIFPictureList& frames = pic.images();
    ASSERT_EQ(frames.count(), 7);
    // The comment goes; the loop extension of frame 0 stays.
    EXPECT_EQ(frames[1].extensions().count(), 1);
    EXPECT_NE(dynamic_cast<TGIFAppExtNSLoop*>(&frames[0].extensions()[0]), nullptr);
    // Frame 4's disposal is moot: frame 5 covers it without transparency. Frame 3 keeps
    // restoring to previous (frame 4 does not cover it).
    EXPECT_EQ(frames[4].graphicControlExtension()->disposal(), dmNone);
    EXPECT_EQ(frames[3].graphicControlExtension()->disposal(), dmPrevious);
    EXPECT_EQ(frames[6].transparentIndex(), -1);
    EXPECT_FALSE(frames[6].graphicControlExtension()->transparent());

    buildRich(pic);
    optimise(pic, TGIFOptimizeOptions{opMerge});
    // Frame 1 had no transparency. It may borrow another frame's transparent entry of the
    // shared map only if it does not show that entry: not frame 2's dark, but frame 3's
    // white. Five of its six pixels repeat frame 0.
    EXPECT_EQ(frames[1].transparentIndex(), 4);
    EXPECT_EQ(pic.globalColorMap().count(), 6);
    EXPECT_EQ(giftest::frameData(frames[1]), (Bytes{4, 4, 3, 4, 4, 4}));

    buildRich(pic);
    optimise(pic, TGIFOptimizeOptions{opCrop});
    // Frame 2 showed nothing: its time went to the frame before it, 5 + 7. The former
    // frame 3 is down to its two pixels.
    ASSERT_EQ(frames.count(), 6);
    EXPECT_EQ(delayOf(frames[1]), 12);
    EXPECT_EQ((std::array{frames[2].left(), frames[2].top(), frames[2].width(), frames[2].height()}),
              (std::array{1, 1, 2, 1}));
    EXPECT_EQ(giftest::frameData(frames[2]), (Bytes{2, 0}));

    buildRich(pic);
    optimise(pic, TGIFOptimizeOptions{opColorMaps, opCleanup, opMerge, opCrop, opReduceColors});
    EXPECT_LT(pic.images().count(), 7);
    // And it still saves and reads back the same.
    TGIFPicture back;
    back.loadFromBytes(pic.saveToBytes());
    EXPECT_EQ(timeline(back), timeline(pic));
}

TEST(PictureOptimise, MergeAddsATransparentEntryWhenTheSharedOneIsShown)
{
    TGIFPicture pic;
    // Frame 0 marks green (2) transparent; frame 1 shows green, so it may not borrow it: a new
    // entry is added.
    build(pic, 2, 1, {kRed, kBlue, kGreen}, {{0, 0, 2, 1, {0, 1}, 5, 1, 2}, {0, 0, 2, 1, {0, 2}, 5, 1}});
    optimise(pic, TGIFOptimizeOptions{opMerge});
    EXPECT_EQ(pic.images()[1].transparentIndex(), 3);
    EXPECT_EQ(giftest::frameData(pic.images()[1]), (Bytes{3, 2}));
}

TEST(PictureOptimise, CropKeepsWhatClearingFramesAndTheLoopNeed)
{
    TGIFPicture pic;
    // Frame 1 restores to the background: cropping it would shrink the area cleared.
    build(pic, 3, 1, {kRed, kBlue, kGreen},
          {{0, 0, 3, 1, {0, 0, 0}, 5, 1}, {0, 0, 3, 1, {2, 1, 2}, 5, 2, 2}, {0, 0, 1, 1, {1}, 5, 1}});
    optimise(pic, TGIFOptimizeOptions{opCrop});
    EXPECT_EQ(pic.images()[1].width(), 3);
    // Frame 2 shows nothing of its own, but while it is up frame 1 has gone (to the
    // background or to what was before it); after a frame that stays, it goes and its time
    // with the frame before.
    for (int disposal : {2, 3, 1}) {
        SCOPED_TRACE(disposal);
        build(pic, 2, 1, {kRed, kBlue, kGreen},
              {{0, 0, 2, 1, {0, 0}, 5, 1},
               {0, 0, 1, 1, {1}, 5, disposal},
               {0, 0, 2, 1, {2, 2}, 5, 1, 2},
               {1, 0, 1, 1, {1}, 5, 1}});
        optimise(pic, TGIFOptimizeOptions{opCrop});
        ASSERT_EQ(pic.images().count(), disposal == 1 ? 3 : 4);
        EXPECT_EQ(delayOf(pic.images()[1]), disposal == 1 ? 10 : 5);
    }
    // Frame 0 shows nothing: it goes, the loop extension moves to the new frame 0 and its
    // time to the last frame.
    build(pic, 2, 1, {kRed, kBlue, kGreen},
          {{0, 0, 2, 1, {2, 2}, 8, 1, 2}, {0, 0, 2, 1, {0, 1}, 5, 1}, {0, 0, 1, 1, {1}, 5, 1}}, 3);
    const auto before = timeline(pic);
    pic.Optimise(TGIFOptimizeOptions{opCrop});
    ASSERT_EQ(pic.images().count(), 2);
    auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(&pic.images()[0].extensions()[0]);
    ASSERT_NE(loop, nullptr);
    EXPECT_EQ(loop->loops, 3);
    EXPECT_EQ(delayOf(pic.images()[1]), 13);
    // The canvas alone was on show first; from there on everything is as before.
    const auto after = timeline(pic);
    ASSERT_EQ(before.size(), after.size() + 1);
    for (size_t i = 0; i < after.size(); ++i)
        EXPECT_TRUE(before[i + 1].image == after[i].image) << i;
}

TEST(PictureOptimise, RefusedCombinationAndEmptyPicture)
{
    TGIFPicture pic;
    build(pic, 1, 1, {kRed, kBlue}, {{0, 0, 1, 1, {1}}, {0, 0, 1, 1, {0}}});
    EXPECT_EQ(giftest::raisedBy([&] { pic.Optimise(TGIFOptimizeOptions{opReduceColors}, reCustomPalette); }),
              "Invalid reduction method");
    EXPECT_EQ(pic.images().count(), 2);
    pic.Optimise(TGIFOptimizeOptions{opReduceColors, opCleanup}, reCustomPalette);
    TGIFPicture empty;
    empty.Optimise(TGIFOptimizeOptions{opColorMaps, opCleanup, opMerge, opCrop});
    EXPECT_TRUE(empty.isEmpty());
}
