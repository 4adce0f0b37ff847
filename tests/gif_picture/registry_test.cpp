// The picture framework side: the registry by extension and by clipboard format, loading
// files through it, assigning to and from other pictures, and the clipboard.
#include "picture_test_util.h"

#include <QBuffer>
#include <QFile>
#include <QClipboard>
#include <QGuiApplication>
#include <QImageReader>
#include <QMimeData>
#include <QPixmap>

using namespace pictest;

namespace {

std::vector<uint8_t> twoFrameGif()
{
    // 3 x 2 frames over a 4-entry grey map.
    return assembleGif(3, 2, 2, {{0, 1, 2, 3, 2, 1}, {3, 3, 3, 0, 0, 0}}, 20, 2);
}

QString writeScratch(const std::string& name, const std::vector<uint8_t>& bytes)
{
    const auto dir = giftest::scratchDir("registry");
    const auto path = dir / name;
    giftest::writeFile(path, bytes);
    return QString::fromStdString(path.string());
}

}  // namespace

TEST(PictureRegistry, GifIsOursWhateverQtCanRead)
{
    picture::FormatRegistry& registry = picture::FormatRegistry::instance();
    const picture::FileFormat* gif = registry.findFileFormat("gif");
    ASSERT_NE(gif, nullptr);
    EXPECT_EQ(gif->extension, "GIF");
    EXPECT_EQ(gif->description, "GIF Image");
    EXPECT_TRUE(registry.fileFilter().contains("GIF Image (*.gif)"));
    EXPECT_EQ(registry.findFileFormat(".GIF"), gif);
    // Registering again (a second start-up call) leaves one entry.
    registerGIFPicture();
    EXPECT_EQ(std::count_if(registry.fileFormats().begin(), registry.fileFormats().end(),
                            [](const picture::FileFormat& f) { return f.extension == "GIF"; }),
              1);

    // Even where Qt has a GIF reader of its own, the registry hands out our picture.
    const QString path = writeScratch("two.gif", twoFrameGif());
    std::unique_ptr<picture::Graphic> loaded = registry.loadFile(path);
    auto* pic = dynamic_cast<TGIFPicture*>(loaded.get());
    ASSERT_NE(pic, nullptr);
    EXPECT_EQ(pic->images().count(), 2);
    EXPECT_EQ(pic->width(), 3);
    EXPECT_EQ(pic->height(), 2);
    EXPECT_EQ(pic->images()[0].pixel(2, 1), 1);
    EXPECT_EQ(pic->images()[1].graphicControlExtension()->delay(), 20);

    // A bitmap format goes to the bitmap class.
    QImage bmp(2, 2, QImage::Format_RGB32);
    bmp.fill(Qt::red);
    const QString bmpPath = QString::fromStdString((giftest::scratchDir("registry_bmp") / "red.bmp").string());
    ASSERT_TRUE(bmp.save(bmpPath, "BMP"));
    std::unique_ptr<picture::Graphic> bitmap = registry.loadFile(bmpPath);
    EXPECT_EQ(dynamic_cast<TGIFPicture*>(bitmap.get()), nullptr);
    EXPECT_EQ(bitmap->toImage().pixel(1, 1), qRgb(255, 0, 0));

    EXPECT_THROW(registry.loadFile("picture.xyz"), picture::PictureError);
}

TEST(PictureRegistry, BrokenFileIsRefusedAndLeavesTheDevicePosition)
{
    std::vector<uint8_t> bytes = twoFrameGif();
    bytes[0] = 'X';  // no signature
    QByteArray data(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    buffer.seek(3);
    TGIFPicture pic;
    giftest::WarningLog log;
    log.attach(pic);
    try {
        pic.loadFromDevice(buffer);
        FAIL() << "loaded a stream without a signature";
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "Invalid GIF signature");
    }
    EXPECT_EQ(buffer.pos(), 3);
    EXPECT_TRUE(pic.isEmpty());

    // A whole file leaves the device after the trailer.
    bytes = twoFrameGif();
    bytes.push_back(0x42);
    data = QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    QBuffer whole(&data);
    whole.open(QIODevice::ReadOnly);
    pic.loadFromDevice(whole);
    EXPECT_EQ(whole.pos(), qint64(bytes.size()) - 1);
}

