#include "cli/TerminalUploadObserver.h"

#include "firmware/FirmwareProtocol.h"
#include "firmware/UploadOutcome.h"

#include <cstdio>

namespace talvex::cli {
namespace {

// Without a terminal to redraw on, a progress line every tenth of the way.
constexpr int kPercentStep = 10;

bool isVerdictText(const std::string& text)
{
    for (const UploadEnding ending :
         {UploadEnding::Success, UploadEnding::FinishedWithErrors, UploadEnding::NoAnswer, UploadEnding::FlashError,
          UploadEnding::TooManyErrors, UploadEnding::EraseFailed, UploadEnding::Unplugged}) {
        const VerdictTexts texts = verdictTexts(ending);
        if (text == texts.upper || text == texts.lower)
            return true;
    }
    return false;
}

int percentOf(int blockIndex)
{
    return (blockIndex + 1) * 100 / kBlockCount;
}

} // namespace

TerminalUploadObserver::TerminalUploadObserver(Console& console, std::function<void()> onSerialize)
    : m_console(console)
    , m_onSerialize(std::move(onSerialize))
{
}

void TerminalUploadObserver::logLine(const std::string& message)
{
    m_console.log(message);
}

void TerminalUploadObserver::setUpperStatus(const std::string& text)
{
    status(text);
}

void TerminalUploadObserver::setLowerStatus(const std::string& text)
{
    status(text);
}

void TerminalUploadObserver::status(const std::string& text)
{
    if (!text.empty() && !isVerdictText(text))
        m_console.prompt(text);
}

void TerminalUploadObserver::setProgress(int blockIndex)
{
    m_block = blockIndex;
}

void TerminalUploadObserver::setRemainingTime(std::optional<std::chrono::seconds> remaining)
{
    if (!remaining || m_block < 0)
        return;
    if (!m_console.interactive()) {
        if (percentOf(m_block) < m_nextPercentShown)
            return;
        m_nextPercentShown = percentOf(m_block) / kPercentStep * kPercentStep + kPercentStep;
    }
    m_console.progress(progressText(m_block, *remaining));
}

void TerminalUploadObserver::serialize()
{
    if (m_onSerialize)
        m_onSerialize();
}

std::string TerminalUploadObserver::progressText(int blockIndex, std::chrono::seconds remaining)
{
    const long long seconds = remaining.count();
    char text[96];
    std::snprintf(text, sizeof text, "Uploading: block %d of %d (%d%%), %lld:%02lld left", blockIndex + 1, kBlockCount,
                  percentOf(blockIndex), seconds / 60, seconds % 60);
    return text;
}

} // namespace talvex::cli
