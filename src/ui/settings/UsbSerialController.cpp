#include "ui/settings/UsbSerialController.h"

#include "ui/common/LogPane.h"
#include "ui/settings/EepromFileButtons.h"
#include "context/ApplicationContext.h"
#include "ui/settings/SettingsSession.h"
#include "usbserial/UsbSerialText.h"

#include <QComboBox>
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
    // Backup and restore act on the chip chosen in the list.
    if (auto* grid = qobject_cast<QGridLayout*>(m_ui.Button26->parentWidget()->layout())) {
        grid->addWidget(new EepromFileButtons(m_tool, [this](const auto& lines) { m_session.logLines(lines); }), 4, 1,
                        1, 2);
    }
    connect(m_ui.ChipList, qOverload<int>(&QComboBox::activated), this, &UsbSerialController::chipChosen);
}

// The programmer's own chip is chosen when it can be told; otherwise the
// only programmer chip; otherwise the user picks one.
void UsbSerialController::showChips()
{
    const std::string port = m_session.portName().toStdString();
    FtdiChipChoice choice =
        m_tool.choose(FtdiChipRequest::forProgrammerPort(m_session.context().host().usbIdentityOf(port)));
    if (!choice.chip)
        choice = m_tool.choose({});
    m_ui.ChipList->clear();
    m_ui.ChipList->addItem(QStringLiteral("(choose the FTDI chip to write)"));
    int chosen = 0;
    for (const FtdiChip& chip : m_tool.chips()) {
        m_ui.ChipList->addItem(QString::fromStdString(chip.label() + " - " + chip.description + " (" +
                                                      std::string(ftdiChipKindName(chip.kind)) + ")"));
        if (choice.chip && choice.chip->firstRecord == chip.firstRecord)
            chosen = m_ui.ChipList->count() - 1;
    }
    m_ui.ChipList->setCurrentIndex(chosen);
    if (!choice.chip)
        m_session.log(std::string_view("Choose the FTDI chip to write in the list below the buttons: " +
                                       choice.problem + "."));
}

void UsbSerialController::chipChosen(int index)
{
    const std::size_t chip = static_cast<std::size_t>(index - 1);
    if (index <= 0 || chip >= m_tool.chips().size()) {
        m_tool.forgetChoice("no FTDI chip is chosen in the list on the Serial tab");
        return;
    }
    const FtdiChip& picked = m_tool.chips()[chip];
    m_tool.choose({picked.serial.empty() ? std::nullopt : std::optional(picked.serial),
                   picked.location.empty() ? std::nullopt : std::optional(picked.location), false});
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
    // Nothing listed says nothing more, as ever; the list keeps no stale chips.
    if (listing.devicesListed)
        showChips();
    else
        m_ui.ChipList->clear();
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
