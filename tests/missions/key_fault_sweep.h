#pragma once
// The key taken away after 1, 2, ... page transfers until a write gets through: for each n,
// fresh() puts a fresh key alone in the reader, write() writes it (true when the window
// reported success) and check(n) judges what was left. Returns the transfers of a whole write.
#include "onewire/microlan.h"

#include <gtest/gtest.h>

#include <functional>

namespace missions_test {
inline int sweepPulledKey(onewire::MicroLan& bus, const std::function<RomId()>& fresh,
                          const std::function<bool()>& write, const std::function<void(int)>& check)
{
    int n = 0;
    for (bool done = false; !done && ++n < 1000;) {
        bus.faults().takenAway.clear();
        bus.faults().removeAfterPages = { { fresh(), n } };
        done = write();
        check(n);
    }
    bus.faults().removeAfterPages.clear();
    bus.faults().takenAway.clear();
    EXPECT_LT(n, 1000) << "no write got through";
    return n < 1000 ? n : 0;
}
} // namespace missions_test
