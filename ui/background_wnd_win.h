// BackgroundWnd: the full-screen window behind every dialog of a run. It
// paints the black-to-blue gradient with the product name, owns every later
// message box, and carries the step timer whose ticks drive the sequencer.
// Its destruction ends the run (WM_DESTROY posts WM_QUIT).
#pragma once

#include <windows.h>
#include <stdint.h>

// The copy dialog of the copy steps; defined with the file copy.
class CopyProgressDialog;

class BackgroundWnd {
public:
    BackgroundWnd(const BackgroundWnd&) = delete;
    BackgroundWnd& operator=(const BackgroundWnd&) = delete;

    // The window handle; null once the window has been destroyed.
    HWND Handle() const { return handle_; }

    // The sequencer's state: 0 until the sequence starts, then its first
    // value, 1 (installation) or 100 (uninstallation), set at the first paint
    // or, in SilentMode, at creation. Only the sequencer changes it after that.
    int32_t StepState = 0;

    // The copy dialog while the copy steps run; null otherwise. Not owned.
    CopyProgressDialog* ActiveProgress = nullptr;

private:
    friend BackgroundWnd* CreateBackgroundWnd(HINSTANCE instance);
    BackgroundWnd() = default;
    ~BackgroundWnd() = default;

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnPaint();

    HWND handle_ = nullptr;
};

// Creates the background window: full screen, WS_OVERLAPPEDWINDOW with
// WS_EX_CLIENTEDGE, caption ProgramName + " インストーラ", icon 128. It is
// not shown. It becomes the owner of later message boxes and the main
// background window (MainBackgroundWnd). Returns null when the window cannot
// be created. The object frees itself when its window is destroyed
// (DestroyWindow on Handle()); do not delete it.
BackgroundWnd* CreateBackgroundWnd(HINSTANCE instance);

// The background window of the run, or null before its creation and after its
// destruction.
BackgroundWnd* MainBackgroundWnd();
