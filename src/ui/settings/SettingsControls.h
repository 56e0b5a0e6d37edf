#pragma once

#include "ui/common/RadioGroup.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QWidget;

namespace talvex {

class BusyIndicator;
class LogPane;

// The settings window's controls under their designer names, grouped by
// tab: the layout fills them in, each tab's controller works on its own.

struct ComSpeedControls {
    RadioGroup speeds; ///< RadioButton1…RadioButton4
    QPushButton* Button4 = nullptr;
    QPushButton* Button5 = nullptr;
    QGroupBox* GroupBox3 = nullptr;
    QPushButton* Button14 = nullptr;
    QPushButton* Button15 = nullptr;
};

struct ClockControls {
    QPushButton* Button_read_settings = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button12 = nullptr;
    QPushButton* Button13 = nullptr;
    RadioGroup readers; ///< smartcard_reader_1, smartcard_reader_2
    RadioGroup clocks;  ///< clock_343 … clock_1200
};

struct PortControls {
    QPushButton* Button7 = nullptr;
    QPushButton* Button6 = nullptr;
    QPushButton* Button10 = nullptr;
    QPushButton* Button11 = nullptr;
    RadioGroup readers;  ///< RadioButton5, RadioButton6
    RadioGroup speeds;   ///< RadioButton7…RadioButton9
    RadioGroup parities; ///< RadioButton10…RadioButton12
    RadioGroup stops;    ///< RadioButton13
    QSpinBox* SpinBox1 = nullptr;
};

struct FirmwareControls {
    QLineEdit* Edit1 = nullptr;
    QPushButton* Button8 = nullptr;
    QPushButton* Button9 = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* Label12 = nullptr;
    QLabel* Label14 = nullptr;
    QLabel* LabelRemaining = nullptr;
};

struct AdvancedControls {
    RadioGroup modes; ///< RadioButton14…RadioButton16
    QGroupBox* GroupBox4 = nullptr;
    QGroupBox* GroupBox5 = nullptr;
    QGroupBox* GroupBox6 = nullptr;
    QComboBox* ComboBox2 = nullptr;
    QComboBox* ComboBox3 = nullptr;
    QComboBox* ComboBox4 = nullptr;
    QComboBox* ComboBox5 = nullptr;
    QComboBox* ComboBox6 = nullptr;
    QComboBox* ComboBox7 = nullptr;
    QComboBox* ComboBox8 = nullptr;
    QComboBox* ComboBox9 = nullptr;
    QSpinBox* SpinBox2 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QPushButton* Button20 = nullptr;
};

struct PhoenixControls {
    QPushButton* Button21 = nullptr;
    QPushButton* Button22 = nullptr;
    RadioGroup readers; ///< ph_reader_1, ph_reader_2
    RadioGroup clocks;  ///< ph_clock_1 … ph_clock_7
};

struct UniprogControls {
    QPushButton* Button23 = nullptr;
    QPushButton* Button24 = nullptr;
    QPushButton* Button25 = nullptr;
    QGroupBox* GroupBox7 = nullptr;
    QGroupBox* GroupBox8 = nullptr;
    QComboBox* ComboBox10 = nullptr;
    QComboBox* ComboBox11 = nullptr;
    QComboBox* ComboBox12 = nullptr;
    QComboBox* ComboBox13 = nullptr;
    QComboBox* ComboBox14 = nullptr;
    QComboBox* ComboBox15 = nullptr;
};

struct SerialControls {
    LogPane* Memo1 = nullptr;
    /// The chip a write goes to, chosen after "Read Serial".
    QComboBox* ChipList = nullptr;
    QLineEdit* Edit2 = nullptr;
    QPushButton* Button26 = nullptr;
    QPushButton* Button100 = nullptr;
    QPushButton* Button27 = nullptr;
};

struct SettingsControls {
    QWidget* controls = nullptr; ///< everything but the log
    QComboBox* ComboBox1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    LogPane* Memo2 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    BusyIndicator* AniIndicator1 = nullptr;
    QPushButton* Button16 = nullptr;
    QPushButton* Button17 = nullptr;
    QPushButton* Button18 = nullptr;
    QPushButton* Button19 = nullptr;
    QTabWidget* TabControl1 = nullptr;

    ComSpeedControls comSpeed;
    ClockControls clock;
    PortControls port;
    FirmwareControls firmware;
    AdvancedControls advanced;
    PhoenixControls phoenix;
    UniprogControls uniprog;
    SerialControls serial;
};

} // namespace talvex
