#pragma once

#include "ui/cardtool/TForm1.h"

namespace talvex {

class AtrView;
class PortSlot;

/// Opacity of a reader's picture while no card is in it.
inline constexpr double kDimmed = 0.2;

/// The controls and state of one reader.
struct TForm1::Reader {
    int index = 1;
    PortSlot* slot = nullptr;
    bool connected = false;
    QComboBox* ports = nullptr;
    QPushButton* connect = nullptr;
    QPushButton* atr = nullptr;
    QPushButton* clear = nullptr;
    QPushButton* send = nullptr;
    QLabel* windowLabel = nullptr;
    LogPane* memo = nullptr;
    QLabel* picture = nullptr;
    QLabel* present = nullptr;
    AtrView* atrView = nullptr;
};

} // namespace talvex
