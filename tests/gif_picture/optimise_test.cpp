// Optimise: each step, alone and together, leaves what the animation shows (the composed
// pictures and when they appear) as it was.
#include "picture_test_util.h"

using namespace pictest;

namespace {

const TGIFColor kRed{255, 0, 0}, kBlue{0, 0, 255}, kGreen{0, 255, 0}, kDark{10, 20, 30}, kWhite{255, 255, 255},
    kUnused{1, 2, 3};

// An animation with something for every step: repeated pixels, a frame that shows nothing,
// transparent borders, disposals that a covering frame makes moot, an unused transparent
// index, a comment, an unused map entry as background.
void buildRich(TGIFPicture& pic)
{
    // clang-format off
    build(pic, 4, 3, {kRed, kBlue, kGreen, kDark, kWhite, kUnused},
          {
              {0, 0, 4, 3, {0, 1, 2, 0,
                            1, 1, 2, 2,
                            0, 0, 1, 1}, 10, 1},
              // Mostly what frame 0 shows there; two pixels differ.
              {1, 1, 3, 2, {1, 2, 3,
                            0, 1, 1}, 5, 1},
              // Shows nothing.
              {0, 0, 2, 2, {3, 3, 3, 3}, 7, 1, 3},
              // A white transparent border around two pixels; restores what was before it.
              {0, 0, 4, 3, {4, 4, 4, 4,
                            4, 2, 0, 4,
                            4, 4, 4, 4}, 6, 3, 4},
              // Restores the background, but the next frame covers it entirely.
              {2, 2, 2, 1, {3, 3}, 4, 2},
              {0, 0, 4, 3, {0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3}, 0, 1},
              // Its transparent index shows nowhere.
              {0, 0, 1, 1, {1}, 3, 1, 2},
          },
          0);
    // clang-format on
    pic.header().setBackgroundColorIndex(5);
    auto comment = std::make_unique<TGIFCommentExtension>(pic.images()[1]);
    comment->comment = {"made by hand"};
    pic.images()[1].extensions().insert(0, std::move(comment));
}

int countOf(const TGIFSubImage& f, int index)
{
    return int(std::count(f.data(), f.data() + f.dataSize(), uint8_t(index)));
}

}  // namespace

TEST(PictureOptimise, ColourMapsAreSortedByUse)
{
    TGIFPicture pic;
    buildRich(pic);
    const auto before = timeline(pic);
    const QColor background = pic.effectiveBackgroundColor();
    pic.Optimise(TGIFOptimizeOptions{opColorMaps});
    expectSameTimeline(before, timeline(pic));
    EXPECT_TRUE(pic.globalColorMap().optimized());
    // The most used colour comes first; the background colour is still there.
    EXPECT_EQ(pic.globalColorMap().data()[0], kBlue);
    EXPECT_EQ(pic.effectiveBackgroundColor(), background);
}

TEST(PictureOptimise, CleanupDropsWhatShowsNothing)
{
    TGIFPicture pic;
    buildRich(pic);
    const auto before = timeline(pic);
    pic.Optimise(TGIFOptimizeOptions{opCleanup});
    expectSameTimeline(before, timeline(pic));
    const TGIFPictureList& frames = pic.images();
    ASSERT_EQ(frames.count(), 7);
    // The comment goes; the loop extension of frame 0 stays.
    for (int i = 0; i < frames[1].extensions().count(); ++i)
        EXPECT_EQ(dynamic_cast<TGIFCommentExtension*>(&frames[1].extensions()[i]), nullptr);
    EXPECT_NE(dynamic_cast<TGIFAppExtNSLoop*>(&frames[0].extensions()[0]), nullptr);
    // Frame 4's disposal is moot: frame 5 covers it without transparency.
    EXPECT_EQ(frames[4].graphicControlExtension()->disposal(), dmNone);
    // Frame 3 keeps restoring to previous (frame 4 does not cover it).
    EXPECT_EQ(frames[3].graphicControlExtension()->disposal(), dmPrevious);
    EXPECT_EQ(frames[6].transparentIndex(), -1);
    EXPECT_FALSE(frames[6].graphicControlExtension()->transparent());
}

