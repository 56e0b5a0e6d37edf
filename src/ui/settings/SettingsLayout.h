#pragma once

#include "ui/settings/SettingsControls.h"

class QDialog;

namespace talvex {

/// Builds the settings window's controls, with their designer names and
/// texts, into `window`, and answers them. The tabs come in the order of
/// TForm4::Tab. Nothing is connected here.
SettingsControls buildSettingsLayout(QDialog* window);

} // namespace talvex
