#include "tests/e2e/driver.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <map>

namespace e2e {

namespace {

// Message boxes: the text is the static with id 0xFFFF; Wine places the icon
// in the static 0x0440, Windows in 0x0014. A resource dialog's unnamed
// statics also carry 0xFFFF, so a message box is further told apart by having
// nothing but statics and the standard command buttons (IDOK..IDCONTINUE).
constexpr int kMessageTextId = 0xFFFF;
constexpr int kWineMessageIconId = 0x0440;
constexpr int kWindowsMessageIconId = 0x0014;

// Bound of a message sent to a window of the program under test: its thread
// answers sent messages while it pumps; if it does not, the send gives up.
constexpr UINT kSendTimeout = 2000;

std::string Convert(const std::string& text, UINT from, UINT to) {
    if (text.empty()) return std::string();
    int wideLength = MultiByteToWideChar(from, 0, text.data(), (int)text.size(), nullptr, 0);
    std::wstring wide(wideLength, L'\0');
    MultiByteToWideChar(from, 0, text.data(), (int)text.size(), &wide[0], wideLength);
    int length = WideCharToMultiByte(to, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    std::string out(length, '\0');
    WideCharToMultiByte(to, 0, wide.data(), wideLength, &out[0], length, nullptr, nullptr);
    return out;
}

std::string ClassOf(HWND hwnd) {
    char name[256] = "";
    GetClassNameA(hwnd, name, sizeof(name));
    return name;
}

bool IsEditClass(const std::string& className) {
    std::string lower = className;
    for (char& c : lower) c = (char)tolower((unsigned char)c);
    return lower == "edit" || lower.find("richedit") != std::string::npos;
}

// The window's own text without a message to a foreign thread, except for
// edit controls, whose contents are not the window text of the server. Those
// are asked in UTF-16: a rich edit counts its length in characters, so a code
// page 932 buffer of that size would be too small for double-byte text.
std::string RawTextOf(HWND hwnd, const std::string& className) {
    if (IsEditClass(className)) {
        DWORD_PTR length = 0;
        if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeout,
                                 &length))
            return std::string();
        // Rich edits of Wine copy nothing into a buffer of exactly the
        // reported length plus one; room to spare costs nothing.
        std::wstring buffer(length * 2 + 64, L'\0');
        DWORD_PTR copied = 0;
        if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, buffer.size(), (LPARAM)&buffer[0],
                                 SMTO_ABORTIFHUNG, kSendTimeout, &copied))
            return std::string();
        buffer.resize(wcslen(buffer.c_str()));
        int bytes = WideCharToMultiByte(932, 0, buffer.data(), (int)buffer.size(), nullptr, 0,
                                        nullptr, nullptr);
        std::string text(bytes, '\0');
        WideCharToMultiByte(932, 0, buffer.data(), (int)buffer.size(), &text[0], bytes, nullptr,
                            nullptr);
        return text;
    }
    int length = GetWindowTextLengthA(hwnd);
    std::string buffer(length + 1, '\0');
    int copied = GetWindowTextA(hwnd, &buffer[0], length + 1);
    buffer.resize(copied > 0 ? copied : 0);
    return buffer;
}

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
    return TRUE;
}

Control ReadControl(HWND hwnd) {
    Control control;
    control.hwnd = hwnd;
    control.id = GetDlgCtrlID(hwnd);
    control.className = ClassOf(hwnd);
    control.rawText = RawTextOf(hwnd, control.className);
    control.text = Utf8FromCp932(control.rawText);
    control.visible = IsWindowVisible(hwnd) != FALSE;
    control.enabled = IsWindowEnabled(hwnd) != FALSE;
    return control;
}

BOOL CALLBACK CollectTopLevel(HWND hwnd, LPARAM param) {
    auto* windows = reinterpret_cast<std::vector<HWND>*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != GetCurrentProcessId() && IsWindowVisible(hwnd)) windows->push_back(hwnd);
    return TRUE;
}

