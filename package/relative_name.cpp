#include "package/relative_name.h"

#include "base/text.h"

namespace {

bool IsSeparator(const char* p) { return CharLength932(p) == 1 && (*p == '\\' || *p == '/'); }

// True for a component made of dots and blanks only with at least two dots.
// Windows drops trailing dots and blanks from a component, so ".. " and ". ."
// are no safer than "..".
bool ClimbsUp(const char* begin, const char* end) {
    int dots = 0;
    for (const char* p = begin; p < end; ++p) {
        if (*p == '.') {
            ++dots;
        } else if (*p != ' ') {
            return false;
        }
    }
    return dots >= 2;
}

}  // namespace

NameEscape FindNameEscape(const char* name) {
    if (IsSeparator(name)) return NameEscape::kRooted;
    // ":" (0x3A) is below the range of trail bytes, but the search stays
    // multibyte-aware like every other.
    if (MbFind(name, ':') >= 0) return NameEscape::kDrive;
    const char* component = name;
    for (const char* p = name;; p += CharLength932(p)) {
        if (*p && !IsSeparator(p)) continue;
        if (ClimbsUp(component, p)) return NameEscape::kParent;
        if (!*p) break;
        component = p + 1;
    }
    return NameEscape::kNone;
}

bool StaysInside(const char* name) { return FindNameEscape(name) == NameEscape::kNone; }
