#include "engine/wininit.h"

#include <string.h>

namespace {

struct Line {
    size_t begin;  // first byte
    size_t end;    // one past the last byte before CR LF / LF
    size_t next;   // first byte of the following line
};

Line LineAt(const char* text, size_t length, size_t begin) {
    Line line = {begin, begin, begin};
    size_t p = begin;
    while (p < length && text[p] != '\n') ++p;
    line.end = p;
    if (line.end > begin && text[line.end - 1] == '\r') --line.end;
    line.next = p < length ? p + 1 : length;
    return line;
}

// The line's content without surrounding blanks and tabs.
void Trimmed(const char* text, const Line& line, size_t* begin, size_t* end) {
    *begin = line.begin;
    *end = line.end;
    while (*begin < *end && (text[*begin] == ' ' || text[*begin] == '\t')) ++*begin;
    while (*end > *begin && (text[*end - 1] == ' ' || text[*end - 1] == '\t')) --*end;
}

bool IsSectionHeader(const char* text, const Line& line) {
    size_t begin, end;
    Trimmed(text, line, &begin, &end);
    return begin < end && text[begin] == '[';
}

bool IsRenameHeader(const char* text, const Line& line) {
    static const char kHeader[] = "[rename]";
    size_t begin, end;
    Trimmed(text, line, &begin, &end);
    if (end - begin != sizeof(kHeader) - 1) return false;
    for (size_t i = 0; i < sizeof(kHeader) - 1; ++i) {
        char c = text[begin + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != kHeader[i]) return false;
    }
    return true;
}

bool IsBlank(const char* text, const Line& line) {
    size_t begin, end;
    Trimmed(text, line, &begin, &end);
    return begin == end;
}

}  // namespace

bool AddRenameDeletion(const char* text, size_t length, const char* path, ByteString* result) {
    if (!path[0] || strchr(path, '\r') || strchr(path, '\n')) return false;
    ByteString entry("NUL=");
    entry.Append(path);
    entry.Append("\r\n");

    // The new line goes after the last non-blank line of the section, so
    // that blank lines before the next section stay where they are.
    bool inSection = false;
    bool found = false;
    size_t insertAt = length;
    for (size_t p = 0; p < length;) {
        Line line = LineAt(text, length, p);
        if (IsSectionHeader(text, line)) {
            if (inSection) break;
            if (IsRenameHeader(text, line)) {
                inSection = true;
                found = true;
                insertAt = line.next;
            }
        } else if (inSection && !IsBlank(text, line)) {
            insertAt = line.next;
        }
        p = line.next;
    }

    ByteString updated;
    updated.Append(text, found ? insertAt : length);
    bool lineOpen = !updated.IsEmpty() && updated.Last() != '\n';
    if (lineOpen) updated.Append("\r\n");
    if (!found) updated.Append("[Rename]\r\n");
    updated.Append(entry);
    if (found) updated.Append(text + insertAt, length - insertAt);
    *result = static_cast<ByteString&&>(updated);
    return true;
}
