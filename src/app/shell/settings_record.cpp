#include "app/shell/settings_record.h"

#include "fileio/atomic_file.h"

#include <algorithm>
#include <fstream>
#include <system_error>

TSettingsRecord SettingsRecord;

namespace shell {

std::array<uint8_t, kConfigSize> configBytes(const TSettingsRecord& s)
{
    return { s.UserType, s.MotorPulseTime, s.LockBackDelay, s.PortNum, s.PortType, s.ScreenMode,
        s.FacilityCode[0], s.FacilityCode[1], s.FacilityCode[2] };
}

void applyConfigBytes(TSettingsRecord& s, const std::array<uint8_t, kConfigSize>& b)
{
    s.UserType = b[0];
    s.MotorPulseTime = b[1];
    s.LockBackDelay = b[2];
    s.PortNum = b[3];
    s.PortType = b[4];
    s.ScreenMode = b[5];
    s.FacilityCode = { b[6], b[7], b[8] };
}

void applyConfigDefaults(TSettingsRecord& s)
{
    applyConfigBytes(s,
        { kDefaultUserType, kDefaultMotorPulseTime, kDefaultLockBackDelay, kDefaultPortNum, kDefaultPortType,
            kDefaultScreenMode, kFactoryFacilityCode[0], kFactoryFacilityCode[1], kFactoryFacilityCode[2] });
}

bool readConfigDat(TSettingsRecord& s, const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::array<char, kConfigSize + 1> buffer {}; // one more: a longer file is no Config.dat either
    in.read(buffer.data(), buffer.size());
    std::array<uint8_t, kConfigSize> bytes {};
    std::copy_n(buffer.begin(), kConfigSize, bytes.begin());
    // Nine bytes are taken as stored: the facility code is copied onto keys and compared with
    // theirs byte for byte, whatever its bytes are.
    if (in.gcount() == std::streamsize(kConfigSize)) {
        applyConfigBytes(s, bytes);
        return true;
    }
    applyConfigDefaults(s);
    return false;
}

std::string loadConfigDat(TSettingsRecord& s, const std::filesystem::path& file)
{
    if (readConfigDat(s, file))
        return {};
    const std::string name = file.filename().string();
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(file, ec)))
        return name + " not found, the default settings are in use.";
    try {
        const auto aside = fileio::keepAside(file, kConfigAsideSuffix);
        return name + " could not be read, it has been kept as " + aside.filename().string()
            + " and the default settings are in use.";
    } catch (const std::exception& e) {
        return name + " could not be read and the default settings are in use. " + e.what();
    }
}

void writeConfigDat(const TSettingsRecord& s, const std::filesystem::path& file)
{
    const auto bytes = configBytes(s);
    fileio::writeFileReplacing(file, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void resetRunTimeFields(TSettingsRecord& s)
{
    TSettingsRecord fresh;
    applyConfigBytes(fresh, configBytes(s));
    s = fresh;
}

} // namespace shell