std::string Quote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '"') {
            out += "\\\"";
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// Every window is logged once per distinct content, so a log shows each
// screen the program went through without repeating it on every poll.
std::set<std::string>& LoggedWindows() {
    static std::set<std::string> logged;
    return logged;
}

void LogOnce(const Window& window) {
    char key[32];
    snprintf(key, sizeof(key), "%p:", (void*)window.hwnd);
    std::string description = window.Describe();
    if (LoggedWindows().insert(key + description).second) Log(description);
}

// Renders a system icon onto `background` and compares it with the pixels of
// the screenshot at (left, top). Returns the share of matching pixels.
double IconMatch(const Screenshot& shot, int left, int top, LPCSTR iconName, uint32_t background) {
    HICON icon = LoadIconA(nullptr, iconName);
    if (!icon) return 0;
    int size = GetSystemMetrics(SM_CXICON);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    if (!bitmap) {
        DeleteDC(memory);
        return 0;
    }
    HGDIOBJ old = SelectObject(memory, bitmap);
    HBRUSH brush = CreateSolidBrush(RGB(Red(background), Green(background), Blue(background)));
    RECT all = {0, 0, size, size};
    FillRect(memory, &all, brush);
    DeleteObject(brush);
    DrawIconEx(memory, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    GdiFlush();
    const uint32_t* rendered = static_cast<const uint32_t*>(bits);
    int same = 0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            uint32_t a = rendered[y * size + x] & 0xFFFFFF;
            uint32_t b = shot.Pixel(left + x, top + y);
            if (abs(Red(a) - Red(b)) <= 8 && abs(Green(a) - Green(b)) <= 8 &&
                abs(Blue(a) - Blue(b)) <= 8)
                ++same;
        }
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    return double(same) / (size * size);
}

std::string IdentifyIcon(const Window& box) {
    const Control* iconControl = nullptr;
    for (const Control& control : box.controls) {
        if ((control.id == kWineMessageIconId || control.id == kWindowsMessageIconId) &&
            control.className == "Static")
            iconControl = &control;
    }
    if (!iconControl || !iconControl->visible) return "none";
    DWORD_PTR icon = 0;
    if (SendMessageTimeoutA(iconControl->hwnd, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kSendTimeout,
                            &icon) &&
        !icon)
        return "none";
    static const struct {
        LPCSTR id;
        const char* name;
    } kIcons[] = {{IDI_HAND, "stop"},
                  {IDI_EXCLAMATION, "exclamation"},
                  {IDI_ASTERISK, "information"},
                  {IDI_QUESTION, "question"}};
    // A box that has just become visible may not be painted yet: look again
    // until one icon matches or the paint has had ample time.
    DWORD start = GetTickCount();
    for (;;) {
        RECT rect;
        GetWindowRect(iconControl->hwnd, &rect);
        Screenshot shot = Screenshot::Take();
        if (!shot.empty()) {
            // The dialog's face colour: a corner of the icon's static, which
            // the round system icons leave unpainted.
            uint32_t background = shot.Pixel(rect.left, rect.top);
            const char* best = nullptr;
            double bestScore = 0.97;  // the system icons differ in far more pixels
            for (const auto& candidate : kIcons) {
                double score = IconMatch(shot, rect.left, rect.top, candidate.id, background);
                if (score > bestScore) {
                    bestScore = score;
                    best = candidate.name;
                }
            }
            if (best) return best;
        }
        if (GetTickCount() - start >= 2000 || !IsWindow(box.hwnd)) return "unknown";
        Sleep(50);
    }
}

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> windows;
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::string DescribeAll(const std::vector<Window>& windows) {
    if (windows.empty()) return "no window of another process is visible";
    std::string out = "visible windows:";
    for (const Window& window : windows) out += "\n" + window.Describe();
    return out;
}

}  // namespace

std::string Utf8FromCp932(const std::string& cp932) { return Convert(cp932, 932, CP_UTF8); }
std::string Cp932FromUtf8(const std::string& utf8) { return Convert(utf8, CP_UTF8, 932); }

std::string ZPath(const std::string& unixPath) {
    std::string out = "Z:";
    for (char c : unixPath) out += c == '/' ? '\\' : c;
    return out;
}

void Log(const std::string& utf8) {
    static DWORD first = GetTickCount();
    DWORD elapsed = GetTickCount() - first;
    printf("[e2e %lu.%03lu] %s\n", (unsigned long)elapsed / 1000, (unsigned long)elapsed % 1000,
           utf8.c_str());
    fflush(stdout);
}

// --- Window -----------------------------------------------------------------

Window Window::Read(HWND hwnd) {
    Window window;
    window.hwnd = hwnd;
    window.Refresh();
    return window;
}

void Window::Refresh() {
    ReadWithoutIcon();
    if (IsMessageBox()) icon = IdentifyIcon(*this);
}

