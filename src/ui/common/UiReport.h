#pragma once

namespace talvex {

/// When the environment variable TALVEX_UI_REPORT names a file, each time a
/// file of that name plus ".request" appears the program removes it and
/// writes the file: what its visible windows show, one control a line,
/// with its place on the screen. How a test outside the process (the
/// Windows build under Wine) reads the windows; otherwise nothing happens.
void startUiReportOnRequest();

} // namespace talvex
