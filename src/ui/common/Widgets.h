#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>

#include <optional>
#include <string>
#include <vector>

namespace talvex {

// Controls carry their designer names as object names, so tests and
// screenshots find them as the user sees them.

QPushButton* makeButton(const QString& name, const QString& text, QWidget* parent = nullptr);
QRadioButton* makeRadio(const QString& name, const QString& text, QWidget* parent = nullptr);
QLabel* makeLabel(const QString& name, const QString& text, QWidget* parent = nullptr);
QGroupBox* makeGroup(const QString& name, const QString& title, QWidget* parent = nullptr);
QCheckBox* makeCheckBox(const QString& name, const QString& text, QWidget* parent = nullptr);
QComboBox* makeComboBox(const QString& name, QWidget* parent = nullptr);

/// A drop-down list of the given items, with no item selected.
template <typename Items>
QComboBox* makeComboBox(const QString& name, const Items& items, QWidget* parent = nullptr)
{
    QComboBox* box = makeComboBox(name, parent);
    for (const auto& item : items)
        box->addItem(QString::fromUtf8(item.data(), static_cast<qsizetype>(item.size())));
    box->setCurrentIndex(-1);
    return box;
}

/// The selected index of a list, or nothing when no item is selected.
std::optional<int> selectedIndex(const QComboBox* box);

} // namespace talvex
