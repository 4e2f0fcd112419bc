#include "base/messages_win.h"

#include <stdarg.h>

#include "package/setup_config.h"

namespace {

HWND g_messageOwner = nullptr;

// wvsprintfA never writes more than this, terminating zero included.
constexpr int kFormatBufferSize = 1024;

// Formats into a buffer of kFormatBufferSize bytes. When a long argument
// fills the buffer, wvsprintfA may cut a double-byte character in half; the
// lone lead byte would turn into garbage in the box, so it is dropped.
ByteString FormatLoaded(const ByteString& format, va_list args) {
    char buffer[kFormatBufferSize];
    buffer[0] = '\0';
    int written = wvsprintfA(buffer, format.c_str(), args);
    if (written < 0) written = 0;
    if (written > kFormatBufferSize - 1) written = kFormatBufferSize - 1;
    buffer[written] = '\0';
    size_t whole = 0;
    while (whole < static_cast<size_t>(written)) {
        size_t step = CharLength932(buffer + whole);
        if (step == 0) break;
        if (step == 1 && IsLeadByte932(static_cast<unsigned char>(buffer[whole]))) break;
        whole += step;
    }
    return ByteString(buffer, whole);
}

}  // namespace

void SetMessageOwner(HWND owner) { g_messageOwner = owner; }

HWND MessageOwner() { return g_messageOwner; }

ByteString LoadMessageText(UINT id) {
    // LoadStringA reports a cut text only by filling the buffer, so grow it
    // until the text fits with room to spare. A string-table entry holds at
    // most 65535 UTF-16 units, at most two code page 932 bytes each.
    HINSTANCE module = GetModuleHandleA(nullptr);
    for (int size = 256; size <= 262144; size *= 2) {
        char* buffer = new char[size];
        int length = LoadStringA(module, id, buffer, size);
        if (length < size - 1) {
            ByteString text(buffer, length > 0 ? static_cast<size_t>(length) : 0);
            delete[] buffer;
            return text;
        }
        delete[] buffer;
    }
    return ByteString();
}

ByteString FormatMessageText(UINT id, ...) {
    ByteString format = LoadMessageText(id);
    va_list args;
    va_start(args, id);
    ByteString text = FormatLoaded(format, args);
    va_end(args);
    return text;
}

ByteString MessageTitle() {
    ByteString title = Config().ProgramName;
    title.Append(Config().UninstallMode ? " アンインストーラ" : " インストーラ");
    return title;
}

int ShowMessage(UINT style, UINT id, ...) {
    if (style == kStyleDefault) style = MB_ICONEXCLAMATION;
    ByteString format = LoadMessageText(id);
    va_list args;
    va_start(args, id);
    ByteString text = FormatLoaded(format, args);
    va_end(args);
    ByteString title = MessageTitle();
    return LOWORD(MessageBoxA(g_messageOwner, text.c_str(), title.c_str(), style));
}
