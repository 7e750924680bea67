// Firmware programming over the whole stack: WriteToRom's results, stages,
// progress, trace lines and the ROM it leaves, under the chip's faults and a
// firmware file that changes under it.
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "hotkey_fixture.h"

namespace {

constexpr int kRom = 8192;

std::vector<uint8_t> Image(int size = kRom, uint8_t seed = 3)
{
    std::vector<uint8_t> image(size);
    for (int i = 0; i < size; ++i)
        image[i] = (uint8_t)(i * 7 + seed + (i >> 8));
    if (size > 0x1FFD) {
        image[0x1FFC] = 0x92;
        image[0x1FFD] = 0x18;
    }
    if (size > 0x1FFF) {
        image[0x1FFE] = 0x04;
        image[0x1FFF] = 0x09;
    }
    return image;
}

class Programming : public HotkeyStack {
protected:
    void SetUp() override
    {
        SelectIntel();
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '_');
        path = (std::filesystem::temp_directory_path() /
                ("hotkey_rom_" + std::to_string(::getpid()) + "_" + name + ".bin"))
                   .string();
        // The trace of a whole run is large; only what the tests look at is kept.
        channel.recordRequests = false;
        std::memcpy(original, Chip().rom, kRom);
    }
    void TearDown() override { std::filesystem::remove(path); }

    void WriteFile(const std::vector<uint8_t>& bytes)
    {
        std::ofstream f(path, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(bytes.data()), (std::streamsize)bytes.size());
    }
    bool RomIs(const std::vector<uint8_t>& image) const { return std::memcmp(board->controller.rom, image.data(), kRom) == 0; }
    int Stage() const { return hotkey::BurnStage.load(); }
    int Percent() const { return hotkey::Percentage.load(); }
    // ExitCmd's two writes are the last register writes of the run.
    bool EndedWithExitCmd() const
    {
        std::vector<std::string> writes;
        for (const std::string& t : channel.trace)
            if (t.rfind("outport ", 0) == 0)
                writes.push_back(t);
        return writes.size() >= 2 &&
               writes[writes.size() - 2] == "outport DeviceAddr= 94 IoPort= 80 OutputValue= 0 CommandCode= 5\n" &&
               writes.back() == "outport DeviceAddr= 94 IoPort= 81 OutputValue= 0 CommandCode= 5\n";
    }

    std::string path;
    uint8_t original[kRom];
};

TEST_F(Programming, WritesAndVerifiesTheImage)
{
    const std::vector<uint8_t> image = Image();
    WriteFile(image);
    EXPECT_EQ(WriteToRom(path.c_str()), 1);
    EXPECT_TRUE(RomIs(image));
    EXPECT_EQ(Stage(), 0x03);
    EXPECT_EQ(Percent(), 100);
    EXPECT_EQ(channel.Count("W Finish\n\n"), 1);
    EXPECT_EQ(channel.Count("Finish\n\n"), 1);
    EXPECT_EQ(channel.Count("\nRetry!\n\n"), 0);
    EXPECT_EQ(CountPrefix("addr="), kRom);
    EXPECT_TRUE(channel.Has("addr=1fff data=9\n\n"));
    EXPECT_EQ(channel.Count("Enter ROMRead\n\n"), 2);
    // Progress 0..100 in each pass, 100 twice (at 8100 and 8181), never 101.
    EXPECT_EQ(CountPrefix("\rWrite to ROM ... "), 102);
    EXPECT_EQ(CountPrefix("\rVerify ... "), 102);
    EXPECT_EQ(channel.Count("\rWrite to ROM ... 0 % \n"), 1);
    EXPECT_EQ(channel.Count("\rWrite to ROM ... 100 % \n"), 2);
    EXPECT_EQ(channel.Count("\rVerify ... 100 % \n"), 2);
    EXPECT_EQ(CountPrefix("\rVerify ... 101"), 0);
    EXPECT_TRUE(EndedWithExitCmd());
    int version = 0, sub = 0;
    EXPECT_EQ(GetVersion218(&version, &sub), 1);
    EXPECT_EQ(version, 4);
    EXPECT_EQ(sub, 9);
}

TEST_F(Programming, AMissingFileTouchesNothing)
{
    const uint32_t before = Chip().transactions;
    EXPECT_EQ(WriteToRom(path.c_str()), 3);
    EXPECT_EQ(Stage(), 0x00);
    EXPECT_TRUE(channel.Has("\nCan't Find File\n"));
    EXPECT_EQ(Chip().transactions, before);
}

