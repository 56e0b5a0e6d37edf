#include "firmware/BlockFrame.h"
#include "firmware/UploadBench.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <set>

using namespace talvex;
using test::UploadBench;
using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;
using Firmware = SimulatedProgrammer::Firmware;

namespace {

constexpr const char* kInProgress = "upper:Uploading firmware in progress ! Please, wait some minutes ... !";
constexpr const char* kFinishedWithErrors = "log:Programming Finished with errors !";
constexpr const char* kUnplugAndRetry = "upper:Unplug the programmer and retry.";

// The frames an upload with answers lost or refused at `faulted` blocks
// sends: each such block once more, marked as a repeat, and the block after
// it unmarked.
std::vector<Bytes> expectedFrames(const Bytes& image, const std::set<int>& faulted)
{
    std::vector<Bytes> frames;
    for (int block = 0; block < kBlockCount; ++block) {
        const std::uint8_t* data = image.data() + static_cast<std::size_t>(block) * kBlockSize;
        const BlockFrame fresh = buildBlockFrame(data, false);
        frames.emplace_back(fresh.begin(), fresh.end());
        if (faulted.count(block)) {
            const BlockFrame again = buildBlockFrame(data, true);
            frames.emplace_back(again.begin(), again.end());
        }
    }
    return frames;
}

} // namespace

TEST(FirmwareUpload, FromTheBootLoaderProgramsTheWholeImageAndEndsWithSuccess)
{
    UploadBench bench;
    const TimePoint start = bench.sim.clock.now();
    const UploadOutcome outcome = bench.upload();
    const Micros took = bench.sim.clock.now() - start;

    EXPECT_EQ(outcome.ending, UploadEnding::Success);
    EXPECT_TRUE(outcome.hasVerdict());
    EXPECT_EQ(outcome.messageText(), "Uploading firmware successfully finished ! Please, unplug the reader to restart-it.");
    EXPECT_EQ(outcome.communicationErrors, 0);
    EXPECT_EQ(outcome.blocksAccepted, kBlockCount);
    EXPECT_EQ(bench.device->programmedImage(), bench.image);
    EXPECT_EQ(bench.frames(), expectedFrames(bench.image, {}));

    EXPECT_EQ(bench.observer.log, (Lines{"Ok, read 102400 bytes", "Checking mode.", "Checking boot mode.",
                                         "Erasing Application.", "Erase Application successful.", "Uploading...",
                                         "Programming Finished!"}));
    EXPECT_EQ(bench.observer.events.front(), "clear");
    EXPECT_EQ(bench.observer.events.at(1), kInProgress);
    // Serialize runs after both status lines and before the last log line.
    EXPECT_EQ(bench.observer.eventsFrom("upper:Uploading firmware successfully finished ! "),
              (Lines{"upper:Uploading firmware successfully finished ! ",
                     "lower:Please, unplug the reader to restart-it.", "serialize", "log:Programming Finished!"}));
    EXPECT_EQ(bench.observer.serializeCalls, 1);
    EXPECT_EQ(bench.observer.states, (std::vector<UploadState>{UploadState::CheckingMode, UploadState::Erasing,
                                                               UploadState::SendingBlocks, UploadState::Finished}));

    // Every tenth block moves the bar to its index, with a falling estimate.
    const auto& progress = bench.observer.progress;
    // The last block's answer is 0xA7, not an acceptance: 3189 is the last.
    ASSERT_EQ(progress.size(), 319u);
    for (std::size_t n = 0; n < progress.size(); ++n)
        EXPECT_EQ(progress[n], static_cast<int>(n * 10 + 9));
    const auto& remaining = bench.observer.remaining;
    ASSERT_EQ(remaining.size(), 320u);
    EXPECT_FALSE(remaining.back().has_value());
    EXPECT_GT(*remaining.front(), std::chrono::seconds(15));
    for (std::size_t n = 1; n + 1 < remaining.size(); ++n)
        EXPECT_LE(*remaining[n], *remaining[n - 1]);

    // The device's pace sets the speed: 3,200 × (frame, 4 ms flash, answer)
    // plus the fixed waits of mode check, erase and start.
    EXPECT_LT(took, Millis(1500 + 550 + 800 + 100) + kBlockCount * Micros(7300));
}

