// What the packer writes into the copy of the shipped i686 stub, run under Wine: a per-user
// uninstaller whose manifest asks for asInvoker starts and removes its installation; the version
// resource reads back through the system's own functions (GetFileVersionInfo, VerQueryValue); a
// German build of a manifest of several languages shows German texts only.
#include <windows.h>

#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "e2e/e2e_fixture.h"
#include "support/sandbox.h"
#include "support/unix_side.h"

namespace e2e_test {
namespace {

using testing_support::ItemsUnder;
using testing_support::UnixPath;

bool IsI386Image(const format::Bytes& image) {
    uint32_t at = 0;
    if (image.size() < 0x40) return false;
    std::memcpy(&at, image.data() + 0x3C, sizeof(at));
    if (at > image.size() - 6 || std::memcmp(image.data() + at, "PE\0\0", 4) != 0) return false;
    WORD machine = 0;
    std::memcpy(&machine, image.data() + at + 4, sizeof(machine));
    return machine == IMAGE_FILE_MACHINE_I386;
}

std::string ShippedStub() {
    for (const std::string& path : e2e::StubPaths()) {
        std::string error;
        std::optional<format::Bytes> image = e2e::ReadStub(&error, path);
        if (image && IsI386Image(*image)) return path;
    }
    return "";
}

// The source tree the test build was configured from, as Windows names it.
std::string SourceTree() {
    std::optional<std::string> cache =
        testing_support::ReadFileText(testing_support::BuildFolder() + "CMakeCache.txt");
    if (!cache) return "";
    const std::string key = "\nCMAKE_HOME_DIRECTORY:INTERNAL=";
    size_t at = cache->find(key);
    if (at == std::string::npos) return "";
    size_t end = cache->find_first_of("\r\n", at + key.size());
    std::string tree = cache->substr(at + key.size(), end - at - key.size());
    for (char& c : tree) c = c == '/' ? '\\' : c;
    return "Z:" + tree;
}

// A JSON string of a Windows path or key (backslashes doubled).
std::string Json(const std::string& text) {
    return nlohmann::json(text).dump();
}

// The resource's bytes in the file at `path`, loaded as data, as Windows reads it.
std::string ResourceText(const std::string& path, LPCSTR type, WORD id) {
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return "<cannot load " + path + ">";
    std::string text;
    if (HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), type)) {
        HGLOBAL loaded = LoadResource(module, found);
        const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
        if (bytes) text.assign(bytes, SizeofResource(module, found));
    }
    FreeLibrary(module);
    return text;
}

