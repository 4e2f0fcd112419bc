#include "ui/dest_dir_dialog_win.h"

#include <objbase.h>
#include <shlobj.h>

#include "base/messages_win.h"
#include "engine/registry_entries_win.h"
#include "package/setup_config.h"
#include "res/resource.h"
#include "ui/background_wnd_win.h"
#include "ui/dialog_text_win.h"

namespace {

class DiskOps final : public DestDirOps {
public:
    bool EnterDirectory(const char* path) override { return SetCurrentDirectoryA(path) != FALSE; }
    bool MakeDirectory(const char* name) override { return CreateDirectoryA(name, nullptr) != FALSE; }
    void RemoveLevel(const char* path) override { RemoveDirectoryA(path); }
    uint64_t CurrentVolumeFreeKilobytes() override {
        DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
        if (!GetDiskFreeSpaceA(nullptr, &sectorsPerCluster, &bytesPerSector, &freeClusters,
                               &totalClusters)) {
            return 0;
        }
        return FreeKilobytes(sectorsPerCluster, bytesPerSector, freeClusters);
    }
};

void OnOk(HWND dialog) {
    ByteString text = DialogItemText(dialog, IDC_DESTDIR_EDIT);
    DestDirVerdict verdict = ValidateDestDirOnDisk(text.c_str(), Config().DstNeedSpace);
    Config().InstallDir = verdict.installDir;
    if (!verdict.createdChain.IsEmpty()) RecordCreatedItem(verdict.createdChain.c_str());
    if (verdict.message != 0) {
        ShowMessage(kStyleDefault, verdict.message);
        return;
    }
    EndDialog(dialog, IDOK);
}

int CALLBACK BrowseCallback(HWND browser, UINT message, LPARAM, LPARAM data) {
    const char* selection = reinterpret_cast<const char*>(data);
    if (message == BFFM_INITIALIZED && selection && *selection) {
        SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, data);
    }
    return 0;
}

void OnBrowse(HWND dialog) {
    IMalloc* allocator = nullptr;
    if (FAILED(SHGetMalloc(&allocator)) || !allocator) return;
    // The folder browser's tree is built from shell objects.
    HRESULT com = CoInitialize(nullptr);

    // Preselects the directory as the dialog had it, not as typed since; one
    // too long for the browser's buffer is simply not preselected.
    char selection[kPathBufferSize];
    if (!CopyToBuffer(selection, sizeof selection, ShownDirectory(Config().InstallDir).c_str())) {
        selection[0] = '\0';
    }
    BROWSEINFOA info = {};
    info.hwndOwner = dialog;
    info.lpszTitle = "インストール先のフォルダを指定してください。";
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    info.lpfn = BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(selection);
    LPITEMIDLIST chosen = SHBrowseForFolderA(&info);
    if (chosen) {
        char path[MAX_PATH];
        if (SHGetPathFromIDListA(chosen, path)) {
            ByteString typed = DialogItemText(dialog, IDC_DESTDIR_EDIT);
            SetDlgItemTextA(dialog, IDC_DESTDIR_EDIT, CombineBrowsedPath(path, typed.c_str()).c_str());
        }
        allocator->Free(chosen);
    }
    if (SUCCEEDED(com)) CoUninitialize();
    allocator->Release();
}

INT_PTR CALLBACK DestDirProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: {
            // Messages of the validation belong to this dialog, so that it is
            // disabled while one is up.
            SetMessageOwner(dialog);
            ByteString shown = ShownDirectory(Config().InstallDir);
            SetDlgItemTextA(dialog, IDC_DESTDIR_EDIT, shown.c_str());
            FillDialogItemText(dialog, IDC_DESTDIR_PROMPT, Config().ProgramName.c_str());
            FillDialogItemText(dialog, IDC_DESTDIR_EXAMPLE, shown.c_str());
            if (Config().SilentMode) OnOk(dialog);
            return TRUE;  // the focus goes to the first tab stop, OK
        }
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK: OnOk(dialog); return TRUE;
                case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
                case IDC_DESTDIR_BROWSE:
                    if (HIWORD(wParam) == BN_CLICKED) OnBrowse(dialog);
                    return TRUE;
            }
            return FALSE;
        case WM_CLOSE:
            ConfirmCloseDialog(dialog);
            return TRUE;
    }
    return FALSE;
}

}  // namespace

DestDirVerdict ValidateDestDirOnDisk(const char* editText, uint32_t needBytes) {
    DiskOps ops;
    return ValidateDestDir(editText, needBytes, ops);
}

int RunDestDirDialog(HWND owner) {
    HWND messageOwner = MessageOwner();
    INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_DESTDIR),
                                     owner, DestDirProc, 0);
    SetMessageOwner(messageOwner);
    return static_cast<int>(result);
}

bool StepAskDir() {
    // Only the drive root of the Windows directory is used; asking for the
    // length first spares a fixed buffer that a long path could outgrow.
    ByteString windowsDir;
    UINT size = GetWindowsDirectoryA(nullptr, 0);
    if (size > 0) {
        char* buffer = new char[size + 1];
        UINT length = GetWindowsDirectoryA(buffer, size + 1);
        if (length > 0 && length <= size) windowsDir.Assign(buffer, length);
        delete[] buffer;
    }
    ByteString proposal = windowsDir.Left(3);
    proposal.Append(Config().InstallPath);
    Config().InstallDir = proposal;

    BackgroundWnd* background = MainBackgroundWnd();
    if (RunDestDirDialog(background ? background->Handle() : nullptr) == IDOK) return true;
    ShowMessage(kStyleDefault, IDS_INSTALL_ABORTED, Config().ProgramName.c_str());
    return false;
}
