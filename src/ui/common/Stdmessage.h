#pragma once

#include <QDialog>

#include <string_view>

class QLabel;
class QPushButton;

namespace talvex {

/// The small modal notice (form wnd_message): a picture, a text and "Ok"
/// or "Yes"/"No". Controls keep their designer names and places.
class Twnd_message : public QDialog {
    Q_OBJECT
public:
    /// Modal results, as the framework numbers them.
    static constexpr int kResultOk = 1;
    static constexpr int kResultCancel = 2; ///< closed by the window manager
    static constexpr int kResultYes = 6;
    static constexpr int kResultNo = 7;

    explicit Twnd_message(QWidget* parent = nullptr);

    /// "yesno" (exactly) shows "Yes" and "No", anything else "Ok";
    /// "warning" shows the warning picture, anything else the question.
    void present(std::string_view caption, std::string_view text, std::string_view buttons,
                 std::string_view icon);

    QLabel* Label1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
    QLabel* ImageWarning = nullptr;
    QLabel* ImageQuestion = nullptr;
    QLabel* Image1 = nullptr;

protected:
    /// Escape does nothing: the dialog has no cancel button.
    void keyPressEvent(QKeyEvent* event) override;
    /// A close by the window manager ends the dialog with kResultCancel.
    void reject() override;
};

/// Shows the notice modally, centred on the screen, and returns its modal
/// result: 1 for "Ok", 6 for "Yes", 7 for "No".
int ShowStdMessage(std::string_view caption, std::string_view text, std::string_view buttons,
                   std::string_view icon);

} // namespace talvex
