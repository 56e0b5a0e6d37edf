#include "ui/common/RadioGroup.h"

namespace talvex {

void RadioGroup::add(QRadioButton* button)
{
    // Each group lives in its own box, so Qt's auto-exclusivity by parent
    // already applies; clearing needs it lifted for a moment.
    m_buttons.push_back(button);
}

std::optional<int> RadioGroup::checkedIndex() const
{
    for (std::size_t i = 0; i < m_buttons.size(); ++i) {
        if (m_buttons[i]->isChecked())
            return static_cast<int>(i);
    }
    return std::nullopt;
}

void RadioGroup::check(std::optional<int> index)
{
    if (!index) {
        clear();
        return;
    }
    if (*index >= 0 && *index < size())
        m_buttons[static_cast<std::size_t>(*index)]->setChecked(true);
}

void RadioGroup::clear()
{
    for (QRadioButton* button : m_buttons) {
        const bool exclusive = button->autoExclusive();
        button->setAutoExclusive(false);
        button->setChecked(false);
        button->setAutoExclusive(exclusive);
    }
}

} // namespace talvex
