// The reader against other encoders' files and malformed input; the writer and both image-data
// encoders, checked by giflib, ImageMagick and this reader; colour maps and a frame's pixels.
#include "gif_codec/gif_test_util.h"
#include "gif_codec/giflib_oracle.h"
#include "graphics/gif/encoder.h"

#include <gtest/gtest.h>
#include <numeric>

using namespace giftest;

namespace {

Bytes mapBytes(const TGIFColorMap& m)
{
    Bytes out;
    for (const TGIFColor& c : m.entries())
        out.insert(out.end(), {c.red, c.green, c.blue});
    return out;
}

// The picture as giflib would report it, to compare with what giflib read from the same bytes.
giforacle::Picture asOracle(const gif::Image& img)
{
    giforacle::Picture p{img.width(), img.height(), img.header().backgroundColorIndex(),
                         mapBytes(img.globalColorMap())};
    for (int i = 0; i < img.images().count(); ++i) {
        const TGIFSubImage& f = img.images()[i];
        const TGIFGraphicControlExtension* gce = f.graphicControlExtension();
        giforacle::Frame r{f.left(),     f.top(),        f.width(),
                           f.height(),   f.interlaced(), mapBytes(f.colorMap()),
                           frameData(f), gce != nullptr};
        if (gce) {
            r.disposal = int(gce->disposal());
            r.delay = gce->delay();
            r.transparent = f.transparentIndex();
        }
        for (int k = 0; k < f.extensions().count(); ++k) {
            if (auto* c = dynamic_cast<const TGIFCommentExtension*>(&f.extensions()[k]))
                r.comments.insert(r.comments.end(), c->comment.begin(), c->comment.end());
            if (auto* l = dynamic_cast<const TGIFAppExtNSLoop*>(&f.extensions()[k]))
                r.loops = l->loops;
        }
        p.frames.push_back(r);
    }
    return p;
}

Bytes toRgb(const Bytes& palette, const Bytes& indices)
{
    Bytes rgb;
    for (uint8_t v : indices)
        rgb.insert(rgb.end(), palette.begin() + 3 * v, palette.begin() + 3 * v + 3);
    return rgb;
}

// One frame in an image whose warnings are logged, with `colors` entries in the global map or
// the frame's own.
struct FrameFixture {
    gif::Image img;
    WarningLog log;
    TGIFSubImage& frame;
    explicit FrameFixture(int w = 4, int h = 1, Bytes px = {}, int colors = 0, bool local = false)
        : frame(img.images()[img.images().add(std::make_unique<TGIFSubImage>(&img))])
    {
        frame.setBounds(0, 0, w, h);
        std::copy(px.begin(), px.end(), frame.data());
        TGIFColorMap& map = local ? static_cast<TGIFColorMap&>(frame.colorMap()) : img.globalColorMap();
        for (int i = 0; i < colors; ++i)
            map.add(makeColor(uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)));
        log.attach(img);
    }
};

} // namespace

