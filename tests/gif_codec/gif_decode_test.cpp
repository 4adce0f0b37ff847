// The reader against files written by other encoders, and against malformed input.
#include "gif_codec/gif_test_util.h"
#include "gif_codec/giflib_oracle.h"

#include <gtest/gtest.h>

using namespace giftest;

namespace {

std::vector<uint8_t> mapBytes(const TGIFColorMap& m)
{
    std::vector<uint8_t> out;
    for (const TGIFColor& c : m.entries())
        out.insert(out.end(), {c.red, c.green, c.blue});
    return out;
}

// Our tree must say what giflib read from the same bytes.
void expectSameAsOracle(const gif::Image& img, const giforacle::Picture& ref)
{
    ASSERT_EQ(img.width(), ref.width);
    ASSERT_EQ(img.height(), ref.height);
    EXPECT_EQ(mapBytes(img.globalColorMap()), ref.globalMap);
    ASSERT_EQ(img.images().count(), int(ref.frames.size()));
    for (int i = 0; i < img.images().count(); ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        const TGIFSubImage& f = img.images()[i];
        const giforacle::Frame& r = ref.frames[size_t(i)];
        EXPECT_EQ(f.left(), r.left);
        EXPECT_EQ(f.top(), r.top);
        ASSERT_EQ(f.width(), r.width);
        ASSERT_EQ(f.height(), r.height);
        EXPECT_EQ(f.interlaced(), r.interlaced);
        EXPECT_EQ(mapBytes(f.colorMap()), r.map);
        ASSERT_EQ(f.dataSize(), r.pixels.size());
        EXPECT_TRUE(std::equal(r.pixels.begin(), r.pixels.end(), f.data()));
        const TGIFGraphicControlExtension* gce = f.graphicControlExtension();
        ASSERT_EQ(gce != nullptr, r.hasGcb);
        if (gce) {
            EXPECT_EQ(int(gce->disposal()), r.disposal);
            EXPECT_EQ(gce->delay(), r.delay);
            EXPECT_EQ(gce->transparent() ? gce->transparentColorIndex() : -1, r.transparent);
            EXPECT_EQ(f.hasTransparency(), r.transparent >= 0);
        }
        std::vector<std::string> comments;
        int loops = -1;
        for (int k = 0; k < f.extensions().count(); ++k) {
            if (auto* c = dynamic_cast<const TGIFCommentExtension*>(&f.extensions()[k]))
                comments.insert(comments.end(), c->comment.begin(), c->comment.end());
            if (auto* l = dynamic_cast<const TGIFAppExtNSLoop*>(&f.extensions()[k]))
                loops = l->loops;
        }
        EXPECT_EQ(comments, r.comments);
        EXPECT_EQ(loops, r.loops);
    }
}

} // namespace

TEST(GifDecodeOracle, GiflibFilesOfEveryCodeSizeDecodeToGiflibsPixels)
{
    std::mt19937 rng(101);
    for (int bits = 1; bits <= 8; ++bits)
        for (int interlaced = 0; interlaced < 2; ++interlaced)
            for (Texture t : {Texture::Noise, Texture::Runs, Texture::Blocks}) {
                SCOPED_TRACE("bits " + std::to_string(bits) + " interlaced " + std::to_string(interlaced));
                const int colors = 1 << bits;
                giforacle::Picture p;
                p.width = 1 + int(rng() % 70);
                p.height = 1 + int(rng() % 50);
                giforacle::Frame f;
                f.width = p.width;
                f.height = p.height;
                f.interlaced = interlaced != 0;
                f.pixels = makePixels(rng, f.width, f.height, colors, t);
                // Local and global maps in turn.
                if ((bits + interlaced) % 2)
                    p.globalMap = makePalette(rng, colors);
                else
                    f.map = makePalette(rng, colors);
                p.frames.push_back(f);
                const std::vector<uint8_t> bytes = giforacle::encode(p);
                gif::Image img;
                WarningLog log;
                log.attach(img);
                img.loadFromMemory(bytes);
                EXPECT_TRUE(log.messages.empty());
                expectSameAsOracle(img, giforacle::decode(bytes));
            }
}

