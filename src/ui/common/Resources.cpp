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

} // namespace talvex
