#include "ui/main/TForm3.h"

#include "protocol/VersionText.h"
#include "ui/batch/BatchForm.h"
#include "ui/cardtool/TForm1.h"
#include "ui/common/BusyIndicator.h"
#include "ui/common/OperationGuard.h"
#include "ui/common/Widgets.h"
#include "ui/main/PortListDelegate.h"
#include "ui/settings/TForm4.h"
#include "ui/common/Stdmessage.h"
#include "update/VersionCheck.h"
#include "update/VersionNotice.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QListWidget>
#include <QVBoxLayout>

namespace talvex {
namespace {

// The whole identity for a pointer resting on the entry: the description,
// what the device calls itself, where it sits.
QString usbToolTip(const UsbIdentity& usb)
{
    QStringList lines{QString::fromStdString(usbDescription(usb))};
    const std::string separator = usb.manufacturer.empty() || usb.product.empty() ? "" : " ";
    const QString names = QString::fromStdString(usb.manufacturer + separator + usb.product);
    if (!names.isEmpty())
        lines << names;
    if (!usb.location.empty())
        lines << QStringLiteral("USB ") + QString::fromStdString(usb.location);
    return lines.join(QLatin1Char('\n'));
}

} // namespace

TForm3::TForm3(ApplicationContext& context, QWidget* parent)
    : QDialog(parent)
    , m_context(context)
{
    setObjectName(QStringLiteral("Form3"));
    buildWindow();
    FormCreate();
}

TForm3::~TForm3() = default;

void TForm3::FormCreate()
{
    setWindowTitle(QStringLiteral("TalvexUSB-Setting Manager Ver.") + QString::fromStdString(toolVersionText(kToolVersion)));
}

void TForm3::buildWindow()
{
    auto* top = new QVBoxLayout(this);
    m_controls = makeControlsContainer(this);
    auto* columns = new QHBoxLayout(m_controls);
    columns->setContentsMargins(0, 0, 0, 0);
    top->addWidget(m_controls);

    // Left: the ports of the last manual scan.
    auto* left = new QVBoxLayout;
    auto* actions = new QHBoxLayout;
    Button3 = makeButton(QStringLiteral("Button3"), QStringLiteral("Manual Scan"));
    Button4 = makeButton(QStringLiteral("Button4"), QStringLiteral("Automatic Detect"));
    AniIndicator1 = makeBusyIndicator(QStringLiteral("AniIndicator1"));
    actions->addWidget(Button4);
    actions->addWidget(Button3);
    BatchButton = makeButton(QStringLiteral("BatchButton"), QStringLiteral("Batch"));
    BatchButton->setToolTip(QStringLiteral("Upload one firmware to every programmer plugged in"));
    actions->addWidget(BatchButton);
    actions->addWidget(AniIndicator1);
    actions->addStretch();
    left->addLayout(actions);

    GroupBox2 = makeGroup(QStringLiteral("GroupBox2"), QStringLiteral("Serial port to scan "));
    auto* portsLayout = new QVBoxLayout(GroupBox2);
    ListBox1 = new QListWidget;
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setItemDelegate(new PortListDelegate([this](int row) { return probeAt(row); }, ListBox1));
    ListBox1->setMinimumWidth(PortListDelegate::kDescriptionLeft + PortListDelegate::kDescriptionWidth);
    portsLayout->addWidget(ListBox1);
    ComboBox1 = makeComboBox(QStringLiteral("ComboBox1"));
    ComboBox1->setVisible(false);
    Button5 = makeButton(QStringLiteral("Button5"), QStringLiteral("Scan Now!"));
    Button5->setVisible(false);
    portsLayout->addWidget(ComboBox1);
    portsLayout->addWidget(Button5);
    left->addWidget(GroupBox2, 1);
    columns->addLayout(left, 1);

    // Right: what the detection found.
    GroupBox1 = makeGroup(QStringLiteral("GroupBox1"), QStringLiteral("Programmer info"));
    auto* info = new QGridLayout(GroupBox1);
    Label11 = makeLabel(QStringLiteral("Label11"), QString());
    Label11->setStyleSheet(QStringLiteral("color: #1f4fbf;"));
    Label1 = makeLabel(QStringLiteral("Label1"), QStringLiteral("Programmer Serial Number:"));
    Label2 = makeLabel(QStringLiteral("Label2"), QString());
    Label3 = makeLabel(QStringLiteral("Label3"), QStringLiteral("Firmware Version:"));
    Label4 = makeLabel(QStringLiteral("Label4"), QString());
    Label5 = makeLabel(QStringLiteral("Label5"), QStringLiteral("Smartcard 1 connected on:"));
    Label7 = makeLabel(QStringLiteral("Label7"), QString());
    Label6 = makeLabel(QStringLiteral("Label6"), QStringLiteral("Smartcard 2 connected on:"));
    Label8 = makeLabel(QStringLiteral("Label8"), QString());
    Label9 = makeLabel(QStringLiteral("Label9"), QStringLiteral("Smartcard found on reader number: "));
    Label10 = makeLabel(QStringLiteral("Label10"), QStringLiteral("1"));
    Label2->setTextInteractionFlags(Qt::TextSelectableByMouse);
    info->addWidget(Label11, 0, 0, 1, 2);
    info->addWidget(Label1, 1, 0, 1, 2);
    info->addWidget(Label2, 2, 0, 1, 2);
    info->addWidget(Label3, 3, 0);
    info->addWidget(Label4, 3, 1);
    info->addWidget(Label5, 4, 0);
    info->addWidget(Label7, 4, 1);
    info->addWidget(Label6, 5, 0);
    info->addWidget(Label8, 5, 1);
    info->addWidget(Label9, 6, 0);
    info->addWidget(Label10, 6, 1);
    info->setRowStretch(7, 1);
    auto* buttons = new QHBoxLayout;
    Button6 = makeButton(QStringLiteral("Button6"), QStringLiteral("Done"));
    Button1 = makeButton(QStringLiteral("Button1"), QStringLiteral("Smartcard Tool"));
    Button2 = makeButton(QStringLiteral("Button2"), QStringLiteral("Programmer Settings"));
    buttons->addWidget(Button6);
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    info->addLayout(buttons, 8, 0, 1, 2);
    columns->addWidget(GroupBox1, 1);

    setInfoLabelsVisible(false);
    Button6->setVisible(false);
    Button1->setVisible(false);
    Button1->setEnabled(false);
    Button2->setVisible(false);
    resize(611, 294);

    connect(Button4, &QPushButton::clicked, this, &TForm3::Button4Click);
    connect(Button3, &QPushButton::clicked, this, &TForm3::Button3Click);
    connect(Button5, &QPushButton::clicked, this, &TForm3::Button5Click);
    connect(Button6, &QPushButton::clicked, this, &TForm3::Button6Click);
    connect(Button1, &QPushButton::clicked, this, &TForm3::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm3::Button2Click);
    connect(BatchButton, &QPushButton::clicked, this, &TForm3::BatchButtonClick);
    connect(ListBox1, &QListWidget::itemClicked, this, &TForm3::ListBox1Click);
    connect(ListBox1, &QListWidget::itemDoubleClicked, this, &TForm3::ListBox1DblClick);
}

void TForm3::setInfoLabelsVisible(bool visible)
{
    for (QLabel* label : {Label1, Label2, Label3, Label4, Label5, Label6, Label7, Label8, Label9, Label10})
        label->setVisible(visible);
}

void TForm3::setStatus(const QString& text)
{
    Label11->setText(text);
}

ProbeResult TForm3::probeAt(int row) const
{
    if (row < 0 || static_cast<std::size_t>(row) >= m_probed.size())
        return ProbeResult::NoProgrammer;
    return m_probed[static_cast<std::size_t>(row)].probe;
}

void TForm3::Button4Click()
{
    OperationGuard guard(m_controls, m_operationDepth);
    ComboBox1->setVisible(false);
    Button5->setVisible(false);
    Button6->setVisible(false);
    AniIndicator1->start();
    setInfoLabelsVisible(false);
    Button1->setVisible(false);
    Button2->setVisible(false);
    m_programmerFound = false;
    setDetectionConfirmed(false);
    setStatus(QStringLiteral("..."));
    setStatus(QStringLiteral("Searching for programmer..."));
    Label11->setVisible(true);
    m_context.pump();

    DetectionResults& results = m_context.detection();
    DiscoveryEnvironment env = m_context.discovery();
    detectProgrammer(env, results);

    if (results.reader1Port == kNoPortText) {
        setStatus(QStringLiteral("No Serial Port found!"));
        AniIndicator1->stop();
        return;
    }
    if (results.bootLoader) {
        TForm4* settings = openSettingsWindow();
        settings->setPorts({QString::fromStdString(results.reader1Port)}, false);
        settings->setVersionCaption(QStringLiteral("Boot version :"));
        settings->setSerialText(QString::fromStdString(results.serialNumber));
        settings->setVersionText(QString::fromStdString(results.versionText));
    } else if (results.serialNumber.size() == 32) {
        new_version_available();
        setStatus(QString());
        Label2->setText(QString::fromStdString(results.serialNumber));
        Label4->setText(QString::fromStdString(results.versionText));
        Label7->setText(QString::fromStdString(results.reader1Port));
        Label8->setText(QString::fromStdString(results.reader2Port));
        for (QLabel* label : {Label1, Label2, Label3, Label4, Label5, Label6, Label7, Label8})
            label->setVisible(true);
        Button1->setVisible(true);
        Button2->setVisible(true);
        m_context.pump();
        m_programmerFound = true;
    } else {
        setStatus(QStringLiteral("No Programmer found !"));
        for (QLabel* label : {Label2, Label3, Label4, Label5, Label6, Label7, Label8})
            label->setVisible(false);
        Button1->setVisible(false);
        Button2->setVisible(false);
    }
    AniIndicator1->stop();
}

void TForm3::Button3Click()
{
    OperationGuard guard(m_controls, m_operationDepth);
    setInfoLabelsVisible(false);
    Button1->setVisible(false);
    Button2->setVisible(false);
    AniIndicator1->start();
    setStatus(QStringLiteral("Scan for serial ports ..."));
    Label11->setVisible(true);

    DiscoveryEnvironment env = m_context.discovery();
    m_probed = manualScan(env, m_context.detection());

    ComboBox1->clear();
    ListBox1->clear();
    for (const ProbedPort& port : m_probed) {
        ComboBox1->addItem(QString::fromStdString(port.name));
        auto* entry = new QListWidgetItem(QString::fromStdString(port.name));
        const QString usb = QString::fromStdString(usbDescription(port.usb));
        entry->setData(PortListDelegate::kUsbDescriptionRole, usb);
        if (port.usb)
            entry->setToolTip(usbToolTip(*port.usb));
        entry->setData(Qt::AccessibleTextRole,
                       usb.isEmpty() ? entry->text() : entry->text() + QStringLiteral("  ") + usb);
        ListBox1->addItem(entry);
    }
    AniIndicator1->stop();
    GroupBox2->setTitle(QStringLiteral("Serial port to scan (%1 found)").arg(m_probed.size()));
    if (m_probed.empty()) {
        setStatus(QStringLiteral("No Serial Port found!"));
        Label11->setVisible(true);
    } else {
        Label11->setVisible(false);
        Button6->setVisible(false);
    }
}

void TForm3::ListBox1Click()
{
    ComboBox1->setCurrentIndex(ListBox1->currentRow());
}

void TForm3::ListBox1DblClick()
{
    ListBox1Click();
    Button5Click();
}

void TForm3::Button5Click()
{
    OperationGuard guard(m_controls, m_operationDepth);
    DetectionResults& results = m_context.detection();
    results.clearFound();
    AniIndicator1->start();
    Label11->setVisible(true);
    setInfoLabelsVisible(false);
    Button1->setVisible(false);
    Button2->setVisible(false);
    setStatus(QStringLiteral("Searching for programmer..."));
    m_context.pump();

    std::vector<std::string> listed;
    for (int i = 0; i < ComboBox1->count(); ++i)
        listed.push_back(ComboBox1->itemText(i).toStdString());
    std::optional<std::size_t> selected;
    if (ComboBox1->currentIndex() >= 0)
        selected = static_cast<std::size_t>(ComboBox1->currentIndex());

    DiscoveryEnvironment env = m_context.discovery();
    const std::string readerText = searchSelectedPort(env, results, listed, selected).value_or(std::string());
    m_readerDigitText = QString::fromStdString(readerText);
    results.versionText = firmwareVersionText(results.versionDigits);

    if (results.bootLoader) {
        TForm4* settings = openSettingsWindow();
        settings->setPorts({ComboBox1->currentText()}, true);
        settings->setSerialText(QString::fromStdString(results.serialNumber));
        settings->setVersionText(QString::fromStdString(results.versionText));
    } else if (results.serialNumber.size() == 32) {
        results.versionNumber = firmwareVersionNumber(results.versionDigits);
        new_version_available();
        Label2->setText(QString::fromStdString(results.serialNumber));
        Label4->setText(QString::fromStdString(results.versionText));
        for (QLabel* label : {Label1, Label2, Label3, Label4})
            label->setVisible(true);
        Label11->setVisible(false);
        Label10->setText(m_readerDigitText);
        Label9->setVisible(true);
        Label10->setVisible(true);
        m_programmerFound = true;
        Button6->setVisible(true);
    } else {
        Button1->setVisible(false);
        Button2->setVisible(false);
        Button6->setVisible(false);
        if (m_readerDigitText.contains(QLatin1String(kNoPortText))) {
            setStatus(QStringLiteral("No Serial Port found!"));
            AniIndicator1->stop();
            return;
        }
        setStatus(QStringLiteral("No Programmer found!"));
        for (QLabel* label : {Label1, Label2, Label3, Label4, Label7, Label8})
            label->setVisible(false);
    }
    AniIndicator1->stop();
}

void TForm3::new_version_available()
{
    LatestVersions& latest = m_context.latestVersions();
    if (CheckVersion(latest, {}, m_context.versionServer()) != VersionCheckStatus::Checked)
        return;
    const VersionNotice notice = newVersionNotice(latest, m_context.detection().versionNumber, kToolVersion,
                                                  m_context.versionServer().host);
    if (notice.show)
        ShowStdMessage(notice.caption, notice.text, notice.buttons, notice.icon);
}

void TForm3::Button6Click()
{
    if (m_programmerFound) {
        Button1->setVisible(true);
        Button2->setVisible(true);
        for (QLabel* label : {Label7, Label8, Label9, Label10})
            label->setVisible(false);
        setDetectionConfirmed(true);
    }
    ComboBox1->setVisible(false);
    Button5->setVisible(false);
    Button6->setVisible(false);
}

void TForm3::Button1Click()
{
    // This window never enables the button; the command line reaches the tool.
    openSmartcardTool();
}

TForm1* TForm3::openSmartcardTool()
{
    const bool listItself = m_detectionConfirmed;
    m_cardTool.reset();
    m_cardTool = std::make_unique<TForm1>(m_context, this, listItself);
    // Closing the tool ends the confirmed detection it was opened on.
    connect(m_cardTool.get(), &TForm1::closed, this, [this] { m_detectionConfirmed = false; });
    if (!listItself) {
        const DetectionResults& results = m_context.detection();
        const QString reader1 = QString::fromStdString(results.reader1Port);
        const QString reader2 = QString::fromStdString(results.reader2Port);
        m_cardTool->setReaderPorts({reader1, reader2}, {reader2, reader1});
        m_cardTool->setProgrammerInfo(QString::fromStdString(results.serialNumber),
                                      QString::fromStdString(results.versionText));
    }
    m_cardTool->show();
    return m_cardTool.get();
}

void TForm3::Button2Click()
{
    const DetectionResults& results = m_context.detection();
    const bool confirmed = m_detectionConfirmed;
    QStringList ports;
    if (!confirmed) {
        ports << QString::fromStdString(results.reader1Port) << QString::fromStdString(results.reader2Port);
    } else {
        AniIndicator1->start();
        m_context.pump();
        ports << ComboBox1->currentText();
        AniIndicator1->stop();
    }
    TForm4* settings = openSettingsWindow();
    settings->setPorts(ports, true);
    settings->setSerialCaptionVisible(true);
    settings->setSerialText(QString::fromStdString(results.serialNumber));
    settings->setVersionText(QString::fromStdString(results.versionText));
    settings->setVersionCaption(QStringLiteral("Firmware Version:"));
}

void TForm3::BatchButtonClick()
{
    // Replacing a running batch's window would block here until it ended.
    if (!m_batch || !m_batch->batchRunning())
        m_batch = std::make_unique<BatchForm>(m_context, this);
    m_batch->show();
    m_batch->raise();
}

TForm4* TForm3::openSettingsWindow()
{
    m_settings = std::make_unique<TForm4>(m_context, this);
    m_settings->show();
    return m_settings.get();
}

void TForm3::reject()
{
    // Escape is the "Done" button while it is shown; it never closes the window.
    if (Button6->isVisible() && Button6->isEnabled())
        Button6Click();
}

void TForm3::closeEvent(QCloseEvent* event)
{
    if (operationRunning()) {
        event->ignore();
        return;
    }
    for (QDialog* other : std::initializer_list<QDialog*>{m_settings.get(), m_cardTool.get(), m_batch.get()}) {
        if (other && other->isVisible() && !other->close()) {
            event->ignore();
            return;
        }
    }
    event->accept();
}

} // namespace talvex
