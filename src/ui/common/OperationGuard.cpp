#include "ui/common/OperationGuard.h"

namespace talvex {

OperationGuard::OperationGuard(QWidget* controls, int& depth)
    : m_controls(controls)
    , m_depth(depth)
{
    if (m_depth++ == 0 && m_controls)
        m_controls->setEnabled(false);
}

OperationGuard::~OperationGuard()
{
    if (--m_depth == 0 && m_controls)
        m_controls->setEnabled(true);
}

} // namespace talvex