TEST(PictureOptimise, MergeMakesRepeatedPixelsTransparent)
{
    TGIFPicture pic;
    buildRich(pic);
    const auto before = timeline(pic);
    const int globalCount = pic.globalColorMap().count();
    pic.Optimise(TGIFOptimizeOptions{opMerge});
    expectSameTimeline(before, timeline(pic));
    const TGIFSubImage& f1 = pic.images()[1];
    // Frame 1 had no transparency. It may borrow another frame's transparent entry of the
    // shared map only if it does not show that entry: not frame 2's dark, but frame 3's white.
    EXPECT_EQ(f1.transparentIndex(), 4);
    EXPECT_EQ(pic.globalColorMap().count(), globalCount);
    const int t = f1.transparentIndex();
    EXPECT_EQ(countOf(f1, t), 5);  // five of its six pixels repeat frame 0
    EXPECT_EQ(f1.pixel(2, 0), 3);
}

TEST(PictureOptimise, CropCutsTransparentBordersAndEmptyFrames)
{
    TGIFPicture pic;
    buildRich(pic);
    const auto before = timeline(pic);
    pic.Optimise(TGIFOptimizeOptions{opCrop});
    expectSameTimeline(before, timeline(pic));
    const TGIFPictureList& frames = pic.images();
    ASSERT_EQ(frames.count(), 6);  // frame 2 showed nothing
    // Its time went to the frame before it: 5 + 7.
    EXPECT_EQ(frames[1].graphicControlExtension()->delay(), 12);
    // The former frame 3 is down to its two pixels.
    EXPECT_EQ(boundsOf(frames[2]), QRect(1, 1, 2, 1));
    EXPECT_EQ(frames[2].pixel(0, 0), 2);
    EXPECT_EQ(frames[2].pixel(1, 0), 0);
}

TEST(PictureOptimise, AllStepsTogether)
{
    TGIFPicture pic;
    buildRich(pic);
    const auto before = timeline(pic);
    pic.Optimise(TGIFOptimizeOptions{opColorMaps, opCleanup, opMerge, opCrop, opReduceColors});
    expectSameTimeline(before, timeline(pic));
    EXPECT_LT(pic.images().count(), 7);
    // And it still saves and reads back the same.
    TGIFPicture back;
    back.loadFromBytes(pic.saveToBytes());
    expectSameTimeline(before, timeline(back));
}

TEST(PictureOptimise, MergeReusesASharedTransparentIndexOnlyWhenUnused)
{
    TGIFPicture pic;
    // Frame 0 marks green (2) transparent; frame 1 shows green, so it may not borrow it.
    build(pic, 2, 1, {kRed, kBlue, kGreen}, {{0, 0, 2, 1, {0, 1}, 5, 1, 2}, {0, 0, 2, 1, {0, 2}, 5, 1}});
    auto before = timeline(pic);
    pic.Optimise(TGIFOptimizeOptions{opMerge});
    expectSameTimeline(before, timeline(pic));
    EXPECT_EQ(pic.images()[1].transparentIndex(), 3);
    EXPECT_EQ(pic.images()[1].pixel(1, 0), 2);

    // Here frame 1 does not use green: the shared entry is reused and no entry is added.
    build(pic, 2, 1, {kRed, kBlue, kGreen}, {{0, 0, 2, 1, {0, 1}, 5, 1, 2}, {0, 0, 2, 1, {0, 0}, 5, 1}});
    before = timeline(pic);
    pic.Optimise(TGIFOptimizeOptions{opMerge});
    expectSameTimeline(before, timeline(pic));
    EXPECT_EQ(pic.images()[1].transparentIndex(), 2);
    EXPECT_EQ(pic.globalColorMap().count(), 3);
    EXPECT_EQ(pic.images()[1].pixel(0, 0), 2);
    EXPECT_EQ(pic.images()[1].pixel(1, 0), 0);

    // A frame before it that restores to the background is not merged against.
    build(pic, 2, 1, {kRed, kBlue, kGreen}, {{0, 0, 2, 1, {0, 1}, 5, 2}, {0, 0, 2, 1, {0, 1}, 5, 1}});
    before = timeline(pic);
    pic.Optimise(TGIFOptimizeOptions{opMerge});
    expectSameTimeline(before, timeline(pic));
    EXPECT_EQ(pic.images()[1].transparentIndex(), -1);
}

