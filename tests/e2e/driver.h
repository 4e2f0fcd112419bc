// End-to-end driver: starts a Windows program in the test's Wine prefix,
// waits for the windows it shows, reads what a user would see on them,
// answers them, and waits for the program to end. It runs in its own process,
// so a program under test that blocks in a modal loop never blocks the driver:
// buttons are pressed with posted messages, never with a blocking send.
//
// Texts read from windows are kept twice: as the code page 932 bytes that the
// program wrote (raw*) and converted to UTF-8, which is what tests compare and
// what the log shows.
//
// Every wait is bounded. A wait that times out reports a test failure through
// GoogleTest, lists the windows that were there, and returns an empty result;
// a run that outlives its scenario is terminated together with every process
// it started.
#pragma once

#include <windows.h>

#include <stdint.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace e2e {

// Default bounds, in milliseconds. A warm Wine starts a program in well under
// a second; these leave room for a loaded machine without letting a broken
// program hold up the suite for long.
constexpr DWORD kWindowTimeout = 15000;
constexpr DWORD kExitTimeout = 15000;
constexpr DWORD kPollInterval = 20;

// Code page conversions (932 <-> UTF-8). Invalid input is converted with the
// replacement rules of the platform; nothing is dropped silently.
std::string Utf8FromCp932(const std::string& cp932);
std::string Cp932FromUtf8(const std::string& utf8);

// The Wine form of an absolute unix path: "/a/b" -> "Z:\a\b".
std::string ZPath(const std::string& unixPath);

// One child control as the user sees it.
struct Control {
    HWND hwnd = nullptr;
    int id = 0;
    std::string className;
    std::string text;     // UTF-8
    std::string rawText;  // code page 932
    bool visible = false;
    bool enabled = false;
};

// A snapshot of one top-level window: taken when a wait finds it, refreshed
// with Refresh(). Empty (hwnd null, found() false) after a failed wait; every
// action on an empty window does nothing.
class Window {
public:
    Window() = default;
    // Reads the window now. Child texts of edit and rich-edit controls are
    // fetched with a bounded WM_GETTEXT; all others with GetWindowTextA.
    static Window Read(HWND hwnd);

    bool found() const { return hwnd != nullptr; }
    bool exists() const { return hwnd && IsWindow(hwnd); }
    bool IsMessageBox() const;

    // Re-reads title, texts, controls and the message box icon.
    void Refresh();
    // The same without the icon (which takes screenshots until it is painted).
    void ReadWithoutIcon();

    // The control with this id, or null.
    const Control* Find(int id) const;
    // Text of the control with this id (UTF-8), empty when absent.
    std::string ControlText(int id) const;
    // Ids of the visible buttons, in creation order.
    std::vector<int> ButtonIds() const;
    // Texts of the visible buttons (UTF-8), in creation order.
    std::vector<std::string> ButtonTexts() const;

    // Presses button id: BM_CLICK posted to the button, or WM_COMMAND posted
    // to the window when it has no such child. Returns false (and reports a
    // failure) when the window is gone or the post fails.
    bool Press(int id) const;
    // Presses the button id and waits until the window is gone.
    bool Answer(int id, DWORD timeoutMs = kWindowTimeout) const;
    // Posts WM_CLOSE.
    bool Close() const;
    // Replaces the text of control id (WM_SETTEXT, bounded send); text UTF-8.
    bool SetText(int id, const std::string& utf8) const;
    // Re-reads the window until control id's text contains utf8Part (a
    // control may be filled after its window shows); reports a failure on
    // time-out.
    bool WaitControlText(int id, const std::string& utf8Part, DWORD timeoutMs = kWindowTimeout);
    // Waits until the window no longer exists.
    bool WaitGone(DWORD timeoutMs = kWindowTimeout) const;

    // Screen rectangle of the client area.
    RECT ClientRectOnScreen() const;

    // Multi-line description in UTF-8, one line per control.
    std::string Describe() const;

    HWND hwnd = nullptr;
    HWND owner = nullptr;  // GW_OWNER: a message box's owner window, or null
    DWORD pid = 0;
    std::string className;
    std::string title;     // UTF-8
    std::string rawTitle;  // code page 932
    // For a message box: the text of its static 0xFFFF (UTF-8 / 932) and its
    // icon, recognised by comparing the pixels on screen with the system
    // icons: "stop", "exclamation", "information", "question", "none" or
    // "unknown".
    std::string text;
    std::string rawText;
    std::string icon;
    bool visible = false;
    bool enabled = false;
    std::vector<Control> controls;  // every descendant, in enumeration order
};

