#include "app/library_search_win.h"

#include <windows.h>

namespace {

// Declared only for newer platform headers than the program is built with.
constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFunction)(DWORD flags);
typedef BOOL(WINAPI* SetDllDirectoryFunction)(LPCSTR path);

}  // namespace

void RestrictLibrarySearch() {
    // Looked up, not imported: the program must load on every Windows it
    // runs on, most of which lack both functions.
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (!kernel) return;
    SetDefaultDllDirectoriesFunction setDefault =
        reinterpret_cast<SetDefaultDllDirectoriesFunction>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault && setDefault(kSearchSystem32)) return;
    SetDllDirectoryFunction setDirectory = reinterpret_cast<SetDllDirectoryFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")));
    if (setDirectory) setDirectory("");
}
