#include "ui/UiBench.h"
#include "ui/common/Stdmessage.h"

#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QScreen>
#include <QTimer>

#include <functional>

using namespace talvex;
using namespace talvex::test;

namespace {

/// Runs the action on the notice once it is up and modal, then makes sure
/// the dialog ends, so a failed action cannot leave the test waiting.
void whenShown(std::function<void(Twnd_message&)> action)
{
    QTimer::singleShot(0, [action = std::move(action)] {
        auto* dialog = qobject_cast<Twnd_message*>(QApplication::activeModalWidget());
        if (!dialog) {
            ADD_FAILURE() << "no modal notice";
            return;
        }
        EXPECT_TRUE(dialog->isVisible());
        action(*dialog);
        if (dialog->isVisible()) {
            ADD_FAILURE() << "the notice is still open";
            dialog->done(-1);
        }
    });
}

int maxAlpha(const QPixmap& pixmap)
{
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    int alpha = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            alpha = std::max(alpha, qAlpha(image.pixel(x, y)));
    return alpha;
}

} // namespace

TEST(Stdmessage, YesNoWithQuestionReturnsSixOrSeven)
{
    for (const auto& [button, result] : {std::pair{"Button2", 6}, std::pair{"Button3", 7}}) {
        whenShown([button = button](Twnd_message& dialog) {
            EXPECT_EQ(text(&dialog, "Button2"), QStringLiteral("Yes"));
            EXPECT_EQ(text(&dialog, "Button3"), QStringLiteral("No"));
            click(&dialog, button);
        });
        EXPECT_EQ(ShowStdMessage("Question", "Go on?", "yesno", "question"), result) << button;
    }
}

TEST(Stdmessage, OnlyExactWordsChooseButtonsAndPicture)
{
    struct Case {
        const char* buttons;
        const char* icon;
        bool yesNo;
        bool warning;
    };
    for (const Case& c : {Case{"ok", "warning", false, true}, Case{"yesno", "question", true, false},
                          Case{"YesNo", "warning", false, true}, Case{"", "Warning", false, false},
                          Case{"yesno", "", true, false}, Case{"yes no", "warning ", false, false}}) {
        Twnd_message dialog;
        dialog.present("caption", "text", c.buttons, c.icon);
        EXPECT_EQ(!dialog.Button1->isHidden(), !c.yesNo) << c.buttons;
        EXPECT_EQ(!dialog.Button2->isHidden(), c.yesNo) << c.buttons;
        EXPECT_EQ(!dialog.Button3->isHidden(), c.yesNo) << c.buttons;
        EXPECT_EQ(!dialog.ImageWarning->isHidden(), c.warning) << c.icon;
        EXPECT_EQ(!dialog.ImageQuestion->isHidden(), !c.warning) << c.icon;
    }
}

TEST(Stdmessage, FixedSizeWithoutACloseBoxWithItsPicturesOverAFaintBackground)
{
    Twnd_message dialog;
    EXPECT_EQ(dialog.objectName(), QStringLiteral("wnd_message"));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize()) << "fixed size";

    const Qt::WindowFlags flags = dialog.windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowSystemMenuHint);

    const QObjectList& children = dialog.children();
    EXPECT_LT(children.indexOf(dialog.Image1), children.indexOf(dialog.Label1));
    EXPECT_LT(children.indexOf(dialog.Image1), children.indexOf(dialog.ImageWarning));

    // The pictures are drawn; the background is faint.
    const QPixmap warning = dialog.ImageWarning->pixmap();
    const QPixmap question = dialog.ImageQuestion->pixmap();
    const QPixmap background = dialog.Image1->pixmap();
    EXPECT_EQ(warning.deviceIndependentSize().toSize(), QSize(50, 50));
    EXPECT_EQ(question.deviceIndependentSize().toSize(), QSize(50, 50));
    EXPECT_EQ(background.deviceIndependentSize().toSize(), QSize(203, 152));
    EXPECT_EQ(maxAlpha(warning), 255);
    EXPECT_EQ(maxAlpha(question), 255);
    EXPECT_NE(warning.toImage(), question.toImage());
    const int faint = maxAlpha(background);
    EXPECT_GT(faint, 0);
    EXPECT_LE(faint, qRound(0.2 * 255) + 1);
}

TEST(Stdmessage, OkWithWarningShowsItsTextEscapeDoesNotCloseAndTheDialogIsCentred)
{
    whenShown([](Twnd_message& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("New software available"));
        EXPECT_EQ(text(&dialog, "Label1"), QStringLiteral("New download available on 'www.talvex.example' :\n"
                                                          "Talvex firmware rev. 1.6 \n"));
        EXPECT_TRUE(shown(&dialog, "Image1"));
        EXPECT_EQ(text(&dialog, "Button1"), QStringLiteral("Ok"));
        QTest::keyClick(&dialog, Qt::Key_Escape);
        EXPECT_TRUE(dialog.isVisible()) << "no cancel button";
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        const QPoint offset = dialog.geometry().center() - screen.center();
        EXPECT_LE(offset.manhattanLength(), 2);
        click(&dialog, "Button1");
    });
    EXPECT_EQ(ShowStdMessage("New software available",
                             "New download available on 'www.talvex.example' :\nTalvex firmware rev. 1.6 \n", "ok",
                             "warning"),
              Twnd_message::kResultOk);

    // A close from the window manager is a cancel.
    whenShown([](Twnd_message& dialog) { dialog.close(); });
    EXPECT_EQ(ShowStdMessage("caption", "text", "yesno", "question"), Twnd_message::kResultCancel);
}