void Window::ReadWithoutIcon() {
    if (!hwnd) return;
    GetWindowThreadProcessId(hwnd, &pid);
    owner = GetWindow(hwnd, GW_OWNER);
    className = ClassOf(hwnd);
    rawTitle = RawTextOf(hwnd, className);
    title = Utf8FromCp932(rawTitle);
    visible = IsWindowVisible(hwnd) != FALSE;
    enabled = IsWindowEnabled(hwnd) != FALSE;
    // Texts are read after the enumeration, outside its callback.
    std::vector<HWND> children;
    EnumChildWindows(hwnd, CollectChild, reinterpret_cast<LPARAM>(&children));
    controls.clear();
    for (HWND child : children) controls.push_back(ReadControl(child));
    rawText.clear();
    text.clear();
    icon.clear();
    if (IsMessageBox()) {
        const Control* message = Find(kMessageTextId);
        rawText = message->rawText;
        text = message->text;
    }
}

bool Window::IsMessageBox() const {
    if (className != "#32770") return false;
    bool hasText = false;
    for (const Control& control : controls) {
        if (control.className == "Static") {
            if (control.id == kMessageTextId) {
                hasText = true;
            } else if (control.id != kWineMessageIconId && control.id != kWindowsMessageIconId) {
                return false;
            }
        } else if (control.className == "Button") {
            if (control.id < IDOK || control.id > IDCONTINUE) return false;
        } else {
            return false;
        }
    }
    return hasText;
}

const Control* Window::Find(int id) const {
    for (const Control& control : controls) {
        if (control.id == id) return &control;
    }
    return nullptr;
}

std::string Window::ControlText(int id) const {
    const Control* control = Find(id);
    return control ? control->text : std::string();
}

std::vector<int> Window::ButtonIds() const {
    std::vector<int> ids;
    for (const Control& control : controls) {
        if (control.className == "Button" && control.visible) ids.push_back(control.id);
    }
    return ids;
}

std::vector<std::string> Window::ButtonTexts() const {
    std::vector<std::string> texts;
    for (const Control& control : controls) {
        if (control.className == "Button" && control.visible) texts.push_back(control.text);
    }
    return texts;
}

bool Window::Press(int id) const {
    if (!hwnd) return false;
    Log("press " + std::to_string(id) + " on " + Quote(title));
    HWND button = GetDlgItem(hwnd, id);
    bool posted = button ? PostMessageA(button, BM_CLICK, 0, 0)
                         : PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    if (!posted) ADD_FAILURE() << "cannot press " << id << " on " << Describe();
    return posted;
}

bool Window::Answer(int id, DWORD timeoutMs) const { return Press(id) && WaitGone(timeoutMs); }

bool Window::Close() const {
    if (!hwnd) return false;
    Log("close " + Quote(title));
    bool posted = PostMessageA(hwnd, WM_CLOSE, 0, 0);
    if (!posted) ADD_FAILURE() << "cannot close " << Describe();
    return posted;
}

bool Window::SetText(int id, const std::string& utf8) const {
    if (!hwnd) return false;
    HWND control = GetDlgItem(hwnd, id);
    std::string raw = Cp932FromUtf8(utf8);
    DWORD_PTR result = 0;
    bool sent = control && SendMessageTimeoutA(control, WM_SETTEXT, 0, (LPARAM)raw.c_str(),
                                               SMTO_ABORTIFHUNG, kSendTimeout, &result);
    Log("type " + Quote(utf8) + " into " + std::to_string(id) + " of " + Quote(title));
    if (!sent || !result) ADD_FAILURE() << "cannot set the text of " << id << " on " << Describe();
    return sent && result;
}

bool Window::WaitControlText(int id, const std::string& utf8Part, DWORD timeoutMs) {
    if (!hwnd) return false;
    DWORD start = GetTickCount();
    while (ControlText(id).find(utf8Part) == std::string::npos) {
        if (GetTickCount() - start >= timeoutMs || !IsWindow(hwnd)) {
            ADD_FAILURE() << "control " << id << " never showed \"" << utf8Part
                          << "\": " << Describe();
            return false;
        }
        Sleep(kPollInterval);
        ReadWithoutIcon();
    }
    return true;
}

bool Window::WaitGone(DWORD timeoutMs) const {
    if (!hwnd) return false;
    DWORD start = GetTickCount();
    while (IsWindow(hwnd) && IsWindowVisible(hwnd)) {
        if (GetTickCount() - start >= timeoutMs) {
            ADD_FAILURE() << "window still there after " << timeoutMs << " ms: " << Describe();
            return false;
        }
        Sleep(kPollInterval);
    }
    return true;
}

