// Drives the program's modal dialogs and message boxes the way a user would:
// the dialog runs on one thread, another finds its windows, reads them, types
// into them and presses their buttons. Windows are read by sent messages with
// a time limit, and a thread that drives this thread's windows is joined
// while this thread keeps answering them, so a driver never deadlocks with
// the dialog it drives.
#pragma once

#include <windows.h>
#include <stdio.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A message box as the user saw it.
struct SeenBox {
    std::string text;  // code page 932
    HICON icon = nullptr;
};

class DialogDriver {
public:
    // The dialogs of one thread of this process.
    explicit DialogDriver(DWORD uiThread) : uiThread_(uiThread) {}
    // The dialogs of every thread of another process.
    static DialogDriver OfProcess(DWORD processId) {
        DialogDriver driver(0);
        driver.processId_ = processId;
        return driver;
    }

    // The first visible dialog (class #32770) for which match() holds, in
    // z-order; null when there is none now.
    HWND Find(const std::function<bool(HWND)>& match) const {
        Search search{this, &match, nullptr};
        if (processId_) {
            EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
        } else {
            EnumThreadWindows(uiThread_, FindDialog, reinterpret_cast<LPARAM>(&search));
        }
        return search.found;
    }

    // The visible dialog titled caption, or a visible message box when
    // caption is null; null after timeoutMs.
    HWND WaitForDialog(const char* caption, int timeoutMs = 5000) const {
        auto match = [caption](HWND window) {
            return caption ? Text(window) == caption : IsMessageBox(window);
        };
        for (int waited = 0; waited < timeoutMs; waited += 10) {
            if (HWND found = Find(match)) return found;
            Sleep(10);
        }
        return nullptr;
    }
    HWND WaitForMessageBox(int timeoutMs = 5000) const { return WaitForDialog(nullptr, timeoutMs); }

    // True once window is gone or hidden (a modal dialog that ended).
    static bool WaitGone(HWND window, int timeoutMs = 5000) {
        for (int waited = 0; waited < timeoutMs; waited += 10) {
            if (!IsWindow(window) || !IsWindowVisible(window)) return true;
            Sleep(10);
        }
        return false;
    }

    static bool IsMessageBox(HWND dialog) { return GetDlgItem(dialog, kBoxTextId) != nullptr; }

    static std::string Text(HWND window) {
        if (!window) return "<no window>";
        // Asked with a time limit: a window whose thread no longer answers
        // must not stall the driver.
        DWORD_PTR length = 0;
        if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_BLOCK, 5000, &length)) {
            return "<no answer>";
        }
        // Rich edit counts characters: leave room for two bytes each.
        std::string text(static_cast<size_t>(length) * 2 + 1, '\0');
        DWORD_PTR copied = 0;
        if (!SendMessageTimeoutA(window, WM_GETTEXT, text.size(),
                                 reinterpret_cast<LPARAM>(&text[0]), SMTO_BLOCK, 5000, &copied)) {
            return "<no answer>";
        }
        text.resize(static_cast<size_t>(copied));
        return text;
    }
    static std::string ItemText(HWND dialog, int id) { return Text(GetDlgItem(dialog, id)); }
    static std::string MessageBoxText(HWND box) { return ItemText(box, kBoxTextId); }
    static HICON MessageBoxIcon(HWND box) {
        DWORD_PTR icon = 0;
        SendMessageTimeoutA(GetDlgItem(box, kBoxIconId), STM_GETICON, 0, 0, SMTO_BLOCK, 5000,
                            &icon);
        return reinterpret_cast<HICON>(icon);
    }

    static void SetItemText(HWND dialog, int id, const std::string& text) {
        SendMessageA(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    // A button press as the button itself reports it.
    static void Press(HWND dialog, int id) {
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
    }
    // A key pressed while the UI thread's focused control has the focus; the
    // modal loop's dialog manager sees it as typed.
    void PressKey(WPARAM key) const {
        // The dialog may still be settling its focus; a key posted to no
        // window would go to this thread's own queue and be lost.
        HWND focus = FocusedWindow();
        for (int waited = 0; !focus && waited < 5000; waited += 10) {
            Sleep(10);
            focus = FocusedWindow();
        }
        PostMessageA(focus, WM_KEYDOWN, key, 1);
        PostMessageA(focus, WM_KEYUP, key, 0xC0000001);
    }
    HWND FocusedWindow() const {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(uiThread_, &info);
        return info.hwndFocus;
    }

    // Answers the message box that should appear next with button and
    // returns its text ("<no box>" when none came).
    std::string AnswerMessageBox(int button) const {
        HWND box = WaitForMessageBox();
        if (!box) return "<no box>";
        std::string text = MessageBoxText(box);
        Press(box, button);
        WaitGone(box);
        return text;
    }

    // The close box of dialog asks question; no keeps the dialog open, yes
    // lets it end.
    void CloseRefusingOnce(HWND dialog, const std::string& question) const {
        PostMessageA(dialog, WM_CLOSE, 0, 0);
        EXPECT_EQ(AnswerMessageBox(IDNO), question);
        Sleep(100);
        EXPECT_TRUE(IsWindowVisible(dialog));
        PostMessageA(dialog, WM_CLOSE, 0, 0);
        EXPECT_EQ(AnswerMessageBox(IDYES), question);
    }

    // Cancels the topmost dialog or box still open.
    void CancelEverything() const {
        HWND open = Find([](HWND) { return true; });
        if (open) {
            Press(open, IDCANCEL);
            Press(open, IDNO);
        }
    }

private:
    // The static that holds a message box's text, and the one that Wine's
    // message box keeps its icon in.
    static constexpr int kBoxTextId = 0xFFFF;
    static constexpr int kBoxIconId = 0x0440;

    struct Search {
        const DialogDriver* driver;
        const std::function<bool(HWND)>* match;
        HWND found;
    };

    static BOOL CALLBACK FindDialog(HWND window, LPARAM param) {
        Search* search = reinterpret_cast<Search*>(param);
        if (search->driver->processId_) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner != search->driver->processId_) return TRUE;
        }
        char className[16] = "";
        GetClassNameA(window, className, sizeof className);
        if (lstrcmpA(className, "#32770") != 0 || !IsWindowVisible(window)) return TRUE;
        if (!(*search->match)(window)) return TRUE;
        search->found = window;
        return FALSE;
    }

    DWORD uiThread_;
    DWORD processId_ = 0;
};

