// The copy of the package files into place: the copy dialog with its
// percentage bar, and the copy of one file through ExpandFile.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "ui/progress_bar_win.h"

// The modeless dialog "ファイルのコピー" (template 102) that shows the pair of
// paths being copied and the bar of the bytes copied so far against
// DstNeedSpace. In SilentMode it exists but is hidden (1 × 1 at 0, 0).
class CopyProgressDialog {
public:
    // Creates the dialog from the program's own resources, owned by parent;
    // visible at once unless SilentMode. Null when the window cannot be
    // created.
    static CopyProgressDialog* Create(HWND parent);
    // Destroys the window, then frees the object and its bar. Accepts null.
    static void Destroy(CopyProgressDialog* dialog);

    CopyProgressDialog(const CopyProgressDialog&) = delete;
    CopyProgressDialog& operator=(const CopyProgressDialog&) = delete;

    // The dialog window; null once it has been destroyed (also when its owner
    // took it along).
    HWND Handle() const { return handle_; }
    // Bytes written so far, plus those of files found already in place.
    int64_t CopiedBytes() const { return copied_; }
    // The value the bar shows.
    int32_t Percent() const { return bar_.Pos(); }

    // Adds bytes to the copied bytes and redraws the bar.
    void AddCopied(int64_t bytes);

private:
    CopyProgressDialog() = default;
    ~CopyProgressDialog() = default;
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog(HWND window);

    HWND handle_ = nullptr;
    ProgressBar bar_;
    // 64 bits: a sum of 32-bit file sizes may pass 2 GiB.
    int64_t copied_ = 0;
};

// Shows the paths in the dialog, creates the missing directories of
// destination (failures show only as the failure of the copy), copies source
// to destination with ExpandFile and moves the bar by the bytes written.
// Returns the bytes written (0 or more) or ExpandFile's negative code on
// failure, which leaves the bar as it was. Shows no message.
int CopyPackageFile(CopyProgressDialog& dialog, const char* destination, const char* source);

// Moves the bar as if bytes had been copied (a file that is already in place).
void AddProgress(CopyProgressDialog& dialog, int64_t bytes);
