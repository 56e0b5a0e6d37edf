#include "ui/settings/UsbSerialController.h"

#include "ui/common/LogPane.h"
#include "ui/settings/EepromFileButtons.h"
#include "ui/settings/SettingsSession.h"
#include "usbserial/UsbSerialText.h"

#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

namespace talvex {

UsbSerialController::UsbSerialController(SettingsSession& session, SerialControls& controls,
                                         FtdiLoadResult library)
    : m_session(session)
    , m_ui(controls)
    , m_tool(std::move(library))
{
    // Backup and restore act on the device the last listing selected.
    if (auto* grid = qobject_cast<QGridLayout*>(m_ui.Button26->parentWidget()->layout())) {
        grid->addWidget(new EepromFileButtons(m_tool, [this](const auto& lines) { m_session.logLines(lines); }), 4, 1,
                        1, 2);
    }
}

void UsbSerialController::Button26Click()
{
    const OperationGuard guard = m_session.guard();
    showListing(m_tool.readSerial());
}

void UsbSerialController::showListing(const UsbSerialListing& listing)
{
    if (listing.listingText) {
        m_ui.Memo1->clearLog();
        m_ui.Memo1->appendRaw(QString::fromStdString(*listing.listingText));
    }
    if (listing.serialText)
        m_ui.Edit2->setText(QString::fromStdString(*listing.serialText));
    if (listing.devicesListed) {
        m_ui.Button100->setEnabled(true);
        m_ui.Button27->setEnabled(true);
        const QString allowed = QRegularExpression::escape(QString::fromUtf8(
            kUsbSerialCharacters.data(), static_cast<qsizetype>(kUsbSerialCharacters.size())));
        m_ui.Edit2->setValidator(new QRegularExpressionValidator(
            QRegularExpression(QStringLiteral("[%1]{0,8}").arg(allowed)), m_ui.Edit2));
    }
    m_session.logLines(listing.logLines);
}

void UsbSerialController::Button100Click()
{
    const OperationGuard guard = m_session.guard();
    const UsbSerialGenerated generated = m_tool.generate(m_session.programmerSerial());
    if (generated.serialText)
        m_ui.Edit2->setText(QString::fromStdString(*generated.serialText));
    if (generated.canWrite)
        m_ui.Button27->setEnabled(true);
    m_session.logLines(generated.logLines);
}

void UsbSerialController::Button27Click()
{
    const OperationGuard guard = m_session.guard();
    m_session.logLines(m_tool.writeSerial(m_ui.Edit2->text().toStdString()).logLines);
}

void UsbSerialController::serializeAfterUpload()
{
    Button26Click();
    // Without a freshly generated serial, whatever Edit2 held would be written.
    const UsbSerialGenerated generated = m_tool.generate(m_session.programmerSerial());
    m_session.logLines(generated.logLines);
    if (!generated.serialText)
        return;
    m_ui.Edit2->setText(QString::fromStdString(*generated.serialText));
    Button27Click();
}

} // namespace talvex
