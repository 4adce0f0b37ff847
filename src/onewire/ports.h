#pragma once
// Which backend answers a (PortNum, PortType) pair.
//
// - PortType 6 (the USB adapter type), PortNum 0: the emulated reader, whose keys are the
//   key files in its folder (onewire/emulated_reader.h). This is the default port of the
//   demo workspace.
// - PortType 6, PortNum 1..15: no adapter plugged in: the session opens, TMSetup fails.
// - Any other type: no driver on this system: the session start answers -201.
// - Tests attach their own buses to any pair; an attached bus wins over the above.
#include "onewire/microlan.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace onewire {

inline constexpr short kEmulatedReaderPortNum = 0;
inline constexpr short kEmulatedReaderPortType = 6;

void attachPort(short portNum, short portType, std::shared_ptr<MicroLan> bus);
void detachPort(short portNum, short portType);
// The bus that answers the pair now (attached, or the emulated reader), or nullptr.
std::shared_ptr<MicroLan> portBus(short portNum, short portType);

// Attaches a bus for the life of a scope (tests).
class ScopedPort {
public:
    ScopedPort(short portNum, short portType, std::shared_ptr<MicroLan> bus);
    ~ScopedPort();
    ScopedPort(const ScopedPort&) = delete;
    ScopedPort& operator=(const ScopedPort&) = delete;

private:
    short num_, type_;
};

// Host time for the device clocks (Unix seconds); tests may fix it.
int64_t hostNow();
void setHostClock(std::function<int64_t()> clock); // empty restores the system clock

} // namespace onewire