TEST(GifDecodeOracle, FullTablesAndSeveralFramesWithExtensionsMatchGiflib)
{
    std::mt19937 rng(7);
    giforacle::Picture p;
    p.width = 240;
    p.height = 180;
    p.background = 3;
    p.globalMap = makePalette(rng, 256);
    // Noise in 256 colours fills the 4096-entry table many times over.
    giforacle::Frame big;
    big.width = 240;
    big.height = 180;
    big.pixels = makePixels(rng, 240, 180, 256, Texture::Noise);
    big.hasGcb = true;
    big.delay = 25;
    big.loops = 3;
    big.comments = {"first frame", std::string(300, 'c')};
    p.frames.push_back(big);
    for (int i = 0; i < 4; ++i) {
        giforacle::Frame f;
        f.left = 10 * i;
        f.top = 7 * i;
        f.width = 50 + 13 * i;
        f.height = 40 + 5 * i;
        f.interlaced = i % 2 == 1;
        const int colors = i % 2 ? 16 : 256;
        if (i % 2)
            f.map = makePalette(rng, colors);
        f.pixels = makePixels(rng, f.width, f.height, colors, i == 3 ? Texture::Blocks : Texture::Runs);
        f.hasGcb = true;
        f.disposal = i % 4;
        f.delay = 5 + i;
        f.transparent = i % 2 ? 2 : -1;
        p.frames.push_back(f);
    }
    const std::vector<uint8_t> bytes = giforacle::encode(p);
    gif::Image img;
    WarningLog log;
    log.attach(img);
    img.loadFromMemory(bytes);
    EXPECT_TRUE(log.messages.empty());
    expectSameAsOracle(img, giforacle::decode(bytes));
    EXPECT_EQ(img.header().backgroundColorIndex(), 3);
}

TEST(GifDecodeOracle, ImageMagickFilesDecodeToImageMagicksOwnPixels)
{
    const auto dir = scratchDir("magick_decode");
    std::mt19937 rng(11);
    struct Case {
        int colors, width, height;
        bool interlaced;
    };
    const Case cases[] = {{2, 33, 17, false}, {3, 8, 41, true}, {13, 57, 9, false}, {64, 31, 29, true},
                          {200, 70, 45, false}, {256, 64, 64, true}};
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE("colors " + std::to_string(c.colors));
        const std::vector<uint8_t> pal = makePalette(rng, c.colors);
        std::vector<uint8_t> idx = makePixels(rng, c.width, c.height, c.colors, Texture::Runs);
        for (int k = 0; k < c.colors && size_t(k) < idx.size(); ++k)
            idx[size_t(k)] = uint8_t(k); // every colour present
        std::vector<uint8_t> rgb;
        for (uint8_t v : idx)
            rgb.insert(rgb.end(), pal.begin() + 3 * v, pal.begin() + 3 * v + 3);
        const auto ppm = dir / ("in" + std::to_string(n) + ".ppm");
        const auto gif = dir / ("out" + std::to_string(n) + ".gif");
        const auto raw = dir / ("out" + std::to_string(n) + ".rgb");
        ++n;
        writePpm(ppm, c.width, c.height, rgb);
        ASSERT_EQ(run(std::string(kConvert) + " " + ppm.string() + (c.interlaced ? " -interlace GIF " : " ") +
                      gif.string()),
                  0);
        ASSERT_EQ(run(std::string(kConvert) + " " + gif.string() + " -depth 8 rgb:" + raw.string()), 0);
        gif::Image img;
        img.LoadFromFile(gif.string());
        ASSERT_EQ(img.images().count(), 1);
        EXPECT_EQ(img.images()[0].interlaced(), c.interlaced);
        EXPECT_EQ(frameRgb(img.images()[0]), readFile(raw));
        EXPECT_EQ(frameRgb(img.images()[0]), rgb);
    }
}

