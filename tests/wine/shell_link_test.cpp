// Shortcut files through the shell's ShellLink object: what a saved link
// holds when read back, the refusals, the failure rules of the link object's
// setters (on a recording link object, since the shell's own one does not
// refuse an empty description), and the COM initialisation of each call.
#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/shell_link_win.h"
#include "tests/wine/engine_fixture.h"
#include "tests/wine/registry_probe.h"

using namespace engine_test;
using namespace registry_test;

namespace {

// A link object that logs its calls and fails the ones it is told to fail.
class RecordingLink : public IShellLinkA, public IPersistFile {
public:
    std::vector<std::string> calls;
    std::vector<std::string> failing;  // method names that return E_FAIL
    bool noPersistFile = false;
    LONG references = 1;

    HRESULT Result(const std::string& call, const std::string& argument) {
        calls.push_back(call + "(" + argument + ")");
        for (const std::string& name : failing) {
            if (name == call) return E_FAIL;
        }
        return S_OK;
    }

    // IUnknown, shared by both interfaces.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = nullptr;
        if (IsEqualIID(iid, IID_IPersistFile) && !noPersistFile) {
            *out = static_cast<IPersistFile*>(this);
        } else if (IsEqualIID(iid, IID_IShellLinkA) || IsEqualIID(iid, IID_IUnknown)) {
            *out = static_cast<IShellLinkA*>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }

