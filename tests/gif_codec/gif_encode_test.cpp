// The writer and both image-data encoders, checked by decoding what they write with giflib,
// ImageMagick and this codec's own reader.
#include "gif_codec/gif_test_util.h"
#include "gif_codec/giflib_oracle.h"
#include "graphics/gif/encoder.h"

#include <gtest/gtest.h>

using namespace giftest;

namespace {

// A one-frame image over a map of `colors` entries (global or local).
std::unique_ptr<gif::Image> makeImage(const std::vector<uint8_t>& pixels, int w, int h, int colors, bool local,
                                      bool interlaced, TGIFCompression compression)
{
    auto img = std::make_unique<gif::Image>();
    img->Compression = compression;
    auto frame = std::make_unique<TGIFSubImage>(img.get());
    TGIFColorMap& map = local ? static_cast<TGIFColorMap&>(frame->colorMap()) : img->globalColorMap();
    for (int i = 0; i < colors; ++i)
        map.add(makeColor(uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)));
    frame->setBounds(0, 0, w, h);
    frame->setInterlaced(interlaced);
    std::copy(pixels.begin(), pixels.end(), frame->data());
    img->images().add(std::move(frame));
    return img;
}

// The image data of one frame as the encoder writes it.
std::vector<uint8_t> encodeData(TGIFEncoder& enc, const std::vector<uint8_t>& px, int w, int h, int bits,
                                bool interlaced = false)
{
    gif::OutStream out;
    enc.Encode(out, bits, 1 << bits, px.data(), interlaced, w, h);
    return out.bytes();
}

// Expected image data from a list of (code, width) pairs packed independently.
std::vector<uint8_t> expectedData(int minCodeSize, std::initializer_list<std::pair<int, int>> codes)
{
    CodePacker p;
    for (auto [code, size] : codes)
        p.put(code, size);
    std::vector<uint8_t> out{uint8_t(minCodeSize)};
    const std::vector<uint8_t> blocks = subBlocks(p.finish());
    out.insert(out.end(), blocks.begin(), blocks.end());
    return out;
}

std::vector<uint8_t> decodeWithGiflib(const std::vector<uint8_t>& file, int frame = 0)
{
    return giforacle::decode(file).frames.at(size_t(frame)).pixels;
}

} // namespace

