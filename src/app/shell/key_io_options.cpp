#include "app/shell/key_io_options.h"

#include "app/shell/settings_record.h"

#include <QCoreApplication>

ReaderPort settingsReaderPort()
{
    ReaderPort port;
    port.PortNum = SettingsRecord.PortNum;
    port.PortType = SettingsRecord.PortType;
    return port;
}

KeyIoOptions shellKeyIoOptions()
{
    KeyIoOptions options;
    options.port = settingsReaderPort();
    options.dialogs = nullptr; // the application's boxes
    options.processPendingMessages = [] { QCoreApplication::processEvents(); };
    return options;
}
