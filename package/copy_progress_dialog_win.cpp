#include "package/copy_progress_dialog_win.h"

#include <stdlib.h>
#include <string.h>

#include "base/file_status_win.h"
#include "package/copy_progress.h"
#include "package/expand_file_win.h"
#include "package/setup_config.h"
#include "res/resource.h"

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
    // the whole copy. A window system that keeps what was drawn in a buffer
    // until the thread next looks for messages (Wine does, flushing at most
    // every 50 ms otherwise) shows it once the thread looks: a look that
    // takes nothing, so no message of the run is handled out of turn.
    UpdateWindow(dialog.Handle());
    MSG pending;
    PeekMessageA(&pending, nullptr, 0, 0, PM_NOREMOVE);
    StringList prefixes = DestinationPrefixes(destination);
    for (size_t i = 0; i < prefixes.Count(); ++i) {
        if (!PathExists(prefixes[i].c_str())) CreateDirectoryA(prefixes[i].c_str(), nullptr);
    }
    int result = ExpandFile(destination, source);
    if (result >= 0) dialog.AddCopied(result);
    return result;
}

void AddProgress(CopyProgressDialog& dialog, int64_t bytes) { dialog.AddCopied(bytes); }
