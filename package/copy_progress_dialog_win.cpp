#include "package/copy_progress_dialog_win.h"

#include <stdlib.h>
#include <string.h>

#include "package/copy_progress.h"
#include "package/file_status_win.h"
#include "package/setup_config.h"
#include "res/resource.h"

namespace {

// The LZ expansion library's functions. They take and return HFILE-style
// integers: LZInit gives back the file handle itself for input that is not
// compressed, a handle of its own for SZDD input, or a negative error code;
// LZClose closes the underlying file either way.
typedef INT(WINAPI* LzInitFunction)(INT file);
typedef LONG(WINAPI* LzCopyFunction)(INT source, INT destination);
typedef VOID(WINAPI* LzCloseFunction)(INT file);

struct LzLibrary {
    LzInitFunction init = nullptr;
    LzCopyFunction copy = nullptr;
    LzCloseFunction close = nullptr;
};

// Loads lz32.dll once per process and keeps it. Only by its full path in the
// system directory: a bare name would also be looked for in the directory of
// the running installer, where anyone could have put a file of that name.
const LzLibrary* Lz32() {
    static LzLibrary library;
    static bool tried = false;
    if (!tried) {
        tried = true;
        static const char kName[] = "\\lz32.dll";
        char path[MAX_PATH];
        UINT length = GetSystemDirectoryA(path, MAX_PATH);
        if (length == 0 || length + sizeof(kName) > MAX_PATH) return nullptr;
        memcpy(path + length, kName, sizeof(kName));
        HMODULE module = LoadLibraryA(path);
        if (!module) return nullptr;
        library.init = reinterpret_cast<LzInitFunction>(
            reinterpret_cast<void*>(GetProcAddress(module, "LZInit")));
        library.copy = reinterpret_cast<LzCopyFunction>(
            reinterpret_cast<void*>(GetProcAddress(module, "LZCopy")));
        library.close = reinterpret_cast<LzCloseFunction>(
            reinterpret_cast<void*>(GetProcAddress(module, "LZClose")));
    }
    if (!library.init || !library.copy || !library.close) return nullptr;
    return &library;
}

// Kernel handles carry 32 significant bits also in 64-bit processes, which is
// what the LZ functions' integer handles rely on.
INT HandleToLz(HANDLE handle) { return static_cast<INT>(reinterpret_cast<INT_PTR>(handle)); }

}  // namespace

CopyProgressDialog* CopyProgressDialog::Create(HWND parent) {
    CopyProgressDialog* dialog = new CopyProgressDialog();
    HINSTANCE instance = GetModuleHandleA(nullptr);
    HWND handle = nullptr;
    HRSRC resource = FindResourceA(instance, MAKEINTRESOURCEA(IDD_COPYPROGRESS), RT_DIALOG);
    HGLOBAL loaded = resource ? LoadResource(instance, resource) : nullptr;
    DWORD size = resource ? SizeofResource(instance, resource) : 0;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (bytes && size >= sizeof(DLGTEMPLATE)) {
        // In silent mode the dialog must never appear, not even for the moment
        // between its creation and its hiding: a copy of the template without
        // WS_VISIBLE is created hidden.
        void* copy = malloc(size);
        if (copy) {
            memcpy(copy, bytes, size);
            DLGTEMPLATE* dialogTemplate = static_cast<DLGTEMPLATE*>(copy);
            if (Config().SilentMode) dialogTemplate->style &= ~static_cast<DWORD>(WS_VISIBLE);
            handle = CreateDialogIndirectParamA(instance, dialogTemplate, parent,
                                                &CopyProgressDialog::DialogProc,
                                                reinterpret_cast<LPARAM>(dialog));
            free(copy);
        }
    }
    if (!handle) {
        delete dialog;
        return nullptr;
    }
    if (Config().SilentMode) {
        SetWindowPos(handle, nullptr, 0, 0, 1, 1, SWP_NOZORDER | SWP_NOACTIVATE);
        ShowWindow(handle, SW_HIDE);
    }
    return dialog;
}

void CopyProgressDialog::Destroy(CopyProgressDialog* dialog) {
    if (!dialog) return;
    if (dialog->handle_) DestroyWindow(dialog->handle_);
    delete dialog;
}

INT_PTR CALLBACK CopyProgressDialog::DialogProc(HWND window, UINT message, WPARAM,
                                                LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        CopyProgressDialog* dialog = reinterpret_cast<CopyProgressDialog*>(lParam);
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        dialog->OnInitDialog(window);
        return TRUE;
    }
    CopyProgressDialog* dialog =
        reinterpret_cast<CopyProgressDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    if (message == WM_NCDESTROY && dialog) {
        SetWindowLongPtrA(window, DWLP_USER, 0);
        dialog->handle_ = nullptr;
    }
    // Everything else, WM_CLOSE and Escape included, takes the default
    // handling: the copy cannot be interrupted from the dialog.
    return FALSE;
}

void CopyProgressDialog::OnInitDialog(HWND window) {
    handle_ = window;
    copied_ = 0;
    RECT outer;
    GetWindowRect(window, &outer);
    LONG width = outer.right - outer.left;
    LONG height = outer.bottom - outer.top;
    RECT bar = {10, height - 80, width - 10, height - 50};
    bar_.Create(window, bar);
}

void CopyProgressDialog::AddCopied(int64_t bytes) {
    copied_ += bytes;
    bar_.SetPos(CopyPercent(copied_, Config().DstNeedSpace));
}

int CopyPackageFile(CopyProgressDialog& dialog, const char* destination, const char* source) {
    SetDlgItemTextA(dialog.Handle(), IDC_COPY_DEST, destination);
    SetDlgItemTextA(dialog.Handle(), IDC_COPY_SOURCE, source);
    // The copy step runs inside one timer tick without returning to the
    // message loop: repaint the new paths now, or they would show only after
    // the whole copy.
    UpdateWindow(dialog.Handle());
    StringList prefixes = DestinationPrefixes(destination);
    for (size_t i = 0; i < prefixes.Count(); ++i) {
        if (!PathExists(prefixes[i].c_str())) CreateDirectoryA(prefixes[i].c_str(), nullptr);
    }
    int result = ExpandFile(destination, source);
    if (result >= 0) dialog.AddCopied(result);
    return result;
}

int ExpandFile(const char* destination, const char* source) {
    const LzLibrary* lz = Lz32();
    if (!lz) return -1;
    HANDLE input = CreateFileA(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (input == INVALID_HANDLE_VALUE) return -1;
    HANDLE output = CreateFileA(destination, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (output == INVALID_HANDLE_VALUE) {
        CloseHandle(input);
        return -1;
    }
    INT lzInput = lz->init(HandleToLz(input));
    if (lzInput < 0) {
        CloseHandle(input);
        CloseHandle(output);
        return lzInput;
    }
    INT lzOutput = lz->init(HandleToLz(output));
    if (lzOutput < 0) {
        lz->close(lzInput);
        CloseHandle(output);
        return lzOutput;
    }
    LONG result = lz->copy(lzInput, lzOutput);
    lz->close(lzInput);
    lz->close(lzOutput);
    return static_cast<int>(result);
}

void AddProgress(CopyProgressDialog& dialog, int64_t bytes) { dialog.AddCopied(bytes); }
