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

class BusyIndicator;
class LogPane;

// Controls carry their designer names as object names, so tests and
// screenshots find them as the user sees them.

QPushButton* makeButton(const QString& name, const QString& text, QWidget* parent = nullptr);
QRadioButton* makeRadio(const QString& name, const QString& text, QWidget* parent = nullptr);
QLabel* makeLabel(const QString& name, const QString& text, QWidget* parent = nullptr);
QGroupBox* makeGroup(const QString& name, const QString& title, QWidget* parent = nullptr);
QCheckBox* makeCheckBox(const QString& name, const QString& text, QWidget* parent = nullptr);
QComboBox* makeComboBox(const QString& name, QWidget* parent = nullptr);
BusyIndicator* makeBusyIndicator(const QString& name, QWidget* parent = nullptr);
LogPane* makeLogPane(const QString& name, QWidget* parent = nullptr);

/// The box that holds a window's controls but not its log: an
/// OperationGuard disables it while a device operation runs.
QWidget* makeControlsContainer(QWidget* window);

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

/// The port chosen in a port list, or nothing when no entry is selected or
/// the entry is empty (a reader port the detection did not find).
std::optional<QString> selectedPortName(const QComboBox* box);

} // namespace talvex