TEST(GifEncoder, ByteVectorsOfSmallImagesForBothEncoders)
{
    std::vector<uint8_t> alternating(10), ramp(16);
    for (int i = 0; i < 10; ++i)
        alternating[size_t(i)] = uint8_t(i % 2);
    for (int i = 0; i < 16; ++i)
        ramp[size_t(i)] = uint8_t(i);
    const std::vector<uint8_t> one{1}, zeros(16, 0);
    struct Case {
        const char* name;
        const std::vector<uint8_t>& px;
        int w, h, bits;
        std::vector<uint8_t> lzw, rle;
    };
    const Case cases[] = {
        {"1x1", one, 1, 1, 1, expectedData(2, {{4, 3}, {1, 3}, {5, 3}}), expectedData(2, {{4, 3}, {1, 3}, {5, 3}})},
        {"4x4", zeros, 4, 4, 1, expectedData(2, {{4, 3}, {0, 3}, {6, 3}, {7, 3}, {8, 4}, {9, 4}, {0, 4}, {5, 4}}),
         // One run: literal, then runs of 2, 3, 4, 5 by codes that are defined as they are used.
         expectedData(2, {{4, 3}, {0, 3}, {6, 3}, {7, 3}, {8, 4}, {9, 4}, {0, 4}, {5, 4}})},
        {"10x1", alternating, 10, 1, 1,
         expectedData(2, {{4, 3}, {0, 3}, {1, 3}, {6, 3}, {8, 4}, {7, 4}, {1, 4}, {5, 4}}),
         // Single pixels: the codes widen after three and a clear follows the ninth.
         expectedData(2, {{4, 3},
                          {0, 3},
                          {1, 3},
                          {0, 3},
                          {1, 4},
                          {0, 4},
                          {1, 4},
                          {0, 4},
                          {1, 4},
                          {0, 4},
                          {4, 4},
                          {1, 3},
                          {5, 3}})},
        {"16x1", ramp, 16, 1, 4,
         expectedData(4, {{16, 5}, {0, 5}, {1, 5}, {2, 5}, {3, 5}, {4, 5}, {5, 5}, {6, 5}, {7, 5}, {8, 5}, {9, 5},
                          {10, 5}, {11, 5}, {12, 5}, {13, 5}, {14, 5}, {15, 6}, {17, 6}}),
         expectedData(4, {{16, 5}, {0, 5}, {1, 5}, {2, 5}, {3, 5}, {4, 5}, {5, 5}, {6, 5}, {7, 5}, {8, 5}, {9, 5},
                          {10, 5}, {11, 5}, {12, 5}, {13, 5}, {16, 5}, {14, 5}, {15, 5}, {17, 5}})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TLZWEncoder lzw;
        TRLEEncoder rle;
        const std::vector<uint8_t> lzwBytes = encodeData(lzw, c.px, c.w, c.h, c.bits);
        const std::vector<uint8_t> rleBytes = encodeData(rle, c.px, c.w, c.h, c.bits);
        EXPECT_EQ(lzwBytes, c.lzw);
        EXPECT_EQ(rleBytes, c.rle);
        // And giflib reads both back to the pixels.
        for (const auto* data : {&lzwBytes, &rleBytes}) {
            GifAssembler g;
            g.header(c.w, c.h, c.bits).descriptor(0, 0, c.w, c.h).raw(*data).trailer();
            EXPECT_EQ(decodeWithGiflib(g.bytes), c.px);
        }
    }
}

TEST(GifEncoder, RoundTripsOverRandomSizesDepthsAndRunsStayWithinTwelveBits)
{
    std::mt19937 rng(1102);
    int files = 0;
    for (int compression = 0; compression < 2; ++compression)
        for (int bits = 1; bits <= 8; ++bits)
            for (Texture t : {Texture::Noise, Texture::Runs, Texture::Blocks}) {
                const int w = 1 + int(rng() % 90), h = 1 + int(rng() % 60);
                const int colors = bits == 8 ? 256 : (1 << bits) - int(rng() % 2);
                const bool interlaced = rng() % 2;
                const bool local = rng() % 2;
                SCOPED_TRACE("compression " + std::to_string(compression) + " bits " + std::to_string(bits) + " " +
                             std::to_string(w) + "x" + std::to_string(h));
                const std::vector<uint8_t> px = makePixels(rng, w, h, std::max(colors, 1), t);
                auto img = makeImage(px, w, h, colors, local, interlaced, TGIFCompression(compression));
                const std::vector<uint8_t> file = img->saveToMemory();
                ++files;
                EXPECT_EQ(decodeWithGiflib(file), px);
                gif::Image back;
                WarningLog log;
                log.attach(back);
                back.loadFromMemory(file);
                EXPECT_TRUE(log.messages.empty());
                EXPECT_TRUE(std::equal(px.begin(), px.end(), back.images()[0].data()));
                EXPECT_EQ(back.images()[0].interlaced(), interlaced);
            }
    EXPECT_EQ(files, 48);
}

TEST(GifEncoder, LongRunsAndFullTablesNeverWidenPastTwelveBits)
{
    std::mt19937 rng(9);
    struct Case {
        int w, h, bits;
        std::vector<uint8_t> px;
    };
    std::vector<Case> cases;
    // Noise in 256 colours: the LZW table fills and clears many times.
    cases.push_back({300, 200, 8, makePixels(rng, 300, 200, 256, Texture::Noise)});
    // One huge run, then runs of every length in turn, in two depths.
    for (int bits : {2, 8}) {
        std::vector<uint8_t> px(200000, 1);
        size_t i = 60000;
        for (int len = 1; i < px.size(); ++len)
            for (int k = 0; k < len && i < px.size(); ++k)
                px[i++] = uint8_t((len % 3) + (bits == 8 ? len % 200 : 0));
        cases.push_back({500, 400, bits, px});
    }
    // Long runs of one colour broken by single pixels: later runs reuse the run codes that
    // the first one left in the decoder's table.
    for (int bits : {2, 8}) {
        std::vector<uint8_t> px;
        for (int i = 0; px.size() < 120000; ++i) {
            px.insert(px.end(), size_t(300 + (37 * i) % 2000), 3);
            px.push_back(2);
        }
        px.resize(120000);
        cases.push_back({400, 300, bits, px});
    }
    // Runs of random length of a few colours.
    {
        std::vector<uint8_t> px;
        std::uniform_int_distribution<int> len(1, 3000), col(0, 2);
        while (px.size() < 250000)
            px.insert(px.end(), size_t(len(rng)), uint8_t(col(rng) * 100));
        px.resize(250000);
        cases.push_back({500, 500, 8, px});
    }
    for (const Case& c : cases)
        for (int compression = 0; compression < 2; ++compression) {
            SCOPED_TRACE("bits " + std::to_string(c.bits) + " compression " + std::to_string(compression));
            std::unique_ptr<TGIFEncoder> enc;
            if (compression)
                enc = std::make_unique<TRLEEncoder>();
            else
                enc = std::make_unique<TLZWEncoder>();
            const std::vector<uint8_t> data = encodeData(*enc, c.px, c.w, c.h, c.bits);
            EXPECT_LE(enc->largestCodeSizeUsed(), 12);
            GifAssembler g;
            g.header(c.w, c.h, c.bits).descriptor(0, 0, c.w, c.h).raw(data).trailer();
            EXPECT_EQ(decodeWithGiflib(g.bytes), c.px);
        }
}

TEST(GifEncoder, InterlacedFramesOfFewRowsWriteEveryRow)
{
    for (int h : {1, 2, 3, 4, 5, 9}) {
        SCOPED_TRACE(h);
        std::vector<uint8_t> px;
        for (int y = 0; y < h; ++y)
            px.insert(px.end(), {uint8_t(y), uint8_t(y), uint8_t(y + 1)});
        for (int compression = 0; compression < 2; ++compression) {
            auto img = makeImage(px, 3, h, 16, true, true, TGIFCompression(compression));
            const std::vector<uint8_t> file = img->saveToMemory();
            EXPECT_EQ(decodeWithGiflib(file), px);
            EXPECT_TRUE(giforacle::decode(file).frames[0].interlaced);
        }
    }
    // Row order 0, 2, 1, 3 for four rows of one literal each.
    TLZWEncoder enc;
    const std::vector<uint8_t> rows{0, 1, 2, 3};
    EXPECT_EQ(encodeData(enc, rows, 1, 4, 2, true),
              expectedData(2, {{4, 3}, {0, 3}, {2, 3}, {1, 3}, {3, 4}, {5, 4}}));
}

TEST(GifEncoder, PixelsOutsideTheColourCountAreRefused)
{
    const std::vector<uint8_t> px{0, 1, 2, 3};
    auto img = makeImage(px, 2, 2, 3, true, false, gcLZW);
    try {
        img->saveToMemory();
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "Color not in color table");
    }
}