TEST_F(Programming, FilesWithoutTheSignatureOrTooShortAreRefused)
{
    struct Case {
        const char* name;
        int size;
        int sig0, sig1;  // -1: keep the image's
        const char* line;
    };
    const Case cases[] = {
        {"wrong first byte", kRom, 0x00, 0x18, "\nThis FW is not for 218( 018).\n\n\n"},
        {"wrong second byte", kRom, 0x92, 0x81, "\nThis FW is not for 218(9281).\n\n\n"},
        {"empty", 0, -1, -1, "\nThis FW file holds 0 bytes, not 8192.\n\n\n"},
        {"8190 bytes", 8190, -1, -1, "\nThis FW file holds 8190 bytes, not 8192.\n\n\n"},
        {"8191 bytes", 8191, -1, -1, "\nThis FW file holds 8191 bytes, not 8192.\n\n\n"},
    };
    for (const Case& c : cases) {
        channel.Clear();
        std::vector<uint8_t> image = Image(c.size);
        if (c.sig0 >= 0) {
            image[0x1FFC] = (uint8_t)c.sig0;
            image[0x1FFD] = (uint8_t)c.sig1;
        }
        WriteFile(image);
        const uint32_t writes = Chip().romWrites;
        EXPECT_EQ(WriteToRom(path.c_str()), 2) << c.name;
        EXPECT_TRUE(channel.Has(c.line)) << c.name;
        EXPECT_EQ(Chip().romWrites, writes) << c.name;
        EXPECT_EQ(channel.Count("Enter ROMRead\n\n"), 0) << c.name;
        EXPECT_TRUE(EndedWithExitCmd()) << c.name;
        EXPECT_EQ(Stage(), 0x00) << c.name;
    }
}

TEST_F(Programming, AChipWithoutTheSignatureIsNotWritten)
{
    WriteFile(Image());
    Chip().rom[0x1FFC] = 0x00;
    EXPECT_EQ(WriteToRom(path.c_str()), 7);
    EXPECT_EQ(channel.Count("Enter ROMRead\n\n"), 2);
    EXPECT_TRUE(channel.Has("\nThis IC is not 218(18).\n\n\n"));
    EXPECT_EQ(Chip().romWrites, 0u);
    EXPECT_TRUE(EndedWithExitCmd());
    EXPECT_EQ(Stage(), 0x00);

    // A chip signature that cannot be read is no signature.
    channel.Clear();
    Chip().Reset();
    Chip().nackTransaction = 5;  // the first ROMRead's data read
    EXPECT_EQ(WriteToRom(path.c_str()), 7);
    EXPECT_EQ(Chip().romWrites, 0u);
}

TEST_F(Programming, ALongerFileProgramsItsFirst8192Bytes)
{
    const std::vector<uint8_t> image = Image(10000);
    WriteFile(image);
    EXPECT_EQ(WriteToRom(path.c_str()), 1);
    EXPECT_TRUE(RomIs(image));
    EXPECT_EQ(Chip().romWrites, (uint32_t)kRom);
}

// No acknowledge for a byte write: once gives a retry that succeeds, in
// every attempt gives 5 and leaves the bytes before it programmed.
struct RejectCase {
    int at;       // ROM address whose write is not acknowledged
    bool always;  // in every attempt, else in the first only
};
class RejectedByteWrite : public Programming, public ::testing::WithParamInterface<RejectCase> {};

TEST_P(RejectedByteWrite, RetriesOrGivesUp)
{
    const RejectCase c = GetParam();
    const std::vector<uint8_t> image = Image();
    WriteFile(image);
    Chip().nackRomFrom = c.at;
    Chip().nackRomTimes = c.always ? sim::R39218::kForever : 1;
    const int result = WriteToRom(path.c_str());
    if (!c.always) {
        EXPECT_EQ(result, 1);
        EXPECT_EQ(channel.Count("\nRetry!\n\n"), 1);
        EXPECT_EQ(Stage(), 0x13);
        EXPECT_TRUE(RomIs(image));
    } else {
        EXPECT_EQ(result, 5);
        EXPECT_EQ(channel.Count("\nRetry!\n\n"), 3);
        EXPECT_EQ(Stage(), 0x21);
        EXPECT_EQ(std::memcmp(Chip().rom, image.data(), c.at), 0);
        EXPECT_EQ(std::memcmp(Chip().rom + c.at, original + c.at, kRom - c.at), 0);
    }
    EXPECT_TRUE(EndedWithExitCmd());
}

INSTANTIATE_TEST_SUITE_P(Bytes, RejectedByteWrite,
                         ::testing::Values(RejectCase{0, false}, RejectCase{1, false}, RejectCase{4095, false},
                                           RejectCase{8191, false}, RejectCase{0, true}, RejectCase{1, true},
                                           RejectCase{4095, true}, RejectCase{8191, true}),
                         [](const ::testing::TestParamInfo<RejectCase>& i) {
                             return "At" + std::to_string(i.param.at) + (i.param.always ? "Always" : "Once");
                         });

// A differing read-back starts a new attempt, without a retry line; the
// third gives 6.
struct VerifyCase {
    const char* name;
    uint32_t corruptReads;  // bit n: the read-back of attempt n+1 differs
    int result;
    int stage;
};
class VerifyDifference : public Programming, public ::testing::WithParamInterface<VerifyCase> {};

