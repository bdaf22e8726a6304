// Size and duration texts, the high-resolution clock and the transfer progress line; see
// transfer_progress.h.
#include "core/transfer_progress.h"

#include <cmath>
#include <cstdio>

#include "core/status_bar.h"
#include "platform/clock.h"

namespace vu {

std::atomic<int64_t> TickFrequency{0};

namespace {

std::string Fixed(float value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, double(value));
    return text;
}

std::string TwoDigits(int64_t value) { return (value < 10 ? "0" : "") + std::to_string(value); }

uint64_t Magnitude(int64_t value) { return value < 0 ? 0 - uint64_t(value) : uint64_t(value); }

// The 128-bit product of two 64-bit numbers as high and low halves.
void Multiply128(uint64_t a, uint64_t b, uint64_t& high, uint64_t& low) {
    uint64_t aLow = a & 0xFFFFFFFF, aHigh = a >> 32, bLow = b & 0xFFFFFFFF, bHigh = b >> 32;
    uint64_t ll = aLow * bLow, lh = aLow * bHigh, hl = aHigh * bLow, hh = aHigh * bHigh;
    uint64_t middle = (ll >> 32) + (lh & 0xFFFFFFFF) + (hl & 0xFFFFFFFF);
    low = (middle << 32) | (ll & 0xFFFFFFFF);
    high = hh + (lh >> 32) + (hl >> 32) + (middle >> 32);
}

// The low 64 bits of the quotient of a 128-bit number by a non-zero 64-bit divisor.
uint64_t Divide128(uint64_t high, uint64_t low, uint64_t divisor) {
    uint64_t remainder = 0, quotient = 0;
    for (int bit = 127; bit >= 0; --bit) {
        uint64_t next = bit >= 64 ? (high >> (bit - 64)) & 1 : (low >> bit) & 1;
        bool carry = remainder >> 63;
        remainder = (remainder << 1) | next;
        bool fits = carry || remainder >= divisor;
        if (fits) remainder -= divisor;
        if (bit < 64) quotient |= uint64_t(fits) << bit;
    }
    return quotient;
}

int Percent(int64_t doneBytes, int64_t totalBytes) {
    if (totalBytes <= 0) return 100;  // nothing to move is all moved
    return int(std::lround(double(doneBytes) * 1.0 / double(totalBytes) * 100.0));
}

std::string Amounts(int64_t doneBytes, int64_t totalBytes, int64_t movedBytes, int64_t elapsedTicks) {
    int64_t speed = MulDiv64(movedBytes, TickFrequency, elapsedTicks);
    return SizeText(doneBytes, 0) + "/" + SizeText(totalBytes, 0) + " " + SizeText(speed, 1) + "/s ";
}

}  // namespace

std::string SizeText(int64_t bytes, uint8_t decimals) {
    float k = float(double(bytes) / 1024.0);
    if (k < 1) return std::to_string(bytes) + " B";
    if (k < 1000) return Fixed(k, decimals) + " KB";
    if (k < 1000000) return Fixed(k / 1024, decimals) + " MB";
    if (k < 1000000000) return Fixed(k / 1048576, decimals + 2) + " GB";
    return Fixed(k / 1073741824, decimals + 2) + " TB";
}

std::string DurationText(int64_t seconds) {
    if (seconds < 0) seconds = 0;
    int64_t w = seconds / 604800, rest = seconds % 604800;
    int64_t d = rest / 86400;
    rest %= 86400;
    int64_t h = rest / 3600;
    rest %= 3600;
    int64_t m = rest / 60, s = rest % 60;
    std::string text;
    if (w != 0) text += std::to_string(w) + " w ";
    if (w != 0 || d != 0) text += std::to_string(d) + " d ";
    if (w != 0 || d != 0) text += TwoDigits(h) + " h ";
    else if (h != 0) text += std::to_string(h) + " h ";
    if (w != 0 || d != 0 || h != 0) text += TwoDigits(m) + " m ";
    else if (m != 0) text += std::to_string(m) + " m ";
    if (w != 0 || d != 0 || h != 0 || m != 0) text += TwoDigits(s) + " s ";
    else if (s != 0) text += std::to_string(s) + " s ";
    return text;
}

int64_t HighResTicks() {
    if (TickFrequency == 0) TickFrequency = plat::PerformanceFrequency();
    return plat::PerformanceCounter();
}

int64_t MulDiv64(int64_t a, int64_t b, int64_t c) {
    if (c == 0) return -1;
    // The product is kept whole: rates of transfers beyond a few hundred gigabytes multiply past
    // 64 bits with a counter of ten million ticks per second.
    bool negative = ((a < 0) != (b < 0)) != (c < 0);
    uint64_t high, low;
    Multiply128(Magnitude(a), Magnitude(b), high, low);
    uint64_t quotient = Divide128(high, low, Magnitude(c));
    return int64_t(negative ? 0 - quotient : quotient);
}

TransferTiming StartTransfer() {
    TransferTiming timing;
    timing.startTicks = HighResTicks();
    return timing;
}

bool ProgressDue(TransferTiming& timing, int64_t chunkStartTicks) {
    if (timing.lastShownTicks != 0 && chunkStartTicks - timing.lastShownTicks <= TickFrequency * 200 / 1000)
        return false;
    timing.lastShownTicks = chunkStartTicks;
    return true;
}

ProgressLine RunningProgressLine(int64_t doneBytes, int64_t totalBytes, int64_t movedBytes, int64_t elapsedTicks) {
    // Without a measurable rate yet the remaining time stays empty rather than dividing by zero.
    int64_t rate = elapsedTicks > 0 ? MulDiv64(doneBytes, TickFrequency, elapsedTicks) : 0;
    int64_t remaining = rate > 0 ? (totalBytes - doneBytes) / rate : 0;
    ProgressLine line;
    line.percent = Percent(doneBytes, totalBytes);
    line.text = std::to_string(line.percent) + "% " + Amounts(doneBytes, totalBytes, movedBytes, elapsedTicks) +
                " Remain: " + DurationText(remaining);
    return line;
}

std::string FinishedProgressLine(int64_t doneBytes, int64_t totalBytes, int64_t movedBytes, int64_t elapsedTicks) {
    int64_t frequency = TickFrequency;
    int64_t seconds = frequency > 0 ? elapsedTicks / frequency : 0;
    return Amounts(doneBytes, totalBytes, movedBytes, elapsedTicks) + " Total: " + DurationText(seconds) + " Done";
}

void ShowRunningProgress(int64_t doneBytes, int64_t totalBytes, int64_t movedBytes, int64_t elapsedTicks) {
    ProgressLine line = RunningProgressLine(doneBytes, totalBytes, movedBytes, elapsedTicks);
    DrawProgressBar(StatusBarGadget, line.text, line.percent);
}

void ShowFinishedProgress(int64_t doneBytes, int64_t totalBytes, int64_t movedBytes, int64_t elapsedTicks) {
    DrawProgressBar(StatusBarGadget, FinishedProgressLine(doneBytes, totalBytes, movedBytes, elapsedTicks), 0);
}

}  // namespace vu
