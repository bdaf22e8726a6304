// The status bar; see status_bar.h.
#include "core/status_bar.h"

#include <algorithm>

#include "core/taskbar_progress.h"
#include "platform/clock.h"
#include "platform/system.h"

namespace vu {

namespace {
// Colours as 0x00BBGGRR, the way the platform keeps them.
constexpr uint32_t Rgb(int r, int g, int b) { return uint32_t(r) | uint32_t(g) << 8 | uint32_t(b) << 16; }
}  // namespace

uint32_t WindowBackColor() {
    uint32_t color = plat::SystemColorRgb(plat::ColorWindow);
    if (color == 0xFFFFFF || color == 0) color = plat::SystemColorRgb(plat::ColorButtonFace);
    return color;
}

std::vector<plat::DrawOp> ProgressBarPicture(const std::string& text, int percent, int width, int height,
                                             int marginX, int marginY) {
    using Op = plat::DrawOp;
    std::vector<Op> picture;
    picture.push_back({Op::FillRect, {0, 0, width, height}, 0, WindowBackColor(), ""});
    picture.push_back({Op::RoundRect, {1, 1, width - 2, height - 1}, 3, Rgb(255, 255, 255), ""});
    picture.push_back({Op::RoundRect, {0, 0, width, height - 1}, 3, Rgb(213, 223, 229), ""});
    int innerW = width - 2 * marginX, innerH = height - 2 * marginY;
    picture.push_back({Op::FillRoundRect, {marginX, marginY, percent * innerW / 100, innerH}, 2,
                       Rgb(102, 204, 255), ""});
    plat::Rect size = plat::MeasureText(text);
    picture.push_back({Op::Text, {marginX + (innerW - size.w) / 2, marginY + (innerH - size.h) / 2 - 1, size.w, size.h},
                       0, Rgb(0, 0, 0), text});
    return picture;
}

void DrawProgressBar(int gadget, const std::string& text, int percent, int height, int marginX, int marginY) {
    percent = std::clamp(percent, 0, 100);
    if (marginX == 0) marginX = 3;
    if (marginY == 0) marginY = 3;
    if (TaskbarProgress) {
        if (percent == 0) {
            TaskbarProgress->SetValue(0);
            TaskbarProgress->SetState(TaskbarNoProgress);
        } else {
            TaskbarProgress->SetState(TaskbarNormal);
            TaskbarProgress->SetValue(percent);
        }
    }
    plat::Rect rect = plat::GadgetRect(gadget);
    plat::DrawCanvas(gadget, ProgressBarPicture(text, percent, rect.w, height ? height : rect.h, marginX, marginY));
}

void ShowStatus(const std::string& text, int delayMs) {
    if (!plat::WindowExists(0) || text.empty()) return;
    DrawProgressBar(StatusBarGadget, text, 0);
    plat::Sleep(delayMs);
}

std::string WindowsErrorText(uint32_t errorCode) {
    std::string message = plat::SystemMessageText(errorCode);
    // The formatter's text ends with CR LF; the program shows it without.
    if (message.size() >= 2) message.resize(message.size() - 2);
    else message.clear();
    return "Error: " + message;
}

}  // namespace vu