TEST(GifWriter, VersionPackedFieldsAndPaddedTables)
{
    // A 4-entry global map and a frame with a 256-entry local map.
    std::vector<uint8_t> px(4, 200);
    auto img = makeImage(px, 2, 2, 256, true, true, gcLZW);
    for (int i = 0; i < 4; ++i)
        img->globalColorMap().add(makeColor(uint8_t(i), 0, 0));
    std::vector<uint8_t> file = img->saveToMemory();
    EXPECT_EQ(std::string(file.begin(), file.begin() + 6), "GIF87a");
    EXPECT_EQ(file[10], 0x80 | 0x70 | 0x01); // map present, resolution 7 (8 bits), 4 entries
    // Descriptor after the 4 triples: local map of 256 entries, interlaced.
    EXPECT_EQ(file[13 + 12], ',');
    EXPECT_EQ(file[13 + 12 + 9], 0x80 | 0x40 | 0x07);

    // Three local entries: three triples and one zero triple, size bits for 4.
    auto three = makeImage({0, 1, 2, 2}, 2, 2, 3, true, false, gcLZW);
    file = three->saveToMemory();
    EXPECT_EQ(file[10], 0x10 | 0x01); // no global map; resolution and size from the local one
    EXPECT_EQ(file[13 + 9], 0x81);
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + 23 + 9, file.begin() + 23 + 12), (std::vector<uint8_t>{0, 0, 0}));
    EXPECT_EQ(file[23 + 12], 2); // minimum code size of a two-bit frame
    EXPECT_EQ(decodeWithGiflib(file), (std::vector<uint8_t>{0, 1, 2, 2}));

    // A two-colour frame still gets minimum code size 2.
    auto two = makeImage({0, 1}, 2, 1, 2, false, false, gcRLE);
    file = two->saveToMemory();
    EXPECT_EQ(file[13 + 6 + 10], 2);

    // An extension makes it 89a; no frames is refused.
    auto gce = std::make_unique<TGIFGraphicControlExtension>(two->images()[0]);
    two->images()[0].extensions().add(std::move(gce));
    file = two->saveToMemory();
    EXPECT_EQ(std::string(file.begin(), file.begin() + 6), "GIF89a");
    gif::Image none;
    try {
        none.saveToMemory();
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "Unsupported GIF version");
    }
}

