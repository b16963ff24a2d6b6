// Writes the fuzzer's seed corpus into the folder given: the byte examples of the data block
// format, the hostile blocks the loader must refuse, and whole blocks made by the format library,
// one of them with bodies larger than the loader's 64 KiB read window; and, when a second path is
// given, a stub image there for the packer to build on.
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "format/block_writer.h"
#include "support/fake_stub.h"
#include "support/font_file.h"

using namespace format;

namespace {

Bytes Hex(const std::string& text) {
    Bytes out;
    std::istringstream in(text);
    std::string byte;
    while (in >> byte) out.push_back(static_cast<uint8_t>(std::stoul(byte, nullptr, 16)));
    return out;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

bool Write(const std::string& folder, const std::string& name, const Bytes& bytes) {
    std::string path = folder + "/" + name;
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        fprintf(stderr, "usage: make_seeds FOLDER [STUB]\n");
        return 2;
    }
    const std::string folder = argv[1];
    const Bytes end = EncodeEnd();
    std::vector<std::pair<std::string, Bytes>> seeds = {
        {"string-table-example",
         Hex("34 12 00 00 09 00 00 00 01 00 02 00 01 00 41 00 00 7F 7F 00 00 00 00 00 00")},
        {"file-record-example",
         Join({Hex("35 12 00 00 10 00 00 00 01 00 00 00 02 00 2E 5C 05 00 61 2E 64 6C 6C 01"), end})},
        {"file-record-bin", Join({EncodeFileList({{".\\Bin", "app.dll", kFileMustBeFree}}), end})},
        {"settings-example",
         Join({Hex("3A 12 00 00 12 00 00 00 01 00 00 00 0C 00 00 00 00 00 00 00 75 2E 65 78 65 00"), end})},
        {"patterns-spliced",
         Join({Hex("39 12 00 00 03 00 00 00 61 00 00"), Hex("39 12 00 00 03 00 00 00 62 00 00"), end})},
        {"end-with-body", Hex("7F 7F 00 00 04 00 00 00 01 02 03 04")},
        {"skipped-record", Join({Hex("38 12 00 00 0A 00 00 00"), Bytes(10, 0x35), end})},
        {"length-wraps", Hex("00 20 00 00 F8 FF FF FF")},
        {"count-overflow", Join({Hex("35 12 00 00 04 00 00 00 05 00 00 40"), end})},
        {"count-wraps-list", Join({Hex("35 12 00 00 0A 00 00 00 01 00 00 00 00 00 01 00 78 00"),
                                   Hex("35 12 00 00 04 00 00 00 FF FF FF FF"), end})},
        {"pattern-no-nul", Join({Hex("39 12 00 00 05 00 00 00 2A 2E 7A 7A 7A"), end})},
        {"pattern-glue", Join({Hex("39 12 00 00 0A 00 00 00 43 3A 5C 55 73 65 72 73 5C 00"),
                               Hex("39 12 00 00 05 00 00 00 2A 2E 2A 00 00"), end})},
        {"settings-short", Join({Hex("3A 12 00 00 04 00 00 00 01 00 00 00"), end})},
        {"settings-offsets-outside",
         Join({Hex("3A 12 00 00 0C 00 00 00 00 00 00 00 F0 FF FF 7F FF FF FF FF"), end})},
        {"registry-roots", Join({Hex("37 12 00 00 0B 00 00 00 01 00 00 00 00 00 00 80 01 00 5C"), end})},
    };

    Block block;
    block.messages = {"Uninstall", "Remove %s?", "Done.", "&Yes", "Yes to &All", "&No", "No to A&ll"};
    block.files = {{".\\Bin", "", 0},
                   {".\\Bin", "core.dll", kFileShared | kFileSelfRegister},
                   {"C:\\Fonts", "demo.ttf", kFileFont},
                   {".\\", "app.exe", kFileMustBeFree}};
    block.shortcuts = {{1, "C:\\Menu\\Vendor\\App", "C:\\Desktop", "App.lnk"}};
    block.registry = {{0x80000001u, "Software\\Vendor\\App"}, {0x80000002u, "Software\\Run\\\\App"}};
    block.patterns = {"*.log", "#TempDir#\\app*.tmp"};
    block.settings = SettingsSpec{kSettingsWaitForRun, "\"setup.exe\" /remove", "https://example.com/"};
    seeds.emplace_back("full-block", EncodeBlock(block));
    // A small PE image with the .uninst section, as `uninstpack dump` finds the field in it.
    const Bytes stub = testing_support::FakeStubImage();
    if (auto image = AttachBlock(stub, EncodeBlock(block), nullptr)) seeds.emplace_back("full-image", *image);

    Block big;
    for (int i = 0; i < 300; ++i)
        big.files.push_back({".\\Data\\" + std::to_string(i % 50), "file" + std::to_string(i) + ".dat", 0});
    big.messages = {std::string(30000, 'm'), std::string(40000, 'n')};
    seeds.emplace_back("bodies-over-64k", EncodeBlock(big));

    // Font files for the font-name reader, from the tests' font writer.
    using testing_support::FontLayout;
    seeds.emplace_back("font-simple", testing_support::SimpleFont("Uninst Sans"));
    seeds.emplace_back("font-opentype", testing_support::SimpleFont("Uninst Sans Bold", true));
    FontLayout several;
    several.names = {testing_support::MacName(4, "First"), testing_support::WindowsName(4, "Wide"),
                     testing_support::MacName(1, "Family"), testing_support::MacName(4, "Last")};
    several.tablesBeforeName = 12;
    seeds.emplace_back("font-several-names", testing_support::WriteFont(several));
    FontLayout lying = several;
    lying.names[3].length = 5000;
    lying.storageOffset = 0xFFF0;
    seeds.emplace_back("font-lying-lengths", testing_support::WriteFont(lying));

    // The stub the packer's own outputs are built on (see run-fuzz.sh).
    if (argc == 3) {
        std::string path = argv[2];
        size_t cut = path.rfind('/');
        if (!Write(cut == std::string::npos ? "." : path.substr(0, cut), path.substr(cut + 1), stub)) {
            fprintf(stderr, "make_seeds: cannot write %s\n", argv[2]);
            return 1;
        }
    }
    for (const auto& [name, bytes] : seeds) {
        if (!Write(folder, name, bytes)) {
            fprintf(stderr, "make_seeds: cannot write %s/%s\n", folder.c_str(), name.c_str());
            return 1;
        }
    }
    return 0;
}
