#pragma once

#include "protocol/Discovery.h"

#include <QIcon>
#include <QStyledItemDelegate>

#include <array>
#include <functional>

namespace talvex {

/// Paints one entry of the main window's port list: the port name, and the
/// icon of its probe result in the entry's rectangle (155, 2)–(325, 28).
class PortListDelegate : public QStyledItemDelegate {
public:
    using ProbeLookup = std::function<ProbeResult(int row)>;

    static constexpr int kEntryHeight = 33;

    explicit PortListDelegate(ProbeLookup lookup, QObject* parent = nullptr);

    /// The icon for a probe result; null for "no programmer".
    static QIcon iconFor(ProbeResult probe);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    ProbeLookup m_lookup;
};

} // namespace talvex
