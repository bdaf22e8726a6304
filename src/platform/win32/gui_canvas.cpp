// Canvas gadgets (the status bar): the control keeps the last picture handed to DrawCanvas and
// paints it with GDI whenever it is uncovered, so a worker's last drawing survives a repaint.
// Text is measured and drawn in the default GUI font. DrawCanvas and MeasureText are safe on any
// thread; painting runs on the UI thread.
#include "platform/win32/gui_state.h"
#include "platform/win32/wide.h"

namespace vu::plat {

namespace gui {

namespace {

void Paint(HDC dc, const std::vector<DrawOp>& picture) {
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ oldFont = SelectObject(dc, GuiFont());
    for (const auto& op : picture) {
        const Rect& r = op.rect;
        switch (op.kind) {
            case DrawOp::FillRect: {
                RECT area{r.x, r.y, r.x + r.w, r.y + r.h};
                HBRUSH brush = CreateSolidBrush(op.rgb);
                FillRect(dc, &area, brush);
                DeleteObject(brush);
                break;
            }
            case DrawOp::RoundRect:
            case DrawOp::FillRoundRect: {
                if (r.w <= 0 || r.h <= 0) break;
                bool filled = op.kind == DrawOp::FillRoundRect;
                HPEN pen = CreatePen(PS_SOLID, 1, op.rgb);
                HBRUSH brush = filled ? CreateSolidBrush(op.rgb) : nullptr;
                HGDIOBJ oldPen = SelectObject(dc, pen);
                HGDIOBJ oldBrush = SelectObject(dc, filled ? HGDIOBJ(brush) : GetStockObject(NULL_BRUSH));
                // GDI takes the corner ellipse's size, twice the radius.
                ::RoundRect(dc, r.x, r.y, r.x + r.w, r.y + r.h, 2 * op.radius, 2 * op.radius);
                SelectObject(dc, oldBrush);
                SelectObject(dc, oldPen);
                DeleteObject(pen);
                if (brush) DeleteObject(brush);
                break;
            }
            case DrawOp::Text: {
                std::wstring text = Widen(op.text);
                SetTextColor(dc, op.rgb);
                TextOutW(dc, r.x, r.y, text.c_str(), int(text.size()));
                break;
            }
        }
    }
    SelectObject(dc, oldFont);
}

void PaintCanvas(HWND hwnd) {
    std::vector<DrawOp> picture;
    {
        Lock l(S().lock);
        auto* g = FindGadget(GetDlgCtrlID(hwnd));
        if (g && g->hwnd == hwnd) picture = g->picture;
    }
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client;
    GetClientRect(hwnd, &client);
    // Drawn off screen first, so that the bar does not flicker under fast progress updates.
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
    HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
    FillRect(memory, &client, GetSysColorBrush(COLOR_BTNFACE));
    Paint(memory, picture);
    BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
    SelectObject(memory, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(memory);
    EndPaint(hwnd, &ps);
}

}  // namespace

LRESULT CALLBACK CanvasProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            PaintCanvas(hwnd);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_LBUTTONUP: {
            // A click on a canvas is the gadget's event (the status bar cancels some operations).
            Lock l(S().lock);
            if (auto* g = FindGadget(GetDlgCtrlID(hwnd)); g && g->hwnd == hwnd)
                PushEvent({EventGadget, g->window, GetDlgCtrlID(hwnd), GadgetEventDefault});
            return 0;
        }
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace gui

using namespace gui;

// InvalidateRect only marks the control for painting; it never waits on the UI thread.
void DrawCanvas(int gadget, const std::vector<DrawOp>& picture) {
    Lock l(S().lock);
    auto* g = FindGadget(gadget);
    if (!g) return;
    g->picture = picture;
    if (g->hwnd) InvalidateRect(g->hwnd, nullptr, FALSE);
}

Rect MeasureText(const std::string& text) {
    std::wstring wide = Widen(text);
    HDC dc = GetDC(nullptr);
    HGDIOBJ oldFont = SelectObject(dc, GuiFont());
    SIZE size{0, 0};
    GetTextExtentPoint32W(dc, wide.c_str(), int(wide.size()), &size);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, oldFont);
    ReleaseDC(nullptr, dc);
    return {0, 0, int(size.cx), int(metrics.tmHeight)};
}

}  // namespace vu::plat