RECT Window::ClientRectOnScreen() const {
    RECT rect = {};
    if (!hwnd) return rect;
    GetClientRect(hwnd, &rect);
    MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::string Window::Describe() const {
    char head[128];
    snprintf(head, sizeof(head), "window %p pid %lu class ", (void*)hwnd, (unsigned long)pid);
    std::string out = head + Quote(className) + " title " + Quote(title);
    if (!visible) out += " hidden";
    if (!enabled) out += " disabled";
    if (owner) {
        char ownerText[48];
        snprintf(ownerText, sizeof(ownerText), " owner %p", (void*)owner);
        out += ownerText;
    }
    if (IsMessageBox()) out += "\n  message box, icon " + icon + ": " + Quote(text);
    for (const Control& control : controls) {
        out += "\n  " + std::to_string(control.id) + " " + control.className + " " +
               Quote(control.text);
        if (!control.visible) out += " hidden";
        if (!control.enabled) out += " disabled";
    }
    return out;
}

// --- Waiting ------------------------------------------------------------------

std::vector<Window> VisibleWindows() {
    std::vector<Window> windows;
    for (HWND hwnd : TopLevelWindows()) windows.push_back(Window::Read(hwnd));
    return windows;
}

Window WaitForWindow(const WindowPredicate& match, const char* what, DWORD timeoutMs,
                     const std::set<HWND>* skip) {
    DWORD start = GetTickCount();
    for (;;) {
        for (HWND hwnd : TopLevelWindows()) {
            if (skip && skip->count(hwnd)) continue;
            // Polls read without the icon, which takes screenshots.
            Window window;
            window.hwnd = hwnd;
            window.ReadWithoutIcon();
            if (match(window)) {
                window.Refresh();
                LogOnce(window);
                return window;
            }
        }
        if (GetTickCount() - start >= timeoutMs) break;
        Sleep(kPollInterval);
    }
    ADD_FAILURE() << "no " << what << " within " << timeoutMs << " ms; "
                  << DescribeAll(VisibleWindows());
    return Window();
}

WindowPredicate WithTitle(const std::string& utf8Title) {
    return [utf8Title](const Window& window) { return window.title == utf8Title; };
}

WindowPredicate WithClass(const std::string& className) {
    return [className](const Window& window) { return window.className == className; };
}

WindowPredicate OfProcess(DWORD pid) {
    return [pid](const Window& window) { return window.pid == pid; };
}

WindowPredicate MessageBoxes() {
    return [](const Window& window) { return window.IsMessageBox(); };
}

// --- Screenshot ---------------------------------------------------------------

Screenshot Screenshot::Take() {
    Screenshot shot;
    HDC screen = GetDC(nullptr);
    if (!screen) return shot;
    int width = GetDeviceCaps(screen, HORZRES);
    int height = GetDeviceCaps(screen, VERTRES);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(screen);
    if (bitmap && memory) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        if (BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY)) {
            GdiFlush();
            const uint32_t* source = static_cast<const uint32_t*>(bits);
            shot.width = width;
            shot.height = height;
            shot.pixels.resize((size_t)width * height);
            for (size_t i = 0; i < shot.pixels.size(); ++i) shot.pixels[i] = source[i] & 0xFFFFFF;
        }
        SelectObject(memory, old);
    }
    if (memory) DeleteDC(memory);
    if (bitmap) DeleteObject(bitmap);
    ReleaseDC(nullptr, screen);
    return shot;
}

uint32_t Screenshot::Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return 0;
    return pixels[(size_t)y * width + x];
}

bool Screenshot::SaveBmp(const std::string& path) const {
    if (empty()) return false;
    // Rows are bottom-up and padded to four bytes.
    int rowBytes = (width * 3 + 3) & ~3;
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER header = {};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof(file) + sizeof(header);
    file.bfSize = file.bfOffBits + rowBytes * height;
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = rowBytes * height;
    FILE* out = fopen(path.c_str(), "wb");
    if (!out) return false;
    bool ok =
        fwrite(&file, sizeof(file), 1, out) == 1 && fwrite(&header, sizeof(header), 1, out) == 1;
    std::vector<unsigned char> row(rowBytes, 0);
    for (int y = height - 1; ok && y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            uint32_t rgb = Pixel(x, y);
            row[x * 3] = (unsigned char)Blue(rgb);
            row[x * 3 + 1] = (unsigned char)Green(rgb);
            row[x * 3 + 2] = (unsigned char)Red(rgb);
        }
        ok = fwrite(row.data(), row.size(), 1, out) == 1;
    }
    return fclose(out) == 0 && ok;
}

