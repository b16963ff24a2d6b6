// The fault guard around an unknown library's DllUnregisterServer, run in this process (the same
// code and compiler as the shipped program, i686 where the tests run the 32-bit build), and font
// removal against the real installed-fonts key.
#include "removal/servers_fonts.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "common/text.h"
#include "paths/special_folders.h"
#include "removal/fault_guard.h"
#include "removal/file_pass_fixture.h"
#include "support/font_file.h"

namespace {

int g_calls = 0;

HRESULT STDAPICALLTYPE Returns() {
    ++g_calls;
    return S_OK;
}

HRESULT STDAPICALLTYPE WritesThroughNull() {
    ++g_calls;
    volatile int* volatile target = nullptr;
    *target = 1;
    return S_OK;
}

HRESULT STDAPICALLTYPE DividesByZero() {
    ++g_calls;
    volatile int zero = 0;
    return 10 / zero;
}

// What a library built by another compiler raises for a C++ throw: a non-continuable exception.
HRESULT STDAPICALLTYPE ThrowsNonContinuable() {
    ++g_calls;
    RaiseException(0xE06D7363, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    return S_OK;
}

HRESULT STDAPICALLTYPE BreaksAfterChangingFpuPrecision() {
    ++g_calls;
    unsigned short word = 0x007F;  // single precision, all exceptions masked
    asm volatile("fldcw %0" : : "m"(word));
    asm volatile("int3");
    return S_OK;
}

unsigned short FpuControlWord() {
    unsigned short word = 0;
    asm volatile("fnstcw %0" : "=m"(word));
    return word;
}

#if defined(__i386__)
// The head of this thread's frame-based handler chain.
void* ChainHead() {
    void* head = nullptr;
    asm volatile("movl %%fs:0, %0" : "=r"(head));
    return head;
}
#endif

TEST(FaultGuard, CatchesWhatTheCallRaisesAndLeavesTheThreadAsItWas) {
    struct Case {
        const char* what;
        GuardedFunction function;
        bool returns;
    } cases[] = {
        {"returns", Returns, true},
        {"access violation", WritesThroughNull, false},
        {"integer division by zero", DividesByZero, false},
        {"non-continuable exception", ThrowsNonContinuable, false},
        {"breakpoint after changing the x87 precision", BreaksAfterChangingFpuPrecision, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g_calls = 0;
        unsigned short fpu = FpuControlWord();
#if defined(__i386__)
        void* head = ChainHead();
#endif
        EXPECT_EQ(CallWithFaultGuard(c.function), c.returns);
        EXPECT_EQ(g_calls, 1);
#if defined(__i386__)
        // The shipped i686 code computes with the x87, so the guard puts its control word back; the
        // x86-64 test build computes with SSE and its guard leaves the x87 alone.
        EXPECT_EQ(FpuControlWord(), fpu);
        EXPECT_EQ(ChainHead(), head) << "the guard's record is off the chain";
#else
        (void)fpu;
#endif
    }
    // Faults after the guard are this program's own again: a second round behaves the same.
    EXPECT_FALSE(CallWithFaultGuard(WritesThroughNull));
    EXPECT_TRUE(CallWithFaultGuard(Returns));
}

// The Fonts folder the font tests see: the test's own folder in place of the system's.
std::string g_fontsFolder;

bool FontsFolderHere(char* path, int csidl) {
    if (csidl != 0x14) return GetSpecialFolder(path, csidl);  // CSIDL_FONTS
    return CopyText(path, kPathBufferSize, g_fontsFolder.c_str());
}

// The installed-fonts value goes only when it names the font's own file: a bare file name names a
// file in the Fonts folder, so it goes only with a font that lies there, never with an application's
// private copy of the same name; a full path goes when it spells the same file. A font without a
// usable name deletes nothing.
TEST(RemoveFont, DeletesTheValueThatNamesThisFontFile) {
    file_pass_testing::FilePassRun t;
    const std::string key = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
    std::string tag = "UninstFontTest " + std::to_string(GetCurrentProcessId());
    std::string elsewhere = t.InApp("Elsewhere");
    ASSERT_TRUE(CreateDirectoryA(elsewhere.c_str(), nullptr));
    struct Case {
        const char* what;
        std::string fontName;  // the full name inside the file
        std::string valueData;
        bool deleted;
        bool inFontsFolder = false;  // the Fonts folder is the folder of the font file
    } cases[] = {
        {"data is the font's full path", tag + " A", "", true},
        {"data is the bare file name, the font is not in the Fonts folder", tag + " B", "b.ttf", false},
        {"data names another file", tag + " C", "other.ttf", false},
        {"data names another folder's file", tag + " D", "C:\\Elsewhere\\d.ttf", false},
        {"data is the bare file name, the font is in the Fonts folder", tag + " E", "e.ttf", true, true},
        {"data is the full path in another spelling", tag + " F", "Elsewhere\\..\\F.TTF", true},
        {"data is the full path of a same-named file in another folder", tag + " G", "Elsewhere\\g.ttf",
         false},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        g_fontsFolder = c.inFontsFolder ? t.InApp("") : elsewhere;
        if (!g_fontsFolder.empty() && g_fontsFolder.back() == '\\') g_fontsFolder.pop_back();
        t.run().paths.lookups.specialFolder = FontsFolderHere;
        if (c.valueData.rfind("Elsewhere", 0) == 0) c.valueData = t.InApp(c.valueData);
        std::string file = std::string(1, static_cast<char>(c.fontName.back() - 'A' + 'a')) + ".ttf";
        std::string path = t.InApp(file);
        if (c.valueData.empty()) c.valueData = path;
        std::string name = c.fontName;
        std::vector<uint8_t> font = testing_support::SimpleFont(name);
        FILE* out = std::fopen(path.c_str(), "wb");
        ASSERT_NE(out, nullptr);
        std::fwrite(font.data(), 1, font.size(), out);
        std::fclose(out);
        char read[kFontNameBufferSize];
        ReadFontFullName(path.c_str(), read);
        ASSERT_EQ(std::string(read), name);

        std::string value = name + " (TrueType)";
        HKEY fonts = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &fonts, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(fonts, value.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(c.valueData.c_str()),
                       static_cast<DWORD>(c.valueData.size() + 1));
        RemoveFont(t.run(), path.c_str());
        LONG found = RegQueryValueExA(fonts, value.c_str(), nullptr, nullptr, nullptr, nullptr);
        RegDeleteValueA(fonts, value.c_str());
        RegCloseKey(fonts);
        EXPECT_EQ(found != ERROR_SUCCESS, c.deleted);
    }
}

}  // namespace
