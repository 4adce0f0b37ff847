// The writer and both image-data encoders, checked by decoding what they write with giflib and
// this codec's own reader; colour maps and their usage sort; a frame's pixels and bounds.
#include "gif_codec/gif_test_util.h"
#include "gif_codec/giflib_oracle.h"
#include "graphics/gif/encoder.h"

#include <gtest/gtest.h>
#include <numeric>

using namespace giftest;

namespace {

// A one-frame image over a map of `colors` entries (global or local).
std::unique_ptr<gif::Image> makeImage(const Bytes& pixels, int w, int h, int colors, bool local,
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

Bytes giflibPixels(const Bytes& file)
{
    return giforacle::decode(file).frames.at(0).pixels;
}

// One frame in an image whose warnings are logged.
struct FrameFixture {
    gif::Image img;
    WarningLog log;
    TGIFSubImage& frame;
    explicit FrameFixture(int w = 4, int h = 1, Bytes px = {})
        : frame(img.images()[img.images().add(std::make_unique<TGIFSubImage>(&img))])
    {
        frame.setBounds(0, 0, w, h);
        std::copy(px.begin(), px.end(), frame.data());
        log.attach(img);
    }
};

std::vector<TGIFColor> mapOf(const TGIFColorMap& m)
{
    return {m.entries().begin(), m.entries().end()};
}

} // namespace

TEST(GifEncoder, ByteVectorsOfSmallImagesForBothEncoders)
{
    auto data = [](int minCodeSize, std::initializer_list<int> codes) {
        return GifAssembler().imageData(minCodeSize, pack(codes)).bytes;
    };
    Bytes alternating{0, 1, 0, 1, 0, 1, 0, 1, 0, 1}, ramp(16);
    std::iota(ramp.begin(), ramp.end(), 0);
    // Interlaced, four rows of one pixel go in the order 0, 2, 1, 3.
    const Bytes rows = data(2, {-3, 4, 0, 2, 1, -4, 3, 5});
    struct Case {
        const char* name;
        Bytes px;
        int w, h, bits;
        bool interlaced;
        Bytes lzw, rle;
    };
    const Case cases[] = {
        {"1x1", {1}, 1, 1, 1, false, data(2, {-3, 4, 1, 5}), data(2, {-3, 4, 1, 5})},
        // One run: literal, then runs of 2, 3, 4, 5 by codes that are defined as they are used.
        {"4x4", Bytes(16, 0), 4, 4, 1, false, data(2, {-3, 4, 0, 6, 7, -4, 8, 9, 0, 5}),
         data(2, {-3, 4, 0, 6, 7, -4, 8, 9, 0, 5})},
        // Single pixels: the run-length codes widen after three and a clear follows the ninth.
        {"10x1", alternating, 10, 1, 1, false, data(2, {-3, 4, 0, 1, 6, -4, 8, 7, 1, 5}),
         data(2, {-3, 4, 0, 1, 0, -4, 1, 0, 1, 0, 1, 0, 4, -3, 1, 5})},
        {"16x1", ramp, 16, 1, 4, false,
         data(4, {-5, 16, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, -6, 15, 17}),
         data(4, {-5, 16, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 16, 14, 15, 17})},
        {"1x4 interlaced", {0, 1, 2, 3}, 1, 4, 2, true, rows, rows},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TLZWEncoder lzw;
        TRLEEncoder rle;
        for (auto [encoder, expected] : {std::pair<TGIFEncoder*, Bytes>{&lzw, c.lzw}, {&rle, c.rle}}) {
            gif::OutStream out;
            encoder->Encode(out, c.bits, 1 << c.bits, c.px.data(), c.interlaced, c.w, c.h);
            EXPECT_EQ(out.bytes(), expected);
            // In a file of its own, read by giflib.
            const Bytes file = gifOf(c.w, c.h, c.bits).descriptor(0, 0, c.w, c.h).raw(expected).end();
            EXPECT_EQ(giflibPixels(file), (c.interlaced ? Bytes{0, 2, 1, 3} : c.px));
        }
    }
}

TEST(GifWriter, VersionPackedFieldsPaddedTablesAndRefusals)
{
    // A 4-entry global map and a frame with a 256-entry local map.
    auto img = makeImage(Bytes(4, 200), 2, 2, 256, true, true, gcLZW);
    for (int i = 0; i < 4; ++i)
        img->globalColorMap().add(makeColor(uint8_t(i), 0, 0));
    Bytes file = img->saveToMemory();
    EXPECT_EQ(std::string(file.begin(), file.begin() + 6), "GIF87a");
    EXPECT_EQ(file[10], 0x80 | 0x70 | 0x01); // map present, resolution 7 (8 bits), 4 entries
    // Descriptor after the 4 triples: local map of 256 entries, interlaced.
    EXPECT_EQ(file[13 + 12 + 9], 0x80 | 0x40 | 0x07);
    // Three local entries: three triples and one zero triple, size bits for 4.
    file = makeImage({0, 1, 2, 2}, 2, 2, 3, true, false, gcLZW)->saveToMemory();
    EXPECT_EQ(file[10], 0x10 | 0x01); // no global map; resolution and size from the local one
    EXPECT_EQ(file[13 + 9], 0x81);
    EXPECT_EQ(Bytes(file.begin() + 23 + 9, file.begin() + 23 + 12), (Bytes{0, 0, 0}));
    EXPECT_EQ(file[23 + 12], 2); // minimum code size of a two-bit frame
    // A two-colour frame still gets minimum code size 2; an extension makes it 89a.
    auto two = makeImage({0, 1}, 2, 1, 2, false, false, gcRLE);
    EXPECT_EQ(two->saveToMemory()[13 + 6 + 10], 2);
    addExtension<TGIFGraphicControlExtension>(two->images()[0]);
    file = two->saveToMemory();
    EXPECT_EQ(std::string(file.begin(), file.begin() + 6), "GIF89a");
    // A frame read with a sorted interlaced local map and saved without it clears the map bits.
    const Bytes sortedLocal = gifOf(2, 1, 1).descriptor(0, 0, 2, 1, 0x80 | 0x20 | 0x40 | 0x01).bytes;
    gif::Image read;
    read.loadFromMemory(
        GifAssembler{sortedLocal}.raw(Bytes(12, 9)).imageData(2, pack({-3, 4, 1, 0, 5})).end());
    read.images()[0].colorMap().clear();
    file = read.saveToMemory();
    EXPECT_EQ(file[13 + 6 + 9], 0x40);
    EXPECT_EQ(giflibPixels(file), (Bytes{1, 0}));

    EXPECT_EQ(raisedBy([] {
                  makeImage({0, 1, 2, 3}, 2, 2, 3, true, false, gcLZW)->saveToMemory();
              }),
              "Color not in color table");
    EXPECT_EQ(raisedBy([] { gif::Image().saveToMemory(); }), "Unsupported GIF version");
    gif::OutStream out;
    TGIFStream base(out);
    uint8_t b = 0;
    for (auto op : std::vector<std::function<void()>>{[&] { base.write(&b, 1); }, [&] { base.read(&b, 1); },
                                                      [&] { base.seek(0, 0); }})
        EXPECT_EQ(raisedBy(op), "Invalid stream operation");
}

TEST(GifWriter, ExtensionsAreWrittenAsSubBlocks)
{
    auto img = makeImage({0, 1}, 2, 1, 2, false, false, gcLZW);
    TGIFSubImage& f = img->images()[0];
    addExtension<TGIFCommentExtension>(f).comment = {"", std::string(300, 'x'), "end"};
    auto& gce = addExtension<TGIFGraphicControlExtension>(f);
    gce.setTransparent(true);
    gce.setTransparentColorIndex(1);
    addExtension<TGIFTextExtension>(f).text = {"hi"};
    // The empty comment line writes nothing; the long one is cut at 255.
    const Bytes file = img->saveToMemory();
    giforacle::Frame expected{0, 0, 2, 1, false, Bytes(), {0, 1}, true, 0, 0, 1};
    expected.comments = {std::string(255, 'x'), std::string(45, 'x'), "end"};
    EXPECT_EQ(giforacle::decode(file).frames[0], expected);
    gif::Image back;
    back.loadFromMemory(file);
    const TGIFExtensionList& list = back.images()[0].extensions();
    ASSERT_EQ(list.count(), 3);
    EXPECT_EQ(dynamic_cast<const TGIFTextExtension&>(list[2]).text, std::vector<std::string>{"hi"});
}

// Block size, identifier and data blocks are written back as read, so that what is saved loads
// again with the same frames and extensions: block size 23 with the loop identifier, written as
// 11, would read again as a loop extension with a sub-block too short for one.
TEST(GifWriter, ApplicationExtensionsOfEveryBlockSizeAreWrittenBackAsRead)
{
    const Bytes extensions{'!',  0xFF, 11,  'N', 'E', 'T', 'S',  'C',  'A',  'P', 'E', '2', '.',
                           '0',  3,    1,   5,   0,   5,   2,    0x10, 0x20, 0,   0,   0,   '!',
                           0xFF, 10,   'A', 'B', 'C', 'D', 'E',  'F',  'G',  'H', '1', '2', 2,
                           9,    8,    1,   7,   0,   '!', 0xFF, 11,   'O',  'T', 'H', 'E', 'R',
                           'A',  'P',  'P', '1', '.', '0', 1,    42,   0};
    const Bytes assembled = gifOf(2, 2).raw(extensions).frame(2, 2, pack({-3, 4, 0, 1, 2, -4, 3, 5})).end();
    Loaded l(assembled);
    EXPECT_TRUE(l.log.messages.empty());
    const TGIFExtensionList& ext = l.img.images()[0].extensions();
    ASSERT_EQ(ext.count(), 3);
    EXPECT_EQ(dynamic_cast<const TGIFAppExtNSLoop&>(ext[0]).loops, 5);
    // Size 10: the identifier's last byte is the first sub-block's length, read again.
    EXPECT_EQ(dynamic_cast<const TGIFUnknownAppExtension&>(ext[1]).identifierText(), "ABCDEFGH12\x02");
    const Bytes saved = l.img.saveToMemory();
    EXPECT_NE(std::search(saved.begin(), saved.end(), extensions.begin(), extensions.end()), saved.end());
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
    const auto dir = std::filesystem::path(IOS_SOURCE_DIR) / "fuzz/regressions/gif_load_fuzz";
    for (const Bytes& file : {assembled, readFile(dir / "gif-appext-blocksize23.gif"),
                              readFile(dir / "gif-appext-blocksize23-noimage.bin")})
        for (TGIFCompression compression : {gcLZW, gcRLE}) {
            SCOPED_TRACE(std::to_string(file.size()) + (compression == gcLZW ? " bytes LZW" : " bytes RLE"));
            gif::Image img, back;
            img.Compression = back.Compression = compression;
            img.loadFromMemory(file);
            const Bytes again = img.saveToMemory();
            back.loadFromMemory(again);
            EXPECT_EQ(shape(back), shape(img));
            EXPECT_EQ(back.saveToMemory(), again);
            if (!img.images()[0].empty()) {
                EXPECT_EQ(giflibPixels(again), frameData(img.images()[0]));
            }
        }
}

TEST(GifColorMap, GrowthLookupsIndexErrorsAndImports)
{
    FrameFixture fx;
    TGIFColorMap& m = fx.frame.colorMap();
    EXPECT_EQ(raisedBy([&] { m.color(0); }), "Color table is empty");
    const TColor red = makeColor(255, 0, 0);
    EXPECT_EQ(m.add(red), 0);
    EXPECT_EQ(m.add(makeColor(0, 9, 0)), 1);
    EXPECT_EQ(m.add(red), 2);
    // Before sorting the last match wins, after it the first.
    EXPECT_EQ(m.indexOf(red), 2);
    m.setOptimized(true);
    EXPECT_EQ(m.indexOf(red), 0);
    EXPECT_EQ(m.indexOf(makeColor(1, 1, 1)), -1);
    EXPECT_EQ(m.addUnique(makeColor(0, 9, 0)), 1);
    EXPECT_TRUE(m.optimized());
    EXPECT_EQ(m.addUnique(makeColor(7, 7, 7)), 3);
    EXPECT_FALSE(m.optimized());
    EXPECT_EQ(m.color(5), red);
    EXPECT_EQ(fx.log.messages, std::vector<std::string>{"Invalid color index"});
    EXPECT_EQ(raisedBy([&] { m.remove(4); }), "Invalid color index");
    m.remove(0);
    EXPECT_EQ(m.count(), 3);
    EXPECT_EQ(m.color(0), makeColor(0, 9, 0));

    while (m.count() < 256)
        m.add(makeColor(0, 0, uint8_t(m.count())));
    EXPECT_EQ(raisedBy([&] { m.add(0); }), "Color table overflow");

    for (auto [count, bits] :
         {std::pair{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}, {5, 3}, {17, 5}, {129, 8}, {256, 8}})
        EXPECT_EQ(TGIFColorMap::bitsPerPixelOf(count), bits) << count;
    const TRGBQuad quads[] = {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}};
    m.importRGB(quads);
    ASSERT_EQ(m.count(), 3);
    EXPECT_EQ(m.entry(0), (TGIFColor{3, 2, 1}));
    const auto pal = m.exportPalette();
    ASSERT_EQ(pal.size(), 3u);
    EXPECT_EQ(std::tuple(pal[2].peRed, pal[2].peGreen, pal[2].peBlue, pal[2].peFlags),
              std::tuple(9, 8, 7, PC_NOCOLLAPSE));
}

