#include "ui/common/UiReport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

namespace talvex {
namespace {

QString oneLine(QString text)
{
    return text.replace(QLatin1String("\r\n"), QLatin1String("\\n")).replace(QLatin1Char('\n'), QLatin1String("\\n"));
}

QString place(const QWidget* widget, QRect rect)
{
    const QPoint topLeft = widget->mapToGlobal(rect.topLeft());
    return QStringLiteral("%1\t%2\t%3\t%4").arg(topLeft.x()).arg(topLeft.y()).arg(rect.width()).arg(rect.height());
}

QString shownText(const QWidget* widget)
{
    if (const auto* label = qobject_cast<const QLabel*>(widget))
        return label->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
        return button->text() + (button->isCheckable() && button->isChecked() ? QStringLiteral(" [checked]") : QString());
    if (const auto* edit = qobject_cast<const QLineEdit*>(widget))
        return edit->text();
    if (const auto* box = qobject_cast<const QComboBox*>(widget))
        return box->currentText();
    if (const auto* text = qobject_cast<const QPlainTextEdit*>(widget))
        return text->toPlainText();
    if (const auto* group = qobject_cast<const QGroupBox*>(widget))
        return group->title();
    if (const auto* tabs = qobject_cast<const QTabWidget*>(widget))
        return tabs->tabText(tabs->currentIndex());
    return {};
}

// What a screen reader hears, where the entry says more than its text.
QString itemText(const QListWidgetItem* item)
{
    const QString spoken = item->data(Qt::AccessibleTextRole).toString();
    return spoken.isEmpty() ? item->text() : spoken;
}

void writeReport(const QString& path)
{
    QStringList lines{QStringLiteral("style\t") + QApplication::style()->name()};
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible())
            continue;
        lines << QStringLiteral("window\t%1\t%2\t%3")
                     .arg(window->objectName(), oneLine(window->windowTitle()), place(window, window->rect()));
        for (QWidget* widget : window->findChildren<QWidget*>()) {
            if (widget->objectName().isEmpty() || widget->objectName().startsWith(QLatin1String("qt_"))
                || !widget->isVisible())
                continue;
            lines << QStringLiteral("widget\t%1/%2\t%3\t%4\t%5\t%6")
                         .arg(window->objectName(), widget->objectName(),
                              QLatin1String(widget->metaObject()->className()), place(widget, widget->rect()),
                              widget->isEnabled() ? QStringLiteral("enabled") : QStringLiteral("disabled"),
                              oneLine(shownText(widget)));
            if (const auto* list = qobject_cast<const QListWidget*>(widget)) {
                for (int row = 0; row < list->count(); ++row)
                    lines << QStringLiteral("item\t%1/%2\t%3\t%4\t%5")
                                 .arg(window->objectName(), widget->objectName())
                                 .arg(row)
                                 .arg(place(list->viewport(), list->visualItemRect(list->item(row))),
                                      oneLine(itemText(list->item(row))));
            }
            if (const auto* tabs = qobject_cast<const QTabWidget*>(widget)) {
                for (int index = 0; index < tabs->count(); ++index)
                    lines << QStringLiteral("item\t%1/%2\t%3\t%4\t%5")
                                 .arg(window->objectName(), widget->objectName())
                                 .arg(index)
                                 .arg(place(tabs->tabBar(), tabs->tabBar()->tabRect(index)), tabs->tabText(index));
            }
        }
    }
    // Whole or not at all: the reader waits for the file to appear.
    QFile file(path + QStringLiteral(".part"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    file.close();
    QFile::remove(path);
    QFile::rename(file.fileName(), path);
}

} // namespace

void startUiReportOnRequest()
{
    const QString path = qEnvironmentVariable("TALVEX_UI_REPORT");
    if (path.isEmpty())
        return;
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [path] {
        const QString request = path + QStringLiteral(".request");
        if (QFile::exists(request)) {
            writeReport(path);
            QFile::remove(request);
        }
    });
    timer->start(200);
}

} // namespace talvex
