#include "ui/dialog_text_win.h"

#include "base/messages_win.h"
#include "package/setup_config.h"
#include "res/resource.h"
#include "ui/dest_dir_rules.h"

ByteString DialogItemText(HWND dialog, int id) {
    HWND item = GetDlgItem(dialog, id);
    int length = item ? GetWindowTextLengthA(item) : 0;
    if (length <= 0) return ByteString();
    // Some controls (rich edit among them) count characters, not bytes: room
    // for two bytes each keeps double-byte text from being cut.
    size_t size = static_cast<size_t>(length) * 2 + 1;
    char* buffer = new char[size];
    int copied = GetWindowTextA(item, buffer, static_cast<int>(size));
    ByteString text(buffer, copied > 0 ? static_cast<size_t>(copied) : 0);
    delete[] buffer;
    return text;
}

void FillDialogItemText(HWND dialog, int id, const char* argument) {
    ByteString format = DialogItemText(dialog, id);
    SetDlgItemTextA(dialog, id, FormatDialogText(format.c_str(), argument).c_str());
}

void ConfirmCloseDialog(HWND dialog) {
    if (ShowMessage(kStyleQuestion, IDS_CONFIRM_CLOSE, Config().ProgramName.c_str()) == IDYES) {
        EndDialog(dialog, IDCANCEL);
    }
}