TEST(GifWriter, FrameWithoutLocalMapClearsItsMapBits)
{
    GifAssembler g;
    g.header(2, 1, 1).descriptor(0, 0, 2, 1, 0x80 | 0x20 | 0x40 | 0x01);
    g.raw({9, 9, 9, 8, 8, 8, 7, 7, 7, 6, 6, 6});
    CodePacker p;
    for (int c : {4, 1, 0, 5})
        p.put(c, 3);
    g.imageData(2, p.finish()).trailer();
    gif::Image img;
    img.loadFromMemory(g.bytes);
    img.images()[0].colorMap().clear();
    const std::vector<uint8_t> file = img.saveToMemory();
    EXPECT_EQ(file[13 + 6 + 9], 0x40);
    EXPECT_EQ(decodeWithGiflib(file), (std::vector<uint8_t>{1, 0}));
}

TEST(GifWriter, ExtensionsAreWrittenAsSubBlocks)
{
    auto img = makeImage({0, 1}, 2, 1, 2, false, false, gcLZW);
    TGIFSubImage& f = img->images()[0];
    auto loop = std::make_unique<TGIFAppExtNSLoop>(f);
    loop->loops = 0x0102;
    f.extensions().add(std::move(loop));
    auto comment = std::make_unique<TGIFCommentExtension>(f);
    comment->comment = {"", std::string(300, 'x'), "end"};
    f.extensions().add(std::move(comment));
    auto gce = std::make_unique<TGIFGraphicControlExtension>(f);
    gce->setDelay(12);
    gce->setDisposal(dmPrevious);
    gce->setTransparent(true);
    gce->setTransparentColorIndex(1);
    f.extensions().add(std::move(gce));
    auto text = std::make_unique<TGIFTextExtension>(f);
    text->text = {"hi"};
    f.extensions().add(std::move(text));

    const std::vector<uint8_t> file = img->saveToMemory();
    const size_t ext = 13 + 6;
    const std::vector<uint8_t> loopBytes{'!', 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 2, 1, 0};
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + long(ext), file.begin() + long(ext + loopBytes.size())), loopBytes);
    // The empty line writes nothing; the long one is cut at 255.
    const size_t com = ext + loopBytes.size();
    EXPECT_EQ(file[com + 1], 0xFE);
    EXPECT_EQ(file[com + 2], 255);
    EXPECT_EQ(file[com + 3 + 255], 45);
    EXPECT_EQ(file[com + 3 + 255 + 46], 3);

    const giforacle::Picture ref = giforacle::decode(file);
    EXPECT_EQ(ref.frames[0].loops, 0x0102);
    EXPECT_EQ(ref.frames[0].delay, 12);
    EXPECT_EQ(ref.frames[0].disposal, 3);
    EXPECT_EQ(ref.frames[0].transparent, 1);
    EXPECT_EQ(ref.frames[0].pixels, (std::vector<uint8_t>{0, 1}));

    gif::Image back;
    back.loadFromMemory(file);
    const TGIFExtensionList& list = back.images()[0].extensions();
    ASSERT_EQ(list.count(), 4);
    EXPECT_EQ(dynamic_cast<const TGIFCommentExtension&>(list[1]).comment,
              (std::vector<std::string>{std::string(255, 'x'), std::string(45, 'x'), "end"}));
    EXPECT_EQ(dynamic_cast<const TGIFTextExtension&>(list[3]).text, std::vector<std::string>{"hi"});

    // A copied frame carries the same extensions, rebuilt for itself.
    TGIFSubImage copy(&back);
    copy.assign(back.images()[0]);
    EXPECT_EQ(copy.extensions().count(), 4);
    ASSERT_NE(copy.graphicControlExtension(), nullptr);
    EXPECT_EQ(&copy.graphicControlExtension()->subImage(), &copy);
    EXPECT_EQ(copy.transparentIndex(), 1);
    EXPECT_EQ(copy.pixel(1, 0), 1);
}

TEST(GifWriter, BaseStreamRefusesEveryOperation)
{
    gif::OutStream out;
    TGIFStream s(out);
    uint8_t b = 0;
    EXPECT_THROW(s.write(&b, 1), GIFException);
    EXPECT_THROW(s.read(&b, 1), GIFException);
    try {
        s.seek(0, 0);
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "Invalid stream operation");
    }
}

