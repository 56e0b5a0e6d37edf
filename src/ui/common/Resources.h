#pragma once

namespace talvex {

/// Makes the windows' pictures available. They live in a static library,
/// whose resources load only when asked; safe to call any number of times.
void loadUiResources();

} // namespace talvex
