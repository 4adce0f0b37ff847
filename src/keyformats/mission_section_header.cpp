#include "keyformats/mission_section_header.h"

#include <stdexcept>

MissionKeyPage MissionSectionHeader(uint8_t sections, bool flag, int keyCount)
{
    if (keyCount < 0 || keyCount > 0xFFFF)
        throw std::invalid_argument("key-list count out of range");
    MissionKeyPage p = blankMissionKeyPage();
    p[0] = sections;
    p[1] = 0x00;
    p[2] = 0x00;
    p[3] = flag ? kSectionFlag : 0x00;
    p[4] = static_cast<uint8_t>(keyCount >> 8);
    p[5] = static_cast<uint8_t>(keyCount & 0xFF);
    return p;
}