using WindowPredicate = std::function<bool(const Window&)>;

// Visible top-level windows of other processes than this one, read now.
std::vector<Window> VisibleWindows();
// Waits for a visible top-level window of another process that matches;
// windows in `skip` are passed over. Reports a failure naming `what` and
// returns an empty Window on time-out.
Window WaitForWindow(const WindowPredicate& match, const char* what,
                     DWORD timeoutMs = kWindowTimeout, const std::set<HWND>* skip = nullptr);

// Predicates.
WindowPredicate WithTitle(const std::string& utf8Title);
WindowPredicate WithClass(const std::string& className);
WindowPredicate OfProcess(DWORD pid);
WindowPredicate MessageBoxes();

// Whole-screen capture, 32 bits per pixel, top-down.
class Screenshot {
public:
    // Captures the screen (GetDC(NULL) + BitBlt into a DIB). Empty on failure.
    static Screenshot Take();

    bool empty() const { return width == 0; }
    // 0xRRGGBB of the pixel; 0 outside the picture.
    uint32_t Pixel(int x, int y) const;
    // Writes a 24-bit BMP file (Windows path). False on failure.
    bool SaveBmp(const std::string& path) const;

    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // 0x00RRGGBB, row by row from the top
};

inline int Red(uint32_t rgb) { return (rgb >> 16) & 0xFF; }
inline int Green(uint32_t rgb) { return (rgb >> 8) & 0xFF; }
inline int Blue(uint32_t rgb) { return rgb & 0xFF; }

// A started program and every process it started in turn (children,
// grandchildren: an uninstaller relaunches a copy of itself, an installer runs
// an installed uninstaller). The program starts inside a job object of its
// own, which every process it starts inherits; the run is what the job holds,
// so a process id that Wine hands on to an unrelated process after a member
// ended never counts, and ending the run ends the job. Move-only. The
// destructor terminates whatever of the run is still running and reports that
// as a failure.
class Process {
public:
    Process() = default;
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process();

    bool started() const { return process_ != nullptr; }
    DWORD pid() const { return pid_; }
    // Ids of the run's processes that are running now.
    std::set<DWORD> Family() const;
    // Whether the process with this id is one of the run's and running now.
    bool Owns(DWORD pid) const;

    // Waits for a visible top-level window of the family that matches and
    // that no earlier wait of this run returned.
    Window WaitWindow(const WindowPredicate& match, const char* what = "window",
                      DWORD timeoutMs = kWindowTimeout);
    Window WaitMessageBox(DWORD timeoutMs = kWindowTimeout);
    Window WaitWindowTitled(const std::string& utf8Title, DWORD timeoutMs = kWindowTimeout);
    // Visible top-level windows of the family, read now.
    std::vector<Window> Windows() const;
    // Collects every window the family shows until it ends or timeoutMs
    // passes, answering nothing; used to prove that a run shows nothing.
    std::vector<Window> WatchUntilExit(DWORD timeoutMs = kExitTimeout);

    bool Running() const;
    // Exit code of the started process (its descendants may go on running).
    // On time-out: reports a failure, terminates the family and returns -1.
    long WaitExit(DWORD timeoutMs = kExitTimeout);
    // Waits until every process of the family has ended; on time-out reports
    // a failure and terminates them.
    bool WaitAllExit(DWORD timeoutMs = kExitTimeout);
    // Terminates the started process and its descendants, and waits until
    // they are gone.
    void Terminate();

private:
    friend struct Driver;
    // Processes of the job that have not ended yet.
    DWORD ActiveCount() const;
    // "pid N image; " for each running process of the run.
    std::string DescribeFamily() const;

    HANDLE process_ = nullptr;
    HANDLE job_ = nullptr;
    DWORD pid_ = 0;
    std::set<HWND> returned_;
};

struct Driver {
    // Starts `exe` with `args` (the command line is "\"exe\" args"); reports a
    // failure and returns a Process that is not started when CreateProcessA fails.
    static Process Start(const std::string& exe, const std::string& args = "");
};

// Appends one line (UTF-8) to the test log: standard output, flushed.
void Log(const std::string& utf8);

}  // namespace e2e
