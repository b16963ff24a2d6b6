// The resources of the built uninstaller, decoded from the executable file itself: the two classic
// dialog templates, the icon group and the manifest.
// clang-format off
#include <windows.h>
#include <commctrl.h>  // after windows.h, which it needs
// clang-format on

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "support/e2e.h"

namespace {

constexpr WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr WORD kButtonClass = 0x80;
constexpr WORD kStaticClass = 0x82;

// A resource of the module in US English, or an empty range.
struct ResourceBytes {
    const uint8_t* data = nullptr;
    DWORD size = 0;
};

ResourceBytes FindEnglish(HMODULE module, LPCSTR type, int id) {
    HRSRC found = FindResourceExA(module, type, MAKEINTRESOURCEA(id), kEnglishUs);
    if (!found) return {};
    HGLOBAL loaded = LoadResource(module, found);
    return {static_cast<const uint8_t*>(LockResource(loaded)), SizeofResource(module, found)};
}

// Reads a classic dialog template (DLGTEMPLATE and its DLGITEMTEMPLATEs), bounds-checked.
class TemplateReader {
  public:
    explicit TemplateReader(ResourceBytes bytes) : bytes_(bytes) {}
    bool ok() const { return ok_; }
    uint16_t Word() {
        if (pos_ + 2 > bytes_.size) {
            ok_ = false;
            return 0;
        }
        uint16_t v = static_cast<uint16_t>(bytes_.data[pos_] | (bytes_.data[pos_ + 1] << 8));
        pos_ += 2;
        return v;
    }
    uint32_t Dword() {
        uint32_t low = Word();
        return low | (static_cast<uint32_t>(Word()) << 16);
    }
    int16_t Short() { return static_cast<int16_t>(Word()); }
    // A string of 16-bit characters (ASCII expected here), NUL-terminated.
    std::string Text() {
        std::string out;
        for (uint16_t c = Word(); ok_ && c != 0; c = Word()) out += static_cast<char>(c);
        return out;
    }
    // A "name or ordinal" field: 0xFFFF then an ordinal, or a string.
    std::string NameOrOrdinal(uint16_t& ordinal) {
        ordinal = 0;
        uint16_t first = Word();
        if (first == 0xFFFF) {
            ordinal = Word();
            return {};
        }
        if (first == 0) return {};
        std::string out(1, static_cast<char>(first));
        return out + Text();
    }
    void AlignDword() { pos_ = (pos_ + 3) & ~static_cast<DWORD>(3); }

