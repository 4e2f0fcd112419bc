#include "engine/shell_link_win.h"

#include <objidl.h>
#include <string.h>

#include "engine/com_ref_win.h"

bool SaveShellLink(IShellLinkA* link, const char* linkPath, const char* description,
                   const char* target, const char* arguments, const char* workingDirectory,
                   const char* iconPath, int iconIndex) {
    // A longer path would not fit the conversion buffer; a cut one would
    // save the link under another name.
    if (strlen(linkPath) > kMaxLinkPathLength) return false;
    ComRef<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.ReceiveVoid())) || !file) return false;
    if (FAILED(link->SetPath(target))) return false;
    // A working directory, arguments or icon that the object refuses still
    // leave a usable shortcut.
    link->SetWorkingDirectory(workingDirectory);
    link->SetArguments(arguments);
    link->SetIconLocation(iconPath, iconIndex);
    if (FAILED(link->SetDescription(description))) return false;
    WCHAR widePath[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, MAX_PATH) == 0) return false;
    return SUCCEEDED(file->Save(widePath, TRUE));
}

bool CreateShellLink(const char* linkPath, const char* description, const char* target,
                     const char* arguments, const char* workingDirectory, const char* iconPath,
                     int iconIndex) {
    // Balanced only when it took: a thread already in another apartment
    // keeps its own initialisation.
    HRESULT com = CoInitialize(nullptr);
    bool saved = false;
    {
        // Released before COM is uninitialised.
        ComRef<IShellLinkA> link;
        if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IShellLinkA, link.ReceiveVoid())) &&
            link) {
            saved = SaveShellLink(link.get(), linkPath, description, target, arguments,
                                  workingDirectory, iconPath, iconIndex);
        }
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return saved;
}
