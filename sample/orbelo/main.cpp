// Orbelo: the sample product. A window that says it is running; while it
// runs it holds the product's running-instance mutex, which the installer
// probes before it installs or uninstalls.
#include <windows.h>

namespace {

const char kMutexName[] = "Global\\Mutex object for Orbelo Global";
const char kClassName[] = "OrbeloSampleWindow";
const char kTitle[] = "オルベロ";
const char kMessage[] = "オルベロ（サンプル製品）は動作中です。";
const char kHint[] = "このウィンドウを閉じると終了します。";

void Paint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    HBRUSH band = CreateSolidBrush(RGB(0, 64, 128));
    RECT top = client;
    top.bottom = 8;
    FillRect(dc, &top, band);
    DeleteObject(band);
    SetBkMode(dc, TRANSPARENT);
    TextOutA(dc, 20, 30, kMessage, lstrlenA(kMessage));
    TextOutA(dc, 20, 60, kHint, lstrlenA(kHint));
    EndPaint(window, &paint);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        Paint(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    // Held, not waited on: the installer only asks whether it exists. A second
    // instance finds it existing and simply shares it.
    HANDLE running = CreateMutexA(nullptr, FALSE, kMutexName);

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    windowClass.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kClassName;
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, kClassName, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 420, 160, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    ShowWindow(window, showCommand);
    UpdateWindow(window);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (running) CloseHandle(running);
    return (int)msg.wParam;
}
