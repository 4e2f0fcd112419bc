#include "ui/progress_bar_win.h"

#include "base/text.h"
#include "res/resource.h"
#include "ui/progress_geometry.h"

namespace {

const char kClassName[] = "SetupProgressBar";

const COLORREF kRemainingColour = RGB(0, 0, 255);
const COLORREF kFilledColour = RGB(0, 0, 127);
const COLORREF kTextColour = RGB(255, 255, 255);

bool RegisterBarClass(HINSTANCE instance, WNDPROC procedure) {
    static bool registered = false;
    if (registered) return true;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    windowClass.lpszClassName = kClassName;
    registered = RegisterClassA(&windowClass) != 0;
    return registered;
}

void FillColour(HDC dc, const BarRect& area, COLORREF colour) {
    if (area.IsEmpty()) return;
    HBRUSH brush = CreateSolidBrush(colour);
    if (!brush) return;
    RECT rect = {area.left, area.top, area.right, area.bottom};
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

}  // namespace

ProgressBar::~ProgressBar() {
    if (handle_) DestroyWindow(handle_);
}

bool ProgressBar::Create(HWND parent, const RECT& rect) {
    percent_ = 0;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!RegisterBarClass(instance, &ProgressBar::WindowProc)) return false;
    HWND handle = CreateWindowExA(0, kClassName, "", WS_CHILD | WS_VISIBLE | WS_TABSTOP,
                                  rect.left, rect.top, rect.right - rect.left,
                                  rect.bottom - rect.top, parent,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_PROGRESSBAR)),
                                  instance, this);
    return handle != nullptr;
}

void ProgressBar::SetPos(int32_t percent) {
    percent_ = percent;
    if (!handle_) return;
    HDC dc = GetDC(handle_);
    if (!dc) return;
    SetTextAlign(dc, TA_CENTER);
    SetTextColor(dc, kTextColour);
    FillColour(dc, ProgressInteriorRect(width_, height_), kRemainingColour);
    DrawFill(dc);
    DrawLabel(dc);
    ReleaseDC(handle_, dc);
}

void ProgressBar::DrawFill(HDC dc) const {
    FillColour(dc, ProgressFillRect(width_, height_, percent_), kFilledColour);
}

void ProgressBar::DrawLabel(HDC dc) const {
    ByteString text;
    text.AppendNumber(percent_);
    text.Append('%');
    SetBkMode(dc, TRANSPARENT);
    TextOutA(dc, ProgressTextX(width_), kProgressTextY, text.c_str(),
             static_cast<int>(text.Length()));
}

void ProgressBar::Paint(HDC dc) {
    FillColour(dc, BarRect{0, 0, width_, height_}, kRemainingColour);
    if (percent_ != 0) DrawFill(dc);

    FrameEdge edges[kFrameEdges];
    ProgressFrameEdges(width_, height_, GetSystemMetrics(SM_CXBORDER),
                       GetSystemMetrics(SM_CYBORDER), edges);
    HBRUSH shadow = CreateSolidBrush(GetSysColor(COLOR_BTNSHADOW));
    if (shadow) {
        HGDIOBJ previous = SelectObject(dc, shadow);
        for (const FrameEdge& edge : edges)
            PatBlt(dc, edge.x, edge.y, edge.width, edge.height, edge.white ? WHITENESS : PATCOPY);
        SelectObject(dc, previous);
        DeleteObject(shadow);
    }

    SetTextAlign(dc, TA_CENTER);
    SetTextColor(dc, kTextColour);
    DrawLabel(dc);
}

LRESULT CALLBACK ProgressBar::WindowProc(HWND handle, UINT message, WPARAM wParam,
                                         LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const CREATESTRUCTA* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        ProgressBar* created = static_cast<ProgressBar*>(create->lpCreateParams);
        created->handle_ = handle;
        SetWindowLongPtrA(handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
        return DefWindowProcA(handle, message, wParam, lParam);
    }
    ProgressBar* bar = reinterpret_cast<ProgressBar*>(GetWindowLongPtrA(handle, GWLP_USERDATA));
    if (!bar) return DefWindowProcA(handle, message, wParam, lParam);
    switch (message) {
    case WM_SIZE:
        bar->width_ = static_cast<int32_t>(LOWORD(lParam));
        bar->height_ = static_cast<int32_t>(HIWORD(lParam));
        break;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(handle, &paint);
        if (dc) {
            bar->Paint(dc);
            EndPaint(handle, &paint);
        }
        return 0;
    }
    case WM_NCDESTROY:
        // The object outlives its window when the parent dialog goes first.
        SetWindowLongPtrA(handle, GWLP_USERDATA, 0);
        bar->handle_ = nullptr;
        break;
    default:
        break;
    }
    return DefWindowProcA(handle, message, wParam, lParam);
}