TEST(PictureRegistry, ScreenGrowsToHoldItsFrames)
{
    // A file whose logical screen is 0 x 0 and a frame larger than it.
    giftest::GifAssembler a;
    a.header(0, 0, 1);
    a.descriptor(1, 1, 2, 2);
    a.imageData(2, uncompressedCodes(2, {1, 0, 0, 1}));
    a.trailer();
    TGIFPicture pic;
    giftest::WarningLog log;
    log.attach(pic);
    pic.loadFromBytes(QByteArray(reinterpret_cast<const char*>(a.bytes.data()), qsizetype(a.bytes.size())));
    EXPECT_EQ(pic.width(), 3);
    EXPECT_EQ(pic.height(), 3);
    EXPECT_TRUE(log.has("Image exceeds Logical Screen size"));
    QImage canvas(6, 6, QImage::Format_ARGB32);
    canvas.fill(Qt::green);
    QPainter painter(&canvas);
    pic.draw(painter, canvas.rect());
    painter.end();
    EXPECT_EQ(canvas.pixel(2, 2), qRgb(1, 1, 1));
    EXPECT_EQ(canvas.pixel(4, 2), qRgb(0, 0, 0));
    EXPECT_EQ(canvas.pixel(0, 0), qRgb(0, 255, 0));

    // The screen cannot be made smaller than a frame.
    EXPECT_THROW(pic.setWidth(2), GIFException);
    EXPECT_THROW(pic.setHeight(1), GIFException);
    pic.setWidth(5);
    EXPECT_EQ(pic.width(), 5);
}

TEST(PictureAssign, FromAndToOtherPictures)
{
    TGIFPicture source;
    std::vector<uint8_t> bytes = twoFrameGif();
    source.loadFromBytes(QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())));
    source.DrawOptions = TGIFDrawOptions{gdTile};
    source.ColorReduction = reGray256;

    TGIFPicture copy;
    std::vector<std::string> progress;
    copy.OnProgress = [&](const void*, TProgressStage, int, const std::string& m) { progress.push_back(m); };
    copy.assign(source);
    ASSERT_EQ(copy.images().count(), 2);
    EXPECT_EQ(copy.width(), 3);
    EXPECT_EQ(copy.globalColorMap().count(), 4);
    EXPECT_TRUE(copy.DrawOptions == source.DrawOptions);
    EXPECT_EQ(copy.ColorReduction, reGray256);
    EXPECT_EQ(std::vector<uint8_t>(copy.images()[1].data(), copy.images()[1].data() + 6),
              std::vector<uint8_t>(source.images()[1].data(), source.images()[1].data() + 6));
    EXPECT_EQ(copy.images()[1].graphicControlExtension()->delay(), 20);
    EXPECT_NE(std::find(progress.begin(), progress.end(), "Copying..."), progress.end());

    // To a bitmap: frame 0 over the whole screen.
    QImage image = copy.toImage();
    ASSERT_EQ(image.size(), QSize(3, 2));
    EXPECT_EQ(image.pixel(1, 0), qRgb(1, 1, 1));
    EXPECT_EQ(copy.toPixmap().size(), QSize(3, 2));

    // From a bitmap: one frame, reduced to the web-safe colours.
    QImage photo(4, 3, QImage::Format_RGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            photo.setPixel(x, y, qRgb(x * 60, y * 100, 7));
    TGIFPicture fromImage;
    fromImage.assignPixmap(QPixmap::fromImage(photo));
    ASSERT_EQ(fromImage.images().count(), 1);
    EXPECT_EQ(fromImage.width(), 4);
    for (const TGIFColor& c : fromImage.images()[0].activeColorMap().entries()) {
        EXPECT_EQ(c.red % 51, 0);
        EXPECT_EQ(c.green % 51, 0);
        EXPECT_EQ(c.blue % 51, 0);
    }

    // Only frames of this picture (or pictures) can be added.
    auto foreign = std::make_unique<TGIFSubImage>(&source);
    EXPECT_THROW(copy.add(std::move(foreign)), GIFException);
    EXPECT_EQ(copy.add(photo), 2);
    EXPECT_EQ(copy.width(), 4);
}