namespace {

// Pictures of every depth, size and texture, long runs and full tables, as giflib writes them.
std::vector<giforacle::Picture> giflibPictures()
{
    std::mt19937 rng(101);
    std::vector<giforacle::Picture> pictures;
    auto add = [&](int w, int h, int colors, const Bytes& px, bool interlaced, bool local) {
        const Bytes map = makePalette(rng, colors), none;
        pictures.push_back({w, h, 0, local ? none : map, {{0, 0, w, h, interlaced, local ? map : none, px}}});
    };
    for (int bits = 1; bits <= 8; ++bits)
        for (int interlaced = 0; interlaced < 2; ++interlaced)
            for (Texture t : {Texture::Noise, Texture::Runs, Texture::Blocks}) {
                const int w = 1 + int(rng() % 90), h = 1 + int(rng() % 60);
                const int colors = (1 << bits) - int(rng() % 2);
                add(w, h, colors, makePixels(rng, w, h, colors, t), interlaced != 0, (bits + interlaced) % 2);
            }
    // Interlaced frames of few rows, where passes hold no row.
    for (int h : {1, 2, 3, 4, 5, 9})
        add(3, h, 16, makePixels(rng, 3, h, 16, Texture::Noise), true, true);
    for (int colors : {4, 256}) {
        // One huge run, then runs of every length in turn.
        Bytes px(200000, 1);
        for (size_t i = 60000, len = 1; i < px.size(); ++len)
            for (size_t k = 0; k < len && i < px.size(); ++k)
                px[i++] = uint8_t((len % 3) + (colors == 256 ? len % 200 : 0));
        add(500, 400, colors, px, false, false);
        // Long runs of one colour broken by single pixels: later runs reuse the run codes that
        // the first one left in the decoder's table.
        px.clear();
        for (int i = 0; px.size() < 120000; ++i) {
            px.insert(px.end(), size_t(300 + (37 * i) % 2000), 3);
            px.push_back(2);
        }
        px.resize(120000);
        add(400, 300, colors, px, false, false);
    }
    // Noise in 256 colours fills the 4096-entry table many times over; then frames with every
    // disposal, local maps, transparency, a comment longer than a sub-block and a loop.
    giforacle::Picture& p = pictures.emplace_back(giforacle::Picture{240, 180, 3, makePalette(rng, 256)});
    p.frames.push_back(
        {0, 0, 240, 180, false, Bytes(), makePixels(rng, 240, 180, 256, Texture::Noise), true, 0, 25});
    p.frames[0].comments = {"first frame", std::string(300, 'c')};
    p.frames[0].loops = 3;
    for (int i = 0; i < 4; ++i) {
        const int colors = i % 2 ? 16 : 256, w = 50 + 13 * i, h = 40 + 5 * i;
        // left, top, width, height, interlaced, map, pixels, graphic control: disposal, delay, transparent
        p.frames.push_back({10 * i, 7 * i, w, h, i % 2 == 1, i % 2 ? makePalette(rng, colors) : Bytes{},
                            makePixels(rng, w, h, colors, i == 3 ? Texture::Blocks : Texture::Runs), true, i,
                            5 + i, i % 2 ? 2 : -1});
    }
    return pictures;
}

} // namespace

TEST(GifOracles, GiflibFilesReadAsGiflibReadsThem)
{
    const auto pictures = giflibPictures();
    for (size_t i = 0; i < pictures.size(); ++i) {
        SCOPED_TRACE("picture " + std::to_string(i));
        const Bytes bytes = giforacle::encode(pictures[i]);
        const Loaded ours(bytes);
        EXPECT_TRUE(ours.log.messages.empty());
        EXPECT_EQ(asOracle(ours.img), giforacle::decode(bytes));
    }
}

// Saved again with either encoder, giflib and this reader read the same.
TEST(GifOracles, GiflibFilesSavedAgainReadAsGiflibReadsThem)
{
    const auto pictures = giflibPictures();
    for (size_t i = 0; i < pictures.size(); ++i) {
        SCOPED_TRACE("picture " + std::to_string(i));
        const Bytes bytes = giforacle::encode(pictures[i]);
        const giforacle::Picture theirs = giforacle::decode(bytes);
        Loaded ours(bytes);
        for (TGIFCompression compression : {gcLZW, gcRLE}) {
            SCOPED_TRACE(compression == gcRLE ? "RLE" : "LZW");
            ours.img.Compression = compression;
            const Bytes saved = ours.img.saveToMemory();
            EXPECT_EQ(giforacle::decode(saved), theirs);
            const Loaded back(saved);
            EXPECT_TRUE(back.log.messages.empty());
            EXPECT_EQ(asOracle(back.img), theirs);
        }
    }
}

// Two animations, interlaced or not, with frames of 2 to 256 colours, a loop count and delays.
namespace {

// Three-frame animations made by ImageMagick, progressive and interlaced, with each frame's
// pixels as RGB; the files' names without ".gif".
struct MagickAnimation {
    std::string file;
    std::vector<Bytes> rgbs;
};
std::vector<MagickAnimation> magickAnimations(const std::string& test)
{
    const auto dir = scratchDir(test);
    std::mt19937 rng(11);
    using Sizes = std::vector<std::tuple<int, int, int>>; // colours, width, height
    std::vector<MagickAnimation> out;
    for (const bool interlaced : {false, true}) {
        MagickAnimation& a = out.emplace_back();
        a.file = (dir / (interlaced ? "interlaced" : "progressive")).string();
        std::string inputs;
        for (auto [colors, w, h] : interlaced ? Sizes{{3, 8, 41}, {64, 31, 29}, {256, 64, 64}}
                                              : Sizes{{2, 33, 17}, {13, 57, 9}, {200, 70, 45}}) {
            Bytes idx = makePixels(rng, w, h, colors, Texture::Runs);
            for (int k = 0; k < colors && size_t(k) < idx.size(); ++k)
                idx[size_t(k)] = uint8_t(k); // every colour present
            const std::string rgb = a.file + std::to_string(a.rgbs.size()) + ".in";
            writeFile(rgb, a.rgbs.emplace_back(toRgb(makePalette(rng, colors), idx)));
            inputs += " -size " + std::to_string(w) + "x" + std::to_string(h) + " rgb:" + rgb;
        }
        convert(std::string("-delay 7 -loop 2 -depth 8") + (interlaced ? " -interlace GIF" : ""), inputs,
                a.file + ".gif");
    }
    return out;
}

} // namespace