    // IShellLinkA
    HRESULT STDMETHODCALLTYPE GetPath(LPSTR, int, WIN32_FIND_DATAA*, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDList(PIDLIST_ABSOLUTE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetIDList(PCIDLIST_ABSOLUTE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDescription(LPSTR, int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetDescription(LPCSTR text) override {
        return Result("SetDescription", text);
    }
    HRESULT STDMETHODCALLTYPE GetWorkingDirectory(LPSTR, int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetWorkingDirectory(LPCSTR text) override {
        return Result("SetWorkingDirectory", text);
    }
    HRESULT STDMETHODCALLTYPE GetArguments(LPSTR, int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetArguments(LPCSTR text) override {
        return Result("SetArguments", text);
    }
    HRESULT STDMETHODCALLTYPE GetHotkey(WORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetHotkey(WORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetShowCmd(int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetShowCmd(int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIconLocation(LPSTR, int, int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetIconLocation(LPCSTR text, int index) override {
        return Result("SetIconLocation", std::string(text) + "," + std::to_string(index));
    }
    HRESULT STDMETHODCALLTYPE SetRelativePath(LPCSTR, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Resolve(HWND, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetPath(LPCSTR text) override { return Result("SetPath", text); }

    // IPersistFile
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsDirty() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Load(LPCOLESTR, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Save(LPCOLESTR name, BOOL remember) override {
        char path[MAX_PATH * 2] = "";
        WideCharToMultiByte(CP_ACP, 0, name, -1, path, sizeof path, nullptr, nullptr);
        return Result("Save", std::string(path) + (remember ? ",remember" : ",forget"));
    }
    HRESULT STDMETHODCALLTYPE SaveCompleted(LPCOLESTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR*) override { return E_NOTIMPL; }
};

using Calls = std::vector<std::string>;

const Calls kFullRun = {"SetPath(C:\\ソ\\a.exe)",
                        "SetWorkingDirectory(C:\\ソ)",
                        "SetArguments(-u -p \"C:\\ソ\")",
                        "SetIconLocation(C:\\ソ\\u.ico,3)",
                        "SetDescription()",
                        "Save(C:\\表\\リンク.lnk,remember)"};

bool SaveRecorded(RecordingLink& link, const char* linkPath = "C:\\表\\リンク.lnk") {
    return SaveShellLink(&link, linkPath, "", "C:\\ソ\\a.exe", "-u -p \"C:\\ソ\"", "C:\\ソ",
                         "C:\\ソ\\u.ico", 3);
}

}  // namespace

TEST(ShellLinkRules, SettersFailingDecideWhetherTheLinkIsSaved) {
    struct Case {
        std::vector<std::string> failing;
        bool saved;
        Calls calls;
    } cases[] = {
        {{}, true, kFullRun},
        // A refused target: nothing else is set, nothing saved.
        {{"SetPath"}, false, {kFullRun[0]}},
        // Working directory, arguments and icon are optional.
        {{"SetWorkingDirectory", "SetArguments", "SetIconLocation"}, true, kFullRun},
        {{"SetIconLocation"}, true, kFullRun},
        // A refused description stops the save.
        {{"SetDescription"}, false, Calls(kFullRun.begin(), kFullRun.end() - 1)},
        {{"Save"}, false, kFullRun},
    };
    for (const Case& c : cases) {
        RecordingLink link;
        link.failing = c.failing;
        EXPECT_EQ(SaveRecorded(link), c.saved) << c.calls.size();
        EXPECT_EQ(link.calls, c.calls);
        // The IPersistFile reference went back; the caller's one is left.
        EXPECT_EQ(link.references, 1);
    }
}

TEST(ShellLinkRules, NoPersistFileOrAnOverlongPathSavesNothing) {
    RecordingLink noFile;
    noFile.noPersistFile = true;
    EXPECT_FALSE(SaveRecorded(noFile));
    EXPECT_TRUE(noFile.calls.empty());
    EXPECT_EQ(noFile.references, 1);

    // 259 bytes fit the conversion buffer; 260 and more are refused, also
    // when their wide form would be shorter (double-byte characters).
    std::string fits = "C:\\" + std::string(kMaxLinkPathLength - 3 - 4, 'a') + ".lnk";
    ASSERT_EQ(fits.size(), 259u);
    RecordingLink atLimit;
    EXPECT_TRUE(SaveRecorded(atLimit, fits.c_str()));
    EXPECT_EQ(atLimit.calls.back(), "Save(" + fits + ",remember)");
    std::string japanese = "C:\\";
    while (japanese.size() < 256) japanese += "表";
    japanese += ".lnk";
    for (const std::string& path : {"C:\\" + std::string(300, 'a') + ".lnk", japanese,
                                    fits.substr(0, 3) + "b" + fits.substr(3)}) {
        RecordingLink tooLong;
        EXPECT_FALSE(SaveRecorded(tooLong, path.c_str())) << path.size();
        for (const std::string& call : tooLong.calls) EXPECT_NE(call.rfind("Save", 0), 0u);
        EXPECT_EQ(tooLong.references, 1);
    }
}

class ShellLinkTest : public EngineTest {};

TEST_F(ShellLinkTest, ASavedLinkReadsBackWithEveryField) {
    std::string target = base() + "ソフト表示.exe";
    WriteFileBytes(target, "program");
    struct Case {
        std::string link, arguments, workingDirectory, icon;
        int iconIndex;
    } cases[] = {
        {base() + "オルベロ.lnk", "", base() + "作業", "", 0},
        {base() + "オルベロの削除.lnk", "-u -p \"" + base() + "表\"",
         base().substr(0, base().size() - 1), base() + "uninstall.ico", 0},
        {base() + "icon.lnk", "/x 100%", base(), base() + "i.ico", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.link);
        ASSERT_TRUE(CreateShellLink(c.link.c_str(), "", target.c_str(), c.arguments.c_str(),
                                    c.workingDirectory.c_str(), c.icon.c_str(), c.iconIndex));
        LinkContents contents = ReadLink(c.link);
        ASSERT_TRUE(contents.loaded);
        EXPECT_EQ(contents.target, target);
        EXPECT_EQ(contents.arguments, c.arguments);
        EXPECT_EQ(contents.workingDirectory, c.workingDirectory);
        EXPECT_EQ(contents.iconPath, c.icon);
        if (!c.icon.empty()) {
            EXPECT_EQ(contents.iconIndex, c.iconIndex);
        }
        EXPECT_EQ(contents.description, "");
    }
}

TEST_F(ShellLinkTest, OverlongOrUnwritableLinksAreNotSaved) {
    std::string target = base() + "a.exe";
    WriteFileBytes(target, "program");
    std::string longName = base() + std::string(260 - base().size(), 'n') + ".lnk";
    EXPECT_FALSE(CreateShellLink(longName.c_str(), "", target.c_str(), "", base().c_str(), "", 0));
    EXPECT_FALSE(Exists(longName));
    std::string noFolder = base() + "missing\\a.lnk";
    EXPECT_FALSE(CreateShellLink(noFolder.c_str(), "", target.c_str(), "", base().c_str(), "", 0));
    EXPECT_FALSE(Exists(noFolder));
}

TEST_F(ShellLinkTest, EachCallLeavesTheThreadsComStateAsItFoundIt) {
    std::string target = base() + "a.exe";
    WriteFileBytes(target, "program");
    std::string link = base() + "a.lnk";
    std::string tooLong = base() + std::string(300, 'x') + ".lnk";

    // Not initialised before: not initialised after, whatever the outcome.
    EXPECT_TRUE(CreateShellLink(link.c_str(), "", target.c_str(), "", "", "", 0));
    EXPECT_FALSE(CreateShellLink(tooLong.c_str(), "", target.c_str(), "", "", "", 0));
    HRESULT first = CoInitialize(nullptr);
    EXPECT_EQ(first, S_OK);
    // Initialised by the caller: still initialised after.
    EXPECT_TRUE(CreateShellLink(link.c_str(), "", target.c_str(), "", "", "", 0));
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    CoUninitialize();
    CoUninitialize();

    // A thread in the multithreaded apartment keeps it.
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    CreateShellLink(link.c_str(), "", target.c_str(), "", "", "", 0);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    CoUninitialize();
    CoUninitialize();
}