// --- Process ------------------------------------------------------------------------

Process Driver::Start(const std::string& exe, const std::string& args) {
    Process run;
    std::string commandLine = "\"" + exe + "\"";
    if (!args.empty()) commandLine += " " + args;
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    HANDLE job = CreateJobObjectA(nullptr, nullptr);
    if (!job) {
        ADD_FAILURE() << "cannot create a job object: error " << GetLastError();
        return run;
    }
    // Should the test itself die, closing its handle ends what it started.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits,
                                 sizeof(limits))) {
        ADD_FAILURE() << "cannot set the limits of the job: error " << GetLastError();
        CloseHandle(job);
        return run;
    }
    // Wine starts the desktop's process for the first program that needs a
    // desktop while there is none, and ends it a moment after the last one
    // has gone. Started by the run, it would be in the job and outlive the
    // run; this process asks for the desktop first and stays on it.
    if (!GetDesktopWindow()) {
        ADD_FAILURE() << "no desktop window";
        CloseHandle(job);
        return run;
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    Log("start " + Utf8FromCp932(commandLine));
    // Suspended until it is in the job, so that nothing it starts escapes.
    if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                        nullptr, nullptr, &startup, &info)) {
        ADD_FAILURE() << "cannot start " << commandLine << ": error " << GetLastError();
        CloseHandle(job);
        return run;
    }
    if (!AssignProcessToJobObject(job, info.hProcess)) {
        ADD_FAILURE() << "cannot put " << commandLine << " into a job: error " << GetLastError();
        TerminateProcess(info.hProcess, 0xDEAD);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        CloseHandle(job);
        return run;
    }
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
    run.process_ = info.hProcess;
    run.job_ = job;
    run.pid_ = info.dwProcessId;
    return run;
}

Process::Process(Process&& other) noexcept { *this = std::move(other); }

Process& Process::operator=(Process&& other) noexcept {
    std::swap(process_, other.process_);
    std::swap(job_, other.job_);
    std::swap(pid_, other.pid_);
    std::swap(returned_, other.returned_);
    return *this;
}

Process::~Process() {
    if (!process_) return;
    DWORD alive = ActiveCount();
    if (alive) {
        ADD_FAILURE() << "the run of pid " << pid_ << " left " << alive
                      << " process(es) running; terminated. " << DescribeFamily()
                      << DescribeAll(Windows());
        Terminate();
    }
    CloseHandle(job_);
    CloseHandle(process_);
}

std::set<DWORD> Process::Family() const {
    std::set<DWORD> family;
    if (!job_) return family;
    // The list holds ids only; each is checked against the job through a
    // handle, since an id may have passed on to another process meanwhile.
    std::vector<ULONG_PTR> buffer(64);
    for (;;) {
        auto* list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST*>(buffer.data());
        DWORD size = (DWORD)(buffer.size() * sizeof(ULONG_PTR));
        if (QueryInformationJobObject(job_, JobObjectBasicProcessIdList, list, size, nullptr)) {
            for (DWORD i = 0; i < list->NumberOfProcessIdsInList; ++i) {
                DWORD pid = (DWORD)list->ProcessIdList[i];
                if (Owns(pid)) family.insert(pid);
            }
            return family;
        }
        if (GetLastError() != ERROR_MORE_DATA || buffer.size() >= 65536) {
            ADD_FAILURE() << "cannot list the processes of the run of pid " << pid_ << ": error "
                          << GetLastError();
            return family;
        }
        buffer.resize(buffer.size() * 4);
    }
}

bool Process::Owns(DWORD pid) const {
    if (!job_ || !pid) return false;
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, pid);
    if (!process) return false;
    BOOL inJob = FALSE;
    bool owned = IsProcessInJob(process, job_, &inJob) && inJob &&
                 WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return owned;
}

std::string Process::DescribeFamily() const {
    std::string out;
    for (DWORD pid : Family()) {
        char image[MAX_PATH] = "?";
        DWORD size = sizeof(image);
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
        if (process) {
            if (!QueryFullProcessImageNameA(process, 0, image, &size)) strcpy(image, "?");
            CloseHandle(process);
        }
        out += "pid " + std::to_string(pid) + " " + Utf8FromCp932(image) + "; ";
    }
    return out;
}

