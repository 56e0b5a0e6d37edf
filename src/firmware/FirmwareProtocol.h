#pragma once

#include <cstddef>
#include <cstdint>

namespace talvex {

// ---- Boot loader commands and answers -------------------------------------

/// Asks which firmware runs: 0xA5 back from the boot loader, 0xC1/0xC2 from
/// the application (the same byte the identification sends).
inline constexpr std::uint8_t kBootCheckCode = 0xA5;
inline constexpr std::uint8_t kBootLoaderRunning = 0xA5;

/// Erases the application; the boot loader answers A8 00.
inline constexpr std::uint8_t kEraseCode = 0xA8;
inline constexpr std::uint8_t kEraseDone = 0x00;

/// First byte of a block frame and of its "accepted" answer.
inline constexpr std::uint8_t kProgramBlockCode = 0xA6;
/// Answers to a block frame (first byte).
inline constexpr std::uint8_t kImageComplete = 0xA7;
inline constexpr std::uint8_t kImageCompleteWithErrors = 0xB7;
inline constexpr std::uint8_t kBlockRetry = 0xB6;
inline constexpr std::uint8_t kFlashWriteError = 0xC6;

/// Repeat marker of a block frame.
inline constexpr std::uint8_t kFreshBlock = 0x00;
inline constexpr std::uint8_t kRepeatedBlock = 0x01;

/// Back-to-boot commands of the three builds, and the second byte of a good
/// answer (the first echoes one of the three codes).
inline constexpr std::uint8_t kBackToBootNormal = 0xFF;
inline constexpr std::uint8_t kBackToBootLowSpeed1 = 0xAA;
inline constexpr int kBackToBootLowSpeed1Repeats = 3;
inline constexpr std::uint8_t kBackToBootLowSpeed2 = 0xBB;
inline constexpr std::uint8_t kBackToBootDone = 0x00;

// ---- Image and frame --------------------------------------------------------

inline constexpr std::size_t kBlockSize = 32;
inline constexpr int kBlockCount = 3200;
inline constexpr std::size_t kImageSize = kBlockSize * kBlockCount; // 102,400 bytes
inline constexpr int kLastBlock = kBlockCount - 1;
/// Code, repeat marker, 32 data bytes, checksum.
inline constexpr std::size_t kBlockFrameLength = 1 + 1 + kBlockSize + 1;
inline constexpr std::size_t kBlockAnswerLength = 2;
/// Erased flash reads 0xFF, so a short image is filled with it.
inline constexpr std::uint8_t kErasedByte = 0xFF;

/// Answer buffer of the mode check, erase and back-to-boot reads.
inline constexpr std::size_t kUploadAnswerCapacity = 64;

// ---- Waits (milliseconds) ---------------------------------------------------

inline constexpr int kCheckBootModeWaitMs = 500;
inline constexpr int kEraseWaitMs = 800;
inline constexpr int kBeforeFirstBlockMs = 100;
/// The fixed wait between a frame and the read of its answer; the upload
/// stops waiting earlier once both answer bytes are in.
inline constexpr int kBlockAnswerWaitMs = 50;
inline constexpr int kWriteFailedWaitMs = 500;
inline constexpr int kNoAnswerWaitMs = 500;
inline constexpr int kCommunicationErrorWaitMs = 200;
inline constexpr int kBackToBootWaitMs = 1000;
inline constexpr int kUnplugPollWaitMs = 400;
inline constexpr int kReconnectAttemptWaitMs = 500;
inline constexpr int kReconnectAttempts = 200;
inline constexpr int kReconnectSettleMs = 3000;

// ---- Counters ---------------------------------------------------------------

/// The communication error that brings the count here ends the upload.
inline constexpr int kCommunicationErrorLimit = 10;
/// B6 answers to one block before the upload gives up on the flash. A
/// round trip takes about 7 ms, so 50 cost under half a second: far more
/// than any burst of line noise, and a failing flash ends instead of
/// keeping the tool busy for ever.
inline constexpr int kBlockRetryLimit = 50;
/// The progress bar moves on every tenth accepted block.
inline constexpr int kProgressEveryBlocks = 10;

} // namespace talvex
