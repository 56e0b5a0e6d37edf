#include "sim/BootLoader.h"

#include "firmware/BlockFrame.h"
#include "firmware/FirmwareProtocol.h"
#include "protocol/Identification.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace talvex {
namespace {

constexpr std::uint8_t kUnknownAnswer[] = {0x5A, 0x3C};
// What the factory put in flash before any upload.
constexpr std::uint8_t kFactoryImageByte = 0x00;

std::vector<std::uint8_t> refused(std::uint8_t code)
{
    return {code, 0x00};
}

} // namespace

BootLoader::BootLoader()
    : m_image(kImageSize, kFactoryImageByte)
{
}

std::size_t BootLoader::commandLength(std::uint8_t code)
{
    switch (code) {
    case kIdentifyCode:
    case kEraseCode:
        return 1;
    case kProgramBlockCode:
        return kBlockFrameLength;
    default:
        return 0;
    }
}

std::vector<std::uint8_t> BootLoader::erase()
{
    std::fill(m_image.begin(), m_image.end(), kErasedByte);
    m_erasedSincePowerUp = true;
    m_intact = false;
    m_lastAccepted = false;
    m_accepted = 0;
    return {kEraseCode, kEraseDone};
}

std::vector<std::uint8_t> BootLoader::programBlock(const std::vector<std::uint8_t>& frame)
{
    if (frame.size() != kBlockFrameLength || !m_erasedSincePowerUp)
        return refused(kFlashWriteError);
    const bool rewrite = frame[1] == kRepeatedBlock && m_lastAccepted;
    const int block = rewrite ? m_accepted - 1 : m_accepted;
    if (block >= kBlockCount)
        return refused(kFlashWriteError);

    const std::uint8_t* data = frame.data() + 2;
    const std::uint8_t checksum = blockChecksum(data);
    if (checksum != frame[kBlockFrameLength - 1]) {
        m_lastAccepted = false;
        return refused(kBlockRetry);
    }

    std::optional<BlockFault> fault;
    if (auto found = m_faults.find(block); found != m_faults.end()) {
        fault = found->second.front();
        found->second.pop_front();
        if (found->second.empty())
            m_faults.erase(found);
    }
    if (fault == BlockFault::Retry || fault == BlockFault::FlashError) {
        m_lastAccepted = false;
        return refused(fault == BlockFault::Retry ? kBlockRetry : kFlashWriteError);
    }

    std::copy_n(data, kBlockSize, m_image.begin() + static_cast<std::ptrdiff_t>(block) * kBlockSize);
    if (!rewrite)
        ++m_accepted;
    m_lastAccepted = true;
    const bool complete = m_accepted == kBlockCount;
    if (complete)
        m_intact = true;

    if (!fault || fault == BlockFault::WriteRefused)
        return {complete ? kImageComplete : kProgramBlockCode, checksum};
    switch (*fault) {
    case BlockFault::NoAnswer: return {};
    case BlockFault::WrongChecksum: return {kProgramBlockCode, static_cast<std::uint8_t>(checksum ^ 0xFF)};
    case BlockFault::EarlyComplete: return {kImageComplete, checksum};
    case BlockFault::CompleteWithErrors: return {kImageCompleteWithErrors, checksum};
    case BlockFault::ShortAnswer: return {kProgramBlockCode};
    case BlockFault::Garbage: return {std::begin(kUnknownAnswer), std::end(kUnknownAnswer)};
    case BlockFault::LateAnswer:
        m_answerDelay = kLateAnswerDelay;
        return {complete ? kImageComplete : kProgramBlockCode, checksum};
    case BlockFault::Retry:
    case BlockFault::FlashError:
    case BlockFault::WriteRefused: break;
    }
    return {};
}

bool BootLoader::takeWriteRefusal()
{
    const auto found = m_faults.find(m_accepted);
    if (found == m_faults.end() || found->second.front() != BlockFault::WriteRefused)
        return false;
    found->second.pop_front();
    if (found->second.empty())
        m_faults.erase(found);
    return true;
}

Micros BootLoader::takeAnswerDelay()
{
    return std::exchange(m_answerDelay, Micros::zero());
}

void BootLoader::powerUp()
{
    m_erasedSincePowerUp = false;
    m_lastAccepted = false;
    m_accepted = 0;
}

void BootLoader::injectFault(int block, BlockFault fault, int times)
{
    for (int i = 0; i < times; ++i)
        m_faults[block].push_back(fault);
}

} // namespace talvex
