#pragma once

#include <QPointer>
#include <QWidget>

namespace talvex {

/// Makes a window's controls inert while a device operation runs. The
/// framework processes messages during the operation's waits; without
/// this a second click would start a second exchange in the middle of the
/// first. Disabling the container keeps each child's own enabled state,
/// so re-enabling it brings every control back as the operation left it.
/// Guards nest (an upload ends by reconnecting): the outermost restores.
class OperationGuard {
public:
    OperationGuard(QWidget* controls, int& depth);
    ~OperationGuard();
    OperationGuard(const OperationGuard&) = delete;
    OperationGuard& operator=(const OperationGuard&) = delete;

private:
    QPointer<QWidget> m_controls;
    int& m_depth;
};

} // namespace talvex
