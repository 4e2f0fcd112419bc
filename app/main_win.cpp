// Entry point of install.exe, and the allocation functions of the program.
#include <windows.h>
#include <stdlib.h>

#include <new>

#include "app/library_search_win.h"
#include "app/setup_app_win.h"

// The program is built without exceptions. These replace the library's
// allocation functions, whose failure path would link the exception and
// locale machinery (about 230 KB); running out of memory ends the process.
void* operator new(size_t size) {
    void* block = malloc(size ? size : 1);
    if (!block) abort();
    return block;
}
void* operator new[](size_t size) { return operator new(size); }
void operator delete(void* block) noexcept { free(block); }
void operator delete[](void* block) noexcept { free(block); }
void operator delete(void* block, size_t) noexcept { free(block); }
void operator delete[](void* block, size_t) noexcept { free(block); }

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    RestrictLibrarySearch();
    return RunSetupApp(instance, showCommand);
}

// The entry point of install.exe, in place of the C runtime's start-up code
// (several kilobytes of code, tables and imports): msvcrt.dll initialises
// itself when it is loaded, and the program has no global constructors, no
// thread-local data and no use for argc and argv. It never returns, so how
// the system calls it does not matter.
extern "C" void InstallerEntry() {
    STARTUPINFOA startup;
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    int showCommand = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow
                                                                : SW_SHOWDEFAULT;
    ExitProcess(static_cast<UINT>(WinMain(GetModuleHandleA(nullptr), nullptr, nullptr,
                                          showCommand)));
}
