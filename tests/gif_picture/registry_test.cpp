// The registry, files, devices, copies and the clipboard; hostile and damaged files through
// everything the picture does with them, with only clear errors; frames from Qt's images, icons
// and pictures, and the colour reduction on QImage. The tests run in an application on Qt's
// offscreen platform, the GIF picture registered.
#include "graphics/gif/qt/colour_import.h"
#include "picture_test_util.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QFile>
#include <QMimeData>
#include <QPixmap>
#include <algorithm>
#include <filesystem>
#include <random>

using gifcolour::ReductionOptions;
using namespace pictest;

namespace {

// Two 3 x 2 frames, 20 hundredths each.
Bytes twoFrames()
{
    giftest::GifAssembler g = giftest::gifOf(3, 2);
    for (const Bytes& codes : {giftest::pack({-3, 4, 0, 1, 4, 2, 3, 4, 2, 1, 5}),
                               giftest::pack({-3, 4, 3, 3, 4, 3, 0, 4, 0, 0, 5})})
        g.graphicControl(0, 20, -1).frame(3, 2, codes);
    return g.end();
}

QString scratch(const std::string& dir, const std::string& name)
{
    return QString::fromStdString((giftest::scratchDir(dir) / name).string());
}

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
    paint(pic, QSize(16, 16), QRect(0, 0, 16, 16));
    pic.DrawOptions = pic.DrawOptions.with(gdTile);
    pic.stopDrawing();
    paint(pic, QSize(16, 16), QRect(3, 3, 9, 9));
    pic.Optimise(TGIFOptimizeOptions{opColorMaps, opCleanup, opMerge, opCrop});
    auto framesOf = [](const TGIFPicture& p) { // those with pixels: an empty frame's image is not written
        std::vector<const TGIFSubImage*> f;
        for (int i = 0; i < p.images().count(); ++i)
            if (!p.images()[i].empty())
                f.push_back(&p.images()[i]);
        return f;
    };
    const auto frames = framesOf(pic);
    QByteArray saved;
    try {
        saved = pic.saveToBytes();
    } catch (const GIFException& e) {
        // The clear refusals: nothing to write, or pixels that name no colour.
        EXPECT_STREQ(e.what(), frames.empty() ? "Unsupported GIF version" : "Color not in color table");
        return;
    }
    // What was written reads back as it was: each frame's place, size and pixel colours.
    TGIFPicture back;
    back.OnCodecWarning = [](const void*, int, const std::string& m) { ADD_FAILURE() << m; };
    back.loadFromBytes(saved);
    const auto read = framesOf(back);
    ASSERT_EQ(read.size(), frames.size());
    for (size_t i = 0; i < read.size(); ++i) {
        const TGIFSubImage &a = *frames[i], &b = *read[i];
        ASSERT_EQ(std::vector<int>({a.left(), a.top(), a.width(), a.height()}),
                  std::vector<int>({b.left(), b.top(), b.width(), b.height()}));
        // A frame without any colour table keeps its indexes; one with a table, its colours.
        ASSERT_EQ(a.activeColorMap().count() == 0, b.activeColorMap().count() == 0) << i;
        for (size_t p = 0; p < a.dataSize(); ++p)
            if (a.activeColorMap().count() == 0)
                ASSERT_EQ(a.data()[p], b.data()[p]) << i << " " << p;
            else
                ASSERT_EQ(a.activeColorMap().entry(a.data()[p]), b.activeColorMap().entry(b.data()[p])) << i << " " << p;
    }
}

QRgb colourOf(const TGIFSubImage& f, int x, int y)
{
    return rgbOf(f.colorMap().entries()[f.pixel(x, y)]);
}

} // namespace

TEST(PictureRegistry, GifIsRegisteredOnce)
{
    picture::FormatRegistry& registry = picture::FormatRegistry::instance();
    const picture::FileFormat* gif = registry.findFileFormat("gif");
    ASSERT_NE(gif, nullptr);
    EXPECT_TRUE(registry.fileFilter().contains("GIF Image (*.gif)"));
    EXPECT_EQ(registry.findFileFormat(".GIF"), gif);
    // Registering again (a second start-up call) leaves one entry.
    const size_t formats = registry.fileFormats().size();
    registerGIFPicture();
    EXPECT_EQ(registry.fileFormats().size(), formats);
}

