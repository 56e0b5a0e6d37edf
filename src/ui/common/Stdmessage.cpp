#include "ui/common/Stdmessage.h"

#include "ui/common/Widgets.h"
#include "ui/common/MessagePictures.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

namespace talvex {
namespace {

constexpr QSize kClientSize{413, 117};
constexpr qreal kBackgroundOpacity = 0.2;

QString wide(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QLabel* makePicture(const QString& name, const QPixmap& picture, const QRect& place, QWidget* parent)
{
    QLabel* image = makeLabel(name, QString(), parent);
    image->setGeometry(place);
    // At its own size, not stretched.
    image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    image->setPixmap(picture);
    return image;
}

} // namespace

Twnd_message::Twnd_message(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("wnd_message"));
    setModal(true);
    setFixedSize(kClientSize);

    const qreal ratio = qApp->devicePixelRatio();
    // Made first, so it lies under every other control.
    Image1 = makePicture(QStringLiteral("Image1"), backgroundPicture(kBackgroundOpacity, ratio),
                         QRect(243, -40, 203, 152), this);
    ImageWarning = makePicture(QStringLiteral("ImageWarning"), warningPicture(ratio), QRect(16, 16, 50, 50), this);
    ImageQuestion = makePicture(QStringLiteral("ImageQuestion"), questionPicture(ratio), QRect(16, 16, 50, 50), this);

    Label1 = makeLabel(QStringLiteral("Label1"), QString(), this);
    Label1->setGeometry(80, 16, 321, 49);
    Label1->setTextFormat(Qt::PlainText);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label1->setWordWrap(true);

    Button1 = makeButton(QStringLiteral("Button1"), QStringLiteral("Ok"), this);
    Button1->setGeometry(168, 80, 80, 22);
    Button2 = makeButton(QStringLiteral("Button2"), QStringLiteral("Yes"), this);
    Button2->setGeometry(120, 80, 80, 22);
    Button3 = makeButton(QStringLiteral("Button3"), QStringLiteral("No"), this);
    Button3->setGeometry(217, 80, 80, 22);
    connect(Button1, &QPushButton::clicked, this, [this] { done(kResultOk); });
    connect(Button2, &QPushButton::clicked, this, [this] { done(kResultYes); });
    connect(Button3, &QPushButton::clicked, this, [this] { done(kResultNo); });
    // Enter presses the button that has the focus.
    for (QPushButton* button : {Button1, Button2, Button3})
        button->setAutoDefault(true);
}

void Twnd_message::present(std::string_view caption, std::string_view text, std::string_view buttons,
                           std::string_view icon)
{
    const bool yesNo = buttons == "yesno";
    Button1->setVisible(!yesNo);
    Button2->setVisible(yesNo);
    Button3->setVisible(yesNo);
    const bool warning = icon == "warning";
    ImageWarning->setVisible(warning);
    ImageQuestion->setVisible(!warning);
    setWindowTitle(wide(caption));
    Label1->setText(wide(text));
    (yesNo ? Button2 : Button1)->setFocus();
}

void Twnd_message::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void Twnd_message::reject()
{
    done(kResultCancel);
}

int ShowStdMessage(std::string_view caption, std::string_view text, std::string_view buttons,
                   std::string_view icon)
{
    Twnd_message dialog;
    dialog.present(caption, text, buttons, icon);
    // The client area centred; the frame then sits evenly around it.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        dialog.setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, dialog.size(),
                                               screen->availableGeometry()));
    return dialog.exec();
}

} // namespace talvex