TEST(FirmwareUpload, EveryEndingOfTheBlockLoopShowsItsTextsInTheirOrder)
{
    struct Case {
        const char* name;
        std::function<void(SimulatedProgrammer&)> fault;
        UploadEnding ending;
        const char* message;
        Lines tail;
    };
    const Case cases[] = {
        {"finished with errors", [](auto& d) { d.injectBlockFault(kLastBlock, BlockFault::CompleteWithErrors); },
         UploadEnding::FinishedWithErrors,
         "Uploading firmware finished with errors ! Please, unplug the reader to restart-it.",
         {"upper:Uploading firmware finished with errors ! ", "lower:Please, unplug the reader to restart-it.",
          kFinishedWithErrors}},
        {"no answer", [](auto& d) { d.injectBlockFault(42, BlockFault::NoAnswer, 10); }, UploadEnding::NoAnswer,
         "Unplug the programmer and retry.No answer from Programmer, uploading failed. ",
         {"log:PERMANENT COMMUNICATION ERROR !!!", "lower:No answer from Programmer, uploading failed. ",
          kUnplugAndRetry, kFinishedWithErrors}},
        {"flash error", [](auto& d) { d.injectBlockFault(42, BlockFault::FlashError); }, UploadEnding::FlashError,
         "Unplug the programmer and retry.Problem to writing in flash memory, uploading failed.",
         {"log:UNRECOVERABLE ERROR !!!", "lower:Problem to writing in flash memory, uploading failed.",
          kUnplugAndRetry, kFinishedWithErrors}},
        {"too many errors", [](auto& d) { d.injectBlockFault(42, BlockFault::Garbage, 10); },
         UploadEnding::TooManyErrors, "Unplug the programmer and retry.Too many communication error, uploading failed.",
         {"log:PERMANENT COMMUNICATION ERROR !!!", "lower:Too many communication error, uploading failed.",
          kUnplugAndRetry, kFinishedWithErrors}},
        {"erase failed",
         [](auto& d) {
             d.setAnswerFilter([](const SimulatedProgrammer::ReceivedCommand& command, Bytes answer) {
                 return command.bytes == Bytes{kEraseCode} ? Bytes{kEraseCode, 0x01} : answer;
             });
         },
         UploadEnding::EraseFailed, "Uploading failed.Unplug the programmer and retry.",
         {"log:ERROR: Failed to Erasing application error.", "upper:Uploading failed.",
          "lower:Unplug the programmer and retry.", kFinishedWithErrors}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UploadBench bench;
        c.fault(*bench.device);
        const UploadOutcome outcome = bench.upload();
        EXPECT_EQ(outcome.ending, c.ending);
        EXPECT_TRUE(outcome.hasVerdict());
        EXPECT_EQ(outcome.messageText(), c.message);
        EXPECT_EQ(bench.observer.upper + bench.observer.lower, c.message);
        EXPECT_EQ(bench.observer.eventsFrom(c.tail.front()), c.tail);
        EXPECT_EQ(bench.observer.serializeCalls, 0);
        if (c.ending == UploadEnding::EraseFailed)
            EXPECT_TRUE(bench.frames().empty());
        else
            EXPECT_FALSE(bench.observer.remaining.back().has_value());
    }
}

TEST(FirmwareUpload, AnEmptyOrSpecialFileIsRefusedWithItsReasonBeforeTheDeviceIsTouched)
{
    struct Case {
        const char* name;
        std::function<std::string(test::TempFolder&)> make;
        const char* reason;
    };
    std::vector<Case> cases = {
        {"empty", [](test::TempFolder& f) { return f.write("empty.bin", {}); }, "the file is empty"},
    };
#ifndef _WIN32
    // A named pipe would block the read after the device was erased.
    cases.push_back({"named pipe",
                     [](test::TempFolder& f) {
                         const std::string path = f.path("pipe.bin");
                         EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
                         return path;
                     },
                     "not a regular file"});
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UploadBench bench;
        const std::string path = c.make(bench.folder);
        FirmwareUpload upload(bench.environment(), bench.observer);
        EXPECT_EQ(upload.checkFile(path), FileCheck::Unreadable);
        EXPECT_EQ(bench.observer.log, (Lines{path + ": " + c.reason}));
        EXPECT_EQ(bench.observer.upper, "Error reading file !");
        EXPECT_TRUE(bench.device->receivedCommands().empty());
    }
}