// Saved and loaded back through the registry: even where Qt has a GIF reader of its own, the
// registry hands out our picture.
TEST(PictureRegistry, GifIsOursWhateverQtCanRead)
{
    picture::FormatRegistry& registry = picture::FormatRegistry::instance();
    TGIFPicture pic;
    build(pic, 4, 3, {kRed, kBlue, kGreen},
          {{0, 0, 4, 3, {0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2}, 7, 1}, {1, 1, 2, 2, {2, 2, 1, 0}, 9, 2, 0}}, 5);
    const QString path = scratch("registry", "saved.gif");
    pic.saveToFile(path);
    std::unique_ptr<picture::Graphic> loaded = registry.loadFile(path);
    auto* back = dynamic_cast<TGIFPicture*>(loaded.get());
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(timeline(*back), timeline(pic));
}

TEST(PictureRegistry, AnEmptyPictureHasNothingToSave)
{
    const QString none = scratch("registry_none", "none.gif");
    EXPECT_THROW(TGIFPicture().saveToFile(none), GIFException);
    EXPECT_FALSE(QFile::exists(none));
}

TEST(PictureRegistry, OtherFormatsGoToTheirOwnClassesOrAreRefused)
{
    picture::FormatRegistry& registry = picture::FormatRegistry::instance();
    QImage bmp(2, 2, QImage::Format_RGB32);
    bmp.fill(Qt::red);
    const QString bmpPath = scratch("registry_bmp", "red.bmp");
    ASSERT_TRUE(bmp.save(bmpPath, "BMP"));
    std::unique_ptr<picture::Graphic> bitmap = registry.loadFile(bmpPath);
    EXPECT_EQ(dynamic_cast<TGIFPicture*>(bitmap.get()), nullptr);
    EXPECT_EQ(bitmap->toImage().pixel(1, 1), qRgb(255, 0, 0));
    EXPECT_THROW(registry.loadFile("picture.xyz"), picture::PictureError);
}

TEST(PictureRegistry, DevicesAreLeftWhereTheyWere)
{
    // A broken file is refused and the device stays where it was; a whole file leaves it after
    // the trailer.
    Bytes broken = twoFrames(), whole = twoFrames();
    broken[0] = 'X';
    whole.push_back(0x42);
    using Row = std::tuple<Bytes, int, std::string, qint64>; // bytes, start, error, end
    for (const auto& [bytes, start, error, end] :
         {Row{broken, 3, "Invalid GIF signature", 3}, Row{whole, 0, "", qint64(whole.size()) - 1}}) {
        QByteArray data = qbytes(bytes);
        QBuffer buffer(&data);
        buffer.open(QIODevice::ReadOnly);
        buffer.seek(start);
        TGIFPicture pic;
        EXPECT_EQ(giftest::raisedBy([&] { pic.loadFromDevice(buffer); }), error);
        EXPECT_EQ(buffer.pos(), end);
        EXPECT_EQ(pic.isEmpty(), !error.empty());
    }
}

TEST(PictureRegistry, ScreenGrowsToHoldItsFrames)
{
    // A file whose logical screen is 0 x 0 and a frame larger than it.
    TGIFPicture pic;
    pic.loadFromBytes(qbytes(giftest::gifOf(0, 0, 1)
                                 .descriptor(1, 1, 2, 2)
                                 .imageData(2, giftest::pack({-3, 4, 1, 0, 4, 0, 1, 5}))
                                 .end()));
    EXPECT_EQ(QSize(pic.width(), pic.height()), QSize(3, 3));
    // The screen cannot be made smaller than a frame.
    EXPECT_THROW(pic.setWidth(2), GIFException);
    EXPECT_THROW(pic.setHeight(1), GIFException);
    pic.setWidth(5);
    EXPECT_EQ(pic.width(), 5);
}

