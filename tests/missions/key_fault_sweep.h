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
    for (int n = 1; n < 1000; ++n) {
        bus.faults().removeAfterPages.clear();
        bus.faults().takenAway.clear();
        bus.faults().removeAfterPages[fresh()] = n;
        const bool done = write();
        check(n);
        if (done) {
            bus.faults().removeAfterPages.clear();
            bus.faults().takenAway.clear();
            return n;
        }
    }
    ADD_FAILURE() << "no write got through";
    return 0;
}
} // namespace missions_test
