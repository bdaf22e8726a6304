// The format-prompt guard; see format_prompt_guard.h.
#include "app/format_prompt_guard.h"

#include <algorithm>

#include "core/globals.h"
#include "platform/foreign_windows.h"
#include "platform/system.h"

namespace vu {

uintptr_t FormatPromptHook = 0;
std::string WindowsCaptionText = "Microsoft Windows";
std::string FormatButtonText = "Format disk";

namespace {

void OnForegroundWindow(plat::ForeignWindow window) {
    if (plat::ForeignWindowStyle(window) == 0) return;
    if (plat::ForeignWindowTitle(window) != WindowsCaptionText) return;
    auto children = plat::ForeignChildTexts(window);
    if (std::find(children.begin(), children.end(), FormatButtonText) != children.end())
        plat::SendCancel(window);
}

}  // namespace

std::string UserLocaleName() { return plat::UserLocaleNameFromSystem().value_or("en-US"); }

void InstallFormatPromptGuard() {
    if (FormatPromptHook) return;
    std::string mui = SystemFolder + "\\" + UserLocaleName() + "\\shell32.dll.mui";
    // The strings are read with room for 256 characters, of which the first 128 are kept.
    if (auto caption = plat::LoadResourceString(mui, 4125, 256)) WindowsCaptionText = caption->substr(0, 128);
    if (auto button = plat::LoadResourceString(mui, 4126, 256)) FormatButtonText = button->substr(0, 128);
    FormatPromptHook = plat::InstallForegroundHook(OnForegroundWindow);
}

void RemoveFormatPromptGuard() {
    if (FormatPromptHook) plat::RemoveForegroundHook(FormatPromptHook);
    FormatPromptHook = 0;
}

}  // namespace vu