TEST(PictureAssign, FromAndToOtherPictures)
{
    TGIFPicture source;
    source.loadFromBytes(qbytes(twoFrames()));
    source.DrawOptions = TGIFDrawOptions{gdTile};
    source.ColorReduction = reGray256;
    TGIFPicture copy;
    std::vector<std::string> progress;
    copy.OnProgress = [&](const void*, TProgressStage, int, const std::string& m) { progress.push_back(m); };
    copy.assign(source);
    EXPECT_EQ(copy.globalColorMap().count(), 4);
    EXPECT_TRUE(copy.DrawOptions == source.DrawOptions);
    EXPECT_EQ(copy.ColorReduction, reGray256);
    EXPECT_NE(std::find(progress.begin(), progress.end(), "Copying..."), progress.end());
    EXPECT_EQ(timeline(copy), timeline(source));
    // Only frames of this picture (or pictures) can be added; the screen grows to hold them.
    EXPECT_THROW(copy.add(std::make_unique<TGIFSubImage>(&source)), GIFException);
    QImage red(4, 3, QImage::Format_RGB32);
    red.fill(Qt::red);
    EXPECT_EQ(copy.add(red), 2);
    EXPECT_EQ(copy.width(), 4);
}

TEST(PictureClipboard, RoundTripWithAFrame0BitmapBeside)
{
    TGIFPicture pic;
    build(pic, 3, 2, {kRed, kBlue, kGreen, {9, 9, 9}},
          {{0, 0, 3, 2, {0, 1, 2, 3, 2, 1}, 4}, {0, 0, 2, 1, {3, 3}, 4}}, 0);
    pic.copyToClipboard();
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(data->hasFormat(gifClipboardFormat()));
    // The bitmap beside it is frame 0 on the screen.
    ASSERT_TRUE(data->hasImage());
    EXPECT_EQ(qvariant_cast<QImage>(data->imageData()).pixel(1, 0), qRgb(0, 0, 255));
    TGIFPicture pasted;
    pasted.pasteFromClipboard();
    EXPECT_EQ(timeline(pasted), timeline(pic));
    // The registry pastes it as a GIF picture too.
    EXPECT_NE(dynamic_cast<TGIFPicture*>(picture::FormatRegistry::instance().paste(*data).get()), nullptr);
}

TEST(PictureClipboard, AnEmptyPicturePutsNothingThere)
{
    QMimeData nothing;
    TGIFPicture().saveToClipboard(nothing);
    EXPECT_TRUE(nothing.formats().isEmpty());
}

TEST(PictureClipboard, ABitmapAloneIsPastedAsOneFrameInWebSafeColours)
{
    TGIFPicture pic;
    build(pic, 3, 2, {kRed, kBlue, kGreen, {9, 9, 9}},
          {{0, 0, 3, 2, {0, 1, 2, 3, 2, 1}, 4}, {0, 0, 2, 1, {3, 3}, 4}}, 0);
    QImage photo(5, 5, QImage::Format_ARGB32);
    photo.fill(qRgb(30, 200, 90));
    QMimeData bitmapOnly;
    bitmapOnly.setImageData(photo);
    EXPECT_TRUE(picture::FormatRegistry::instance().canPaste(bitmapOnly));
    pic.loadFromClipboard(bitmapOnly);
    ASSERT_EQ(pic.images().count(), 1);
    EXPECT_EQ(rgbOf(pic.images()[0].activeColorMap().entries()[pic.images()[0].pixel(2, 2)]),
              qRgb(0, 153, 51));
}

TEST(PictureClipboard, TextIsRefused)
{
    QMimeData text;
    text.setText("not a picture");
    TGIFPicture pic;
    EXPECT_EQ(giftest::raisedBy([&] { pic.loadFromClipboard(text); }), "Unsupported clipboard format");
    EXPECT_THROW(picture::FormatRegistry::instance().paste(text), picture::PictureError);
    EXPECT_FALSE(picture::FormatRegistry::instance().canPaste(text));
}

