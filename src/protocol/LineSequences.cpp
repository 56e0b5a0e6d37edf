#include "protocol/LineSequences.h"

#include <array>

namespace talvex {
namespace {

constexpr LineStep dtrOn{LineStep::Kind::DtrOn};
constexpr LineStep dtrOff{LineStep::Kind::DtrOff};
constexpr LineStep rtsOn{LineStep::Kind::RtsOn};
constexpr LineStep rtsOff{LineStep::Kind::RtsOff};
constexpr LineStep answerDelay{LineStep::Kind::WaitAnswerDelay};
constexpr LineStep waitMs(int ms) { return {LineStep::Kind::WaitMs, ms}; }

struct Row {
    LinePreparation name;
    std::string_view label;
    std::array<LineStep, 6> steps;
    int count;
};

// Where two rows look alike but differ, the device needs them as they are:
// - the low-speed 1 build's DTR pulse is held 500 ms in every sequence, but
//   the wait after it is 50 ms in identification, 20 ms before a settings
//   command or a boot-mode byte;
// - a scan and a selected-port search drop RTS first; the shortened
//   sequences between two identification bytes leave it as it is;
// - the normal build's boot preamble waits 50 ms after DTR on, a settings
//   command 200 ms (Standard) or 50 ms (DtrOn50, the Advanced write).
constexpr Row kRows[] = {
    {LinePreparation::ScanNormal, "scan, normal", {rtsOff, waitMs(1500), dtrOn, answerDelay}, 4},
    {LinePreparation::ScanLowSpeed1, "scan, low-speed 1",
     {rtsOff, waitMs(50), dtrOff, waitMs(500), dtrOn, waitMs(50)}, 6},
    {LinePreparation::ScanLowSpeed2, "scan, low-speed 2", {rtsOn, waitMs(50), dtrOff, waitMs(50)}, 4},
    {LinePreparation::ShortLowSpeed1, "shortened, low-speed 1", {dtrOff, waitMs(500), dtrOn, waitMs(50)}, 4},
    {LinePreparation::ShortLowSpeed2, "shortened, low-speed 2", {rtsOn, waitMs(50), dtrOff, waitMs(50)}, 4},
    {LinePreparation::SelectedNormal, "selected port, normal", {rtsOff, dtrOn, waitMs(200)}, 3},
    {LinePreparation::SelectedLowSpeed1, "selected port, low-speed 1",
     {rtsOff, dtrOff, waitMs(500), dtrOn, waitMs(50)}, 5},
    {LinePreparation::SelectedLowSpeed2, "selected port, low-speed 2",
     {rtsOff, rtsOn, waitMs(50), dtrOff, waitMs(50)}, 5},
    {LinePreparation::Standard, "standard: DTR on, 200 ms", {dtrOn, waitMs(200)}, 2},
    {LinePreparation::DtrOn50, "DTR on, 50 ms", {dtrOn, waitMs(50)}, 2},
    {LinePreparation::PhoenixPulse, "low-speed 1 DTR pulse", {dtrOff, waitMs(500), dtrOn, waitMs(20)}, 4},
    {LinePreparation::UniprogLines, "low-speed 2: RTS on, DTR off", {rtsOn, waitMs(50), dtrOff, waitMs(50)}, 4},
    {LinePreparation::BootNormal, "boot preamble, normal", {dtrOn, waitMs(50)}, 2},
    {LinePreparation::BootLowSpeed1, "boot preamble, low-speed 1", {dtrOff, waitMs(500), dtrOn, waitMs(20)}, 4},
    {LinePreparation::BootLowSpeed2, "boot preamble, low-speed 2", {rtsOn, waitMs(50), dtrOff, waitMs(50)}, 4},
};

const Row& rowOf(LinePreparation name)
{
    for (const Row& row : kRows) {
        if (row.name == name)
            return row;
    }
    return kRows[0]; // unreachable: every name has a row
}

LinePreparation byVariant(SpeedVariant variant, LinePreparation normal, LinePreparation low1, LinePreparation low2)
{
    switch (variant) {
    case SpeedVariant::LowSpeed1: return low1;
    case SpeedVariant::LowSpeed2: return low2;
    case SpeedVariant::Normal: break;
    }
    return normal;
}

} // namespace

LineSequence lineSequence(LinePreparation preparation, int answerDelayMs)
{
    const Row& row = rowOf(preparation);
    LineSequence steps(row.steps.begin(), row.steps.begin() + row.count);
    for (LineStep& step : steps) {
        if (step.kind == LineStep::Kind::WaitAnswerDelay)
            step = LineStep::wait(answerDelayMs);
    }
    return steps;
}

std::string_view linePreparationName(LinePreparation preparation)
{
    return rowOf(preparation).label;
}

LinePreparation scanPreparationOf(SpeedVariant variant)
{
    return byVariant(variant, LinePreparation::ScanNormal, LinePreparation::ScanLowSpeed1,
                     LinePreparation::ScanLowSpeed2);
}

LinePreparation selectedPortPreparationOf(SpeedVariant variant)
{
    return byVariant(variant, LinePreparation::SelectedNormal, LinePreparation::SelectedLowSpeed1,
                     LinePreparation::SelectedLowSpeed2);
}

LinePreparation bootPreambleOf(SpeedVariant variant)
{
    return byVariant(variant, LinePreparation::BootNormal, LinePreparation::BootLowSpeed1,
                     LinePreparation::BootLowSpeed2);
}

} // namespace talvex
