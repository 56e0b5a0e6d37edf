#pragma once

#include "smartcard/AtrReport.h"

#include <QWidget>

#include <optional>
#include <string>
#include <vector>

class QPlainTextEdit;
class QPushButton;

namespace talvex {

class Clock;
class PortSlot;
struct AtrResult;

/// Under a reader's log: the last ATR decoded, with the card's name and
/// the reader's fit, and "Copy report" for a service ticket. Hidden until
/// an ATR is read. Child names end in the reader's number: "AtrDecoded1",
/// "CopyReport1".
class AtrView : public QWidget {
    Q_OBJECT
public:
    explicit AtrView(int reader, QWidget* parent = nullptr);

    /// After an ATR read: asks the programmer on `port` for the reader's
    /// settings and shows the decoding; a failed read hides the view.
    /// `serial` and `version` are the window's, for a reader that does not say.
    void showAtr(const AtrResult& result, PortSlot& port, Clock& clock, const QString& serial,
                 const QString& version);
    void clear();

    /// The service report "Copy report" puts on the clipboard.
    QString report() const { return m_report; }
    /// Where the card's name is looked up (pcsc-tools' list by default).
    void setCardListPaths(std::vector<std::string> paths) { m_cardListPaths = std::move(paths); }

public slots:
    void copyReport();

private:
    QPlainTextEdit* m_decoded = nullptr;
    QPushButton* m_copy = nullptr;
    QString m_report;
    std::vector<std::string> m_cardListPaths = defaultSmartcardListPaths();
};

} // namespace talvex