TEST(PictureRobustness, SeedFilesAndMutations)
{
    // The hand-made seeds, in name order so that the mutations are the same on every machine;
    // what exploring added to the folder is the fuzz replay's.
    std::vector<std::filesystem::path> names;
    for (const auto& entry : std::filesystem::directory_iterator(IOS_SOURCE_DIR "/fuzz/corpus/gif_load_fuzz"))
        if (entry.path().extension() == ".gif")
            names.push_back(entry.path());
    std::sort(names.begin(), names.end());
    std::vector<Bytes> seeds;
    for (const auto& name : names)
        seeds.push_back(giftest::readFile(name));
    ASSERT_EQ(seeds.size(), 6u);
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

TEST(QtReduce, IndexedResultMatchesTheCore)
{
    QImage src(23, 11, QImage::Format_ARGB32);
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 23; ++x)
            src.setPixel(x, y, qRgb(x * 255 / 22, y * 255 / 10, (x * y) & 255));
    QImage out = gifcolour::reduceColors(src, reWebSafe216, dtFloydSteinberg, 8);
    ASSERT_EQ(out.format(), QImage::Format_Indexed8);
    gifcolour::ReducedImage core =
        ReduceColors(gifcolour::rgbImageFrom(src), reWebSafe216, dtFloydSteinberg, 8, nullptr);
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 23; ++x)
            ASSERT_EQ(out.pixelIndex(x, y), core.index(x, y));
    EXPECT_EQ(out.color(36 * 5 + 6 + 2), qRgb(255, 51, 102));
    QImage same = gifcolour::reduceColors(src, reNone, dtNearest, 8);
    ASSERT_EQ(same.format(), QImage::Format_RGB888);
    EXPECT_EQ(same, src.convertToFormat(QImage::Format_RGB888));
    EXPECT_TRUE(gifcolour::reduceColors(src, reGray4, 42, 8).isNull());
}

TEST(QtAssignBitmap, IndexedKeepTheirPixelsAndTable)
{
    for (auto format : {QImage::Format_Mono, QImage::Format_MonoLSB, QImage::Format_Indexed8}) {
        QImage img(10, 3, format);
        const int colours = format == QImage::Format_Indexed8 ? 5 : 2;
        QList<QRgb> table;
        for (int i = 0; i < colours; ++i)
            table.push_back(qRgb(9 + 50 * i, 8, 7 + i));
        img.setColorTable(table);
        img.fill(0);
        for (auto [x, y] : {std::pair{0, 0}, {9, 0}, {4, 2}, {2, 1}})
            img.setPixel(x, y, uint(1 + (x + y) % (colours - 1)));
        TGIFSubImage frame(nullptr);
        gifcolour::assignBitmap(frame, img, ReductionOptions{});
        ASSERT_EQ(frame.colorMap().count(), colours); // its own count, not a padded table
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 10; ++x) {
                ASSERT_EQ(frame.pixel(x, y), img.pixelIndex(x, y)) << x << "," << y;
                ASSERT_EQ(colourOf(frame, x, y), img.pixel(x, y));
            }
    }
}

TEST(QtAssignIcon, TransparentPartsBecomeTheTransparentIndex)
{
    QImage art(8, 8, QImage::Format_ARGB32);
    art.fill(Qt::transparent);
    for (int y = 0; y < 8; ++y)
        for (int x = 4; x < 8; ++x)
            art.setPixel(x, y, qRgb(255, 0, 0));
    TGIFSubImage frame(nullptr);
    gifcolour::assignIcon(frame, QIcon(QPixmap::fromImage(art)), {reNone, dtNearest, 8}, QSize(8, 8));
    const int t = frame.transparentIndex();
    ASSERT_GE(t, 0);
    EXPECT_EQ(frame.pixel(0, 0), t);
    EXPECT_EQ(colourOf(frame, 4, 0), qRgb(255, 0, 0));
    // Fully opaque: no control extension.
    art.fill(qRgb(0, 0, 255));
    art.setPixel(0, 0, qRgb(0, 255, 0));
    gifcolour::assignIconImage(frame, art, {reNone, dtNearest, 8});
    EXPECT_EQ(frame.colorMap().count(), 2);
    EXPECT_EQ(frame.extensions().count(), 0);
    // A picture: what it does not cover is transparent.
    QPicture picture;
    {
        QPainter p(&picture);
        p.fillRect(QRect(0, 0, 10, 10), QColor(255, 0, 0));
        p.fillRect(QRect(20, 0, 10, 10), QColor(0, 0, 255));
    }
    gifcolour::assignPicture(frame, picture, {reNone, dtNearest, 8});
    ASSERT_EQ(frame.width(), 30);
    ASSERT_EQ(frame.height(), 10);
    ASSERT_GE(frame.transparentIndex(), 0);
    EXPECT_EQ(frame.pixel(15, 5), frame.transparentIndex());
    EXPECT_EQ(colourOf(frame, 2, 2), qRgb(255, 0, 0));
    EXPECT_EQ(colourOf(frame, 25, 9), qRgb(0, 0, 255));
    gifcolour::assignPicture(frame, QPicture(), ReductionOptions{});
    EXPECT_TRUE(frame.empty());
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    registerGIFPicture();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