TEST(GifDecodeOracle, ImageMagickAnimationWithLoopAndDelays)
{
    const auto dir = scratchDir("magick_anim");
    std::mt19937 rng(12);
    const std::vector<uint8_t> pal = makePalette(rng, 6);
    std::string cmd = std::string(kConvert) + " -delay 7 -loop 2";
    std::vector<std::vector<uint8_t>> frames;
    for (int k = 0; k < 3; ++k) {
        std::vector<uint8_t> rgb;
        for (uint8_t v : makePixels(rng, 29, 19, 6, Texture::Noise))
            rgb.insert(rgb.end(), pal.begin() + 3 * v, pal.begin() + 3 * v + 3);
        const auto ppm = dir / ("f" + std::to_string(k) + ".ppm");
        writePpm(ppm, 29, 19, rgb);
        cmd += " " + ppm.string();
        frames.push_back(rgb);
    }
    const auto gif = dir / "anim.gif";
    ASSERT_EQ(run(cmd + " " + gif.string()), 0);
    gif::Image img;
    img.LoadFromFile(gif.string());
    ASSERT_EQ(img.images().count(), 3);
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        const TGIFSubImage& f = img.images()[k];
        ASSERT_NE(f.graphicControlExtension(), nullptr);
        EXPECT_EQ(f.graphicControlExtension()->delay(), 7);
        const auto raw = dir / ("f" + std::to_string(k) + ".rgb");
        ASSERT_EQ(run(std::string(kConvert) + " '" + gif.string() + "[" + std::to_string(k) + "]' -depth 8 rgb:" +
                      raw.string()),
                  0);
        EXPECT_EQ(frameRgb(f), readFile(raw));
        EXPECT_EQ(frameRgb(f), frames[size_t(k)]);
    }
    // The loop count as giflib reads it from the same file.
    const int loops = giforacle::decode(readFile(gif)).frames[0].loops;
    ASSERT_GE(loops, 0);
    bool loop = false;
    for (int k = 0; k < img.images()[0].extensions().count(); ++k)
        if (auto* l = dynamic_cast<const TGIFAppExtNSLoop*>(&img.images()[0].extensions()[k]))
            loop = l->loops == loops;
    EXPECT_TRUE(loop);
}

// ---- the container ---------------------------------------------------------------------------

namespace {
// One 2x2 frame of literal codes 0,1,2,3 (min code size 2).
std::vector<uint8_t> twoByTwoCodes()
{
    // The table reaches 8 entries after the third literal, so the codes grow to 4 bits.
    CodePacker p;
    for (int v : {4, 0, 1, 2})
        p.put(v, 3);
    p.put(3, 4);
    p.put(5, 4);
    return p.finish();
}
} // namespace

TEST(GifContainer, SignatureMayFollowFourBytesOfOtherDataButNotFive)
{
    GifAssembler g;
    g.header(2, 2, 2).descriptor(0, 0, 2, 2).imageData(2, twoByTwoCodes()).trailer();
    for (size_t junk : {0u, 4u, 5u}) {
        std::vector<uint8_t> bytes(junk, 'x');
        bytes.insert(bytes.end(), g.bytes.begin(), g.bytes.end());
        gif::Image img;
        if (junk <= 4) {
            img.loadFromMemory(bytes);
            EXPECT_EQ(img.images().count(), 1);
        } else {
            try {
                img.loadFromMemory(bytes);
                FAIL();
            } catch (const GIFException& e) {
                EXPECT_STREQ(e.what(), "Invalid GIF signature");
            }
        }
    }
    GifAssembler odd;
    odd.header(2, 2, 2, "7z!").descriptor(0, 0, 2, 2).imageData(2, twoByTwoCodes()).trailer();
    odd.bytes[0] = 'g';
    gif::Image img;
    WarningLog log;
    log.attach(img);
    img.loadFromMemory(odd.bytes);
    EXPECT_TRUE(log.messages.empty());
    EXPECT_EQ(img.images()[0].pixel(1, 1), 3);
}

TEST(GifContainer, ZeroSizedDescriptorTakesTheScreenSizeWithOneWarning)
{
    GifAssembler g;
    g.header(2, 2, 2).descriptor(0, 0, 0, 2).imageData(2, twoByTwoCodes()).trailer();
    gif::Image img;
    WarningLog log;
    log.attach(img);
    img.loadFromMemory(g.bytes);
    EXPECT_EQ(log.messages, std::vector<std::string>{"Image exceeds Logical Screen size"});
    EXPECT_EQ(img.images()[0].width(), 2);
    EXPECT_EQ(img.images()[0].pixel(0, 1), 2);
}

