// Reading back what the installer leaves in the system: shortcut files and
// multi-string registry data. Header-only, for the test programs that run
// under Wine.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

namespace test_support {

// What a shortcut file holds, read back through the ShellLink object.
struct LinkContents {
    bool loaded = false;
    std::string target, arguments, workingDirectory, iconPath, description;
    int iconIndex = -1;
};

inline LinkContents ReadLink(const std::string& path) {
    LinkContents contents;
    HRESULT com = CoInitialize(nullptr);
    IShellLinkA* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            WCHAR wide[MAX_PATH * 2];
            MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH * 2);
            if (SUCCEEDED(file->Load(wide, STGM_READ))) {
                contents.loaded = true;
                char text[1024];
                WIN32_FIND_DATAA data;
                text[0] = 0;
                link->GetPath(text, sizeof text, &data, SLGP_RAWPATH);
                contents.target = text;
                text[0] = 0;
                link->GetArguments(text, sizeof text);
                contents.arguments = text;
                text[0] = 0;
                link->GetWorkingDirectory(text, sizeof text);
                contents.workingDirectory = text;
                text[0] = 0;
                link->GetIconLocation(text, sizeof text, &contents.iconIndex);
                contents.iconPath = text;
                text[0] = 0;
                link->GetDescription(text, sizeof text);
                contents.description = text;
            }
            file->Release();
        }
        link->Release();
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return contents;
}

// The strings of a REG_MULTI_SZ value's bytes, without the empty ones at
// the end.
inline std::vector<std::string> SplitMultiString(const std::string& data) {
    std::vector<std::string> entries;
    size_t start = 0;
    while (start < data.size()) {
        size_t end = data.find('\0', start);
        if (end == std::string::npos) end = data.size();
        entries.push_back(data.substr(start, end - start));
        start = end + 1;
    }
    while (!entries.empty() && entries.back().empty()) entries.pop_back();
    return entries;
}

}  // namespace test_support
