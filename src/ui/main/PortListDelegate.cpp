#include "ui/main/PortListDelegate.h"

#include "ui/common/Resources.h"

#include <QPainter>

namespace talvex {

PortListDelegate::PortListDelegate(ProbeLookup lookup, QObject* parent)
    : QStyledItemDelegate(parent)
    , m_lookup(std::move(lookup))
{
}

QIcon PortListDelegate::iconFor(ProbeResult probe)
{
    loadUiResources();
    switch (probe) {
    case ProbeResult::BootLoader: return QIcon(iconPath("chip_boot"));
    case ProbeResult::Application: return QIcon(iconPath("chip"));
    case ProbeResult::BootLoaderWithCard: return QIcon(iconPath("chip_boot_card"));
    case ProbeResult::ApplicationWithCard: return QIcon(iconPath("chip_card"));
    case ProbeResult::NoProgrammer: break;
    }
    return {};
}

void PortListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyledItemDelegate::paint(painter, option, index);
    const QIcon icon = iconFor(m_lookup(index.row()));
    if (!icon.isNull()) {
        const QRect target(option.rect.left() + 155, option.rect.top() + 2, 325 - 155, 28 - 2);
        painter->save();
        painter->setOpacity(1.0);
        icon.paint(painter, target, Qt::AlignLeft | Qt::AlignVCenter);
        painter->restore();
    }

    const QString usb = index.data(kUsbDescriptionRole).toString();
    if (usb.isEmpty())
        return;
    const QRect text(option.rect.left() + kDescriptionLeft, option.rect.top(),
                     option.rect.width() - kDescriptionLeft, option.rect.height());
    painter->save();
    const bool selected = option.state & QStyle::State_Selected;
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::PlaceholderText));
    painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
                      option.fontMetrics.elidedText(usb, Qt::ElideRight, text.width()));
    painter->restore();
}

QSize PortListDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(kEntryHeight);
    return size;
}

} // namespace talvex
