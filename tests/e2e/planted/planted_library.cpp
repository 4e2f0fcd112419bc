// A library planted by a test under the name of a system library (beside the
// installer, in the temporary folder). Whenever a process loads it, it leaves
// a record: a file named after the name it was loaded as, in C:\e2e\planted,
// holding the image of the process that loaded it. It exports nothing; a
// program that loads it in place of the real library would fail, which
// matters less than that it was loaded at all.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(self, path, sizeof path);
    if (length == 0 || length >= sizeof path) return TRUE;
    const char* name = path;
    for (const char* p = path; *p; ++p) {
        if (*p == '\\' || *p == '/') name = p + 1;
    }
    char record[MAX_PATH];
    if (wsprintfA(record, "C:\\e2e\\planted\\%s.%lu", name, GetCurrentProcessId()) <= 0) return TRUE;
    char image[MAX_PATH];
    DWORD imageLength = GetModuleFileNameA(nullptr, image, sizeof image);
    HANDLE file = CreateFileA(record, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, image, imageLength < sizeof image ? imageLength : 0, &written, nullptr);
        CloseHandle(file);
    }
    return TRUE;
}