TEST(GifOracles, ImageMagickFilesReadAsImageMagickReadsThem)
{
    for (const auto& [anim, rgbs] : magickAnimations("magick_decode")) {
        gif::Image img;
        img.LoadFromFile(anim + ".gif");
        ASSERT_EQ(img.images().count(), 3);
        for (int k = 0; k < 3; ++k) {
            const TGIFSubImage& f = img.images()[k];
            EXPECT_EQ(toRgb(mapBytes(f.activeColorMap()), frameData(f)), rgbs[size_t(k)]) << k;
        }
        // Delays and the loop count as giflib reads them from the same file.
        EXPECT_EQ(asOracle(img), giforacle::decode(readFile(anim + ".gif")));
    }
}

// ImageMagick reads what this codec writes back with either encoder to the same pixels.
TEST(GifOracles, ImageMagickReadsWhatIsWrittenBack)
{
    for (const auto& [anim, rgbs] : magickAnimations("magick_encode")) {
        gif::Image img;
        img.LoadFromFile(anim + ".gif");
        for (const std::string file : {"-lzw.gif", "-rle.gif"}) {
            img.Compression = file == "-lzw.gif" ? gcLZW : gcRLE;
            img.SaveToFile(anim + file);
            for (int k = 0; k < 3; ++k) {
                convert("'" + anim + file + "[" + std::to_string(k) + "]'", "-depth 8",
                        "rgb:" + anim + ".rgb");
                EXPECT_EQ(readFile(anim + ".rgb"), rgbs[size_t(k)]) << file << " " << k;
            }
        }
    }
}