TEST(PictureClipboard, BitmapPasteAndUnsupportedFormats)
{
    QImage photo(5, 5, QImage::Format_ARGB32);
    photo.fill(qRgb(30, 200, 90));
    QMimeData bitmapOnly;
    bitmapOnly.setImageData(photo);
    TGIFPicture pic;
    pic.loadFromClipboard(bitmapOnly);
    ASSERT_EQ(pic.images().count(), 1);
    const TGIFColor c = pic.images()[0].activeColorMap().entries()[pic.images()[0].pixel(2, 2)];
    EXPECT_EQ(rgbOf(c), qRgb(0, 153, 51));

    QMimeData text;
    text.setText("not a picture");
    try {
        pic.loadFromClipboard(text);
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "Unsupported clipboard format");
    }
    EXPECT_THROW(picture::FormatRegistry::instance().paste(text), picture::PictureError);
    EXPECT_TRUE(picture::FormatRegistry::instance().canPaste(bitmapOnly));
    EXPECT_FALSE(picture::FormatRegistry::instance().canPaste(text));
}

TEST(PictureRegistry, SaveAndLoadBackThroughTheRegistry)
{
    TGIFPicture pic;
    const std::vector<TGIFColor> map = {{255, 0, 0}, {0, 0, 255}, {0, 255, 0}};
    build(pic, 4, 3, map,
          {{0, 0, 4, 3, {0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2}, 7, 1},
           {1, 1, 2, 2, {2, 2, 1, 0}, 9, 2, 0}},
          5);
    const auto dir = giftest::scratchDir("registry_save");
    const QString path = QString::fromStdString((dir / "saved.gif").string());
    for (TGIFCompression compression : {gcLZW, gcRLE}) {
        pic.Compression = compression;
        pic.saveToFile(path);
        std::unique_ptr<picture::Graphic> loaded = picture::FormatRegistry::instance().loadFile(path);
        auto* back = dynamic_cast<TGIFPicture*>(loaded.get());
        ASSERT_NE(back, nullptr);
        ASSERT_EQ(back->images().count(), 2);
        EXPECT_EQ(back->width(), 4);
        EXPECT_EQ(back->height(), 3);
        for (int i = 0; i < 2; ++i) {
            const TGIFSubImage& a = pic.images()[i];
            const TGIFSubImage& b = back->images()[i];
            EXPECT_EQ(giftest::frameRgb(a), giftest::frameRgb(b)) << i;
            EXPECT_EQ(b.left(), a.left());
            EXPECT_EQ(b.graphicControlExtension()->delay(), a.graphicControlExtension()->delay());
            EXPECT_EQ(b.transparentIndex(), a.transparentIndex());
        }
        expectSameTimeline(timeline(pic), timeline(*back));
    }
    // An empty picture has nothing to save, and no file appears.
    TGIFPicture empty;
    const QString none = QString::fromStdString((dir / "none.gif").string());
    EXPECT_THROW(empty.saveToFile(none), GIFException);
    EXPECT_FALSE(QFile::exists(none));
}

TEST(PictureClipboard, RoundTripThroughTheApplicationClipboard)
{
    TGIFPicture pic;
    const std::vector<TGIFColor> map = {{255, 0, 0}, {0, 0, 255}, {0, 255, 0}, {9, 9, 9}};
    build(pic, 3, 2, map, {{0, 0, 3, 2, {0, 1, 2, 3, 2, 1}, 4}, {0, 0, 2, 1, {3, 3}, 4}}, 0);
    pic.copyToClipboard();
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(data->hasFormat(gifClipboardFormat()));
    EXPECT_TRUE(gifClipboardFormat().contains("\"GIF Image\""));
    // The bitmap beside it is frame 0 on the screen.
    ASSERT_TRUE(data->hasImage());
    const QImage bitmap = qvariant_cast<QImage>(data->imageData());
    EXPECT_EQ(bitmap.pixel(1, 0), qRgb(0, 0, 255));

    TGIFPicture pasted;
    pasted.pasteFromClipboard();
    ASSERT_EQ(pasted.images().count(), 2);
    EXPECT_EQ(giftest::frameRgb(pasted.images()[1]), giftest::frameRgb(pic.images()[1]));
    expectSameTimeline(timeline(pic), timeline(pasted));

    // The registry pastes it as a GIF picture too.
    std::unique_ptr<picture::Graphic> viaRegistry = picture::FormatRegistry::instance().paste(*data);
    EXPECT_NE(dynamic_cast<TGIFPicture*>(viaRegistry.get()), nullptr);

    // An empty picture puts nothing there.
    QMimeData nothing;
    TGIFPicture().saveToClipboard(nothing);
    EXPECT_TRUE(nothing.formats().isEmpty());
}
