// A drive letter linked to a small tmpfs, for as long as the object lives:
// a volume that a test can fill up. Header-only, for the test programs that
// run under Wine. Mounting needs root on the Linux side; Wine starts Unix
// programs through CreateProcess, which is how the test reaches them.
#pragma once

#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <string>

class SmallVolume {
public:
    // tmpfs counts whole pages of this size, for file data only.
    static constexpr uint64_t kPage = 4096;

    explicit SmallVolume(uint64_t bytes = 4u << 20) : size_(bytes) {
        char prefix[MAX_PATH] = "";
        if (!GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof prefix)) {
            why_ = "WINEPREFIX is not set";
            return;
        }
        for (char letter = 'k'; letter <= 'y' && !letter_; ++letter) {
            char root[] = {letter, ':', '\\', 0};
            if (GetDriveTypeA(root) == DRIVE_NO_ROOT_DIR) letter_ = letter;
        }
        if (!letter_) {
            why_ = "no free drive letter";
            return;
        }
        mountPoint_ = UnixBase();
        link_ = std::string(prefix) + "/dosdevices/" + letter_ + ":";
        if (!Shell("mkdir -p '" + mountPoint_ + "' && mount -t tmpfs -o size=" +
                   std::to_string(bytes) + " tmpfs '" + mountPoint_ + "' && ln -sfn '" +
                   mountPoint_ + "' '" + link_ + "'")) {
            why_ = "cannot mount a tmpfs (needs root) at " + mountPoint_;
            Shell("rmdir '" + mountPoint_ + "'");
            mountPoint_.clear();
        }
    }
    ~SmallVolume() {
        if (!mountPoint_.empty()) {
            // Wine may still hold the volume's directories open for a moment;
            // a lazy unmount detaches it all the same.
            Shell("rm -f '" + link_ + "'; umount '" + mountPoint_ + "' || umount -l '" +
                  mountPoint_ + "'; rmdir '" + mountPoint_ + "'");
        }
    }
    SmallVolume(const SmallVolume&) = delete;
    SmallVolume& operator=(const SmallVolume&) = delete;

    bool Ready() const { return !mountPoint_.empty(); }
    const std::string& WhyNot() const { return why_; }
    // "K:\" and the like.
    std::string Root() const { return std::string(1, letter_) + ":\\"; }
    uint64_t Size() const { return size_; }
    // What the volume reports free now; 0 when it cannot be asked.
    uint64_t FreeBytes() const {
        ULARGE_INTEGER available = {}, total = {}, free = {};
        if (!GetDiskFreeSpaceExA(Root().c_str(), &available, &total, &free)) return 0;
        return available.QuadPart;
    }

private:
    // Unique per test process: Wine soon hands a process id out again, and
    // the tick count of the first call tells two holders of one id apart.
    static std::string UnixBase() {
        static const std::string base = "/tmp/installer-small-volume-" +
                                        std::to_string(GetCurrentProcessId()) + "-" +
                                        std::to_string(GetTickCount());
        return base;
    }

    // Wine does not track Unix children (their handle is not waitable), so
    // the script reports its status through a file that drive Z: reaches.
    static bool Shell(const std::string& script) {
        std::string status = UnixBase() + ".status";
        std::string statusDos = "Z:" + status;
        for (char& c : statusDos) c = c == '/' ? '\\' : c;
        DeleteFileA(statusDos.c_str());
        std::string command =
            "/bin/sh -c \"(" + script + ") >/dev/null 2>&1; echo $? >" + status + "\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &process)) {
            return false;
        }
        if (process.hThread) CloseHandle(process.hThread);
        if (process.hProcess) CloseHandle(process.hProcess);
        // The shell writes the status line in one go, but a reader may catch
        // the file between its creation and the write: only a whole line
        // counts.
        std::string code;
        for (DWORD start = GetTickCount(); GetTickCount() - start < 30000 && code.empty();) {
            Sleep(20);
            FILE* file = fopen(statusDos.c_str(), "rb");
            if (!file) continue;
            char line[16] = "";
            if (fgets(line, sizeof line, file) && strchr(line, '\n')) code = line;
            fclose(file);
        }
        DeleteFileA(statusDos.c_str());
        return code == "0\n";
    }

    uint64_t size_;
    char letter_ = 0;
    std::string mountPoint_, link_, why_;
};
