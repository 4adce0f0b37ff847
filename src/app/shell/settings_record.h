#pragma once
// The main window's settings block: the nine bytes kept in Config.dat and the fields the
// windows hand to one another while the program runs.
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

struct TSettingsRecord {
    // Config.dat, in file order.
    uint8_t UserType = 0;
    uint8_t MotorPulseTime = 0; // 0.1 s
    uint8_t LockBackDelay = 0;  // 0.1 s
    uint8_t PortNum = 0;
    uint8_t PortType = 0;
    uint8_t ScreenMode = 0; // 0: 1024x768 (children maximised), else 800x600
    std::array<uint8_t, 3> FacilityCode {}; // six digits as packed BCD; kept and used as stored

    // Run time.
    std::string ReaderRomId; // empty: no reader found at start
    std::string PickedLockSerialID;
    uint8_t PickAccessCodeLocksOnly = 0;
    uint8_t PickLockStatusMode = 0;
    uint8_t PickedLockStatusID = 0;
    std::string PickedLockStatusName;
    uint8_t PickTimeShiftMode = 0;
    uint8_t PickedTimeGroupID = 0;
    uint8_t PickActExpMode = 0;
    uint8_t PickedActExpGroupID = 0;
    bool NoLogoutStamp = false;
};

extern TSettingsRecord SettingsRecord;

namespace shell {

inline constexpr std::size_t kConfigSize = 9;
inline constexpr const char* kConfigFileName = "Config.dat";

// What a missing or short Config.dat gives: the emulated reader and the factory facility code.
inline constexpr uint8_t kDefaultUserType = 0;
inline constexpr uint8_t kDefaultMotorPulseTime = 5;
inline constexpr uint8_t kDefaultLockBackDelay = 50;
inline constexpr uint8_t kDefaultPortNum = 0; // the emulated reader: port 0 of the USB adapter type
inline constexpr uint8_t kDefaultPortType = 6;
inline constexpr uint8_t kDefaultScreenMode = 0;
inline constexpr std::array<uint8_t, 3> kFactoryFacilityCode { 0x00, 0x00, 0x00 };

std::array<uint8_t, kConfigSize> configBytes(const TSettingsRecord& s);
void applyConfigBytes(TSettingsRecord& s, const std::array<uint8_t, kConfigSize>& bytes);
void applyConfigDefaults(TSettingsRecord& s);

// Reads the nine bytes as stored. A file that is missing or not nine bytes long gives the
// defaults (false is returned then).
bool readConfigDat(TSettingsRecord& s, const std::filesystem::path& file = kConfigFileName);
// Start-up: reads the file as above; when it cannot, the defaults are in use and the text
// returned tells the operator so (empty when the file was read). A file that is there but
// cannot be read is first moved aside to "Config.dat.bad", so that the settings written at
// close never replace it.
std::string loadConfigDat(TSettingsRecord& s, const std::filesystem::path& file = kConfigFileName);
inline constexpr const char* kConfigAsideSuffix = ".bad";
// Writes through a temporary file and a rename (fileio/atomic_file.h), so a failed write never
// leaves half a file. Throws std::runtime_error with a readable message on failure.
void writeConfigDat(const TSettingsRecord& s, const std::filesystem::path& file = kConfigFileName);

// The run-time fields back to their start values (the nine bytes are kept).
void resetRunTimeFields(TSettingsRecord& s);

} // namespace shell
