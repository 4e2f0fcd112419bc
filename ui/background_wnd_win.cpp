#include "ui/background_wnd_win.h"

#include "base/messages_win.h"
#include "engine/step_sequencer_win.h"
#include "package/setup_config.h"
#include "res/resource.h"
#include "ui/gradient.h"

namespace {

const char kClassName[] = "SetupBackgroundWnd";

BackgroundWnd* g_mainWindow = nullptr;
// The object whose window is being created, until CreateWindowExA returns.
BackgroundWnd* g_pendingWindow = nullptr;

// The caption suffixes equal the message-box title suffixes, so every box
// carries the window's title.
ByteString WindowCaption(bool uninstall) {
    ByteString caption = Config().ProgramName;
    caption.Append(uninstall ? " アンインストーラ" : " インストーラ");
    return caption;
}

bool RegisterBackgroundClass(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSA existing;
    if (GetClassInfoA(instance, kClassName, &existing)) return true;
    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    windowClass.lpszClassName = kClassName;
    return RegisterClassA(&windowClass) != 0;
}

}  // namespace

BackgroundWnd* CreateBackgroundWnd(HINSTANCE instance) {
    if (!RegisterBackgroundClass(instance, &BackgroundWnd::WindowProc)) return nullptr;
    BackgroundWnd* window = new BackgroundWnd();
    g_pendingWindow = window;
    ByteString caption = WindowCaption(false);
    HWND handle = CreateWindowExA(WS_EX_CLIENTEDGE, kClassName, caption.c_str(),
                                  WS_OVERLAPPEDWINDOW, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                                  GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr, instance,
                                  window);
    if (!handle) {
        // A creation that failed after WM_NCCREATE has already freed the
        // object in WM_NCDESTROY and cleared g_pendingWindow.
        if (g_pendingWindow == window) delete window;
        g_pendingWindow = nullptr;
        return nullptr;
    }
    g_pendingWindow = nullptr;
    g_mainWindow = window;
    SetMessageOwner(handle);

    HICON icon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_MAIN));
    SendMessageA(handle, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageA(handle, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));

    // A silent run never shows the window, so no paint would ever start the
    // sequence.
    if (Config().SilentMode) window->StepState = Config().UninstallMode ? 100 : 1;
    return window;
}

BackgroundWnd* MainBackgroundWnd() { return g_mainWindow; }

LRESULT CALLBACK BackgroundWnd::WindowProc(HWND handle, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
    if (message == WM_NCCREATE) {
        // The object travels in the creation parameters.
        const CREATESTRUCTA* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        BackgroundWnd* created = static_cast<BackgroundWnd*>(create->lpCreateParams);
        created->handle_ = handle;
        SetWindowLongPtrA(handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
        return DefWindowProcA(handle, message, wParam, lParam);
    }
    BackgroundWnd* window =
        reinterpret_cast<BackgroundWnd*>(GetWindowLongPtrA(handle, GWLP_USERDATA));
    if (!window) return DefWindowProcA(handle, message, wParam, lParam);
    switch (message) {
    case WM_PAINT:
        window->OnPaint();
        return 0;
    case WM_TIMER:
        if (wParam == kStepTimerId) {
            OnStepTimer(*window);
            return 0;
        }
        break;
    case WM_DESTROY:
        // A box owned by a destroyed window would not show at all.
        if (MessageOwner() == handle) SetMessageOwner(nullptr);
        PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY: {
        SetWindowLongPtrA(handle, GWLP_USERDATA, 0);
        if (g_mainWindow == window) g_mainWindow = nullptr;
        if (g_pendingWindow == window) g_pendingWindow = nullptr;
        window->handle_ = nullptr;
        delete window;
        return DefWindowProcA(handle, message, wParam, lParam);
    }
    default:
        break;
    }
    return DefWindowProcA(handle, message, wParam, lParam);
}

void BackgroundWnd::OnPaint() {
    const SetupConfig& config = Config();
    ByteString title = config.ProgramName;
    if (StepState == 0) StepState = config.UninstallMode ? 100 : 1;
    if (config.UninstallMode) {
        SetWindowTextA(handle_, WindowCaption(true).c_str());
        title.Append("のアンインストール");
    } else {
        title.Append("のインストール");
    }

    PAINTSTRUCT paint;
    HDC dc = BeginPaint(handle_, &paint);
    if (!dc) return;
    RECT client;
    GetClientRect(handle_, &client);

    GradientBand bands[kGradientBands];
    ComputeGradientBands(client.top, client.bottom, bands);
    for (const GradientBand& band : bands) {
        if (band.height == 0) continue;
        RECT rect = {client.left, band.top, client.right, band.top + band.height};
        HBRUSH brush = CreateSolidBrush(RGB(0, 0, band.blue));
        if (!brush) continue;
        FillRect(dc, &rect, brush);
        DeleteObject(brush);
    }

    // No face name: the system picks its face for the Shift-JIS character set.
    HFONT font = CreateFontA(25, 0, 0, 0, FW_NORMAL, TRUE, FALSE, FALSE, SHIFTJIS_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, nullptr);
    if (font) {
        HGDIOBJ previous = SelectObject(dc, font);
        SetTextAlign(dc, TA_LEFT | TA_TOP);
        SetTextColor(dc, RGB(255, 255, 255));
        SetBkMode(dc, TRANSPARENT);
        TextOutA(dc, 10, 10, title.c_str(), static_cast<int>(title.Length()));
        SelectObject(dc, previous);
        DeleteObject(font);
    }
    EndPaint(handle_, &paint);
}
