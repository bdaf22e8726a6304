// Size and duration texts, the 64-bit rate arithmetic and the progress line of transfers.
#include <gtest/gtest.h>

#include <cstdint>

#include "core/transfer_progress.h"
#include "platform/sim/sim.h"

namespace vu {
namespace {

TEST(SizeText, BytesKilobytesAndTheDecimalThresholds) {
    EXPECT_EQ(SizeText(0, 0), "0 B");
    EXPECT_EQ(SizeText(1023, 0), "1023 B");
    EXPECT_EQ(SizeText(1024, 0), "1 KB");
    EXPECT_EQ(SizeText(1536, 1), "1.5 KB");
    // 1000 KB is past the kilobyte threshold but divided by 1024.
    EXPECT_EQ(SizeText(1024000, 0), "1 MB");
    EXPECT_EQ(SizeText(1024000, 2), "0.98 MB");
    EXPECT_EQ(SizeText(536870912, 0), "512 MB");
}

TEST(SizeText, GigabytesAndTerabytesGetTwoMoreDecimals) {
    EXPECT_EQ(SizeText(1048576000, 0), "0.98 GB");
    EXPECT_EQ(SizeText(1048576000, 1), "0.977 GB");
    EXPECT_EQ(SizeText(15483273216, 0), "14.42 GB");
    EXPECT_EQ(SizeText(int64_t(2) << 40, 0), "2.00 TB");
    EXPECT_EQ(SizeText(int64_t(3) << 39, 1), "1.500 TB");
}

TEST(DurationText, UnitsAppearOnceALargerOneWasWritten) {
    EXPECT_EQ(DurationText(0), "");
    EXPECT_EQ(DurationText(42), "42 s ");
    EXPECT_EQ(DurationText(60), "1 m 00 s ");
    EXPECT_EQ(DurationText(125), "2 m 05 s ");
    EXPECT_EQ(DurationText(3600), "1 h 00 m 00 s ");
    EXPECT_EQ(DurationText(3725), "1 h 02 m 05 s ");
    EXPECT_EQ(DurationText(90061), "1 d 01 h 01 m 01 s ");
    EXPECT_EQ(DurationText(604800), "1 w 0 d 00 h 00 m 00 s ");
    EXPECT_EQ(DurationText(2 * 604800 + 3 * 86400 + 7), "2 w 3 d 00 h 00 m 07 s ");
}

TEST(MulDiv64, TruncatesTowardZeroAndRefusesDivisionByZero) {
    EXPECT_EQ(MulDiv64(5, 7, 0), -1);
    EXPECT_EQ(MulDiv64(10, 3, 4), 7);
    EXPECT_EQ(MulDiv64(-10, 3, 4), -7);
    EXPECT_EQ(MulDiv64(10, -3, -4), 7);
    EXPECT_EQ(MulDiv64(0, 99, 5), 0);
}

TEST(MulDiv64, KeepsProductsBeyondSixtyFourBits) {
    // 4 TiB times ten million ticks per second overflows 64 bits; the rate itself does not.
    EXPECT_EQ(MulDiv64(int64_t(1) << 42, 10000000, 20000000), int64_t(1) << 41);
    EXPECT_EQ(MulDiv64(INT64_MAX, INT64_MAX, INT64_MAX), INT64_MAX);
    EXPECT_EQ(MulDiv64(INT64_MIN, 3, 3), INT64_MIN);
}

class TransferProgress : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        HighResTicks();
        savedFrequency = TickFrequency;
    }
    void TearDown() override { TickFrequency = savedFrequency; }
    int64_t savedFrequency = 0;
};

TEST_F(TransferProgress, RunningAndFinishedLines) {
    ASSERT_EQ(TickFrequency, 1000000);  // the simulated counter ticks once a microsecond
    // A backup half way through: 512 MB read and as much written in 30 s, of 1.2 GB.
    ProgressLine line = RunningProgressLine(536870912, 1288490188, 2 * 536870912LL, 30 * 1000000LL);
    EXPECT_EQ(line.text, "42% 512 MB/1.20 GB 34.1 MB/s  Remain: 42 s ");
    EXPECT_EQ(line.percent, 42);
    EXPECT_EQ(FinishedProgressLine(1288490188, 1288490188, 2 * 1288490188LL, 72 * 1000000LL),
              "1.20 GB/1.20 GB 34.1 MB/s  Total: 1 m 12 s  Done");
}

TEST_F(TransferProgress, TerabyteTransferWithATenMegahertzCounter) {
    TickFrequency = 10000000;
    int64_t done = int64_t(3) << 39, total = int64_t(2) << 40;
    ProgressLine line = RunningProgressLine(done, total, 2 * done, 16384LL * 10000000);
    EXPECT_EQ(line.text, "75% 1.50 TB/2.00 TB 192.0 MB/s  Remain: 1 h 31 m 01 s ");
}

TEST_F(TransferProgress, NothingMeasuredYetLeavesTheRemainingTimeEmpty) {
    ProgressLine line = RunningProgressLine(0, 1024, 0, 0);
    EXPECT_EQ(line.text.substr(0, 11), "0% 0 B/1 KB");
    EXPECT_EQ(line.text.substr(line.text.size() - 9), " Remain: ");
    EXPECT_EQ(RunningProgressLine(0, 0, 0, 5).percent, 100);
}

TEST_F(TransferProgress, LineIsDueAfterMoreThan200Milliseconds) {
    TransferTiming timing = StartTransfer();
    int64_t t0 = timing.startTicks;
    EXPECT_TRUE(ProgressDue(timing, t0));            // nothing shown yet
    EXPECT_FALSE(ProgressDue(timing, t0 + 200000));  // exactly 200 ms
    EXPECT_TRUE(ProgressDue(timing, t0 + 200001));
    EXPECT_EQ(timing.lastShownTicks, t0 + 200001);
    EXPECT_FALSE(ProgressDue(timing, t0 + 300000));
}

TEST_F(TransferProgress, HighResTicksFollowTheCounter) {
    int64_t before = HighResTicks();
    sim::Advance(250);
    EXPECT_EQ(HighResTicks() - before, 250000);
}

}  // namespace
}  // namespace vu
