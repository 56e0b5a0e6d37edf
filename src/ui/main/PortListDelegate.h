#pragma once

#include "protocol/Discovery.h"

#include <QIcon>
#include <QStyledItemDelegate>

#include <array>
#include <functional>

namespace talvex {

/// Paints one entry of the main window's port list: the port name, the
/// icon of its probe result in the entry's rectangle (155, 2)–(325, 28),
/// and the port's USB description (kUsbDescriptionRole) after the icon.
class PortListDelegate : public QStyledItemDelegate {
public:
    using ProbeLookup = std::function<ProbeResult(int row)>;

    static constexpr int kEntryHeight = 33;
    /// The entry's data that holds its USB description, empty for none.
    static constexpr int kUsbDescriptionRole = Qt::UserRole + 1;
    /// Where the description starts, clear of the icon.
    static constexpr int kDescriptionLeft = 335;
    /// Room for a description such as "FT2232 0403:6010 TLVX0001A".
    static constexpr int kDescriptionWidth = 210;

    explicit PortListDelegate(ProbeLookup lookup, QObject* parent = nullptr);

    /// The icon for a probe result; null for "no programmer".
    static QIcon iconFor(ProbeResult probe);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    ProbeLookup m_lookup;
};

} // namespace talvex
