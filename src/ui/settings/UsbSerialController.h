#pragma once

#include "ui/settings/SettingsControls.h"
#include "usbserial/UsbSerialTool.h"

#include <QObject>

namespace talvex {

class SettingsSession;

/// The "Serial" tab: lists the FTDI devices, derives a USB serial number
/// from the programmer's and writes it into the chip, turning the USB
/// serial tool's results into the tab's texts, button states and log lines.
class UsbSerialController : public QObject {
    Q_OBJECT
public:
    UsbSerialController(SettingsSession& session, SerialControls& controls, FtdiLoadResult library);

    /// After a successful upload with "Serialize": list, generate a fresh
    /// number and write it.
    void serializeAfterUpload();

public slots:
    void Button26Click();
    void Button100Click();
    void Button27Click();

private:
    void showListing(const UsbSerialListing& listing);
    void showChips();
    void chipChosen(int index);

    SettingsSession& m_session;
    SerialControls& m_ui;
    UsbSerialTool m_tool;
};

} // namespace talvex
