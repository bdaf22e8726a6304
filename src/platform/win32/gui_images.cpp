// Images by number: 16 x 16 icons caught from .ico bytes, for the tree's image lists, image
// gadgets and menu items. Safe on any thread.

#include "platform/win32/gui_state.h"

namespace vu::plat {

namespace gui {

namespace {

uint32_t Read32(const unsigned char* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

// The directory entry of the .ico to use: the 16 x 16 picture with the most colours, else the
// smallest picture (Windows scales it). -1 when the data is no icon file.
int ChooseEntry(const unsigned char* data, size_t size) {
    if (!data || size < 6 || data[0] || data[1] || data[2] != 1 || data[3]) return -1;
    int count = data[4] | data[5] << 8;
    if (count == 0 || size < 6 + 16 * size_t(count)) return -1;
    int best = -1, bestScore = -1;
    for (int i = 0; i < count; i++) {
        const unsigned char* entry = data + 6 + 16 * i;
        int width = entry[0] ? entry[0] : 256, height = entry[1] ? entry[1] : 256;
        uint32_t bytes = Read32(entry + 8), offset = Read32(entry + 12);
        if (offset > size || bytes > size - offset || bytes == 0) continue;
        int bits = entry[6] | entry[7] << 8;
        int score = width == 16 && height == 16 ? 100000 + bits : 1000 - width;
        if (score > bestScore) best = i, bestScore = score;
    }
    return best;
}

}  // namespace

HICON ImageIcon(int image) {
    Lock l(S().lock);
    auto it = S().images.find(image);
    return it == S().images.end() ? nullptr : it->second;
}

}  // namespace gui

using namespace gui;

// A replaced image's old icon is kept: controls and image lists may still show it.
bool CatchImage(int image, const unsigned char* data, size_t size) {
    int entry = ChooseEntry(data, size);
    if (entry < 0) return false;
    const unsigned char* dir = data + 6 + 16 * entry;
    uint32_t bytes = Read32(dir + 8), offset = Read32(dir + 12);
    HICON icon = CreateIconFromResourceEx(const_cast<PBYTE>(data + offset), bytes, TRUE, 0x00030000, 16, 16,
                                          LR_DEFAULTCOLOR);
    if (!icon) return false;
    Lock l(S().lock);
    S().images[image] = icon;
    return true;
}

bool ImageExists(int image) {
    Lock l(S().lock);
    return S().images.count(image) != 0;
}

// Icon resource 1 of the executable (resources/windows/VelloranUtility.rc); Windows picks the
// picture nearest to the size asked for.
bool CatchProgramIcon(int image, int size) {
    auto icon = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
    if (!icon) return false;
    Lock l(S().lock);
    S().images[image] = icon;
    return true;
}

}  // namespace vu::plat