TEST(PictureOptimise, CropKeepsBackgroundFramesAndTheLoop)
{
    TGIFPicture pic;
    // Frame 1 restores to the background: cropping it would shrink the area cleared.
    build(pic, 3, 1, {kRed, kBlue, kGreen},
          {{0, 0, 3, 1, {0, 0, 0}, 5, 1}, {0, 0, 3, 1, {2, 1, 2}, 5, 2, 2}, {0, 0, 1, 1, {1}, 5, 1}});
    auto before = timeline(pic);
    pic.Optimise(TGIFOptimizeOptions{opCrop});
    expectSameTimeline(before, timeline(pic));
    EXPECT_EQ(pic.images()[1].width(), 3);

    // Frame 0 shows nothing: it goes, the loop extension moves to the new frame 0 and its
    // time to the last frame.
    build(pic, 2, 1, {kRed, kBlue, kGreen},
          {{0, 0, 2, 1, {2, 2}, 8, 1, 2}, {0, 0, 2, 1, {0, 1}, 5, 1}, {0, 0, 1, 1, {1}, 5, 1}}, 3);
    before = timeline(pic);
    pic.Optimise(TGIFOptimizeOptions{opCrop});
    ASSERT_EQ(pic.images().count(), 2);
    auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(&pic.images()[0].extensions()[0]);
    ASSERT_NE(loop, nullptr);
    EXPECT_EQ(loop->loops, 3);
    EXPECT_EQ(pic.images()[1].graphicControlExtension()->delay(), 13);
    const auto after = timeline(pic);
    // The canvas alone was on show first; from there on everything is as before.
    ASSERT_EQ(before.size(), after.size() + 1);
    for (size_t i = 0; i < after.size(); ++i)
        EXPECT_TRUE(before[i + 1].image == after[i].image) << i;
}

TEST(PictureOptimise, CropKeepsAnEmptyFrameThatShowsTheDisposalBeforeIt)
{
    // Frame 2 shows nothing of its own, but while it is up frame 1 has gone (to the
    // background or to what was before it).
    for (int disposal : {2, 3}) {
        SCOPED_TRACE(disposal);
        TGIFPicture pic;
        build(pic, 2, 1, {kRed, kBlue, kGreen},
              {{0, 0, 2, 1, {0, 0}, 5, 1},
               {0, 0, 1, 1, {1}, 5, disposal},
               {0, 0, 2, 1, {2, 2}, 5, 1, 2},
               {1, 0, 1, 1, {1}, 5, 1}});
        const auto before = timeline(pic);
        pic.Optimise(TGIFOptimizeOptions{opCrop});
        expectSameTimeline(before, timeline(pic));
        EXPECT_EQ(pic.images().count(), 4);
    }
    // After a frame that stays, the empty frame goes and its time with the frame before.
    TGIFPicture pic;
    build(pic, 2, 1, {kRed, kBlue, kGreen},
          {{0, 0, 2, 1, {0, 0}, 5, 1}, {0, 0, 1, 1, {1}, 5, 1}, {0, 0, 2, 1, {2, 2}, 5, 1, 2}, {1, 0, 1, 1, {1}, 5, 1}});
    const auto before = timeline(pic);
    pic.Optimise(TGIFOptimizeOptions{opCrop});
    expectSameTimeline(before, timeline(pic));
    ASSERT_EQ(pic.images().count(), 3);
    EXPECT_EQ(pic.images()[1].graphicControlExtension()->delay(), 10);
}

TEST(PictureOptimise, RefusedCombinationAndEmptyPicture)
{
    TGIFPicture pic;
    build(pic, 1, 1, {kRed, kBlue}, {{0, 0, 1, 1, {1}}, {0, 0, 1, 1, {0}}});
    try {
        pic.Optimise(TGIFOptimizeOptions{opReduceColors}, reCustomPalette);
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "Invalid reduction method");
    }
    EXPECT_EQ(pic.images().count(), 2);
    pic.Optimise(TGIFOptimizeOptions{opReduceColors, opCleanup}, reCustomPalette);
    TGIFPicture empty;
    empty.Optimise(TGIFOptimizeOptions{opColorMaps, opCleanup, opMerge, opCrop});
    EXPECT_TRUE(empty.isEmpty());
}