DWORD Process::ActiveCount() const {
    if (!job_) return 0;
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting = {};
    if (!QueryInformationJobObject(job_, JobObjectBasicAccountingInformation, &accounting,
                                   sizeof(accounting), nullptr)) {
        ADD_FAILURE() << "cannot count the processes of the run of pid " << pid_ << ": error "
                      << GetLastError();
        return (DWORD)Family().size();
    }
    return accounting.ActiveProcesses;
}

Window Process::WaitWindow(const WindowPredicate& match, const char* what, DWORD timeoutMs) {
    if (!process_) return Window();
    // One process snapshot per poll, not one per window looked at.
    DWORD snapshotAt = GetTickCount() - kPollInterval;
    std::set<DWORD> family;
    Window window = WaitForWindow(
        [&](const Window& w) {
            if (GetTickCount() - snapshotAt >= kPollInterval) {
                family = Family();
                snapshotAt = GetTickCount();
            }
            return family.count(w.pid) && match(w) && Owns(w.pid);
        },
        what, timeoutMs, &returned_);
    if (window.found()) returned_.insert(window.hwnd);
    return window;
}

Window Process::WaitMessageBox(DWORD timeoutMs) {
    return WaitWindow(MessageBoxes(), "message box", timeoutMs);
}

Window Process::WaitWindowTitled(const std::string& utf8Title, DWORD timeoutMs) {
    std::string what = "window titled " + utf8Title;
    return WaitWindow(WithTitle(utf8Title), what.c_str(), timeoutMs);
}

std::vector<Window> Process::Windows() const {
    std::vector<Window> windows;
    std::set<DWORD> family = Family();
    for (HWND hwnd : TopLevelWindows()) {
        Window window = Window::Read(hwnd);
        if (family.count(window.pid)) windows.push_back(window);
    }
    return windows;
}

std::vector<Window> Process::WatchUntilExit(DWORD timeoutMs) {
    std::vector<Window> seen;
    std::set<HWND> known;
    DWORD start = GetTickCount();
    for (;;) {
        for (const Window& window : Windows()) {
            LogOnce(window);
            if (known.insert(window.hwnd).second) seen.push_back(window);
        }
        if (!Running() || GetTickCount() - start >= timeoutMs) break;
        Sleep(kPollInterval);
    }
    return seen;
}

bool Process::Running() const {
    return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

long Process::WaitExit(DWORD timeoutMs) {
    if (!process_) return -1;
    DWORD start = GetTickCount();
    while (Running()) {
        if (GetTickCount() - start >= timeoutMs) {
            ADD_FAILURE() << "pid " << pid_ << " still running after " << timeoutMs
                          << " ms; terminated. " << DescribeAll(Windows());
            Terminate();
            return -1;
        }
        Sleep(kPollInterval);
    }
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    Log("pid " + std::to_string(pid_) + " ended with " + std::to_string(code));
    return (long)code;
}

bool Process::WaitAllExit(DWORD timeoutMs) {
    if (!process_) return false;
    DWORD start = GetTickCount();
    for (;;) {
        DWORD alive = ActiveCount();
        if (!alive) return true;
        if (GetTickCount() - start >= timeoutMs) {
            ADD_FAILURE() << alive << " process(es) of the run of pid " << pid_
                          << " still running after " << timeoutMs << " ms; terminated. "
                          << DescribeFamily() << DescribeAll(Windows());
            Terminate();
            return false;
        }
        Sleep(kPollInterval);
    }
}

void Process::Terminate() {
    if (!process_) return;
    std::string pids;
    for (DWORD pid : Family()) pids += " " + std::to_string(pid);
    if (!pids.empty()) Log("terminate pid" + pids);
    if (!TerminateJobObject(job_, 0xDEAD))
        ADD_FAILURE() << "cannot terminate the run of pid " << pid_ << ": error " << GetLastError();
    DWORD start = GetTickCount();
    while (ActiveCount()) {
        if (GetTickCount() - start >= 5000) {
            ADD_FAILURE() << "the run of pid " << pid_ << " outlived its termination";
            break;
        }
        Sleep(kPollInterval);
    }
    WaitForSingleObject(process_, 5000);
}

}  // namespace e2e
