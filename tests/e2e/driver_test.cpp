// The driver against helper programs whose windows are known (helper.h).
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tests/e2e/driver.h"
#include "tests/e2e/helper.h"
#include "tests/e2e/installer_kit.h"

using namespace e2e;

namespace {

Process StartHelper(const std::string& args) {
    return Driver::Start(SelfPath(), "--helper " + args);
}

// A process started by the test itself, outside any run.
struct Outsider {
    explicit Outsider(const std::string& args) {
        std::string commandLine = "\"" + SelfPath() + "\" --helper " + args;
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info = {};
        if (CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &info)) {
            CloseHandle(info.hThread);
            process = info.hProcess;
            pid = info.dwProcessId;
        }
    }
    ~Outsider() {
        if (!process) return;
        TerminateProcess(process, 0);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
    }
    bool Alive() const { return process && WaitForSingleObject(process, 0) == WAIT_TIMEOUT; }

    HANDLE process = nullptr;
    DWORD pid = 0;
};

DWORD ParentOf(DWORD pid) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    DWORD parent = 0;
    for (BOOL more = Process32First(snapshot, &entry); more && !parent;
         more = Process32Next(snapshot, &entry)) {
        if (entry.th32ProcessID == pid) parent = entry.th32ParentProcessID;
    }
    CloseHandle(snapshot);
    return parent;
}

DWORD WINAPI Idle(void*) { return 0; }

// Takes one id from Wine's pool and gives it back at once.
DWORD CycleId() {
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, Idle, nullptr, 0, &id);
    if (!thread) return 0;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return id;
}

// Wine keeps one pool for process and thread ids: a freed id goes to the end
// of a queue, and ids are taken from its front once the pool has no fresh
// ones left and at least 256 are queued. Cycling threads walks through the
// queue: each one takes the front id and puts it back at the end. True once
// `target` came out (and went back at the end right behind *previous, the id
// cycled just before it).
bool CycleTo(DWORD target, DWORD* previous) {
    *previous = 0;
    for (int i = 0; i < 100000; ++i) {
        DWORD id = CycleId();
        if (!id) return false;
        if (id == target) return true;
        *previous = id;
    }
    return false;
}

// Makes the next process started take the freed id `target`, unless another
// program takes or gives back an id meanwhile.
bool LineUp(DWORD target) {
    for (int i = 0; i < 300; ++i) CycleId();
    DWORD before = 0, unused = 0;
    return CycleTo(target, &before) && before && CycleTo(before, &unused);
}

}  // namespace

TEST(Driver, ZPathMapsUnixPathsToDriveZ) {
    EXPECT_EQ(ZPath("/work/main/build/x64"), "Z:\\work\\main\\build\\x64");
    EXPECT_EQ(ZPath("/"), "Z:\\");
}

TEST(Driver, ConvertsCodePage932BothWays) {
    // "表" and "ソ" end in 0x5C; "ｱ" is a single half-width byte.
    const std::string raw = "\x95\x5C\x83\x5C\xB1";
    EXPECT_EQ(Utf8FromCp932(raw), u8"表ソｱ");
    EXPECT_EQ(Cp932FromUtf8(u8"表ソｱ"), raw);
    EXPECT_EQ(Utf8FromCp932(""), "");
}

// Each style's buttons and icon as the driver reads them off the screen, and
// the answer it gives coming back as the exit code.
TEST(Driver, ReadsAndAnswersMessageBoxes) {
    struct Case {
        UINT style;
        std::vector<int> buttons;
        const char* icon;
        int press;
    } cases[] = {
        {MB_ICONSTOP, {IDOK}, "stop", IDOK},
        {MB_ICONEXCLAMATION, {IDOK}, "exclamation", IDOK},
        {MB_ICONINFORMATION, {IDOK}, "information", IDOK},
        {MB_YESNO | MB_ICONQUESTION, {IDYES, IDNO}, "question", IDNO},
        {MB_YESNO | MB_ICONQUESTION, {IDYES, IDNO}, "question", IDYES},
        {MB_OKCANCEL, {IDOK, IDCANCEL}, "none", IDCANCEL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.style);
        Process run = StartHelper("msgbox " + std::to_string(c.style));
        Window box = run.WaitMessageBox();
        ASSERT_TRUE(box.found());
        EXPECT_EQ(box.className, "#32770");
        EXPECT_EQ(box.title, kHelperBoxTitleUtf8);
        EXPECT_EQ(box.text, kHelperBoxTextUtf8);
        EXPECT_EQ(box.rawText.substr(0, 4), "\x95\x5C\x8E\xA6");  // 表示
        EXPECT_EQ(box.ButtonIds(), c.buttons);
        EXPECT_EQ(box.icon, c.icon);
        EXPECT_TRUE(box.Answer(c.press));
        EXPECT_EQ(run.WaitExit(), c.press);
    }
}

