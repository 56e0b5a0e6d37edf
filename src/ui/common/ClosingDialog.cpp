#include "ui/common/ClosingDialog.h"

namespace talvex {

void ClosingDialog::reject()
{
    close();
}

} // namespace talvex
