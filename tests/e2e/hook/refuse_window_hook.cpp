// A library that an end-to-end test installs as a system-wide CBT hook: in
// every process that loads it, the creation of a window of the class named
// below is refused, as when the system has no window resources left. It
// stands in for a condition that cannot be produced on purpose otherwise.
#include <windows.h>

namespace {

// The class of install.exe's background window.
const char kRefusedClass[] = "SetupBackgroundWnd";

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK RefuseWindowProc(int code, WPARAM wParam,
                                                                   LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        const CBT_CREATEWNDA* create = reinterpret_cast<const CBT_CREATEWNDA*>(lParam);
        const char* className = create && create->lpcs ? create->lpcs->lpszClass : nullptr;
        // A class given as an atom is never the one looked for.
        if (className && !IS_INTRESOURCE(className) && lstrcmpA(className, kRefusedClass) == 0) {
            return 1;
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
