#pragma once

#include <QString>

namespace talvex {

/// Makes the windows' pictures available. They live in a static library,
/// whose resources load only when asked; safe to call any number of times.
void loadUiResources();

/// The resource path of one of the windows' icons, by its name (":/icons/chip.svg").
QString iconPath(const char* name);

} // namespace talvex