TEST(GifContainer, ZeroSizeScreenLoadsEmptyFrameWithWarnings)
{
    GifAssembler g;
    g.header(0, 0, 2).graphicControl(0, 0, 1).descriptor(0, 0, 0, 0).imageData(2, twoByTwoCodes()).trailer();
    gif::Image img;
    WarningLog log;
    log.attach(img);
    img.loadFromMemory(g.bytes);
    ASSERT_EQ(img.images().count(), 1);
    EXPECT_TRUE(img.images()[0].empty());
    EXPECT_TRUE(log.has("Image exceeds Logical Screen size"));
    EXPECT_FALSE(log.has("Invalid Image trailer"));
}

TEST(GifContainer, ZeroBytesBetweenBlocksAreSkippedAndAStrayByteEndsTheFrames)
{
    GifAssembler g;
    g.header(2, 2, 2).raw({0, 0}).descriptor(0, 0, 2, 2).imageData(2, twoByTwoCodes()).raw({0});
    g.descriptor(0, 0, 2, 2).imageData(2, twoByTwoCodes()).raw({0x99});
    g.descriptor(0, 0, 2, 2).imageData(2, twoByTwoCodes()).trailer();
    gif::Image img;
    WarningLog log;
    log.attach(img);
    img.loadFromMemory(g.bytes);
    EXPECT_EQ(img.images().count(), 2);
    EXPECT_EQ(log.messages, (std::vector<std::string>{"Unknown GIF block type", "Invalid Image trailer"}));
}

TEST(GifContainer, ApplicationExtensionsByBlockSize)
{
    GifAssembler g;
    g.header(2, 2, 2);
    const size_t first = g.bytes.size();
    g.raw({'!', 0xFF, 11}).raw({'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'});
    g.raw({3, 1, 5, 0, 5, 2, 0x10, 0x20, 0, 0, 0});
    g.raw({'!', 0xFF, 10}).raw({'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', '1', '2'}).raw({2, 9, 8, 1, 7, 0});
    g.raw({'!', 0xFF, 11}).raw({'O', 'T', 'H', 'E', 'R', 'A', 'P', 'P', '1', '.', '0'}).raw({1, 42, 0});
    const std::vector<uint8_t> extensions(g.bytes.begin() + long(first), g.bytes.end());
    g.descriptor(0, 0, 2, 2).imageData(2, twoByTwoCodes()).trailer();
    gif::Image img;
    WarningLog log;
    log.attach(img);
    img.loadFromMemory(g.bytes);
    EXPECT_TRUE(log.messages.empty());
    const TGIFExtensionList& ext = img.images()[0].extensions();
    ASSERT_EQ(ext.count(), 3);
    auto* loop = dynamic_cast<const TGIFAppExtNSLoop*>(&ext[0]);
    ASSERT_NE(loop, nullptr);
    EXPECT_EQ(loop->loops, 5);
    EXPECT_EQ(loop->bufferSize, 0x2010u);
    // Size 10: the identifier's last byte is the first sub-block's length, read again.
    auto* ten = dynamic_cast<const TGIFUnknownAppExtension*>(&ext[1]);
    ASSERT_NE(ten, nullptr);
    EXPECT_EQ(ten->identifierText(), "ABCDEFGH12\x02");
    ASSERT_EQ(ten->blocks.size(), 2u);
    EXPECT_EQ(ten->blocks[0].data, (std::vector<uint8_t>{9, 8}));
    auto* other = dynamic_cast<const TGIFUnknownAppExtension*>(&ext[2]);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->identifierText(), "OTHERAPP1.0");
    EXPECT_EQ(img.images()[0].pixel(1, 0), 1);
    // Each is written back as it was read, block size included.
    const std::vector<uint8_t> saved = img.saveToMemory();
    EXPECT_NE(std::search(saved.begin(), saved.end(), extensions.begin(), extensions.end()), saved.end());
}