  private:
    ResourceBytes bytes_;
    DWORD pos_ = 0;
    bool ok_ = true;
};

struct ControlLayout {
    int id;
    WORD classOrdinal;      // 0 when the class is given by name
    const char* className;  // compared without regard to case
    DWORD style;
    int x, y, cx, cy;
    const char* text;
};

struct DialogLayout {
    int id;
    DWORD style;
    std::vector<ControlLayout> controls;  // in template order, which is the tab order
};

constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;

const DialogLayout kQuestionDialog = {
    109,
    kDialogStyle,
    {
        {6, kButtonClass, "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 20, 52, 50, 14, ""},
        {1001, kButtonClass, "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 75, 52, 50, 14, ""},
        {1000, kStaticClass, "", WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT, 7, 7, 243, 36, ""},
        {7, kButtonClass, "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 130, 52, 50, 14, ""},
        {1002, kButtonClass, "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 186, 52, 50, 14, ""},
    }};

const DialogLayout kProgressDialog = {
    110,
    kDialogStyle | WS_VISIBLE,
    {
        {1000, kStaticClass, "", WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT | SS_NOPREFIX, 7, 24, 243, 8, ""},
        {1009, 0, "msctls_progress32", WS_CHILD | WS_VISIBLE, 7, 38, 243, 12, "Progress1"},
    }};

void ExpectDialog(HMODULE module, const DialogLayout& expected) {
    SCOPED_TRACE("dialog " + std::to_string(expected.id));
    ResourceBytes bytes = FindEnglish(module, RT_DIALOG, expected.id);
    ASSERT_NE(bytes.data, nullptr) << "no US English dialog template";
    TemplateReader r(bytes);
    DWORD style = r.Dword();
    ASSERT_NE(style, 0xFFFF0001u) << "an extended template";
    EXPECT_EQ(style, expected.style);
    EXPECT_EQ(r.Dword(), 0u) << "extended style";
    uint16_t count = r.Word();
    ASSERT_EQ(count, expected.controls.size());
    EXPECT_EQ(r.Short(), 0);
    EXPECT_EQ(r.Short(), 0);
    EXPECT_EQ(r.Short(), 257);
    EXPECT_EQ(r.Short(), 73);
    uint16_t ordinal = 0;
    EXPECT_EQ(r.NameOrOrdinal(ordinal), "") << "menu";
    EXPECT_EQ(ordinal, 0);
    EXPECT_EQ(r.NameOrOrdinal(ordinal), "") << "class";
    EXPECT_EQ(ordinal, 0);
    EXPECT_EQ(r.Text(), "") << "caption";
    EXPECT_EQ(r.Word(), 8) << "point size";
    EXPECT_EQ(r.Text(), "Arial");
    for (const ControlLayout& c : expected.controls) {
        SCOPED_TRACE("control " + std::to_string(c.id));
        r.AlignDword();
        EXPECT_EQ(r.Dword(), c.style);
        EXPECT_EQ(r.Dword(), 0u) << "extended style";
        EXPECT_EQ(r.Short(), c.x);
        EXPECT_EQ(r.Short(), c.y);
        EXPECT_EQ(r.Short(), c.cx);
        EXPECT_EQ(r.Short(), c.cy);
        EXPECT_EQ(r.Word(), c.id);
        std::string className = r.NameOrOrdinal(ordinal);
        EXPECT_EQ(ordinal, c.classOrdinal);
        EXPECT_EQ(lstrcmpiA(className.c_str(), c.className), 0) << className;
        EXPECT_EQ(r.NameOrOrdinal(ordinal), c.text);
        EXPECT_EQ(r.Word(), 0) << "creation data";
    }
    EXPECT_TRUE(r.ok()) << "template ends early";
}

struct IconImage {
    int size;
    int bitsPerPixel;
    bool operator==(const IconImage&) const = default;
};

// One image's palette and pixels: the palette holds the entries its header counts (biClrUsed, or
// all 2^bits when 0), the colour and mask rows (each padded to 4 bytes) fill the rest exactly, every
// pixel names an entry of the palette, and every pixel the mask leaves transparent is black, since
// the system draws an icon by ANDing the mask and then XORing the colours onto the screen: any
// other colour would tint the desktop behind the icon.
void ExpectIconPixels(ResourceBytes icon, const BITMAPINFOHEADER& header, int id) {
    SCOPED_TRACE("image " + std::to_string(id));
    const int bits = header.biBitCount;
    ASSERT_TRUE(bits == 4 || bits == 8);
    const uint32_t colours = header.biClrUsed != 0 ? header.biClrUsed : 1u << bits;
    ASSERT_LE(colours, 1u << bits);
    const int n = header.biWidth;
    const size_t colourRow = (n * bits + 31) / 32 * 4;
    const size_t maskRow = (n + 31) / 32 * 4;
    const size_t paletteAt = header.biSize;
    const size_t pixelsAt = paletteAt + 4 * colours;
    const size_t maskAt = pixelsAt + colourRow * n;
    ASSERT_EQ(icon.size, maskAt + maskRow * n) << "header, palette, colour rows and mask rows";
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            uint8_t packed = icon.data[pixelsAt + y * colourRow + x * bits / 8];
            uint32_t index = bits == 8 ? packed : (x % 2 == 0 ? packed >> 4 : packed & 0x0F);
            ASSERT_LT(index, colours) << "pixel " << x << ", " << y;
            bool transparent = (icon.data[maskAt + y * maskRow + x / 8] & (0x80 >> (x % 8))) != 0;
            if (!transparent) continue;
            const uint8_t* colour = icon.data + paletteAt + 4 * index;
            ASSERT_EQ(colour[0] | colour[1] | colour[2], 0) << "transparent pixel " << x << ", " << y;
        }
    }
}

void ExpectIconGroup(HMODULE module) {
    ResourceBytes group = FindEnglish(module, RT_GROUP_ICON, 800);
    ASSERT_NE(group.data, nullptr) << "no icon group 800";
    TemplateReader r(group);
    EXPECT_EQ(r.Word(), 0);
    EXPECT_EQ(r.Word(), 1) << "type: icon";
    uint16_t count = r.Word();
    std::vector<IconImage> images;
    for (int i = 0; i < count && r.ok(); ++i) {
        uint8_t width = static_cast<uint8_t>(r.Word() & 0xFF);  // width, height
        r.Word();                                               // colour count, reserved
        r.Word();                                               // planes
        uint16_t bits = r.Word();
        r.Dword();  // bytes in the image
        uint16_t id = r.Word();
        images.push_back({width, bits});
        // The image itself: a DIB whose header agrees with the directory.
        ResourceBytes icon = FindEnglish(module, RT_ICON, id);
        ASSERT_GE(icon.size, sizeof(BITMAPINFOHEADER)) << "image " << id;
        BITMAPINFOHEADER header;
        std::memcpy(&header, icon.data, sizeof(header));
        EXPECT_EQ(header.biWidth, width);
        EXPECT_EQ(header.biHeight, 2 * width) << "image and mask";
        EXPECT_EQ(header.biBitCount, bits);
        ExpectIconPixels(icon, header, id);
    }
    std::vector<IconImage> expected = {{16, 4}, {32, 4}};
    EXPECT_EQ(images, expected);
}

void ExpectManifest(HMODULE module, const std::string& architecture) {
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr) << "no manifest (type 24, id 1)";
    auto text = static_cast<const char*>(LockResource(LoadResource(module, found)));
    std::string manifest(text, SizeofResource(module, found));
    const std::string arch = "processorArchitecture=\"" + architecture + "\"";
    const std::string kParts[] = {
        "<assemblyIdentity version=\"1.0.0.0\" " + arch + " name=\"UninstallProgram\" type=\"win32\"/>",
        "<description>Uninstall Program</description>",
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
        arch + " publicKeyToken=\"6595b64144ccf1df\" language=\"*\"/>",
        "<dependency>",
        "<dependentAssembly>",
        "<compatibility xmlns=\"urn:schemas-microsoft-com:compatibility.v1\">",
        "<supportedOS Id=\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"/>",
        "<requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"/>",
    };
    for (const std::string& part : kParts) EXPECT_NE(manifest.find(part), std::string::npos) << part;
    size_t named = 0;
    for (size_t at = manifest.find("processorArchitecture="); at != std::string::npos;
         at = manifest.find("processorArchitecture=", at + 1)) {
        ++named;
    }
    EXPECT_EQ(named, 2u) << "the program's and the common controls' architecture, nothing else";
    EXPECT_EQ(manifest.find("supportedOS", manifest.find("supportedOS") + 1), std::string::npos)
        << "exactly one supported system";
}

// The architecture a stub's manifest must name: the one of its PE image (x86 or x86-64).
std::string ManifestArchitecture(HMODULE datafile) {
    // A module loaded as a data file comes back with its low bits set: the image starts below them.
    auto image = reinterpret_cast<const uint8_t*>(reinterpret_cast<ULONG_PTR>(datafile) & ~ULONG_PTR(3));
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
    switch (nt->FileHeader.Machine) {
        case IMAGE_FILE_MACHINE_I386:
            return "X86";
        case IMAGE_FILE_MACHINE_AMD64:
            return "amd64";
    }
    return "?";
}

TEST(StubResources, TemplatesIconAndManifestAreAsBuilt) {
    std::vector<std::string> stubs = e2e::StubPaths();
    ASSERT_FALSE(stubs.empty()) << "UNINST_STUB is not set";
    for (const std::string& path : stubs) {
        SCOPED_TRACE(path);
        HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr) << "error " << GetLastError();
        ExpectDialog(module, kQuestionDialog);
        ExpectDialog(module, kProgressDialog);
        ExpectIconGroup(module);
        ExpectManifest(module, ManifestArchitecture(module));
        FreeLibrary(module);
    }
}

}  // namespace
