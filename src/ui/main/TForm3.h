#pragma once

#include "context/ApplicationContext.h"
#include "protocol/Discovery.h"

#include <QDialog>

#include <memory>
#include <vector>

class QComboBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace talvex {

class BatchForm;
class BusyIndicator;
class TForm1;
class TForm4;

/// The main window: finds the programmer automatically or by a scan of the
/// ports, shows what it found, and opens the settings window.
class TForm3 : public QDialog {
    Q_OBJECT
public:
    explicit TForm3(ApplicationContext& context, QWidget* parent = nullptr);
    ~TForm3() override;

    /// The settings window last opened (it is made anew each time).
    TForm4* settingsWindow() const { return m_settings.get(); }
    TForm1* smartcardTool() const { return m_cardTool.get(); }
    BatchForm* batchWindow() const { return m_batch.get(); }

    /// Opens the smartcard tool, as the (always disabled) "Smartcard Tool"
    /// button would; the command line uses it for service work.
    TForm1* openSmartcardTool();
    const std::vector<ProbedPort>& probedPorts() const { return m_probed; }
    bool operationRunning() const { return m_operationDepth > 0; }

    /// The last detection succeeded / the user confirmed it with "Done"
    /// (or the command line did); closing the smartcard tool clears it.
    bool programmerFound() const { return m_programmerFound; }
    bool detectionConfirmed() const { return m_detectionConfirmed; }
    void setDetectionConfirmed(bool confirmed) { m_detectionConfirmed = confirmed; }

public slots:
    void Button4Click();
    void Button3Click();
    void Button5Click();
    void ListBox1Click();
    void ListBox1DblClick();
    void Button6Click();
    void Button1Click();
    void Button2Click();
    /// Opens the batch window: every programmer on the host at once.
    void BatchButtonClick();
    /// After a detection in application mode: asks the vendor's server and
    /// tells the user when it names a newer firmware or tool.
    void new_version_available();

protected:
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void buildWindow();
    void setInfoLabelsVisible(bool visible);
    void setStatus(const QString& text);
    TForm4* openSettingsWindow();
    ProbeResult probeAt(int row) const;

    ApplicationContext& m_context;
    std::unique_ptr<TForm4> m_settings;
    std::unique_ptr<TForm1> m_cardTool;
    std::unique_ptr<BatchForm> m_batch;
    std::vector<ProbedPort> m_probed;
    QString m_readerDigitText;
    int m_operationDepth = 0;

    QWidget* m_controls = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button4 = nullptr;
    QPushButton* Button5 = nullptr;
    QPushButton* Button6 = nullptr;
    QPushButton* BatchButton = nullptr;
    BusyIndicator* AniIndicator1 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QListWidget* ListBox1 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label11 = nullptr;
    bool m_programmerFound = false;
    bool m_detectionConfirmed = false;
};

} // namespace talvex
