#include "ui/common/BusyIndicator.h"

#include <QPainter>

namespace talvex {

BusyIndicator::BusyIndicator(QWidget* parent)
    : QWidget(parent)
{
    setFixedSize(sizeHint());
    m_timer.setInterval(60);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_angle = (m_angle + 30) % 360;
        update();
    });
}

void BusyIndicator::start()
{
    m_timer.start();
    update();
}

void BusyIndicator::stop()
{
    m_timer.stop();
    update();
}

void BusyIndicator::paintEvent(QPaintEvent*)
{
    if (!isRunning())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(palette().highlight().color(), 3, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(pen);
    const QRectF circle = QRectF(rect()).adjusted(3, 3, -3, -3);
    painter.drawArc(circle, -m_angle * 16, 270 * 16);
}

} // namespace talvex
