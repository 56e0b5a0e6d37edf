#pragma once

#include <QDialog>

namespace talvex {

/// A window whose Escape closes it the way its close box does, through its
/// close query and close handling. QDialog's own reject() only hides the
/// window: ports would stay open, threads running, the main window hidden.
class ClosingDialog : public QDialog {
    Q_OBJECT
public:
    using QDialog::QDialog;

protected:
    void reject() override;
};

} // namespace talvex