TEST(GifMalformed, EachLoadsWithItsWarningsOrIsRefusedAndPutsTheStreamBack)
{
    // A 2 x 2 frame of literal codes 0, 1, 2, 3: the table reaches 8 entries after the third,
    // so the codes grow to 4 bits.
    const Bytes codes = pack({-3, 4, 0, 1, 2, -4, 3, 5}), pixels{0, 1, 2, 3};
    const Bytes file = gifOf(2, 2).frame(2, 2, codes).end();
    auto cat = [](Bytes a, const Bytes& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    Bytes odd = GifAssembler().header(2, 2, 2, "7z!").frame(2, 2, codes).end();
    odd[0] = 'g';
    // Literals only: the table fills to 4096 entries without a clear, and decoding goes on at
    // 12 bits.
    std::vector<int> deferred{-9, 256};
    Bytes full;
    for (int i = 0, size = 9, next = 258; i < 5000; ++i) {
        full.push_back(uint8_t((i * 13) & 0xFF));
        deferred.push_back(full.back());
        if (i > 0 && next < 4096 && ++next >= (1 << size) && size < 12)
            deferred.push_back(-++size);
    }
    deferred.insert(deferred.end(), {-12, 257});
    Bytes surplus = pack({-3, 4, 0, 1, 2, -4, 3, 2, 1, 0, 1, 1});
    surplus.resize(600, 0x55);
    // `count` frames of side x side without data, after `lead`, each followed by `gap`.
    auto manyEmpty = [](int count, int side, const Bytes& lead = {}, const Bytes& gap = {}) {
        GifAssembler g = gifOf(side, side, 1).raw(lead);
        for (int i = 0; i < count; ++i)
            g.descriptor(0, 0, side, side).raw({2, 0}).raw(gap);
        return g.end();
    };
    // `count` frames of width x height, each with the image data `codes`.
    auto many = [](int count, int width, int height, const Bytes& codes, uint8_t packed = 0) {
        GifAssembler g = gifOf(width, height, 1);
        for (int i = 0; i < count; ++i)
            g.frame(width, height, codes, 2, packed);
        return g.end();
    };
    // `pixels` of colour 0 at the best compression: a literal, then each code the one being
    // defined, for runs of 2, 3, 4 ... pixels; the last run is cut to fit.
    auto oneColour = [](int pixels) {
        std::vector<int> c{-3, 4, 0};
        for (int left = pixels - 1, next = 6, size = 3, run = 2; left > 0; ++run) {
            c.push_back(run <= left ? next : left == 1 ? 0 : left + 4);
            left -= std::min(run, left);
            if (++next == 1 << size)
                c.push_back(-++size);
        }
        c.push_back(5);
        return pack(c);
    };
    Bytes tinyBlocks; // 10,000 one-byte data sub-blocks and the terminator
    for (int i = 0; i < 10000; ++i)
        tinyBlocks.insert(tinyBlocks.end(), {1, 'a'});
    tinyBlocks.push_back(0);
    Bytes controls;
    for (int i = 0; i < 10000; ++i)
        controls.insert(controls.end(), {'!', 0xF9, 4, 0, 0, 0, 0, 0});
    auto withBlocks = [&](const Bytes& intro) { return gifOf(2, 2).raw(intro).raw(tinyBlocks).frame(2, 2, codes).end(); };
    Bytes onePixel = pack({-3, 4, 1, 5});
    onePixel.resize(600, 0x55);
    Bytes longSurplus = surplus;
    longSurplus.resize(4096, 0x55);
    // 4 x 2 with transparent index 3; the data stops after two pixels, without a terminator.
    const Bytes cut = pack({-3, 4, 1, 2, 4, 4});
    const Bytes truncated =
        gifOf(4, 2).graphicControl(2, 9, 3).descriptor(0, 0, 4, 2).raw({2, 2}).raw(cut).bytes;
    const Bytes strayByte = cat(gifOf(2, 2).raw({0, 0}).frame(2, 2, codes).raw({0}).frame(2, 2, codes).bytes,
                                GifAssembler().raw({0x99}).frame(2, 2, codes).end());
    const Bytes loopId{'!', 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    const Bytes shortLoop = gifOf(2, 2).raw(loopId).raw({1, 1, 0}).end();
    const Bytes nineBytes = gifOf(2, 2).raw({'!', 0xFF, 9}).raw(Bytes(9, 'a')).raw({1, 2, 0}).end();
    const Bytes inExtension = cat(gifOf(2, 2).frame(2, 2, codes).bytes, {'!', 0xFE, 5, 'a'});
    const Bytes big = gifOf(100, 100).frame(100, 100, codes).end();
    const std::string premature = "Premature end of data", badCode = "Invalid code in image data",
                      underrun = "Decoder bit buffer under-run", tooLarge = "Image too large",
                      exceeds = "Image exceeds Logical Screen size", badSize = "Invalid LZW code size";
    struct Case {
        const char* name;
        Bytes bytes;
        std::vector<std::string> warnings;
        std::vector<Bytes> frames;
        std::string error = "";
        uint64_t maxPixels = gif::kDefaultMaxPixels;
        uint64_t maxTotalPixels = gif::kDefaultMaxTotalPixels;
    };
    std::vector<Case> cases = {
        {"4 bytes before", cat(Bytes(4, 'x'), file), {}, {pixels}},
        {"5 bytes before", cat(Bytes(5, 'x'), file), {}, {}, "Invalid GIF signature"},
        {"any version, lower case", odd, {}, {pixels}},
        {"zero-sized descriptor", gifOf(2, 2).frame(0, 2, codes).end(), {exceeds}, {pixels}},
        {"zero-sized screen", gifOf(0, 0).graphicControl(0, 0, 1).frame(0, 0, codes).end(), {exceeds}, {{}}},
        {"stray byte", strayByte, {"Unknown GIF block type", "Invalid Image trailer"}, {pixels, pixels}},
        {"transparent fill", truncated, {premature, underrun, premature}, {{1, 2, 3, 3, 3, 3, 3, 3}}},
        {"no trailer", gifOf(2, 2).frame(2, 2, codes).bytes, {premature}, {pixels}},
        {"end in extension", inExtension, {premature}, {pixels}},
        {"unknown extension", gifOf(2, 2).raw({'!', 0x02, 1, 0, 0}).end(), {}, {}, "Unknown extension type"},
        {"short loop block", shortLoop, {}, {}, "Invalid GIF data"},
        {"application block of 9", nineBytes, {}, {}, "Unsupported Application Extension block size"},
        {"four bytes", {'G', 'I', 'F', '8'}, {}, {}, premature},
        {"past the table", gifOf(3, 1).frame(3, 1, pack({-3, 4, 1, 7})).end(), {badCode}, {{1, 0, 0}}},
        {"string after clear", gifOf(3, 1).frame(3, 1, pack({-3, 4, 6, 6})).end(), {badCode}, {{0, 0, 0}}},
        {"end after clear",
         gifOf(2, 1).graphicControl(0, 0, 2).frame(2, 1, pack({-3, 4, 5})).end(),
         {},
         {{2, 2}}},
        {"deferred clear", gifOf(100, 50, 8).frame(100, 50, pack(deferred), 8).end(), {}, {full}},
        {"surplus drained", gifOf(2, 2).frame(2, 2, surplus).frame(2, 2, codes).end(), {}, {pixels, pixels}},
        {"huge", gifOf(0xFFFF, 0xFFFF).frame(0xFFFF, 0xFFFF, codes).end(), {}, {}, tooLarge},
        {"a pixel over the limit", big, {}, {}, tooLarge, 9999},
        {"at the limit", big, {}, {cat(pixels, Bytes(9996, 0))}, "", 10000},
        // Where a frame's data decodes nothing it is filled, which costs the file nothing: all
        // fill together may take the frame limit once. Bytes that decode no pixel earn none:
        // padding after the trailer, zeros between blocks, data past the end of a small frame,
        // junk data.
        {"8 empty frames of 1 M pixels", manyEmpty(8, 1024), {underrun, underrun}, {}, tooLarge, 1 << 20},
        {"... and padding after the trailer", cat(manyEmpty(8, 1024), Bytes(4096, 0)), {underrun, underrun},
         {}, tooLarge, 1 << 20},
        {"... with zeros between them", manyEmpty(8, 1024, {}, Bytes(600, 0)), {underrun, underrun}, {},
         tooLarge, 1 << 20},
        {"... after a small frame's long data",
         manyEmpty(8, 1024, GifAssembler().frame(2, 2, longSurplus).bytes), {underrun, underrun}, {},
         tooLarge, 1 << 20},
        {"8 frames of 1 M pixels whose data decodes nothing", many(8, 1024, 1024, Bytes(600, 0xFF)),
         {badCode, badCode}, {}, tooLarge, 1 << 20},
        {"... whose data decodes one pixel, interlaced", many(8, 1024, 1024, onePixel, 0x40), {}, {},
         tooLarge, 1 << 20},
        {"frames over the frame limit together, each decoding all of its pixels", many(3, 2, 2, codes), {},
         {pixels, pixels, pixels}, "", 4},
        {"one empty frame of 1 M pixels", manyEmpty(1, 1024), {underrun}, {Bytes(1 << 20, 0)}, "", 1 << 20},
        {"200 small empty frames", manyEmpty(200, 64), std::vector<std::string>(200, underrun),
         std::vector<Bytes>(200, Bytes(4096, 0)), "", 1 << 20},
        // Everything the frames hold counts against the whole-picture limit, each frame also for
        // itself (about 1 K).
        {"frames past the whole-picture limit", many(3, 100, 100, oneColour(10000)), {}, {}, tooLarge,
         gif::kDefaultMaxPixels, 25000},
        {"frames within it", many(3, 100, 100, oneColour(10000)), {}, std::vector<Bytes>(3, Bytes(10000, 0)),
         "", gif::kDefaultMaxPixels, 35000},
        {"2000 frames of one pixel, each counting for itself", many(2000, 1, 1, pack({-3, 4, 1, 5})), {}, {},
         tooLarge, gif::kDefaultMaxPixels, 1 << 20},
        // ... and so do extensions, each block they keep also for itself.
        {"a comment of 10,000 one-byte blocks", withBlocks({'!', 0xFE}), {}, {}, tooLarge, gif::kDefaultMaxPixels,
         1 << 20},
        {"... within the limit", withBlocks({'!', 0xFE}), {}, {pixels}, "", gif::kDefaultMaxPixels, 2 << 20},
        {"... an unknown application's", withBlocks(cat({'!', 0xFF, 11}, Bytes(11, 'A'))), {}, {}, tooLarge,
         gif::kDefaultMaxPixels, 1 << 20},
        {"... plain text's", withBlocks(cat({'!', 0x01, 12}, Bytes(12, 0))), {}, {}, tooLarge, gif::kDefaultMaxPixels,
         1 << 20},
        {"10,000 graphic controls", gifOf(2, 2).raw(controls).frame(2, 2, codes).end(), {}, {}, tooLarge,
         gif::kDefaultMaxPixels, 1 << 20},
        // 500 frames of 480 x 270, in a sixteenth of the size and the limits.
        {"a ten-second animation", many(500, 120, 68, oneColour(120 * 68)), {},
         std::vector<Bytes>(500, Bytes(120 * 68, 0)), "", gif::kDefaultMaxPixels / 16,
         gif::kDefaultMaxTotalPixels / 16},
    };
    for (int size : {0, 1, 9, 12, 255})
        cases.push_back({"code size",
                         gifOf(2, 2).frame(2, 2, codes, size).frame(2, 2, codes).end(),
                         {badSize},
                         {{0, 0, 0, 0}, pixels}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        gif::InStream s(c.bytes);
        gif::Image img;
        img.maxPixels = c.maxPixels;
        img.maxTotalPixels = c.maxTotalPixels;
        WarningLog log;
        log.attach(img);
        EXPECT_EQ(raisedBy([&] { img.LoadFromStream(s); }), c.error);
        if (!c.error.empty()) {
            EXPECT_EQ(s.position(), 0u);
            EXPECT_EQ(img.globalColorMap().count(), 0);
        }
        EXPECT_EQ(log.messages, c.warnings);
        ASSERT_EQ(img.images().count(), int(c.frames.size()));
        for (int i = 0; i < img.images().count(); ++i)
            EXPECT_EQ(frameData(img.images()[i]), c.frames[size_t(i)]) << "frame " << i;
    }
}

TEST(GifMalformed, EveryTruncationOfASmallFileEndsInWarningsOrAnException)
{
    std::mt19937 rng(5);
    giforacle::Picture p{12, 9, 0, makePalette(rng, 8)};
    for (int i = 0; i < 3; ++i) {
        p.frames.push_back({i, 0, 12 - i, 9, i == 1, i == 2 ? makePalette(rng, 4) : Bytes(),
                            makePixels(rng, 12 - i, 9, i == 2 ? 4 : 8, Texture(i)), true, 0, 0, i});
        p.frames.back().comments = {"c"};
    }
    p.frames[0].loops = 0;
    const Bytes bytes = giforacle::encode(p);
    int loaded = 0, refused = 0;
    for (size_t cut = 0; cut <= bytes.size(); ++cut) {
        try {
            EXPECT_EQ(Loaded(Bytes(bytes.begin(), bytes.begin() + long(cut))).log.messages.empty(),
                      cut == bytes.size())
                << cut;
            ++loaded;
        } catch (const GIFException&) {
            ++refused;
        }
    }
    // Refused while the header, the screen descriptor or the global colour table is cut.
    const int whole = 6 + 7 + 3 * 8;
    EXPECT_EQ(refused, whole);
    EXPECT_EQ(loaded, int(bytes.size()) + 1 - whole);
}

TEST(GifEncoder, ByteVectorsOfSmallImagesForBothEncoders)
{
    auto data = [](int minCodeSize, std::initializer_list<int> codes) {
        return GifAssembler().imageData(minCodeSize, pack(codes)).bytes;
    };
    Bytes alternating{0, 1, 0, 1, 0, 1, 0, 1, 0, 1}, ramp(16);
    std::iota(ramp.begin(), ramp.end(), 0);
    struct Case {
        const char* name;
        Bytes px;
        int w, h, bits;
        Bytes lzw, rle;
    };
    const Case cases[] = {
        {"1x1", {1}, 1, 1, 1, data(2, {-3, 4, 1, 5}), data(2, {-3, 4, 1, 5})},
        // One run: literal, then runs of 2, 3, 4, 5 by codes that are defined as they are used.
        {"4x4", Bytes(16, 0), 4, 4, 1, data(2, {-3, 4, 0, 6, 7, -4, 8, 9, 0, 5}),
         data(2, {-3, 4, 0, 6, 7, -4, 8, 9, 0, 5})},
        // Single pixels: the run-length codes widen after three and a clear follows the ninth.
        {"10x1", alternating, 10, 1, 1, data(2, {-3, 4, 0, 1, 6, -4, 8, 7, 1, 5}),
         data(2, {-3, 4, 0, 1, 0, -4, 1, 0, 1, 0, 1, 0, 4, -3, 1, 5})},
        {"16x1", ramp, 16, 1, 4,
         data(4, {-5, 16, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, -6, 15, 17}),
         data(4, {-5, 16, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 16, 14, 15, 17})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TLZWEncoder lzw;
        TRLEEncoder rle;
        for (auto [encoder, expected] : {std::pair<TGIFEncoder*, Bytes>{&lzw, c.lzw}, {&rle, c.rle}}) {
            gif::OutStream out;
            encoder->Encode(out, c.bits, 1 << c.bits, c.px.data(), false, c.w, c.h);
            EXPECT_EQ(out.bytes(), expected);
            // In a file of its own, read by giflib.
            const Bytes file = gifOf(c.w, c.h, c.bits).descriptor(0, 0, c.w, c.h).raw(expected).end();
            EXPECT_EQ(giforacle::decode(file).frames.at(0).pixels, c.px);
        }
    }
}

TEST(GifWriter, VersionPackedFieldsAndPaddedTables)
{
    // A 4-entry global map and a frame with a 256-entry local map.
    FrameFixture big(2, 2, Bytes(4, 200), 256, true);
    big.frame.setInterlaced(true);
    for (int i = 0; i < 4; ++i)
        big.img.globalColorMap().add(makeColor(uint8_t(i), 0, 0));
    Bytes file = big.img.saveToMemory();
    EXPECT_EQ(std::string(file.begin(), file.begin() + 6), "GIF87a");
    EXPECT_EQ(file[10], 0x80 | 0x70 | 0x01); // map present, resolution 7 (8 bits), 4 entries
    // Descriptor after the 4 triples: local map of 256 entries, interlaced.
    EXPECT_EQ(file[13 + 12 + 9], 0x80 | 0x40 | 0x07);
    // Three local entries: three triples and one zero triple, size bits for 4.
    file = FrameFixture(2, 2, {0, 1, 2, 2}, 3, true).img.saveToMemory();
    EXPECT_EQ(file[10], 0x10 | 0x01); // no global map; resolution and size from the local one
    EXPECT_EQ(file[13 + 9], 0x81);
    EXPECT_EQ(Bytes(file.begin() + 23 + 9, file.begin() + 23 + 12), (Bytes{0, 0, 0}));
    EXPECT_EQ(file[23 + 12], 2); // minimum code size of a two-bit frame
    // A two-colour frame still gets minimum code size 2; an extension makes it 89a.
    FrameFixture two(2, 1, {0, 1}, 2);
    two.img.Compression = gcRLE;
    EXPECT_EQ(two.img.saveToMemory()[13 + 6 + 10], 2);
    addExtension<TGIFGraphicControlExtension>(two.frame);
    file = two.img.saveToMemory();
    EXPECT_EQ(std::string(file.begin(), file.begin() + 6), "GIF89a");
    // A frame read with a sorted interlaced local map and saved without it clears the map bits.
    const Bytes sortedLocal = gifOf(2, 1, 1).descriptor(0, 0, 2, 1, 0x80 | 0x20 | 0x40 | 0x01).bytes;
    gif::Image read;
    read.loadFromMemory(
        GifAssembler{sortedLocal}.raw(Bytes(12, 9)).imageData(2, pack({-3, 4, 1, 0, 5})).end());
    read.images()[0].colorMap().clear();
    file = read.saveToMemory();
    EXPECT_EQ(file[13 + 6 + 9], 0x40);
    EXPECT_EQ(giforacle::decode(file).frames.at(0).pixels, (Bytes{1, 0}));
}

TEST(GifWriter, RefusesWhatItCannotWrite)
{
    FrameFixture pastTheMap(2, 2, {0, 1, 2, 3}, 3, true);
    EXPECT_EQ(raisedBy([&] { pastTheMap.img.saveToMemory(); }), "Color not in color table");
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
    FrameFixture fx(2, 1, {0, 1}, 2);
    addExtension<TGIFCommentExtension>(fx.frame).comment = {"", std::string(300, 'x'), "end"};
    auto& gce = addExtension<TGIFGraphicControlExtension>(fx.frame);
    gce.setTransparent(true);
    gce.setTransparentColorIndex(1);
    addExtension<TGIFTextExtension>(fx.frame).text = {"hi"};
    // The empty comment line writes nothing; the long one is cut at 255.
    const Bytes file = fx.img.saveToMemory();
    giforacle::Frame expected{0, 0, 2, 1, false, Bytes(), {0, 1}, true, 0, 0, 1};
    expected.comments = {std::string(255, 'x'), std::string(45, 'x'), "end"};
    EXPECT_EQ(giforacle::decode(file).frames[0], expected);
    const Loaded back(file);
    const TGIFExtensionList& list = back.img.images()[0].extensions();
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
                EXPECT_EQ(giforacle::decode(again).frames.at(0).pixels, frameData(img.images()[0]));
            }
        }
}

TEST(GifColorMap, AddLookUpAndRemoveWithIndexErrors)
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
}

TEST(GifColorMap, OverflowsPast256Entries)
{
    FrameFixture fx;
    TGIFColorMap& m = fx.frame.colorMap();
    for (int n = 0; n < 256; ++n)
        m.add(makeColor(0, 0, uint8_t(n)));
    EXPECT_EQ(raisedBy([&] { m.add(0); }), "Color table overflow");
}

TEST(GifColorMap, BitsPerPixelOfACount)
{
    for (auto [count, bits] :
         {std::pair{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}, {5, 3}, {17, 5}, {129, 8}, {256, 8}})
        EXPECT_EQ(TGIFColorMap::bitsPerPixelOf(count), bits) << count;
}

TEST(GifColorMap, ImportsAndExportsPalettes)
{
    FrameFixture fx;
    TGIFColorMap& m = fx.frame.colorMap();
    m.add(makeColor(0, 9, 0));
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
    EXPECT_EQ(mapBytes(m), (Bytes{30, 0, 0, 10, 0, 0, 40, 0, 0}));
    EXPECT_EQ(frameData(fx.frame), (Bytes{0, 1, 0, 9, 1, 0}));
    EXPECT_EQ(fx.frame.transparentIndex(), 2);
    EXPECT_TRUE(fx.log.messages.empty());
    m.clear();
    m.add(0);
    EXPECT_FALSE(m.Optimise());
    // The global map: frames that share it and the background follow; a frame with its own
    // map is not touched.
    EXPECT_FALSE(gif::Image().globalColorMap().Optimise()); // no frames
    FrameFixture shared(3, 1, {2, 2, 1}, 4);
    shared.img.header().setBackgroundColorIndex(2);
    auto own = std::make_unique<TGIFSubImage>(&shared.img);
    own->setBounds(0, 0, 2, 1);
    std::fill_n(own->data(), 2, 1);
    own->colorMap().importPalette(std::vector<TPaletteEntry>{{1, 1, 1, 0}, {2, 2, 2, 0}});
    shared.img.images().add(std::move(own));
    EXPECT_TRUE(shared.img.globalColorMap().Optimise());
    EXPECT_EQ(mapBytes(shared.img.globalColorMap()), (Bytes{2, 253, 14, 1, 254, 7}));
    EXPECT_EQ(shared.img.header().backgroundColorIndex(), 0);
    EXPECT_EQ(frameData(shared.frame), (Bytes{0, 0, 1}));
    EXPECT_EQ(frameData(shared.img.images()[1]), (Bytes{1, 1}));
}

TEST(GifFrame, PixelAccessIsBounded)
{
    FrameFixture fx(3, 2);
    TGIFSubImage& f = fx.frame;
    EXPECT_EQ(fx.img.width(), 3);
    f.setPixel(2, 1, 7);
    EXPECT_EQ(f.scanline(1)[2], 7);
    for (auto [x, y] : {std::pair{3, 0}, {0, 2}, {-1, 0}, {0, -1}})
        EXPECT_EQ(raisedBy([&] { f.pixel(x, y); }), "Invalid pixel coordinates") << x << "," << y;
}

TEST(GifFrame, AFrameBeyondTheScreenGrowsIt)
{
    FrameFixture fx(3, 2);
    TGIFSubImage& f = fx.frame;
    f.setPixel(2, 1, 7);
    fx.log.messages.clear();
    f.setLeft(2);
    EXPECT_EQ(fx.log.messages, (std::vector<std::string>{"Image width too small for contained frames",
                                                      "Image exceeds Logical Screen size"}));
    EXPECT_EQ(fx.img.width(), 5);
    EXPECT_EQ(f.pixel(2, 1), 7); // moving keeps the pixels
    f.setWidth(4);
    EXPECT_EQ(f.pixel(2, 1), 0); // resizing gives a new zeroed buffer
}

TEST(GifFrame, TheTransparentIndexIsCheckedAgainstTheActiveMap)
{
    FrameFixture fx(3, 2);
    TGIFSubImage& f = fx.frame;
    WarningLog& log = fx.log;
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
