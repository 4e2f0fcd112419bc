#include "ui/license_dialog_win.h"

#include <richedit.h>

#include "base/messages_win.h"
#include "package/setup_config.h"
#include "res/resource.h"
#include "ui/dialog_text_win.h"

namespace {

// EM_STREAMIN pulls the file through here in chunks of its own choosing;
// delivering 0 bytes ends the transfer, a non-zero result stops it.
DWORD CALLBACK StreamFromFile(DWORD_PTR cookie, LPBYTE buffer, LONG requested, LONG* delivered) {
    *delivered = 0;
    if (requested <= 0) return 0;
    DWORD read = 0;
    BOOL ok = ReadFile(reinterpret_cast<HANDLE>(cookie), buffer, static_cast<DWORD>(requested),
                       &read, nullptr);
    *delivered = static_cast<LONG>(read);
    return ok ? 0 : (GetLastError() ? GetLastError() : 1);
}

void LoadTerms(HWND dialog) {
    const SetupConfig& config = Config();
    ByteString path = config.ScriptDir;
    path.Append(config.Startrtf);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    EDITSTREAM stream = {};
    stream.dwCookie = reinterpret_cast<DWORD_PTR>(file);
    stream.pfnCallback = StreamFromFile;
    SendDlgItemMessageA(dialog, IDC_LICENSE_TEXT, EM_STREAMIN, SF_RTF,
                        reinterpret_cast<LPARAM>(&stream));
    CloseHandle(file);
}

INT_PTR CALLBACK LicenseProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: {
            // The close question belongs to this dialog, which it disables.
            SetMessageOwner(dialog);
            const SetupConfig& config = Config();
            if (!config.StartTitle.IsEmpty()) SetWindowTextA(dialog, config.StartTitle.c_str());
            if (!config.StartDlgOK.IsEmpty()) SetDlgItemTextA(dialog, IDOK, config.StartDlgOK.c_str());
            if (!config.StartDlgCancel.IsEmpty()) {
                SetDlgItemTextA(dialog, IDCANCEL, config.StartDlgCancel.c_str());
            }
            LoadTerms(dialog);
            // The focus goes to the first tab stop, accept. Moved there as by
            // the Tab key, the button also takes the default-button role while
            // it has the focus, so Return accepts just as a click would (left
            // to the dialog manager, some systems let Return press decline,
            // the template's default button).
            SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDOK)), TRUE);
            return FALSE;
        }
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK: EndDialog(dialog, IDOK); return TRUE;
                case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
            }
            return FALSE;
        case WM_CLOSE:
            ConfirmCloseDialog(dialog);
            return TRUE;
    }
    return FALSE;
}

}  // namespace

int RunLicenseDialog(HWND owner) {
    // Always by its full path: an installer is run from download folders,
    // where a planted library of the same name would otherwise be loaded.
    // riched32.dll imports riched20.dll by name; where the search cannot be
    // restricted to the system directory, loading that one first by its full
    // path makes the import find it already loaded. (Windows 95 has no
    // riched20.dll; riched32.dll stands alone there.)
    char systemDir[MAX_PATH];
    UINT length = GetSystemDirectoryA(systemDir, sizeof systemDir);
    if (length == 0 || length >= sizeof systemDir) return -1;
    ByteString libraryPath(systemDir, length);
    libraryPath.Append("\\riched20.dll");
    HMODULE engine = LoadLibraryA(libraryPath.c_str());
    libraryPath.Assign(systemDir, length);
    libraryPath.Append("\\riched32.dll");
    HMODULE library = LoadLibraryA(libraryPath.c_str());
    if (!library) {
        if (engine) FreeLibrary(engine);
        return -1;
    }

    HWND messageOwner = MessageOwner();
    INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_LICENSE), owner,
                                     LicenseProc, 0);
    SetMessageOwner(messageOwner);
    FreeLibrary(library);
    if (engine) FreeLibrary(engine);
    return static_cast<int>(result);
}
