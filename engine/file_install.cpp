#include "engine/file_install.h"

#include "package/relative_name.h"

SourceCode ClassifySourceCode(const char* code) {
    switch (code[0]) {
    case 'N':
        return SourceCode::kNotInstalled;
    case '9':
        return SourceCode::kNamedPackage;
    case '0':
        return SourceCode::kOptional;
    default:
        return SourceCode::kRequired;
    }
}

ByteString UnderscoreName(const char* name) {
    ByteString result;
    const char* last = nullptr;
    for (const char* p = name; *p; p += CharLength932(p)) last = p;
    if (!last) return result;
    result.Assign(name, static_cast<size_t>(last - name));
    result.Append('_');
    return result;
}

ByteString GetSourceName(const SetupConfig& config, size_t index, bool* optional) {
    *optional = false;
    if (index >= config.CopyList.Count() || index >= config.CopyTypes.Count()) {
        return ByteString();
    }
    const ByteString& name = config.CopyList[index];
    const char* code = config.CopyTypes[index].c_str();
    switch (ClassifySourceCode(code)) {
    case SourceCode::kNotInstalled:
        return ByteString();
    case SourceCode::kNamedPackage: {
        int comma = MbFind(code, ',');
        if (comma >= 0 && code[comma + 1]) {
            // The package file is read from ScriptDir: a name that reaches
            // outside it would install whatever lies there.
            const char* packageName = code + comma + 1;
            return StaysInside(packageName) ? ByteString(packageName) : ByteString();
        }
        return UnderscoreName(name.c_str());
    }
    case SourceCode::kOptional:
        *optional = true;
        return UnderscoreName(name.c_str());
    case SourceCode::kRequired:
        break;
    }
    return UnderscoreName(name.c_str());
}

bool IsSamePath(const char* a, const char* b) {
    return MbToLower(a) == MbToLower(b);
}
