#include "ui/settings/EepromFileButtons.h"

#include "ui/common/Widgets.h"
#include "usbserial/EepromBackup.h"
#include "usbserial/UsbSerialTool.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>

namespace talvex {
namespace {

const QString kFilter = QStringLiteral("EEPROM images (*.bin);;All files (*)");

} // namespace

EepromFileButtons::EepromFileButtons(UsbSerialTool& tool, Log log, QWidget* parent)
    : QWidget(parent)
    , m_tool(tool)
    , m_log(std::move(log))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    QPushButton* backup = makeButton(QStringLiteral("BackupEeprom"), QStringLiteral("Backup EEPROM"));
    QPushButton* restore = makeButton(QStringLiteral("RestoreEeprom"), QStringLiteral("Restore EEPROM"));
    layout->addWidget(backup);
    layout->addWidget(restore);
    connect(backup, &QPushButton::clicked, this, &EepromFileButtons::backupClick);
    connect(restore, &QPushButton::clicked, this, &EepromFileButtons::restoreClick);
}

// The chip is read before the dialog, so a chip that cannot be read asks
// for no file name.
void EepromFileButtons::backupClick()
{
    const UsbSerialBackup backup = m_tool.backup();
    m_log(backup.logLines);
    if (backup.outcome != EepromOutcome::Read)
        return;
    const std::string serial = backup.chip->serial;
    const auto suggested = m_tool.backupDirectory() / eepromBackupFileName(serial, std::chrono::system_clock::now());
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Backup EEPROM"),
                                                      QString::fromStdString(suggested.string()), kFilter);
    if (path.isEmpty())
        return;
    if (const Result<void> written = writeEepromFile(path.toStdString(), backup.words); !written) {
        m_log({"Backup EEPROM ERROR: " + path.toStdString() + " could not be written (" + written.failure().detail +
               ")."});
        return;
    }
    m_log({"EEPROM of " + serial + " saved to " + path.toStdString()});
}

void EepromFileButtons::restoreClick()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Restore EEPROM"),
                                                      QString::fromStdString(m_tool.backupDirectory().string()), kFilter);
    if (path.isEmpty())
        return;
    const EepromFileCheck file = readEepromFile(path.toStdString());
    if (!file.error.empty()) {
        m_log({"Restore EEPROM ERROR: " + path.toStdString() + " cannot be read (" + file.error + ")."});
        return;
    }
    QString problem;
    if (!file.words)
        problem = QStringLiteral("%1 has %2 bytes; an EEPROM image has 128, 256 or 512.").arg(path).arg(file.size);
    else if (!file.checksumHolds)
        problem = QStringLiteral("The checksum of %1 does not match its words.").arg(path);
    if (!problem.isEmpty()) {
        const auto answer = QMessageBox::warning(
            this, QStringLiteral("Restore EEPROM"),
            problem + QStringLiteral(" Write it all the same? The chip shows no serial number until a good image is "
                                     "written."),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes) {
            m_log({"Restore EEPROM: " + problem.toStdString() + " Nothing was written."});
            return;
        }
        m_log({"Restore EEPROM: " + problem.toStdString() + " Writing it as asked."});
    }
    m_log(m_tool.restore(file.words ? *file.words : eepromFromAnyBytes(file.bytes)).logLines);
}

} // namespace talvex
