#include "keyformats/firmware_key.h"

#include "bytes/codec.h"
#include "bytes/crc.h"

#include <charconv>
#include <cmath>
#include <string>

std::optional<uint16_t> firmwareAddress(std::string_view text)
{
    if (text.size() != 4)
        return std::nullopt;
    unsigned value = 0;
    for (char c : text) {
        const int digit = Change(c);
        if (digit > 15)
            return std::nullopt;
        value = value * 16 + unsigned(digit);
    }
    return uint16_t(value);
}

int firmwareProgramPages(uint16_t start, uint16_t end)
{
    if (end < start)
        return 0;
    const int span = end - start;
    const int pages = span / 64 + (span % 64 ? 1 : 0);
    return std::min(pages, kFirmwareKeyPages - 1);
}

bool validFirmwareVersion(std::string_view v)
{
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    return v.size() == 3 && digit(v[0]) && v[1] == '.' && digit(v[2]);
}

MissionKeyPage firmwareKeyHeader(std::span<const uint8_t, 12> fileBytes, uint8_t mark, std::string_view version,
    uint16_t end)
{
    using namespace firmware_header;
    if (!validFirmwareVersion(version))
        throw std::invalid_argument("firmware version must be digit.digit");
    MissionKeyPage page {};
    std::copy(fileBytes.begin(), fileBytes.end(), page.begin() + kFileBytes);
    page[kVersionMajor] = uint8_t('0' + (version[0] - '0'));
    page[kVersionDot] = '.';
    page[kVersionMinor] = uint8_t('0' + (version[2] - '0'));
    page[kEndHigh] = uint8_t(end >> 8);
    page[kEndLow] = uint8_t(end & 0xFF);
    page[kCrc] = crc8(std::span<const uint8_t>(page.data(), kCrc));
    page[kMark] = mark;
    return page;
}

std::size_t firmwareFileBytesUsed(uint16_t start, uint16_t end)
{
    return kFirmwareProgramFileOffset + (end >= start ? std::size_t(end - start) + 1 : 0);
}

FirmwareKeyImage buildFirmwareKeyImage(std::span<const uint8_t> file, uint16_t start, uint16_t end,
    std::string_view version)
{
    if (file.size() < kFirmwareProgramFileOffset)
        throw FirmwareFileError("The file holds " + std::to_string(file.size())
            + " bytes: a lock program image holds its header at 07F0h-07FFh and its program from 0800h.");
    FirmwareKeyImage image {};
    for (auto& page : image)
        page.fill(0x00);
    image[0] = firmwareKeyHeader(std::span<const uint8_t, 12>(file.data() + kFirmwareHeaderFileOffset, 12),
        file[kFirmwareMarkFileOffset], version, end);
    std::size_t offset = kFirmwareProgramFileOffset;
    std::size_t page = 1, k = 0;
    for (unsigned address = start; address <= end && offset < file.size() && page < image.size(); ++address) {
        image[page][k] = file[offset++];
        if (++k == 64) {
            k = 0;
            ++page;
        }
    }
    return image;
}

std::optional<std::string_view> firmwareFileNameFor(std::string_view hardwareVersion)
{
    static constexpr std::pair<std::string_view, std::string_view> kFiles[] = {
        { "3000", "Tarvik_v3.bin" },
        { "2122", "Tarvik_v2.bin" },
        { "2022", "Tarvik_v1.bin" },
        { "2120", "quillet_v0.bin" },
        { "2020", "quillet_v1.bin" },
        { "2121", "Ombrel_v3.bin" },
        { "2221", "Ombrel_v2.bin" },
        { "4000", "pendrix.bin" },
    };
    for (const auto& [version, file] : kFiles)
        if (version == hardwareVersion)
            return file;
    return std::nullopt;
}

std::optional<std::string> nextFirmwareVersion(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return std::nullopt;
    text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
    const char* b = text.data();
    if (*b == '+')
        ++b;
    double v = 0;
    const auto [end, ec] = std::from_chars(b, text.data() + text.size(), v, std::chars_format::fixed);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v))
        return std::nullopt;
    const double next = v < 8 ? v + 1 : 1;
    // "####.#": one decimal at most, none when it is 0, no leading zero before the point.
    const long long tenths = std::llround(next * 10);
    const long long whole = std::llabs(tenths) / 10, fraction = std::llabs(tenths) % 10;
    std::string out = tenths < 0 ? "-" : "";
    if (fraction == 0)
        return out + std::to_string(whole);
    if (whole != 0)
        out += std::to_string(whole);
    return out + "." + std::to_string(fraction);
}