TEST(GifColorMap, OptimiseSortsByUseKeepsTheTransparentIndexAndIgnoresStrayValues)
{
    // Entry 3 used three times, entry 1 twice, and a value past the map once; entry 4 is
    // only the transparent index.
    FrameFixture fx(6, 1, {3, 1, 3, 9, 1, 3});
    TGIFColorMap& m = fx.frame.colorMap();
    for (int i = 0; i < 5; ++i)
        m.add(makeColor(uint8_t(10 * i), 0, 0));
    TGIFGraphicControlExtension& gce = addExtension<TGIFGraphicControlExtension>(fx.frame);
    gce.setTransparent(true);
    gce.setTransparentColorIndex(4);
    EXPECT_TRUE(m.Optimise());
    EXPECT_TRUE(m.optimized());
    EXPECT_EQ(mapOf(m), (std::vector<TGIFColor>{{30, 0, 0}, {10, 0, 0}, {40, 0, 0}}));
    EXPECT_EQ(frameData(fx.frame), (Bytes{0, 1, 0, 9, 1, 0}));
    EXPECT_EQ(fx.frame.transparentIndex(), 2);
    EXPECT_TRUE(fx.log.messages.empty());
    m.clear();
    m.add(0);
    EXPECT_FALSE(m.Optimise());
    // The global map: frames that share it and the background follow; a frame with its own
    // map is not touched.
    gif::Image img;
    TGIFGlobalColorMap& g = img.globalColorMap();
    EXPECT_FALSE(g.Optimise()); // no frames
    for (int i = 0; i < 4; ++i)
        g.add(makeColor(0, uint8_t(i), 0));
    img.header().setBackgroundColorIndex(2);
    for (const Bytes& px : {Bytes{2, 2, 1}, Bytes{1, 1}}) {
        auto f = std::make_unique<TGIFSubImage>(&img);
        f->setBounds(0, 0, int(px.size()), 1);
        std::copy(px.begin(), px.end(), f->data());
        if (px.size() == 2)
            f->colorMap().importPalette(std::vector<TPaletteEntry>{{1, 1, 1, 0}, {2, 2, 2, 0}});
        img.images().add(std::move(f));
    }
    EXPECT_TRUE(g.Optimise());
    EXPECT_EQ(mapOf(g), (std::vector<TGIFColor>{{0, 2, 0}, {0, 1, 0}}));
    EXPECT_EQ(img.header().backgroundColorIndex(), 0);
    EXPECT_EQ(frameData(img.images()[0]), (Bytes{0, 0, 1}));
    EXPECT_EQ(frameData(img.images()[1]), (Bytes{1, 1}));
}