TEST(FirmwareUpload, EndingsWithoutVerdictLeaveTheDeviceUnerasedOrTheLoopRunOut)
{
    const std::pair<const char*, SimulatedProgrammer::AnswerFilter> refusals[] = {
        {"silent device", [](const auto&, Bytes) { return Bytes{}; }},
        {"unknown answer", [](const auto&, Bytes) { return Bytes{0x12, 0x34}; }},
    };
    for (const auto& [name, filter] : refusals) {
        SCOPED_TRACE(name);
        UploadBench bench;
        bench.device->setAnswerFilter(filter);
        const UploadOutcome outcome = bench.upload();
        EXPECT_EQ(outcome.ending, UploadEnding::BootModeFailed);
        EXPECT_FALSE(outcome.hasVerdict());
        EXPECT_EQ(bench.observer.log.back(), "ERROR: Failed entering boot mode!");
        EXPECT_FALSE(bench.received({kEraseCode}));
    }
    {
        SCOPED_TRACE("boot flag clear");
        UploadBench bench;
        bench.sim.context.detection().bootLoader = false;
        EXPECT_EQ(bench.upload().ending, UploadEnding::BootFlagClear);
        EXPECT_EQ(bench.observer.log.back(), "Checking boot mode.");
        EXPECT_FALSE(bench.received({kEraseCode}));
    }
    {
        SCOPED_TRACE("no 0xA7 at the end");
        UploadBench bench;
        bench.device->setAnswerFilter([](const auto&, Bytes answer) {
            if (!answer.empty() && answer[0] == kImageComplete)
                answer[0] = kProgramBlockCode;
            return answer;
        });
        const UploadOutcome outcome = bench.upload();
        EXPECT_EQ(outcome.ending, UploadEnding::BlocksRanOut);
        EXPECT_FALSE(outcome.hasVerdict());
        EXPECT_EQ(outcome.blocksAccepted, kBlockCount);
        EXPECT_EQ(bench.observer.log.back(), "Uploading...");
    }
}

TEST(FirmwareUpload, BlockAfterAnEmptyUnknownRefusedOrOneByteAnswerIsRepeatedWithTheMarker)
{
    UploadBench bench;
    // Blocks 14 and 15 carry the same bytes, so the lone A6 to block 15
    // would pass if the second byte of block 14's answer were still counted.
    std::copy_n(bench.image.begin() + 14 * kBlockSize, kBlockSize, bench.image.begin() + 15 * kBlockSize);
    bench.file = bench.folder.write("same-checksums.bin", bench.image);
    bench.device->injectBlockFault(3, BlockFault::NoAnswer);
    bench.device->injectBlockFault(7, BlockFault::Garbage);
    bench.device->injectBlockFault(11, BlockFault::Retry);
    bench.device->injectBlockFault(15, BlockFault::ShortAnswer);

    const UploadOutcome outcome = bench.upload();
    EXPECT_EQ(outcome.ending, UploadEnding::Success);
    EXPECT_EQ(outcome.communicationErrors, 3); // not the refusal
    EXPECT_EQ(bench.frames(), expectedFrames(bench.image, {3, 7, 11, 15}));
    EXPECT_EQ(bench.device->programmedImage(), bench.image);
    EXPECT_EQ(bench.observer.count("Nothing receiving from Programmer ...  "), 1);
    EXPECT_EQ(bench.observer.count("Communication error ! Try to correct ..."), 2);
    EXPECT_EQ(bench.observer.count("Programming ERROR block: 11. Resending ..."), 1);
}

