// Every thread of a process stopped for as long as the object lives: for a
// picture and the texts read around it to describe one and the same moment,
// or to make a process as slow as a loaded machine would.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <vector>

namespace e2e {

class FrozenProcess {
public:
    explicit FrozenProcess(DWORD pid) {
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
        if (snapshot == INVALID_HANDLE_VALUE) return;
        THREADENTRY32 entry = {};
        entry.dwSize = sizeof entry;
        for (BOOL more = Thread32First(snapshot, &entry); more;
             more = Thread32Next(snapshot, &entry)) {
            if (entry.th32OwnerProcessID != pid) continue;
            HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID);
            if (!thread) continue;
            if (SuspendThread(thread) == static_cast<DWORD>(-1)) {
                CloseHandle(thread);
                continue;
            }
            threads_.push_back(thread);
        }
        CloseHandle(snapshot);
    }
    ~FrozenProcess() {
        for (HANDLE thread : threads_) {
            ResumeThread(thread);
            CloseHandle(thread);
        }
    }
    FrozenProcess(const FrozenProcess&) = delete;
    FrozenProcess& operator=(const FrozenProcess&) = delete;
    bool frozen() const { return !threads_.empty(); }

private:
    std::vector<HANDLE> threads_;
};

}  // namespace e2e
