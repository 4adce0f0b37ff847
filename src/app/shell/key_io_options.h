#pragma once
// What the key windows hand to the key I/O routines: the reader port of the settings record,
// the application's boxes, and the event processing between repeats.
#include "keyaccess/key_io.h"

ReaderPort settingsReaderPort();
KeyIoOptions shellKeyIoOptions();