TEST(GifWriter, GiflibFilesSurviveALoadAndSave)
{
    std::mt19937 rng(77);
    giforacle::Picture p;
    p.width = 90;
    p.height = 70;
    p.background = 1;
    p.globalMap = makePalette(rng, 32);
    for (int i = 0; i < 4; ++i) {
        giforacle::Frame f;
        f.left = 3 * i;
        f.top = 2 * i;
        f.width = 60 + i;
        f.height = 50 - i;
        f.interlaced = i == 2;
        if (i == 1)
            f.map = makePalette(rng, 128);
        f.pixels = makePixels(rng, f.width, f.height, i == 1 ? 128 : 32, Texture(i % 3));
        f.hasGcb = true;
        f.delay = 10 * i;
        f.disposal = i % 3;
        f.transparent = i == 3 ? 5 : -1;
        f.loops = i == 0 ? 0 : -1;
        f.comments = {i == 0 ? "made by giflib" : "frame"};
        p.frames.push_back(f);
    }
    const std::vector<uint8_t> original = giforacle::encode(p);
    for (int compression = 0; compression < 2; ++compression) {
        gif::Image img;
        img.Compression = TGIFCompression(compression);
        img.loadFromMemory(original);
        const giforacle::Picture again = giforacle::decode(img.saveToMemory());
        ASSERT_EQ(again.frames.size(), p.frames.size());
        EXPECT_EQ(again.width, 90);
        EXPECT_EQ(again.background, 1);
        EXPECT_EQ(again.globalMap, p.globalMap);
        for (size_t i = 0; i < p.frames.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(again.frames[i].pixels, p.frames[i].pixels);
            EXPECT_EQ(again.frames[i].map, p.frames[i].map);
            EXPECT_EQ(again.frames[i].left, p.frames[i].left);
            EXPECT_EQ(again.frames[i].interlaced, p.frames[i].interlaced);
            EXPECT_EQ(again.frames[i].delay, p.frames[i].delay);
            EXPECT_EQ(again.frames[i].transparent, p.frames[i].transparent);
            EXPECT_EQ(again.frames[i].comments, p.frames[i].comments);
            EXPECT_EQ(again.frames[i].loops, p.frames[i].loops);
        }
    }
}

TEST(GifWriter, OversizedApplicationBlocksLoadAgainAfterSaving)
{
    // Block size 23 with the loop identifier: written back as 11 bytes, it would read again as
    // a loop extension with a sub-block too short for one.
    const auto dir = std::filesystem::path(IOS_SOURCE_DIR) / "fuzz/regressions/gif_load_fuzz";
    const auto shape = [](const gif::Image& img) {
        std::vector<std::string> out;
        for (int i = 0; i < img.images().count(); ++i) {
            const TGIFSubImage& f = img.images()[i];
            out.emplace_back(f.data(), f.data() + f.dataSize());
            for (int k = 0; k < f.extensions().count(); ++k)
                out.emplace_back(f.extensions()[k].extensionClass().name);
        }
        return out;
    };
    for (const char* name : {"gif-appext-blocksize23.gif", "gif-appext-blocksize23-noimage.bin"})
        for (TGIFCompression compression : {gcLZW, gcRLE}) {
            SCOPED_TRACE(std::string(name) + (compression == gcLZW ? " LZW" : " RLE"));
            gif::Image img, back;
            img.Compression = back.Compression = compression;
            img.loadFromMemory(readFile(dir / name));
            const std::vector<uint8_t> saved = img.saveToMemory();
            back.loadFromMemory(saved);
            EXPECT_EQ(shape(back), shape(img));
            EXPECT_EQ(back.saveToMemory(), saved);
            const TGIFSubImage& f = img.images()[0];
            if (!f.empty()) {
                EXPECT_EQ(decodeWithGiflib(saved), std::vector<uint8_t>(f.data(), f.data() + f.dataSize()));
            }
        }
}

TEST(GifWriter, ImageMagickReadsWhatBothEncodersWrite)
{
    const auto dir = scratchDir("magick_encode");
    std::mt19937 rng(31);
    int n = 0;
    for (int compression = 0; compression < 2; ++compression)
        for (auto [w, h, colors, interlaced] : {std::tuple{41, 23, 7, false}, std::tuple{64, 48, 256, true}}) {
            SCOPED_TRACE(n);
            const std::vector<uint8_t> px = makePixels(rng, w, h, colors, Texture::Runs);
            auto img = makeImage(px, w, h, colors, n % 2 == 0, interlaced, TGIFCompression(compression));
            const auto gif = dir / ("w" + std::to_string(n) + ".gif");
            const auto raw = dir / ("w" + std::to_string(n) + ".rgb");
            ++n;
            img->SaveToFile(gif.string());
            ASSERT_EQ(run(std::string(kConvert) + " " + gif.string() + " -depth 8 rgb:" + raw.string()), 0);
            EXPECT_EQ(readFile(raw), frameRgb(img->images()[0]));
        }
}