TEST(FirmwareUpload, LateAnswerIsNotTakenForTheAnswerToTheRepeatedBlock)
{
    // Judged by the answer that arrives in its own time, every later frame
    // would read the answer of the one before it.
    UploadBench bench;
    bench.device->injectBlockFault(50, BlockFault::LateAnswer);
    bench.device->injectBlockFault(51, BlockFault::LateAnswer);
    const UploadOutcome outcome = bench.upload();
    EXPECT_EQ(outcome.ending, UploadEnding::Success);
    EXPECT_EQ(outcome.communicationErrors, 2);
    EXPECT_EQ(bench.frames(), expectedFrames(bench.image, {50, 51}));
    EXPECT_EQ(bench.device->programmedImage(), bench.image);
}

// The waits after a lost and after a garbled answer are the device's: the
// repeated frame goes out that much later than a frame after a good answer.
TEST(FirmwareUpload, ALostOrGarbledAnswerIsFollowedByItsOwnWaitBeforeTheRepeat)
{
    for (const auto& [fault, waitMs] : {std::pair {BlockFault::NoAnswer, 500}, std::pair {BlockFault::Garbage, 200}}) {
        SCOPED_TRACE(waitMs);
        UploadBench bench;
        bench.device->injectBlockFault(5, fault);
        ASSERT_EQ(bench.upload(bench.file, UploadOptions {AnswerWait::FixedSleep}).ending, UploadEnding::Success);
        std::vector<SimulatedProgrammer::ReceivedCommand> frames;
        for (const auto& command : bench.device->receivedCommands()) {
            if (command.bytes.size() == kBlockFrameLength && command.bytes[0] == kProgramBlockCode)
                frames.push_back(command);
        }
        const auto repeat = std::find_if(frames.begin(), frames.end(),
                                         [](const auto& frame) { return frame.bytes[1] == kRepeatedBlock; });
        ASSERT_TRUE(repeat != frames.end() && repeat - frames.begin() >= 2);
        const Micros afterGood = (repeat - 1)->at - (repeat - 2)->at;
        const Micros afterFault = repeat->at - (repeat - 1)->at;
        EXPECT_GE(afterFault - afterGood, Millis(waitMs));
        EXPECT_LT(afterFault - afterGood, Millis(waitMs + 50));
    }
}

TEST(FirmwareUpload, AFailedPortWriteWaitsForItselfAndForTheMissingAnswerAndIsNoSuccess)
{
    UploadBench bench;
    bench.device->injectBlockFault(5, BlockFault::WriteRefused);
    const UploadOutcome outcome = bench.upload(bench.file, UploadOptions {AnswerWait::FixedSleep});
    EXPECT_EQ(bench.observer.count("Communtication error sending to Programmer ...."), 1);
    // The device never saw the frame; the host's next one is marked as a
    // repeat, so the device cannot end up holding the whole image.
    EXPECT_NE(outcome.ending, UploadEnding::Success);
    std::vector<Micros> at;
    for (const auto& command : bench.device->receivedCommands()) {
        if (command.bytes.size() == kBlockFrameLength && command.bytes[0] == kProgramBlockCode)
            at.push_back(command.at);
    }
    ASSERT_GE(at.size(), 7U);
    const Micros afterGood = at[4] - at[3];
    const Micros afterFailedWrite = at[5] - at[4];
    EXPECT_GE(afterFailedWrite - afterGood, Millis(1000));
    EXPECT_LT(afterFailedWrite - afterGood, Millis(1100));
}

TEST(FirmwareUpload, NineCommunicationErrorsAreSurvivedAndTheTenthEndsIt)
{
    // Early A7 and B7 count like any other unrecognised answer.
    const std::pair<int, BlockFault> nine[] = {
        {100, BlockFault::NoAnswer},         {400, BlockFault::Garbage},     {700, BlockFault::WrongChecksum},
        {1000, BlockFault::ShortAnswer},     {1300, BlockFault::EarlyComplete}, {1600, BlockFault::CompleteWithErrors},
        {1900, BlockFault::NoAnswer},        {2200, BlockFault::Garbage},    {2500, BlockFault::WrongChecksum},
    };
    {
        UploadBench bench;
        for (const auto& [block, fault] : nine)
            bench.device->injectBlockFault(block, fault);
        const UploadOutcome outcome = bench.upload();
        EXPECT_EQ(outcome.ending, UploadEnding::Success);
        EXPECT_EQ(outcome.communicationErrors, 9);
        EXPECT_EQ(bench.device->programmedImage(), bench.image);
    }
    for (const BlockFault tenth : {BlockFault::NoAnswer, BlockFault::Garbage}) {
        UploadBench bench;
        for (const auto& [block, fault] : nine)
            bench.device->injectBlockFault(block, fault);
        bench.device->injectBlockFault(3100, tenth);
        const UploadOutcome outcome = bench.upload();
        EXPECT_EQ(outcome.ending, tenth == BlockFault::NoAnswer ? UploadEnding::NoAnswer : UploadEnding::TooManyErrors);
        EXPECT_EQ(outcome.communicationErrors, 10);
        EXPECT_EQ(outcome.blocksAccepted, 3100);
        EXPECT_EQ(bench.observer.count("Nothing receiving from Programmer ...  ")
                      + bench.observer.count("Communication error ! Try to correct ..."),
                  9);
    }
}

