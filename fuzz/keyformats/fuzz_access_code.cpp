// MakeAccessCode over any serial text and any numbers: always 10 or 12 digits 0-9, the same
// digits twice, and the key register back as loaded.
#include "keyformats/access_code.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace std::chrono;
    auto take = [&](size_t i) -> int { return i < size ? static_cast<int8_t>(data[i]) : 0; };
    const auto startDate = year { 2000 + take(0) } / month { static_cast<unsigned>(take(1) & 0x0F) }
        / day { static_cast<unsigned>(take(2) & 0x3F) };
    const auto endDate = year { 2000 + take(3) } / month { static_cast<unsigned>(take(4) & 0x0F) }
        / day { static_cast<unsigned>(take(5) & 0x3F) };
    const std::string serial = size > 10 ? std::string(reinterpret_cast<const char*>(data) + 10, size - 10) : "";

    const std::string code = MakeAccessCode(serial, take(6), startDate, take(7), endDate, take(8), take(9));
    if (code.size() != 10 && code.size() != 12)
        std::abort();
    for (char c : code)
        if (c < '0' || c > '9')
            std::abort();
    if (code != MakeAccessCode(serial, take(6), startDate, take(7), endDate, take(8), take(9)))
        std::abort();

    AccessCodeRegisters regs;
    regs.loadKey(serial);
    const auto loaded = regs.KeyRegister;
    accessCodeBytes(regs, serial, accessCodeBlock(take(6), startDate, take(7), endDate, take(8), take(9)));
    if (regs.KeyRegister != loaded)
        std::abort();
    return 0;
}