TEST(GifContainer, FatalErrorsRaiseAndPutTheStreamBack)
{
    struct Case {
        std::vector<uint8_t> bytes;
        const char* message;
    };
    std::vector<Case> cases;
    {
        GifAssembler g;
        g.header(2, 2, 2).raw({'!', 0x02, 1, 0, 0}).trailer();
        cases.push_back({g.bytes, "Unknown extension type"});
    }
    {
        GifAssembler g;
        g.header(2, 2, 2).raw({'!', 0xFF, 11}).raw(std::vector<uint8_t>{'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'});
        g.raw({1, 1, 0}).trailer();
        cases.push_back({g.bytes, "Invalid GIF data"});
    }
    {
        GifAssembler g;
        g.header(2, 2, 2).raw({'!', 0xFF, 9}).raw({'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i'}).raw({1, 2, 0});
        cases.push_back({g.trailer().bytes, "Unsupported Application Extension block size"});
    }
    cases.push_back({{'G', 'I', 'F', '8'}, "Premature end of data"});
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = c.bytes;
        gif::InStream s(bytes);
        s.seek(0);
        gif::Image img;
        try {
            img.LoadFromStream(s);
            ADD_FAILURE() << c.message;
        } catch (const GIFException& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
        EXPECT_EQ(s.position(), 0u);
        EXPECT_TRUE(img.empty());
        EXPECT_EQ(img.globalColorMap().count(), 0);
    }
}

TEST(GifContainer, GraphicControlGivesTransparencyAndTruncatedDataKeepsTheFill)
{
    // 4x2 frame with transparent index 3; the data stops after two pixels (two clears pad
    // the codes to whole bytes) and the stream ends without a terminator.
    CodePacker p;
    for (int c : {4, 1, 2, 4, 4})
        p.put(c, 3);
    const std::vector<uint8_t> codes = p.finish();
    GifAssembler g;
    g.header(4, 2, 2).graphicControl(2, 9, 3).descriptor(0, 0, 4, 2);
    g.raw({2, uint8_t(codes.size())}).raw(codes);
    gif::Image img;
    WarningLog log;
    log.attach(img);
    img.loadFromMemory(g.bytes);
    ASSERT_EQ(img.images().count(), 1);
    const TGIFSubImage& f = img.images()[0];
    EXPECT_TRUE(f.hasTransparency());
    EXPECT_EQ(f.graphicControlExtension()->disposal(), dmBackground);
    EXPECT_EQ(f.transparentIndex(), 3);
    EXPECT_EQ(std::vector<uint8_t>(f.data(), f.data() + 8), (std::vector<uint8_t>{1, 2, 3, 3, 3, 3, 3, 3}));
    EXPECT_TRUE(log.has("Premature end of data"));
}

TEST(GifContainer, InterlacedFrameOfThreeRowsFillsRowsZeroTwoOne)
{
    CodePacker p;
    for (int v : {4, 1, 2, 3})
        p.put(v, 3);
    p.put(5, 4);
    GifAssembler g;
    g.header(1, 3, 2).descriptor(0, 0, 1, 3, 0x40).imageData(2, p.finish()).trailer();
    gif::Image img;
    img.loadFromMemory(g.bytes);
    const TGIFSubImage& f = img.images()[0];
    EXPECT_TRUE(f.interlaced());
    EXPECT_EQ(f.pixel(0, 0), 1);
    EXPECT_EQ(f.pixel(0, 2), 2);
    EXPECT_EQ(f.pixel(0, 1), 3);
}

TEST(GifContainer, EndOfStreamInsideTheBlocksKeepsTheFramesRead)
{
    GifAssembler g;
    g.header(2, 2, 2).descriptor(0, 0, 2, 2).imageData(2, twoByTwoCodes());
    {
        gif::Image img;
        WarningLog log;
        log.attach(img);
        img.loadFromMemory(g.bytes);
        EXPECT_EQ(img.images().count(), 1);
        EXPECT_TRUE(log.has("Premature end of data"));
    }
    g.raw({'!', 0xFE, 5, 'a', 'b'});
    {
        gif::Image img;
        WarningLog log;
        log.attach(img);
        img.loadFromMemory(g.bytes);
        EXPECT_EQ(img.images().count(), 1);
        EXPECT_TRUE(log.has("Premature end of data"));
    }
}

// ---- the LZW data ----------------------------------------------------------------------------

