#include "ui/common/Resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must stand outside any namespace.
static void initIconResources()
{
    Q_INIT_RESOURCE(icons);
}

namespace talvex {

void loadUiResources()
{
    static const bool loaded = [] {
        initIconResources();
        return true;
    }();
    (void)loaded;
}

QString iconPath(const char* name)
{
#if defined(TALVEX_PNG_ICONS)
    // Rendered from the SVGs at build time, for a Qt without Svg.
    return QStringLiteral(":/icons/%1.png").arg(QLatin1String(name));
#else
    return QStringLiteral(":/icons/%1.svg").arg(QLatin1String(name));
#endif
}

} // namespace talvex
