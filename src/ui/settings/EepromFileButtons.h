#pragma once

#include <QWidget>

#include <functional>
#include <string>
#include <vector>

namespace talvex {

class UsbSerialTool;

/// The Serial tab's "Backup EEPROM" and "Restore EEPROM": a file dialog
/// around the tool's backup and restore, the results in the window's log.
/// Both act on the device the last "Read Serial" selected.
class EepromFileButtons : public QWidget {
public:
    using Log = std::function<void(const std::vector<std::string>&)>;

    EepromFileButtons(UsbSerialTool& tool, Log log, QWidget* parent = nullptr);

    void backupClick();
    void restoreClick();

private:
    UsbSerialTool& m_tool;
    Log m_log;
};

} // namespace talvex
