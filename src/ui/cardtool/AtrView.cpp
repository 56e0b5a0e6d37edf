#include "ui/cardtool/AtrView.h"

#include "protocol/CardToolCommands.h"
#include "ui/common/Widgets.h"

#include <QClipboard>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace talvex {

AtrView::AtrView(int reader, QWidget* parent)
    : QWidget(parent)
{
    const QString number = QString::number(reader);
    setObjectName(QStringLiteral("AtrView") + number);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* header = new QHBoxLayout;
    header->addWidget(makeLabel(QStringLiteral("AtrLabel") + number, QStringLiteral("Decoded ATR:")));
    header->addStretch();
    m_copy = makeButton(QStringLiteral("CopyReport") + number, QStringLiteral("Copy report"));
    header->addWidget(m_copy);
    layout->addLayout(header);
    m_decoded = new QPlainTextEdit;
    m_decoded->setObjectName(QStringLiteral("AtrDecoded") + number);
    m_decoded->setReadOnly(true);
    m_decoded->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_decoded->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_decoded->setMinimumHeight(140);
    layout->addWidget(m_decoded, 1);
    connect(m_copy, &QPushButton::clicked, this, &AtrView::copyReport);
    setVisible(false);
}

void AtrView::showAtr(const AtrResult& result, PortSlot& port, Clock& clock, const QString& serial,
                      const QString& version)
{
    const auto bytes = result.ok ? parseHexBytes(result.atrText) : std::nullopt;
    if (!bytes) {
        clear();
        return;
    }
    const AtrDiagnosis diagnosis = diagnoseAtr(*bytes, queryReaderCardPort(port, clock), m_cardListPaths);
    m_decoded->setPlainText(QString::fromStdString(formatLines(describeDiagnosis(diagnosis))));
    m_report = QString::fromStdString(serviceReport(diagnosis, serial.toStdString(), version.toStdString()));
    setVisible(true);
}

void AtrView::clear()
{
    m_decoded->clear();
    m_report.clear();
    setVisible(false);
}

void AtrView::copyReport()
{
    QGuiApplication::clipboard()->setText(m_report);
}

} // namespace talvex
