#include "ui/common/DesktopStyle.h"

#include <QApplication>
#include <QStyleFactory>

namespace talvex {

void applyDesktopStyle(QApplication& application)
{
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        application.setStyle(fusion);
}

} // namespace talvex
