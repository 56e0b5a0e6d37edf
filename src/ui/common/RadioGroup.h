#pragma once

#include <QButtonGroup>
#include <QRadioButton>

#include <optional>
#include <vector>

namespace talvex {

/// Radio buttons that exclude each other, with the operations the windows
/// need: which one is checked, check by index, and clear all (which a
/// plain exclusive group refuses).
class RadioGroup {
public:
    void add(QRadioButton* button);
    std::optional<int> checkedIndex() const;
    void check(std::optional<int> index);
    void clear();
    QRadioButton* at(int index) const { return m_buttons.at(static_cast<std::size_t>(index)); }
    int size() const { return static_cast<int>(m_buttons.size()); }

private:
    std::vector<QRadioButton*> m_buttons;
};

} // namespace talvex
