#include "ui/settings/UploadController.h"

#include "firmware/FirmwareUpload.h"
#include "ui/common/BusyIndicator.h"
#include "ui/settings/SettingsSession.h"
#include "ui/settings/UsbSerialController.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>

namespace talvex {

UploadController::UploadController(SettingsSession& session, FirmwareControls& controls,
                                   UsbSerialController& usbSerial)
    : m_session(session)
    , m_ui(controls)
    , m_usbSerial(usbSerial)
{
}

void UploadController::Button8Click()
{
    m_ui.Label12->clear();
    m_ui.Label14->clear();
    const QString file = QFileDialog::getOpenFileName(m_ui.Button8->window(), QString(), QString(),
                                                      QStringLiteral("Hex BIN files (*.bin);;Any file (*.*)"));
    if (!file.isEmpty())
        m_ui.Edit1->setText(file);
}

void UploadController::Button9Click()
{
    ApplicationContext& context = m_session.context();
    FirmwareUpload upload({context.ports().a, context.host(), context.clock(), context.detection().programmer()}, *this);
    const std::string path = m_ui.Edit1->text().toStdString();
    if (upload.checkFile(path) != FileCheck::Ok)
        return;
    lockForUpload();
    const UploadOutcome outcome =
        upload.run(path, m_session.portName().toStdString(), m_session.programmerSerial());
    context.detection().setProgrammer(outcome.programmer);
    setRemainingTime(std::nullopt);
    if (outcome.hasVerdict())
        FinishUpload(QString::fromStdString(outcome.messageText()));
    else
        restoreAfterUpload(false);
}

void UploadController::lockForUpload()
{
    m_session.setUploadRunning(true);
    emit uploadStarting();
    m_ui.Button8->setEnabled(false);
    m_ui.Button9->setVisible(false);
    m_session.busy().start();
}

void UploadController::FinishUpload(const QString& message)
{
    m_session.busy().stop();
    QWidget* window = m_ui.Button9->window();
    QMessageBox::information(window, window->windowTitle(), message);
    m_ui.Label12->clear();
    m_ui.Label14->clear();
    m_ui.ProgressBar1->setValue(0);
    restoreAfterUpload(true);
}

void UploadController::restoreAfterUpload(bool verdictShown)
{
    m_session.busy().stop();
    m_ui.Button9->setVisible(true);
    m_session.setUploadRunning(false);
    emit uploadEnded(verdictShown);
}

void UploadController::clearLog()
{
    m_session.clearLog();
}

void UploadController::logLine(const std::string& message)
{
    m_session.log(message);
}

void UploadController::setUpperStatus(const std::string& text)
{
    m_ui.Label12->setText(QString::fromStdString(text));
}

void UploadController::setLowerStatus(const std::string& text)
{
    m_ui.Label14->setText(QString::fromStdString(text));
}

void UploadController::setProgress(int blockIndex)
{
    m_ui.ProgressBar1->setValue(blockIndex);
}

void UploadController::setRemainingTime(std::optional<std::chrono::seconds> remaining)
{
    if (!remaining) {
        m_ui.LabelRemaining->clear();
        return;
    }
    const auto seconds = remaining->count();
    m_ui.LabelRemaining->setText(
        QStringLiteral("%1:%2 left").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0')));
}

void UploadController::pump()
{
    m_session.context().pump();
}

void UploadController::serialize()
{
    if (m_ui.CheckBox2->isChecked())
        m_usbSerial.serializeAfterUpload();
}

} // namespace talvex
