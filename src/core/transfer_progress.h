// Sizes, durations, the high-resolution clock and the progress line of partition transfers.
// Every function may be called from any thread; TickFrequency is written once, with the same
// value from whichever thread reads it first.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

namespace vu {

extern std::atomic<int64_t> TickFrequency;  // counter ticks per second, 0 until HighResTicks ran

// "0 B", "1 KB", "14.42 GB": decimal thresholds, binary divisors.
std::string SizeText(int64_t bytes, uint8_t decimals);
// "1 h 02 m 05 s " (with its trailing blank); "" for 0 seconds.
std::string DurationText(int64_t seconds);
int64_t HighResTicks();
// a x b / c with the full product, the quotient truncated toward zero; -1 when c is 0.
int64_t MulDiv64(int64_t a, int64_t b, int64_t c);

// The timing of one transfer (backup, restore), in HighResTicks.
struct TransferTiming {
    int64_t startTicks = 0;
    int64_t lastShownTicks = 0;  // 0 while nothing has been shown
};

// Starts the clock of a transfer.
TransferTiming StartTransfer();
// True when the progress line is due after a chunk that started at chunkStartTicks (more than
// 200 ms since the last line, or none shown yet); then records chunkStartTicks as shown.
bool ProgressDue(TransferTiming& timing, int64_t chunkStartTicks);

// "42% 512 MB/1.19 GB 36.4 MB/s  Remain: 20 s " and its percent. movedBytes counts both
// directions (read plus written); elapsedTicks is the time since the transfer started.
struct ProgressLine {
    std::string text;
    int percent = 0;
};
ProgressLine RunningProgressLine(int64_t doneBytes, int64_t totalBytes, int64_t movedBytes, int64_t elapsedTicks);
// "512 MB/1.19 GB 36.4 MB/s  Total: 33 s  Done"
std::string FinishedProgressLine(int64_t doneBytes, int64_t totalBytes, int64_t movedBytes, int64_t elapsedTicks);

// Draws the running line on the status bar with its percent, the finished line with 0.
void ShowRunningProgress(int64_t doneBytes, int64_t totalBytes, int64_t movedBytes, int64_t elapsedTicks);
void ShowFinishedProgress(int64_t doneBytes, int64_t totalBytes, int64_t movedBytes, int64_t elapsedTicks);

}  // namespace vu