TEST(Driver, ReadsControlsTypesTextAndClosesDialogs) {
    std::string out = TempPath("e2e-dialog.txt");
    DeleteFileA(out.c_str());
    Process run = StartHelper("dialog \"" + out + "\"");
    Window dialog = run.WaitWindowTitled(kHelperDialogTitleUtf8);
    ASSERT_TRUE(dialog.found());
    EXPECT_FALSE(dialog.IsMessageBox());
    EXPECT_EQ(dialog.ControlText(kHelperLabelId), kHelperDialogLabelUtf8);
    ASSERT_NE(dialog.Find(kHelperEditId), nullptr);
    EXPECT_EQ(dialog.Find(kHelperEditId)->className, "Edit");
    EXPECT_FALSE(dialog.Find(kHelperDisabledId)->enabled);
    EXPECT_TRUE(dialog.Find(kHelperDisabledId)->visible);
    EXPECT_FALSE(dialog.Find(kHelperHiddenId)->visible);
    // A rich edit counts characters, not bytes; its double-byte text still
    // comes back whole.
    EXPECT_EQ(dialog.ControlText(kHelperRichEditId), kHelperRichTextUtf8);
    EXPECT_EQ((std::vector<std::string>{"OK", u8"キャンセル", u8"無効"}), dialog.ButtonTexts());

    // Typed text arrives in code page 932, 0x5C trail bytes intact.
    ASSERT_TRUE(dialog.SetText(kHelperEditId, u8"C:￥表示\\ソフト"));
    dialog.Refresh();
    EXPECT_EQ(dialog.ControlText(kHelperEditId), u8"C:￥表示\\ソフト");
    EXPECT_TRUE(dialog.Answer(IDOK));
    EXPECT_EQ(run.WaitExit(), IDOK);
    EXPECT_EQ(ReadFileBytes(out), "C:￥表示\\ソフト");
    DeleteFileA(out.c_str());

    Process second = StartHelper("dialog \"" + out + "\"");
    Window again = second.WaitWindowTitled(kHelperDialogTitleUtf8);
    EXPECT_TRUE(again.Close());
    EXPECT_TRUE(again.WaitGone());
    EXPECT_EQ(second.WaitExit(), IDCANCEL);
    EXPECT_EQ(GetFileAttributesA(out.c_str()), INVALID_FILE_ATTRIBUTES);
}

// A program that starts a copy of itself and ends: the copy's windows still
// belong to the run.
TEST(Driver, FollowsProcessesStartedByTheRun) {
    Process run = StartHelper("spawn " + std::to_string(MB_OK));
    EXPECT_EQ(run.WaitExit(), 0);
    Window box = run.WaitMessageBox();
    ASSERT_TRUE(box.found());
    EXPECT_NE(box.pid, run.pid());
    EXPECT_EQ(run.Family().count(box.pid), 1u);
    EXPECT_TRUE(box.Answer(IDOK));
    EXPECT_TRUE(run.WaitAllExit());
}

// Windows of processes outside the run are not taken for its own.
TEST(Driver, IgnoresWindowsOfOtherPrograms) {
    Process other = StartHelper("msgbox 0");
    ASSERT_TRUE(other.WaitMessageBox().found());
    Process quiet = StartHelper("hang");
    EXPECT_NONFATAL_FAILURE(quiet.WaitMessageBox(300), "no message box within 300 ms");
    quiet.Terminate();
    other.Terminate();
}

TEST(Driver, BoundedWaitsFailAndTerminate) {
    Process run = StartHelper("hang");
    DWORD start = GetTickCount();
    long code = 0;
    EXPECT_NONFATAL_FAILURE(code = run.WaitExit(300), "still running after 300 ms");
    EXPECT_EQ(code, -1);
    EXPECT_LT(GetTickCount() - start, 5000u);
    EXPECT_FALSE(run.Running());

    Process leftover = StartHelper("hang");
    EXPECT_NONFATAL_FAILURE({ Process gone = std::move(leftover); }, "left 1 process(es) running");
}

