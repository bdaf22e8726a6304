// The status bar under the drive list (gadget 23) and the texts shown on it. Called from the
// main thread and from workers alike; each call redraws the bar completely, the last one wins.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/gui.h"

namespace vu {

constexpr int StatusBarGadget = 23;

void DrawProgressBar(int gadget, const std::string& text, int percent, int height = 0, int marginX = 0,
                     int marginY = 0);
// How long a message usually stays readable, and an error that ends an operation.
constexpr int StatusPauseMs = 2000;
constexpr int ErrorPauseMs = 5000;
// Draws `text` at 0 % and leaves it readable for delayMs; an empty text does nothing.
void ShowStatus(const std::string& text, int delayMs);
std::string WindowsErrorText(uint32_t errorCode);
uint32_t WindowBackColor();

// The picture DrawProgressBar hands to the canvas, for a bar of width x height pixels.
std::vector<plat::DrawOp> ProgressBarPicture(const std::string& text, int percent, int width, int height,
                                             int marginX, int marginY);

}  // namespace vu