TEST(FirmwareUpload, RefusedBlocksAreResentAtOnceAsOftenAsTheDeviceAsks)
{
    UploadBench bench;
    bench.device->injectBlockFault(0, BlockFault::Retry, 40);
    bench.device->injectBlockFault(kLastBlock, BlockFault::Retry, 40);
    const TimePoint start = bench.sim.clock.now();
    const UploadOutcome outcome = bench.upload();
    EXPECT_EQ(outcome.ending, UploadEnding::Success);
    EXPECT_EQ(outcome.communicationErrors, 0);
    EXPECT_EQ(bench.observer.count("Programming ERROR block: 0. Resending ..."), 40);
    EXPECT_EQ(bench.observer.count("Programming ERROR block: 3199. Resending ..."), 40);
    EXPECT_EQ(bench.frames().size(), static_cast<std::size_t>(kBlockCount + 80));
    EXPECT_EQ(bench.device->programmedImage(), bench.image);
    // No pause: each refusal costs one more round trip, nothing else.
    EXPECT_LT(bench.sim.clock.now() - start, Millis(1500 + 550 + 800 + 100) + (kBlockCount + 80) * Micros(7300));
}

TEST(FirmwareUpload, ABlockRefusedFiftyTimesEndsWithTheFlashError)
{
    UploadBench bench;
    bench.device->injectBlockFault(7, BlockFault::Retry, 200000);
    const UploadOutcome outcome = bench.upload();
    EXPECT_EQ(outcome.ending, UploadEnding::FlashError);
    EXPECT_EQ(outcome.blocksAccepted, 7);
    EXPECT_EQ(bench.observer.count("Programming ERROR block: 7. Resending ..."), kBlockRetryLimit - 1);
    EXPECT_EQ(bench.frames().size(), static_cast<std::size_t>(7 + kBlockRetryLimit));
    const Lines tail(bench.observer.log.end() - 3, bench.observer.log.end());
    EXPECT_EQ(tail, (Lines{"Programming ERROR block: 7 refused 50 times.", "UNRECOVERABLE ERROR !!!",
                           "Programming Finished with errors !"}));
}

TEST(FirmwareUpload, ProgressShowsNineAfterTheTenthAcceptedBlock)
{
    UploadBench bench;
    bench.device->injectBlockFault(4, BlockFault::Retry);
    bench.device->injectBlockFault(6, BlockFault::Garbage);
    bench.device->injectBlockFault(12, BlockFault::FlashError);
    EXPECT_EQ(bench.upload().ending, UploadEnding::FlashError);
    EXPECT_EQ(bench.observer.progress, (std::vector<int>{9}));
}