TEST(Driver, ScreenshotReadsThePixelsOfOtherPrograms) {
    Process run = StartHelper("paint");
    Window window = run.WaitWindowTitled(kHelperPaintTitleUtf8);
    ASSERT_TRUE(window.found());
    RECT client = window.ClientRectOnScreen();
    EXPECT_EQ(client.left, 100);
    EXPECT_EQ(client.top, 100);
    Sleep(200);  // let the first WM_PAINT reach the screen
    Screenshot shot = Screenshot::Take();
    ASSERT_FALSE(shot.empty());
    EXPECT_EQ(shot.Pixel(150, 150), 0xFF0000u);
    EXPECT_EQ(shot.Pixel(250, 150), 0x0000FFu);

    std::string bmp = TempPath("e2e-shot.bmp");
    ASSERT_TRUE(shot.SaveBmp(bmp));
    std::string bytes = ReadFileBytes(bmp);
    size_t rowBytes = (shot.width * 3 + 3) & ~3;
    EXPECT_EQ(bytes.size(), 54 + rowBytes * shot.height);
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    // Bottom-up rows: screen row 150 is stored at row (height - 1 - 150).
    size_t at = 54 + rowBytes * (shot.height - 1 - 150) + 250 * 3;
    EXPECT_EQ(bytes.substr(at, 3), std::string("\xFF\x00\x00", 3));
    DeleteFileA(bmp.c_str());

    EXPECT_TRUE(window.Close());
    EXPECT_EQ(run.WaitExit(), kHelperPaintExit);
}

// A grandchild whose parent and grandparent have ended is still the run's,
// is found, and ends with the run; a process that took over the id of the
// ended parent, and one that was never the run's, are left alone.
TEST(Driver, TracksTheRunByJobNotByProcessId) {
    Outsider unrelated("hang");
    ASSERT_TRUE(unrelated.Alive());
    std::string eventName = "E2EDriverRelay" + std::to_string(GetCurrentProcessId());
    bool reused = false;
    for (int attempt = 0; attempt < 5 && !reused; ++attempt) {
        SCOPED_TRACE(attempt);
        HANDLE release = CreateEventA(nullptr, TRUE, FALSE, eventName.c_str());
        ASSERT_NE(release, nullptr);
        // chain -> relay -> hang; the chain ends at once.
        Process run = StartHelper("chain " + eventName);
        EXPECT_EQ(run.WaitExit(), 0);
        std::set<DWORD> family;
        for (DWORD start = GetTickCount(); GetTickCount() - start < kWindowTimeout;
             Sleep(kPollInterval)) {
            family = run.Family();
            if (family.size() == 2) break;
        }
        ASSERT_EQ(family.size(), 2u);
        EXPECT_EQ(family.count(run.pid()), 0u);
        EXPECT_EQ(family.count(unrelated.pid), 0u);
        DWORD relay = 0, grandchild = 0;
        for (DWORD pid : family) {
            if (family.count(ParentOf(pid))) {
                grandchild = pid;
                relay = ParentOf(pid);
            }
        }
        ASSERT_NE(grandchild, 0u);
        HANDLE relayHandle = OpenProcess(SYNCHRONIZE, FALSE, relay);
        HANDLE grandchildHandle =
            OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, grandchild);
        ASSERT_NE(relayHandle, nullptr);
        ASSERT_NE(grandchildHandle, nullptr);

        // The relay ends, its id goes back to Wine's pool, and an unrelated
        // program is made to take it.
        SetEvent(release);
        EXPECT_EQ(WaitForSingleObject(relayHandle, kExitTimeout), WAIT_OBJECT_0);
        CloseHandle(relayHandle);
        for (DWORD start = GetTickCount(); GetTickCount() - start < kExitTimeout;
             Sleep(kPollInterval)) {
            HANDLE stale = OpenProcess(SYNCHRONIZE, FALSE, relay);
            if (!stale) break;
            CloseHandle(stale);
        }
        std::unique_ptr<Outsider> taker;
        if (LineUp(relay)) {
            taker.reset(new Outsider("hang"));
            reused = taker->pid == relay;
        }
        Log("the relay's id " + std::to_string(relay) +
            (reused ? " was taken over by an unrelated process" : " was not taken over"));

        EXPECT_EQ(run.Family(), std::set<DWORD>{grandchild});
        EXPECT_TRUE(run.Owns(grandchild));
        EXPECT_FALSE(run.Owns(unrelated.pid));
        if (taker) {
            EXPECT_FALSE(run.Owns(taker->pid));
        }
        run.Terminate();
        EXPECT_EQ(WaitForSingleObject(grandchildHandle, 0), WAIT_OBJECT_0);
        DWORD code = 0;
        EXPECT_TRUE(GetExitCodeProcess(grandchildHandle, &code));
        EXPECT_EQ(code, 0xDEADu);
        EXPECT_TRUE(run.Family().empty());
        EXPECT_TRUE(run.WaitAllExit());
        EXPECT_TRUE(unrelated.Alive());
        if (taker) {
            EXPECT_TRUE(taker->Alive());
        }
        CloseHandle(grandchildHandle);
        CloseHandle(release);
    }
    EXPECT_TRUE(reused) << "Wine never handed the ended relay's id to another process";
}
