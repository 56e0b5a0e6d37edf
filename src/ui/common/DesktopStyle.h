#pragma once

class QApplication;

namespace talvex {

/// One look for the tool on every desktop (and in its screenshots).
void applyDesktopStyle(QApplication& application);

} // namespace talvex