TEST(GifFrame, PixelAccessBoundsGrowingTheScreenAndTheTransparentIndex)
{
    FrameFixture fx(3, 2);
    TGIFSubImage& f = fx.frame;
    WarningLog& log = fx.log;
    EXPECT_EQ(fx.img.width(), 3);
    f.setPixel(2, 1, 7);
    EXPECT_EQ(f.scanline(1)[2], 7);
    for (auto [x, y] : {std::pair{3, 0}, {0, 2}, {-1, 0}, {0, -1}})
        EXPECT_EQ(raisedBy([&] { f.pixel(x, y); }), "Invalid pixel coordinates") << x << "," << y;
    log.messages.clear();
    f.setLeft(2);
    EXPECT_EQ(log.messages, (std::vector<std::string>{"Image width too small for contained frames",
                                                      "Image exceeds Logical Screen size"}));
    EXPECT_EQ(fx.img.width(), 5);
    EXPECT_EQ(f.pixel(2, 1), 7); // moving keeps the pixels
    f.setWidth(4);
    EXPECT_EQ(f.pixel(2, 1), 0); // resizing gives a new zeroed buffer
    // The transparent index is checked against the active map.
    log.messages.clear();
    f.colorMap().add(0);
    f.colorMap().add(makeColor(255, 255, 255));
    auto gce = std::make_unique<TGIFGraphicControlExtension>(f);
    EXPECT_EQ(f.graphicControlExtension(), gce.get());
    gce->setTransparentColorIndex(2);
    EXPECT_EQ(gce->transparentColorIndex(), 0);
    EXPECT_EQ(log.messages, std::vector<std::string>{"Invalid color index"});
    gce->setTransparentColorIndex(1);
    EXPECT_EQ(gce->transparentColorIndex(), 1);
    gce.reset();
    EXPECT_EQ(f.graphicControlExtension(), nullptr);
}