// Runs body on a thread of its own from construction on. The destructor
// waits for body to return while this thread keeps answering the messages
// sent to its windows: the helper may be reading one of them, and joining
// it without answering would wait for a thread that waits for us.
class HelperThread {
public:
    explicit HelperThread(std::function<void()> body)
        : body_(std::move(body)), worker_([this] {
              body_();
              done_ = true;
          }) {}
    ~HelperThread() {
        while (!done_) {
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
            Sleep(5);
        }
        worker_.join();
    }
    HelperThread(const HelperThread&) = delete;
    HelperThread& operator=(const HelperThread&) = delete;

private:
    std::function<void()> body_;
    std::atomic<bool> done_{false};
    std::thread worker_;
};

// Runs run() on this thread while drive() works on a second thread; returns
// what run() returned. After drive() returns, whatever is still open a while
// later is cancelled and reported as a failure. The wait is generous: without
// a window manager, Wine's X11 driver waits up to 2 s for every captioned
// window that it hides.
inline int RunDriven(const std::function<int()>& run,
                     const std::function<void(const DialogDriver&)>& drive) {
    DialogDriver driver(GetCurrentThreadId());
    std::atomic<bool> finished{false};
    HelperThread helper([&] {
        drive(driver);
        for (int waited = 0; !finished; waited += 50) {
            if (waited >= 10000) {
                ADD_FAILURE() << "a dialog was still open after the driving ended";
                driver.CancelEverything();
            }
            if (waited >= 30000) {
                // Nothing answers any more: end the test program rather than
                // hang the suite.
                fprintf(stderr, "a dialog could not be closed; ending the test program\n");
                fflush(stderr);
                TerminateProcess(GetCurrentProcess(), 3);
            }
            Sleep(50);
        }
    });
    int result = run();
    finished = true;
    return result;
}

// Answers every message box of this thread with OK, as a user who reads and
// confirms each one after answerDelayMs, and keeps what the boxes said. A
// dialog captioned cancelCaption, when given, is cancelled. Runs from
// construction to destruction on a thread of its own.
class BoxAnswerer {
public:
    explicit BoxAnswerer(int answerDelayMs = 0, const char* cancelCaption = nullptr)
        : driver_(GetCurrentThreadId()),
          answerDelayMs_(answerDelayMs),
          cancelCaption_(cancelCaption ? cancelCaption : ""),
          helper_([this] { Run(); }) {}
    ~BoxAnswerer() { stop_ = true; }
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;

    std::vector<SeenBox> Boxes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return boxes_;
    }
    int Cancelled() const { return cancelled_; }
    std::vector<std::string> Texts() {
        std::vector<std::string> texts;
        for (const SeenBox& box : Boxes()) texts.push_back(box.text);
        return texts;
    }

private:
    void Run() {
        auto wanted = [this](HWND dialog) {
            return DialogDriver::IsMessageBox(dialog) ||
                   (!cancelCaption_.empty() && DialogDriver::Text(dialog) == cancelCaption_);
        };
        while (!stop_) {
            HWND dialog = driver_.Find(wanted);
            if (!dialog) {
                Sleep(10);
                continue;
            }
            Sleep(answerDelayMs_);
            if (DialogDriver::IsMessageBox(dialog)) {
                SeenBox seen;
                seen.text = DialogDriver::MessageBoxText(dialog);
                seen.icon = DialogDriver::MessageBoxIcon(dialog);
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    boxes_.push_back(seen);
                }
                DialogDriver::Press(dialog, IDOK);
            } else {
                DialogDriver::Press(dialog, IDCANCEL);
                ++cancelled_;
            }
            DialogDriver::WaitGone(dialog);
        }
    }

    DialogDriver driver_;
    int answerDelayMs_;
    std::string cancelCaption_;
    std::atomic<int> cancelled_{0};
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<SeenBox> boxes_;
    HelperThread helper_;  // last: it starts Run(), which uses all the above
};
