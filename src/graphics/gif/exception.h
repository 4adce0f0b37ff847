#pragma once
// The codec's one exception class and the basic value types shared by the object tree,
// the reader, the writer and the colour reduction.
#include <cstdint>
#include <stdexcept>
#include <string>

// Raised for every fatal codec error; carries the message text only.
class GIFException : public std::runtime_error {
public:
    explicit GIFException(const std::string& message) : std::runtime_error(message) {}
};

// A colour as exchanged with the GUI side: 0x00BBGGRR.
using TColor = uint32_t;

inline constexpr TColor makeColor(uint8_t red, uint8_t green, uint8_t blue)
{
    return TColor(red) | (TColor(green) << 8) | (TColor(blue) << 16);
}
inline constexpr uint8_t colorRed(TColor c) { return uint8_t(c); }
inline constexpr uint8_t colorGreen(TColor c) { return uint8_t(c >> 8); }
inline constexpr uint8_t colorBlue(TColor c) { return uint8_t(c >> 16); }

// One entry of a GIF colour table, in file order.
struct TGIFColor {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    friend bool operator==(const TGIFColor&, const TGIFColor&) = default;
};

// A logical palette entry (red, green, blue, flags) and the no-collapse flag.
struct TPaletteEntry {
    uint8_t peRed = 0;
    uint8_t peGreen = 0;
    uint8_t peBlue = 0;
    uint8_t peFlags = 0;
};
inline constexpr uint8_t PC_NOCOLLAPSE = 0x04;

// A colour-table quad of a device-independent bitmap: blue, green, red, reserved.
struct TRGBQuad {
    uint8_t rgbBlue = 0;
    uint8_t rgbGreen = 0;
    uint8_t rgbRed = 0;
    uint8_t rgbReserved = 0;
};

enum TGIFVersion { gvUnknown, gv87a, gv89a };

// The image-data encoder used when saving.
enum TGIFCompression { gcLZW, gcRLE };

// Severity of every non-fatal problem reported while reading or writing.
inline constexpr int kGIFWarningSeverity = 1;

// The system's own message texts.
namespace gifmsg {
inline constexpr const char* PrematureEnd = "Premature end of data";
inline constexpr const char* InvalidSignature = "Invalid GIF signature";
inline constexpr const char* ScreenColors = "Invalid number of colors specified in Screen Descriptor";
inline constexpr const char* ImageColors = "Invalid number of colors specified in Image Descriptor";
inline constexpr const char* UnknownBlock = "Unknown GIF block type";
inline constexpr const char* InvalidIntroducer = "Invalid extension introducer";
inline constexpr const char* UnknownExtension = "Unknown extension type";
inline constexpr const char* ExtensionMismatch = "Internal error: Extension Instance does not match Extension Label";
inline constexpr const char* AppBlockSize = "Unsupported Application Extension block size";
inline constexpr const char* InvalidData = "Invalid GIF data";
inline constexpr const char* ExceedsScreen = "Image exceeds Logical Screen size";
inline constexpr const char* InvalidTrailer = "Invalid Image trailer";
inline constexpr const char* BitBufferUnderrun = "Decoder bit buffer under-run";
inline constexpr const char* CircularTable = "Circular decoder table entry";
inline constexpr const char* ColorTableOverflow = "Color table overflow";
inline constexpr const char* InvalidColorIndex = "Invalid color index";
inline constexpr const char* ColorTableEmpty = "Color table is empty";
inline constexpr const char* InvalidPixel = "Invalid pixel coordinates";
inline constexpr const char* WidthTooSmall = "Image width too small for contained frames";
inline constexpr const char* HeightTooSmall = "Image height too small for contained frames";
inline constexpr const char* UnsupportedVersion = "Unsupported GIF version";
inline constexpr const char* ColorNotInTable = "Color not in color table";
inline constexpr const char* InvalidStreamOperation = "Invalid stream operation";
// Texts of the bounds this codec puts on untrusted input.
inline constexpr const char* InvalidCode = "Invalid code in image data";
inline constexpr const char* InvalidCodeSize = "Invalid LZW code size";
inline constexpr const char* ImageTooLarge = "Image too large";
inline constexpr const char* OutOfMemory = "Failed to allocate memory for GIF image";
} // namespace gifmsg
