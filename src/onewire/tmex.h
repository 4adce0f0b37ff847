#pragma once
// The 1-Wire driver API the key I/O routines call: the names, arguments and result
// conventions of the adapter vendor's driver library, over our own port backends (the
// emulated reader by default, in-memory buses in tests; see onewire/ports.h).
//
// Results: a session handle > 0, 0 when the port is busy, < 0 an error; the other calls
// return their documented values or a negative error code below.
#include <array>
#include <cstddef>

// Error codes.
inline constexpr short kTMErrPortNotSetUp = -1;     // port not initialised by TMSetup
inline constexpr short kTMErrNoPort = -2;           // port does not exist
inline constexpr short kTMErrNotSupported = -3;     // function not supported
inline constexpr short kTMErrReadWrite = -4;        // read/write error
inline constexpr short kTMErrBufferTooSmall = -5;   // (also: no state buffer given)
inline constexpr short kTMErrBlockTooBig = -8;
inline constexpr short kTMErrAdapterFailure = -12;  // adapter communication failure
inline constexpr short kTMErrInvalidSession = -200;
inline constexpr short kTMErrNoDriver = -201;       // no hardware driver for this port type

// TMSetup results.
inline constexpr short kTMSetupFailed = 0;
inline constexpr short kTMSetupOk = 1;
inline constexpr short kTMSetupShorted = 2;
inline constexpr short kTMSetupNoNet = 3;
inline constexpr short kTMSetupNotSupported = 4;

// TMTouchReset results.
inline constexpr short kTMResetNoPresence = 0;
inline constexpr short kTMResetPresence = 1;
inline constexpr short kTMResetAlarming = 2;
inline constexpr short kTMResetShorted = 3;
inline constexpr short kTMResetNotSetUp = 4;
inline constexpr short kTMResetNotSupported = 5;

// TMOneWireLevel arguments.
inline constexpr short LEVEL_SET = 0;
inline constexpr short LEVEL_READ = 1;
inline constexpr short LEVEL_NORMAL = 0;
inline constexpr short LEVEL_STRONG_PULL_UP = 1;
inline constexpr short LEVEL_BREAK = 2;
inline constexpr short LEVEL_PROGRAM = 3;
inline constexpr short PRIMED_NONE = 0;
inline constexpr short PRIMED_BIT = 1;
inline constexpr short PRIMED_BYTE = 2;

// Session options (accepted and ignored: our sessions are never taken over).
inline constexpr long SESSION_INFINITE = 0x1;
inline constexpr long SESSION_RSRC_RELEASE = 0x2;

// The caller-owned state buffer: holds the ROM buffer and the search state shared by
// TMFirst/TMNext/TMRom/TMAccess. One per routine is enough.
inline constexpr std::size_t kTMStateBufferSize = 5120;
using TMStateBuffer = std::array<unsigned char, kTMStateBufferSize>;

long TMExtendedStartSession(short PortNum, short PortType, void* EnhancedOptions);
short TMValidSession(long session);
short TMEndSession(long session);
short TMSetup(long session);
short TMTouchReset(long session);
short TMTouchByte(long session, short byte);
short TMTouchBit(long session, short bit);
// Exchanges len bytes in place (pre-fill reads with FFh); no reset. Returns len.
short TMBlockStream(long session, unsigned char* buffer, short len);
// Reset + Match ROM with the ROM in the state buffer: 1 presence and ROM sent, 0 no presence.
short TMAccess(long session, void* stateBuffer);
// Search: 1 found (ROM now in the state buffer), 0 no (more) devices, < 0 error.
short TMFirst(long session, void* stateBuffer);
short TMNext(long session, void* stateBuffer);
// ROM[0] == 0: copies the state buffer's ROM out; else copies the low bytes of ROM in.
short TMRom(long session, void* stateBuffer, short* ROM);
// The next TMNext finds the first device of family, if present (callers re-check ROM[0]).
short TMFamilySearchSetup(long session, void* stateBuffer, short family);
short TMSkipFamily(long session, void* stateBuffer);
short TMOneWireLevel(long session, short operation, short levelMode, short primed);

namespace onewire {
// Not a driver call: keeps the line as it is for the given time, as the driver's caller does
// between switching the strong pull-up on and off. The emulated line records the time (see
// MicroLan::pullupHolds) instead of waiting it out. 1, or < 0 as the calls above.
short holdLine(long session, int milliseconds);
} // namespace onewire
