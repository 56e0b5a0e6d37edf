#include "ui/common/Widgets.h"

#include "ui/common/BusyIndicator.h"
#include "ui/common/LogPane.h"

namespace talvex {

QPushButton* makeButton(const QString& name, const QString& text, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

QRadioButton* makeRadio(const QString& name, const QString& text, QWidget* parent)
{
    auto* radio = new QRadioButton(text, parent);
    radio->setObjectName(name);
    return radio;
}

QLabel* makeLabel(const QString& name, const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

QGroupBox* makeGroup(const QString& name, const QString& title, QWidget* parent)
{
    auto* group = new QGroupBox(title, parent);
    group->setObjectName(name);
    return group;
}

QCheckBox* makeCheckBox(const QString& name, const QString& text, QWidget* parent)
{
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(name);
    return box;
}

QComboBox* makeComboBox(const QString& name, QWidget* parent)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    return box;
}

BusyIndicator* makeBusyIndicator(const QString& name, QWidget* parent)
{
    auto* indicator = new BusyIndicator(parent);
    indicator->setObjectName(name);
    return indicator;
}

LogPane* makeLogPane(const QString& name, QWidget* parent)
{
    auto* pane = new LogPane(parent);
    pane->setObjectName(name);
    return pane;
}

QWidget* makeControlsContainer(QWidget* window)
{
    auto* controls = new QWidget(window);
    controls->setObjectName(QStringLiteral("Controls"));
    return controls;
}

std::optional<int> selectedIndex(const QComboBox* box)
{
    const int index = box->currentIndex();
    if (index < 0)
        return std::nullopt;
    return index;
}

std::optional<QString> selectedPortName(const QComboBox* box)
{
    if (box->currentIndex() < 0 || box->currentText().isEmpty())
        return std::nullopt;
    return box->currentText();
}

} // namespace talvex