TEST_P(VerifyDifference, StartsANewAttempt)
{
    const VerifyCase c = GetParam();
    const std::vector<uint8_t> image = Image();
    WriteFile(image);
    Chip().corruptAddress = 100;
    Chip().corruptOccurrences = c.corruptReads;
    EXPECT_EQ(WriteToRom(path.c_str()), c.result);
    EXPECT_EQ(Stage(), c.stage);
    EXPECT_EQ(channel.Count("\nRetry!\n\n"), 0);
    EXPECT_TRUE(RomIs(image));  // the ROM was right, the read-back was not
    EXPECT_EQ(channel.Count("Finish\n\n"), c.result == 1 ? 1 : 0);
    EXPECT_TRUE(EndedWithExitCmd());
}

INSTANTIATE_TEST_SUITE_P(Attempts, VerifyDifference,
                         ::testing::Values(VerifyCase{"InOne", 0b001, 1, 0x13}, VerifyCase{"InTwo", 0b011, 1, 0x23},
                                           VerifyCase{"InThree", 0b111, 6, 0x23},
                                           // the first read-back is right: done at once
                                           VerifyCase{"OnlyInASecondRead", 0b010, 1, 0x03}),
                         [](const ::testing::TestParamInfo<VerifyCase>& i) { return std::string(i.param.name); });

TEST_F(Programming, AStuckWriteInProgressBitFailsEveryAttempt)
{
    WriteFile(Image());
    Chip().stuckBusy = true;
    EXPECT_EQ(WriteToRom(path.c_str()), 5);
    EXPECT_EQ(channel.Count("\nRetry!\n\n"), 3);
    EXPECT_EQ(Chip().romWrites, 3u);  // one byte per attempt
    EXPECT_EQ(Stage(), 0x21);
    EXPECT_TRUE(EndedWithExitCmd());
}

TEST_F(Programming, AVerifyPassThatCannotOpenSequentialAccessEndsTheRun)
{
    WriteFile(Image());
    channel.onTrace = [&](const std::string& line) {
        if (line == "W Finish\n\n")
            Chip().present = false;
    };
    EXPECT_EQ(WriteToRom(path.c_str()), 6);
    EXPECT_TRUE(channel.Has("\nI2C R/W Fail.\n\n"));
    EXPECT_EQ(Stage(), 0x03);
}

TEST_F(Programming, AFileThatChangesBetweenPassesGives3)
{
    struct Case {
        const char* name;
        const char* when;  // the trace line after which the file changes
        bool remove;       // else it is cut to 5000 bytes
        int stage;
    };
    const Case cases[] = {
        {"removed before the write pass", "\r data = 18 \n", true, 0x01},
        {"removed before the verify pass", "W Finish\n\n", true, 0x03},
        {"cut before the write pass", "\r data = 18 \n", false, 0x01},
        {"cut before the verify pass", "W Finish\n\n", false, 0x03},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        channel.Clear();
        Chip().Reset();
        WriteFile(Image());
        channel.onTrace = [&](const std::string& line) {
            if (line != c.when)
                return;
            if (c.remove)
                std::filesystem::remove(path);
            else
                std::filesystem::resize_file(path, 5000);
        };
        EXPECT_EQ(WriteToRom(path.c_str()), 3);
        EXPECT_TRUE(EndedWithExitCmd());
        EXPECT_EQ(Stage(), c.stage);
        channel.onTrace = nullptr;
    }
}

// GetPercentage from a second thread sees the run's progress: two runs from
// 0 to 100, the write pass (stage 0x01) before the verify pass (0x03).
TEST_F(Programming, ProgressCanBeReadFromAnotherThread)
{
    WriteFile(Image());
    std::atomic<bool> done{false};
    std::vector<std::pair<int, int>> seen;
    std::thread watcher([&] {
        bool last = false;
        do {
            last = done.load();
            int p = -1, s = -1;
            EXPECT_EQ(GetPercentage(&p, &s), 1);
            if (seen.empty() || seen.back() != std::make_pair(p, s))
                seen.emplace_back(p, s);
            std::this_thread::yield();
        } while (!last);
    });
    const int result = WriteToRom(path.c_str());
    done = true;
    watcher.join();
    EXPECT_EQ(result, 1);
    ASSERT_GT(seen.size(), 10u);
    int lastStage = 0, lastPercent = 0;
    for (const auto& [p, s] : seen) {
        EXPECT_TRUE(s == 0x00 || s == 0x01 || s == 0x03) << s;
        EXPECT_GE(p, 0);
        EXPECT_LE(p, 100);
        EXPECT_GE(s, lastStage);
        if (s != lastStage) {
            // The stage moves on just before the percentage falls back to
            // 0, so the new stage may first show the old pass's 100.
            lastStage = s;
            lastPercent = p == 100 ? 0 : p;
            continue;
        }
        EXPECT_GE(p, lastPercent) << "progress within a pass only grows";
        lastPercent = p;
    }
    EXPECT_EQ(seen.back(), std::make_pair(100, 0x03));
}

}  // namespace