TEST(FirmwareUpload, ShortFileIsPaddedWithErasedFlashAndLongFileCut)
{
    {
        UploadBench bench;
        const Bytes shortImage = test::patternImage(1000);
        ASSERT_EQ(bench.upload(bench.folder.write("short.bin", shortImage)).ending, UploadEnding::Success);
        Bytes expected(kImageSize, 0xFF);
        std::copy(shortImage.begin(), shortImage.end(), expected.begin());
        EXPECT_EQ(bench.device->programmedImage(), expected);
        EXPECT_EQ(bench.observer.log.at(0), "Ok, read 1000 bytes");
        EXPECT_EQ(bench.observer.log.at(1), "File shorter than 102400 bytes: 101400 bytes filled with 0xFF.");
        EXPECT_EQ(bench.observer.log.at(2), "Checking mode.");
    }
    {
        UploadBench bench;
        const Bytes longImage = test::patternImage(kImageSize + 4096);
        ASSERT_EQ(bench.upload(bench.folder.write("long.bin", longImage)).ending, UploadEnding::Success);
        EXPECT_EQ(bench.device->programmedImage(), Bytes(longImage.begin(), longImage.begin() + kImageSize));
        EXPECT_EQ(bench.observer.log.at(0), "Ok, read 106496 bytes");
        EXPECT_EQ(bench.observer.log.at(1), "Only the first 102400 bytes of the file are sent.");
        EXPECT_EQ(bench.observer.log.at(2), "Checking mode.");
    }
}

TEST(FirmwareUpload, UnpluggedAtBlockOneThousandEndsAtOnceWithItsVerdict)
{
    UploadBench bench;
    SimulatedProgrammer::PlugScript hands;
    hands.unplugAtBlock = 1000;
    bench.device->setPlugScript(hands);

    const UploadOutcome outcome = bench.upload();
    EXPECT_EQ(outcome.ending, UploadEnding::Unplugged);
    EXPECT_TRUE(outcome.hasVerdict());
    EXPECT_EQ(outcome.blocksAccepted, 1000);
    // Not one error counted, not one error wait: the first read that found
    // the device gone ended it, one read time-out after the frame.
    EXPECT_EQ(outcome.communicationErrors, 0);
    EXPECT_EQ(bench.observer.count("Nothing receiving from Programmer ...  "), 0);
    EXPECT_EQ(bench.frames().size(), 1001u);
    EXPECT_EQ(outcome.messageText(), "Uploading failed.The programmer was unplugged: plug it in again and retry.");
    const std::vector<std::string> tail(bench.observer.log.end() - 2, bench.observer.log.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"ERROR: the programmer was unplugged during the upload !",
                                              "Programming Finished with errors !"}));
}

TEST(FirmwareUpload, DeviceThatFallsSilentMidUploadEndsThroughTheErrorCount)
{
    UploadBench bench;
    const TimePoint silent = bench.sim.clock.now() + Millis(10000);
    bench.sim.clock.at(silent, [&] { bench.device->setSilent(true); });
    const UploadOutcome outcome = bench.upload();
    EXPECT_EQ(outcome.ending, UploadEnding::NoAnswer);
    EXPECT_EQ(outcome.communicationErrors, 10);
    EXPECT_GT(outcome.blocksAccepted, 500);
    EXPECT_EQ(bench.observer.count("Communtication error sending to Programmer ...."), 0);
    EXPECT_EQ(bench.observer.count("Nothing receiving from Programmer ...  "), 9);
    EXPECT_EQ(bench.observer.log.back(), "Programming Finished with errors !");
    EXPECT_LT(bench.sim.clock.now() - silent, Millis(10000));
}

TEST(FirmwareUpload, FixedWaitsAndEarlyEndedWaitsSendTheSameBytesWithTheSameVerdicts)
{
    auto run = [](AnswerWait wait, Micros& took) {
        auto bench = std::make_unique<UploadBench>();
        bench->device->injectBlockFault(5, BlockFault::NoAnswer);
        bench->device->injectBlockFault(9, BlockFault::Retry, 3);
        bench->device->injectBlockFault(20, BlockFault::Garbage);
        bench->device->injectBlockFault(33, BlockFault::ShortAnswer);
        const TimePoint start = bench->sim.clock.now();
        bench->upload(bench->file, UploadOptions{wait});
        took = bench->sim.clock.now() - start;
        return bench;
    };
    Micros fixedTime{};
    Micros quickTime{};
    const auto fixed = run(AnswerWait::FixedSleep, fixedTime);
    const auto quick = run(AnswerWait::UntilAnswered, quickTime);
    EXPECT_EQ(quick->frames(), fixed->frames());
    EXPECT_EQ(quick->observer.events, fixed->observer.events);
    EXPECT_EQ(quick->device->programmedImage(), quick->image);
    EXPECT_LT(quickTime * 5, fixedTime);
}