TEST(GifLzwDecoder, DeferredClearKeepsDecodingWithAFullTable)
{
    // Literals only: the table fills to 4096 entries without a clear, and decoding goes on at
    // 12 bits.
    CodePacker p;
    int size = 9, next = 258, limit = 512;
    p.put(256, size);
    std::vector<uint8_t> expect;
    const int total = 5000;
    for (int i = 0; i < total; ++i) {
        uint8_t v = uint8_t((i * 13) & 0xFF);
        expect.push_back(v);
        p.put(v, size);
        if (i > 0 && next < 4096) {
            ++next;
            if (next >= limit && limit < 4096) {
                limit *= 2;
                ++size;
            }
        }
    }
    p.put(257, size);
    GifAssembler g;
    g.header(100, 50, 8).descriptor(0, 0, 100, 50).imageData(8, p.finish()).trailer();
    gif::Image img;
    WarningLog log;
    log.attach(img);
    img.loadFromMemory(g.bytes);
    EXPECT_TRUE(log.messages.empty());
    const TGIFSubImage& f = img.images()[0];
    EXPECT_TRUE(std::equal(expect.begin(), expect.end(), f.data()));
    EXPECT_EQ(giforacle::decode(g.bytes).frames[0].pixels, expect);
}

TEST(GifLzwDecoder, CodesBeyondTheTableEndTheFrameWithAWarning)
{
    // Clear, literal 1, then code 7 while the next free code is 6 (it would point at itself).
    CodePacker p;
    p.put(4, 3);
    p.put(1, 3);
    p.put(7, 3);
    p.put(2, 3);
    GifAssembler g;
    g.header(3, 1, 2).descriptor(0, 0, 3, 1).imageData(2, p.finish());
    g.descriptor(0, 0, 2, 2).imageData(2, twoByTwoCodes()).trailer();
    gif::Image img;
    WarningLog log;
    log.attach(img);
    img.loadFromMemory(g.bytes);
    ASSERT_EQ(img.images().count(), 2);
    EXPECT_EQ(log.messages, std::vector<std::string>{"Invalid code in image data"});
    EXPECT_EQ(img.images()[0].pixel(0, 0), 1);
    EXPECT_EQ(img.images()[0].pixel(1, 0), 0);
    EXPECT_EQ(img.images()[1].pixel(1, 1), 3);
}

TEST(GifLzwDecoder, StringCodeRightAfterAClearIsRefused)
{
    CodePacker p;
    p.put(4, 3);
    p.put(6, 3);
    p.put(6, 3);
    GifAssembler g;
    g.header(3, 1, 2).descriptor(0, 0, 3, 1).imageData(2, p.finish()).trailer();
    gif::Image img;
    WarningLog log;
    log.attach(img);
    img.loadFromMemory(g.bytes);
    EXPECT_EQ(log.messages, std::vector<std::string>{"Invalid code in image data"});
}

TEST(GifLzwDecoder, EndCodeRightAfterAClearEndsTheData)
{
    CodePacker p;
    p.put(4, 3);
    p.put(5, 3);
    p.put(1, 3);
    p.put(1, 3);
    GifAssembler g;
    g.header(2, 1, 2).graphicControl(0, 0, 2).descriptor(0, 0, 2, 1).imageData(2, p.finish()).trailer();
    gif::Image img;
    WarningLog log;
    log.attach(img);
    img.loadFromMemory(g.bytes);
    EXPECT_TRUE(log.messages.empty());
    EXPECT_EQ(img.images()[0].pixel(0, 0), 2);
    EXPECT_EQ(img.images()[0].pixel(1, 0), 2);
}

TEST(GifLzwDecoder, MinimumCodeSizeOutsideTwoToEightSkipsTheFrameData)
{
    for (int size : {0, 1, 9, 12, 255}) {
        SCOPED_TRACE(size);
        GifAssembler g;
        g.header(2, 2, 2).descriptor(0, 0, 2, 2).imageData(size, twoByTwoCodes());
        g.descriptor(0, 0, 2, 2).imageData(2, twoByTwoCodes()).trailer();
        gif::Image img;
        WarningLog log;
        log.attach(img);
        img.loadFromMemory(g.bytes);
        ASSERT_EQ(img.images().count(), 2);
        EXPECT_EQ(log.messages, std::vector<std::string>{"Invalid LZW code size"});
        EXPECT_EQ(img.images()[0].pixel(1, 1), 0);
        EXPECT_EQ(img.images()[1].pixel(1, 1), 3);
    }
}

