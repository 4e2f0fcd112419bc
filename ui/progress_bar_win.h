// ProgressBar: a small self-painted child control that shows a percentage as
// a dark-blue part on pure blue, in a sunken frame, with "N%" written over it
// in white.
#pragma once

#include <windows.h>
#include <stdint.h>

class ProgressBar {
public:
    ProgressBar() = default;
    // Destroys the control if its window still exists.
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // Creates the control (id 999, WS_CHILD | WS_VISIBLE | WS_TABSTOP, no
    // text) at rect, in the parent's client coordinates, with percent 0.
    // Returns false when the window cannot be created.
    bool Create(HWND parent, const RECT& rect);

    // Stores percent and draws the bar at once through a client device
    // context, without waiting for WM_PAINT, so that progress made inside one
    // long operation shows. Values outside 0..100 are drawn as given.
    void SetPos(int32_t percent);

    int32_t Pos() const { return percent_; }
    // The control's window; null before Create and after its destruction.
    HWND Handle() const { return handle_; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Paint(HDC dc);
    void DrawFill(HDC dc) const;
    void DrawLabel(HDC dc) const;

    HWND handle_ = nullptr;
    int32_t percent_ = 0;
    int32_t width_ = 0;   // client width in pixels, from WM_SIZE
    int32_t height_ = 0;  // client height in pixels, from WM_SIZE
};
