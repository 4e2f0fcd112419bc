// Drives the program's modal dialogs the way a user would: the dialog runs on
// the test thread, a second thread finds its windows, reads them, types into
// them and presses their buttons. If the driving fails half-way, the windows
// still open are cancelled so that the test ends instead of hanging.
#pragma once

#include <windows.h>
#include <stdio.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

class DialogDriver {
public:
    explicit DialogDriver(DWORD uiThread) : uiThread_(uiThread) {}

    // The visible dialog (class #32770) of the UI thread titled caption, or a
    // visible message box when caption is null; null after timeoutMs.
    HWND WaitForDialog(const char* caption, int timeoutMs = 5000) const {
        for (int waited = 0; waited < timeoutMs; waited += 10) {
            Search search{caption, nullptr};
            EnumThreadWindows(uiThread_, FindDialog, reinterpret_cast<LPARAM>(&search));
            if (search.found) return search.found;
            Sleep(10);
        }
        return nullptr;
    }
    HWND WaitForMessageBox(int timeoutMs = 5000) const { return WaitForDialog(nullptr, timeoutMs); }

    // True once window is gone or hidden (a modal dialog that ended).
    bool WaitGone(HWND window, int timeoutMs = 5000) const {
        for (int waited = 0; waited < timeoutMs; waited += 10) {
            if (!IsWindow(window) || !IsWindowVisible(window)) return true;
            Sleep(10);
        }
        return false;
    }

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
        if (!SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]),
                                 SMTO_BLOCK, 5000, &copied)) {
            return "<no answer>";
        }
        text.resize(static_cast<size_t>(copied));
        return text;
    }
    static std::string ItemText(HWND dialog, int id) { return Text(GetDlgItem(dialog, id)); }
    static std::string MessageBoxText(HWND box) { return ItemText(box, 0xFFFF); }

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

    // Cancels every dialog and box still open on the UI thread.
    void CancelEverything() const {
        Search search{nullptr, nullptr};
        search.any = true;
        EnumThreadWindows(uiThread_, FindDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            Press(search.found, IDCANCEL);
            Press(search.found, IDNO);
        }
    }

private:
    struct Search {
        const char* caption;
        HWND found;
        bool any = false;
    };

    static BOOL CALLBACK FindDialog(HWND window, LPARAM param) {
        Search* search = reinterpret_cast<Search*>(param);
        char className[16] = "";
        GetClassNameA(window, className, sizeof className);
        if (lstrcmpA(className, "#32770") != 0 || !IsWindowVisible(window)) return TRUE;
        bool isBox = GetDlgItem(window, 0xFFFF) != nullptr;
        bool match = search->any || (search->caption ? Text(window) == search->caption : isBox);
        if (!match) return TRUE;
        search->found = window;
        return FALSE;
    }

    DWORD uiThread_;
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
    std::atomic<bool> driven{false};
    std::thread worker([&] {
        drive(driver);
        driven = true;
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
    // The driver may still be asking this thread's windows for their texts
    // (sent messages): keep answering them until it is done, or joining
    // would wait for a thread that waits for us.
    while (!driven) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(5);
    }
    worker.join();
    return result;
}