TEST(GifLzwDecoder, SurplusDataAfterTheLastPixelIsDrained)
{
    CodePacker p;
    for (int v : {4, 0, 1, 2})
        p.put(v, 3);
    for (int v : {3, 2, 1, 0, 1, 1})
        p.put(v, 4);
    std::vector<uint8_t> codes = p.finish();
    codes.resize(600, 0x55);
    GifAssembler g;
    g.header(2, 2, 2).descriptor(0, 0, 2, 2).imageData(2, codes);
    g.descriptor(0, 0, 2, 2).imageData(2, twoByTwoCodes()).trailer();
    gif::Image img;
    WarningLog log;
    log.attach(img);
    img.loadFromMemory(g.bytes);
    EXPECT_TRUE(log.messages.empty());
    EXPECT_EQ(img.images().count(), 2);
}

TEST(GifLzwDecoder, HugeDescriptorsAreRefusedCleanly)
{
    GifAssembler g;
    g.header(0xFFFF, 0xFFFF, 2).descriptor(0, 0, 0xFFFF, 0xFFFF).imageData(2, twoByTwoCodes()).trailer();
    gif::Image img;
    try {
        img.loadFromMemory(g.bytes);
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "Image too large");
    }
    GifAssembler small;
    small.header(100, 100, 2).descriptor(0, 0, 100, 100).imageData(2, twoByTwoCodes()).trailer();
    gif::Image limited;
    limited.maxPixels = 9999;
    EXPECT_THROW(limited.loadFromMemory(small.bytes), GIFException);
    limited.maxPixels = 10000;
    EXPECT_NO_THROW(limited.loadFromMemory(small.bytes));
}

// Frames without data are filled, so a few bytes of descriptors must not add up to more
// pixels than the stream could encode (about 4096 a byte), however many frames there are.
TEST(GifLzwDecoder, ManyEmptyFramesCannotAskForMoreThanTheStreamHolds)
{
    auto frames = [](int count, int side) {
        GifAssembler g;
        g.header(side, side, 1);
        for (int i = 0; i < count; ++i)
            g.descriptor(0, 0, side, side).raw({2, 0});
        g.trailer();
        return g.bytes;
    };
    const std::vector<uint8_t> greedy = frames(8, 1024);
    gif::Image img;
    img.maxPixels = 1 << 20;
    try {
        img.loadFromMemory(greedy);
        FAIL() << "8 frames of 1 M pixels from " << greedy.size() << " bytes";
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "Image too large");
    }
    EXPECT_EQ(img.images().count(), 0);

    // One frame may always take up to the limit; small frames are bounded by the bytes.
    gif::Image single;
    single.maxPixels = 1 << 20;
    single.loadFromMemory(frames(1, 1024));
    EXPECT_EQ(single.images().count(), 1);
    gif::Image many;
    many.maxPixels = 1 << 20;
    many.loadFromMemory(frames(200, 64));
    EXPECT_EQ(many.images().count(), 200);
}

TEST(GifLzwDecoder, EveryTruncationOfASmallFileEndsInWarningsOrAnException)
{
    std::mt19937 rng(5);
    giforacle::Picture p;
    p.width = 12;
    p.height = 9;
    p.globalMap = makePalette(rng, 8);
    for (int i = 0; i < 3; ++i) {
        giforacle::Frame f;
        f.left = i;
        f.width = 12 - i;
        f.height = 9;
        f.interlaced = i == 1;
        f.pixels = makePixels(rng, f.width, f.height, 8, Texture::Runs);
        f.hasGcb = true;
        f.transparent = i;
        f.loops = i == 0 ? 0 : -1;
        f.comments = {"c"};
        if (i == 2) {
            f.map = makePalette(rng, 4);
            f.pixels = makePixels(rng, f.width, f.height, 4, Texture::Noise);
        }
        p.frames.push_back(f);
    }
    const std::vector<uint8_t> bytes = giforacle::encode(p);
    int loaded = 0, refused = 0;
    for (size_t cut = 0; cut <= bytes.size(); ++cut) {
        std::vector<uint8_t> part(bytes.begin(), bytes.begin() + long(cut));
        gif::Image img;
        WarningLog log;
        log.attach(img);
        try {
            img.loadFromMemory(part);
            ++loaded;
            if (cut < bytes.size()) {
                EXPECT_FALSE(log.messages.empty()) << cut;
            }
        } catch (const GIFException&) {
            ++refused;
        }
    }
    EXPECT_GT(loaded, 0);
    EXPECT_GT(refused, 0);
}