std::string VersionString(const std::vector<char>& info, const char* name) {
    char* value = nullptr;
    UINT length = 0;
    std::string query = std::string("\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) || !value)
        return "<none>";
    return std::string(value, strnlen(value, length));
}

class IdentitySerial : public E2eTest {
  protected:
    void SetUp() override {
        E2eTest::SetUp();
        stub_ = ShippedStub();
        if (stub_.empty()) GTEST_SKIP() << "the test build has no shipped i686 stub beside it";
        ASSERT_TRUE(work_.ok()) << work_.error();
    }

    // Builds `manifest` with the packer from the shipped stub (`options` after it) and puts the
    // uninstaller in place of `app`'s.
    void Pack(const e2e::Installation& app, const std::string& manifest, const std::string& options) {
        std::ofstream(work_.Path("app.json"), std::ios::binary) << manifest;
        std::string packer = UnixPath(testing_support::BuildFolder() + "..\\host\\uninstpack");
        std::string why;
        ASSERT_TRUE(testing_support::RunUnixShell("cd '" + UnixPath(work_.path()) + "' && '" + packer +
                                                      "' build app.json --stub '" + UnixPath(stub_) +
                                                      "' -o built.exe " + options + " >build.log 2>&1 && '" +
                                                      packer + "' dump built.exe >dump.json 2>>build.log",
                                                  &why))
            << why << "\n"
            << testing_support::ReadFileText(work_.Path("build.log")).value_or("");
        ASSERT_TRUE(CopyFileA(work_.Path("built.exe").c_str(), app.uninstaller().c_str(), FALSE));
    }

    std::string stub_;
    testing_support::Sandbox work_{"identity-packer"};
};

TEST_F(IdentitySerial, APerUserBuildAsksAsInvokerRunsAndNamesTheProduct) {
    e2e::Installation& app = NewInstallation();
    Pack(app,
         R"({"elevation": "user", "unattended": true,
             "product": {"name": "E2E Product", "version": "2.1.0.17", "publisher": "Example Co"},
             "messages": {"caption": "E2E Product Uninstall"},
             "files": [{"folder": ".\\Data"}, {"folder": ".\\Data", "name": "data.bin"},
                       {"folder": ".\\", "name": "app.txt"}],
             "registry": [{"root": "HKCU", "key": )" +
             Json(app.keyPath()) + "}]}",
         "");
    if (HasFatalFailure()) return;
    std::string manifest = ResourceText(app.uninstaller(), MAKEINTRESOURCEA(24), 1);
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos) << manifest;
    EXPECT_EQ(manifest.find("requireAdministrator"), std::string::npos) << manifest;

    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(app.uninstaller().c_str(), &handle);
    ASSERT_GT(size, 0u) << "no version resource: error " << GetLastError();
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(app.uninstaller().c_str(), 0, size, info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00020001u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000011u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00020001u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    struct Expected {
        const char* name;
        const char* value;
    } strings[] = {{"ProductName", "E2E Product"},
                   {"ProductVersion", "2.1.0.17"},
                   {"FileVersion", "2.1.0.17"},
                   {"CompanyName", "Example Co"},
                   {"FileDescription", "E2E Product Uninstall"}};
    for (const auto& s : strings) EXPECT_EQ(VersionString(info, s.name), s.value) << s.name;
    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 1200);

    // The uninstaller starts and removes what it lists, and nothing else.
    testing_support::Snapshot before = TakeSnapshot();
    e2e::RunResult run = Run(app, "/S", robot::AnswerInOrder({}));
    EXPECT_EQ(run.exitCode, 0) << run.Describe();
    const std::string appItem = app.folder().substr(sandbox_.root().size());
    std::set<std::string> removed = ItemsUnder(before, appItem);
    removed.erase(appItem);
    removed.erase(appItem + app.exeName());
    for (const auto& item : ItemsUnder(before, "HKCU:" + appItem)) removed.insert(item);
    removed.insert("HKCU:" + appItem);  // the key itself
    ExpectChanges(before, {.removed = removed});
}

TEST_F(IdentitySerial, AGermanBuildShowsGermanTextsOnly) {
    e2e::Installation& app = NewInstallation();
    // UTF-8 here; the uninstaller shows them in code page 1252, the prefix's.
    const std::string caption = "E2E App entfernen";
    const std::string confirm =
        "M\xC3\xB6"
        "chten Sie E2E App entfernen?";
    const std::string finished = "E2E App wurde gel\xC3\xB6scht.";
    Pack(app,
         R"({"language": ["de", "fr"], "unattended": true,
             "messages": {"caption": "E2E App Uninstall"},
             "messagesByLanguage": {
               "de": {"caption": )" +
             Json(caption) + R"(, "confirm": )" + Json(confirm) + R"(, "finished": )" + Json(finished) + R"(},
               "fr": {"caption": "D\u00e9sinstaller E2E App", "confirm": "Supprimer E2E App ?", "finished": "Fini."}},
             "files": [{"folder": ".\\Data"}, {"folder": ".\\Data", "name": "data.bin"},
                       {"folder": ".\\", "name": "app.txt"}],
             "registry": [{"root": "HKCU", "key": )" +
             Json(app.keyPath()) + "}]}",
         "--language de");
    if (HasFatalFailure()) return;
    // Every message of the block is German: the manifest's German texts, or the de table's.
    std::string tree = SourceTree();
    ASSERT_FALSE(tree.empty());
    nlohmann::json table = nlohmann::json::parse(
        testing_support::ReadFileText(tree + "\\src\\pack\\languages\\de.json").value_or("null"), nullptr,
        false);
    nlohmann::json dump = nlohmann::json::parse(
        testing_support::ReadFileText(work_.Path("dump.json")).value_or("null"), nullptr, false);
    ASSERT_TRUE(table.is_object() && dump.is_object()) << "de.json or the dump did not read";
    ASSERT_EQ(dump["messages"].size(), 16u);
    for (const auto& [key, text] : dump["messages"].items()) {
        std::string expected = key == "caption"    ? caption
                               : key == "confirm"  ? confirm
                               : key == "finished" ? finished
                                                   : table["messages"].value(key, std::string("<none>"));
        if (key == "readOnlyQuestion" || key == "sharedFileQuestion") expected = "";  // "unattended": true
        EXPECT_EQ(text.get<std::string>(), expected) << key;
    }
    // The run shows them: every window's caption, the confirmation and the closing message.
    e2e::RunResult run = Run(app, "", robot::AnswerInOrder({robot::Click(IDOK), robot::Click(IDOK)}));
    EXPECT_EQ(run.exitCode, 0) << run.Describe();
    std::vector<robot::SeenWindow> boxes = run.MessageBoxes();
    ASSERT_EQ(boxes.size(), 2u) << run.Describe();
    EXPECT_EQ(boxes[0].text,
              "M\xF6"
              "chten Sie E2E App entfernen?");
    EXPECT_EQ(boxes[1].text,
              "E2E App wurde gel\xF6"
              "scht.");
    for (const robot::SeenWindow& w : run.windows) {
        if (w.className == "#32770") EXPECT_EQ(w.caption, caption) << run.Describe();
    }
    ExpectSelfDeleted(run, app);
}

}  // namespace
}  // namespace e2e_test
