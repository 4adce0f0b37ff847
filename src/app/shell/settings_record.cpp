#include "app/shell/settings_record.h"

#include "fileio/atomic_file.h"

#include <fstream>

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
    std::array<uint8_t, kConfigSize> bytes {};
    if (in && in.read(reinterpret_cast<char*>(bytes.data()), bytes.size()) && in.gcount() == kConfigSize) {
        applyConfigBytes(s, bytes);
        return true;
    }
    applyConfigDefaults(s);
    return false;
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
