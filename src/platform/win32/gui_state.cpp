// The window system's model, the UI thread and its job queue; see gui_state.h.
#include "platform/win32/gui_state.h"

namespace vu::plat::gui {

const wchar_t* const kWindowClass = L"VelloranUtilityWindow";
const wchar_t* const kCanvasClass = L"VelloranUtilityCanvas";

namespace {

const wchar_t* const kMessageClass = L"VelloranUtilityMessages";
// Posted to the message window: run the queued jobs (also used only to wake the event wait).
constexpr UINT kRunJobs = WM_APP + 1;

LRESULT CALLBACK MessageWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kRunJobs) {
        RunPendingJobs();
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void RegisterClasses(HINSTANCE instance) {
    WNDCLASSEXW window{};
    window.cbSize = sizeof window;
    window.style = CS_DBLCLKS;
    window.lpfnWndProc = WindowProc;
    window.hInstance = instance;
    // The program icon is resource 1 of the executable.
    window.hIcon = HICON(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                    GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
    window.hIconSm = HICON(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                      GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    window.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    window.hbrBackground = HBRUSH(COLOR_BTNFACE + 1);
    window.lpszClassName = kWindowClass;
    RegisterClassExW(&window);

    WNDCLASSEXW canvas{};
    canvas.cbSize = sizeof canvas;
    canvas.lpfnWndProc = CanvasProc;
    canvas.hInstance = instance;
    canvas.hCursor = window.hCursor;
    canvas.lpszClassName = kCanvasClass;
    RegisterClassExW(&canvas);

    WNDCLASSEXW messages{};
    messages.cbSize = sizeof messages;
    messages.lpfnWndProc = MessageWindowProc;
    messages.hInstance = instance;
    messages.lpszClassName = kMessageClass;
    RegisterClassExW(&messages);
}

}  // namespace

State& S() {
    static State state;
    return state;
}

void EnsureUiThread() {
    Lock l(S().lock);
    if (S().uiThread) return;
    S().uiThread = GetCurrentThreadId();
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES | ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    RegisterClasses(instance);
    S().messageWindow = CreateWindowExW(0, kMessageClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
    S().font = HFONT(GetStockObject(DEFAULT_GUI_FONT));
}

bool OnUiThread() {
    Lock l(S().lock);
    return S().uiThread != 0 && S().uiThread == GetCurrentThreadId();
}

void RunPendingJobs() {
    for (;;) {
        std::function<void()> job;
        {
            Lock l(S().lock);
            if (S().jobs.empty()) return;
            job = std::move(S().jobs.front());
            S().jobs.pop_front();
        }
        job();
    }
}

void RunOnUi(std::function<void()> job) {
    HWND wake = nullptr;
    bool queued = false;
    {
        Lock l(S().lock);
        if (!S().uiThread) return;
        if (S().uiThread != GetCurrentThreadId()) {
            // One wake-up is enough for a queue that was empty: the drain runs until it is empty.
            if (S().jobs.empty()) wake = S().messageWindow;
            S().jobs.push_back(std::move(job));
            queued = true;
        }
    }
    if (queued) {
        if (wake) PostMessageW(wake, kRunJobs, 0, 0);
        return;
    }
    // Jobs that workers queued earlier go first, so that the windows end in the order of the calls.
    RunPendingJobs();
    job();
}

GadgetModel* FindGadget(int gadget) {
    auto it = S().gadgets.find(gadget);
    return it == S().gadgets.end() ? nullptr : &it->second;
}

WindowModel* FindWindowModel(int window) {
    auto it = S().windows.find(window);
    return it == S().windows.end() ? nullptr : &it->second;
}

int WindowNumberOf(HWND hwnd) {
    if (!hwnd) return -1;
    Lock l(S().lock);
    for (auto& [number, model] : S().windows)
        if (model.hwnd == hwnd) return number;
    return -1;
}

HWND WindowHandle(int window) {
    Lock l(S().lock);
    auto* model = FindWindowModel(window);
    return model ? model->hwnd : nullptr;
}

void WakeUiThread() {
    HWND wake;
    {
        Lock l(S().lock);
        wake = S().messageWindow;
    }
    if (wake) PostMessageW(wake, kRunJobs, 0, 0);
}

void PushEvent(const Event& event) {
    Lock l(S().lock);
    S().events.push_back(event);
}

HFONT GuiFont() {
    Lock l(S().lock);
    if (!S().font) S().font = HFONT(GetStockObject(DEFAULT_GUI_FONT));
    return S().font;
}

}  // namespace vu::plat::gui
