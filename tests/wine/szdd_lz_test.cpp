// Files written by our SZDD encoder, expanded by the system's LZ expansion
// library, the reader that the format comes from: lz32.dll loaded by its full
// path, handles from CreateFileA wrapped by LZInit, one LZCopy.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdint.h>

#include <random>
#include <string>
#include <vector>

#include "package/szdd.h"
#include "tests/common/szdd_bytes.h"

namespace {

using namespace szdd_bytes;

typedef INT(WINAPI* LzInitFunction)(INT);
typedef LONG(WINAPI* LzCopyFunction)(INT, INT);
typedef void(WINAPI* LzCloseFunction)(INT);

Bytes ReadWhole(const std::string& path) {
    Bytes bytes;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    CloseHandle(file);
    return bytes;
}

bool WriteWhole(const std::string& path, const Bytes& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = bytes.empty() || (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()),
                                          &written, nullptr) &&
                                written == bytes.size());
    CloseHandle(file);
    return ok;
}

class SzddLzTest : public testing::Test {
protected:
    void SetUp() override {
        char path[MAX_PATH];
        UINT length = GetSystemDirectoryA(path, MAX_PATH);
        ASSERT_GT(length, 0u);
        lz32_ = LoadLibraryA((std::string(path, length) + "\\lz32.dll").c_str());
        ASSERT_NE(lz32_, nullptr);
        init_ = reinterpret_cast<LzInitFunction>(
            reinterpret_cast<void*>(GetProcAddress(lz32_, "LZInit")));
        copy_ = reinterpret_cast<LzCopyFunction>(
            reinterpret_cast<void*>(GetProcAddress(lz32_, "LZCopy")));
        close_ = reinterpret_cast<LzCloseFunction>(
            reinterpret_cast<void*>(GetProcAddress(lz32_, "LZClose")));
        ASSERT_TRUE(init_ && copy_ && close_);

        char temp[MAX_PATH];
        ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
        dir_ = std::string(temp) + "szdd_lz_" + std::to_string(GetCurrentProcessId()) + "\\";
        ASSERT_TRUE(CreateDirectoryA(dir_.c_str(), nullptr) ||
                    GetLastError() == ERROR_ALREADY_EXISTS);
    }
    void TearDown() override {
        DeleteFileA((dir_ + "in.ex_").c_str());
        DeleteFileA((dir_ + "out.exe").c_str());
        RemoveDirectoryA(dir_.c_str());
        if (lz32_) FreeLibrary(lz32_);
    }

    // Compresses data with our encoder into a file, expands it with LZCopy
    // and returns what LZCopy returned; *expanded gets the destination.
    LONG ExpandThroughLz(const Bytes& data, Bytes* expanded) {
        Bytes compressed;
        EXPECT_EQ(SzddCompress(data.data(), data.size(), 'e', Append, &compressed),
                  SzddStatus::kOk);
        std::string source = dir_ + "in.ex_";
        std::string destination = dir_ + "out.exe";
        EXPECT_TRUE(WriteWhole(source, compressed));
        HANDLE in = CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        HANDLE out = CreateFileA(destination.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(in, INVALID_HANDLE_VALUE);
        EXPECT_NE(out, INVALID_HANDLE_VALUE);
        // LZ handles are 32-bit integers; kernel handle values fit in them.
        INT lzIn = init_(static_cast<INT>(reinterpret_cast<INT_PTR>(in)));
        INT lzOut = init_(static_cast<INT>(reinterpret_cast<INT_PTR>(out)));
        LONG result = copy_(lzIn, lzOut);
        close_(lzIn);
        close_(lzOut);
        *expanded = ReadWhole(destination);
        return result;
    }

    HMODULE lz32_ = nullptr;
    LzInitFunction init_ = nullptr;
    LzCopyFunction copy_ = nullptr;
    LzCloseFunction close_ = nullptr;
    std::string dir_;
};

}  // namespace

TEST_F(SzddLzTest, EdgeSizesExpandByteForByte) {
    const size_t sizes[] = {0, 1, 2, 15, 16, 17, 18, 4079, 4080, 4095, 4096, 4097, 8193};
    for (size_t size : sizes) {
        const Bytes inputs[] = {Random(size, 1), Random(size, 2, " a")};
        for (const Bytes& input : inputs) {
            Bytes expanded;
            EXPECT_EQ(ExpandThroughLz(input, &expanded), static_cast<LONG>(size));
            EXPECT_EQ(expanded, input) << "size " << size;
        }
    }
}

// References into the ring's initial spaces, which no output has written:
// the classic place where an encoder and a decoder disagree.
TEST_F(SzddLzTest, LeadingSpacesExpandByteForByte) {
    struct Case {
        const char* what;
        Bytes data;
    } cases[] = {
        {"3 spaces", Bytes(3, ' ')},
        {"18 spaces", Bytes(18, ' ')},
        {"4080 spaces then text", Concat(Bytes(4080, ' '), Text("text after the spaces"))},
        {"4096 spaces then text", Concat(Bytes(4096, ' '), Text("text after the spaces"))},
        {"4097 spaces", Bytes(4097, ' ')},
        {"20000 spaces around text",
         Concat(Concat(Bytes(20000, ' '), Text("middle")), Bytes(5000, ' '))},
        {"spaces and text interleaved", Random(30000, 3, "     ab\r\n")},
        {"one space then data", Concat(Text(" "), Random(5000, 4))},
    };
    for (const Case& c : cases) {
        Bytes expanded;
        EXPECT_EQ(ExpandThroughLz(c.data, &expanded), static_cast<LONG>(c.data.size())) << c.what;
        EXPECT_EQ(expanded, c.data) << c.what;
    }
}

// A real executable, and a file large enough to cross the encoder's internal
// block and part boundaries.
TEST_F(SzddLzTest, ExecutablesAndLargeFilesExpandByteForByte) {
    char self[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
    ASSERT_GT(length, 0u);
    Bytes image = ReadWhole(std::string(self, length));
    ASSERT_GT(image.size(), 100000u);
    Bytes large = image;
    while (large.size() < 3u * 1024 * 1024) large = Concat(large, Random(300000, 5, "abc \n"));

    for (const Bytes* input : {&image, &large}) {
        Bytes expanded;
        EXPECT_EQ(ExpandThroughLz(*input, &expanded), static_cast<LONG>(input->size()));
        EXPECT_TRUE(expanded == *input) << input->size() << " bytes";
    }
}
