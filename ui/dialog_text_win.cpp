#include "ui/dialog_text_win.h"

#include "base/messages_win.h"
#include "package/setup_config.h"
#include "res/resource.h"
#include "ui/dest_dir_rules.h"

ByteString DialogItemText(HWND dialog, int id) {
    // The messages that GetWindowTextLengthA and GetWindowTextA send to a
    // window of the own process, sent here directly.
    HWND item = GetDlgItem(dialog, id);
    LRESULT length = item ? SendMessageA(item, WM_GETTEXTLENGTH, 0, 0) : 0;
    if (length <= 0) return ByteString();
    // Some controls (rich edit among them) count characters, not bytes: room
    // for two bytes each keeps double-byte text from being cut.
    size_t size = static_cast<size_t>(length) * 2 + 1;
    char* buffer = new char[size];
    LRESULT copied = SendMessageA(item, WM_GETTEXT, size, reinterpret_cast<LPARAM>(buffer));
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
