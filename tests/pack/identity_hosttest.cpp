// The copy's resources: the resource section written anew (the sections after it moved, the headers
// following), the execution level and the version resource the packer writes into it, and the
// stub left byte for byte as it is without them.
#include "pack/identity.h"

#include <gtest/gtest.h>

#include "format/resource_section.h"
#include "format/stub_image.h"
#include "pack_support.h"

using namespace pack;
using format::Bytes;

namespace {

constexpr size_t kOptional = 0x58;
constexpr size_t kDirectories = kOptional + 96;
constexpr size_t kSectionTable = testing_support::kFakeStubSectionTable;

uint32_t U32(const Bytes& image, size_t at) {
    return format::ReadU32(image.data() + at);
}

std::string Text(const Bytes& data) {
    return std::string(data.begin(), data.end());
}

const format::Resource* Find(const std::vector<format::Resource>& resources, uint16_t type) {
    for (const auto& r : resources)
        if (!r.type.named() && r.type.id == type) return &r;
    return nullptr;
}

// The layout every written image keeps: the field at the file's size, a right checksum, the
// relocations whole where the section table and data directory 5 say, the image size covering the
// last section.
void ExpectConsistentImage(const Bytes& image) {
    auto located = format::LocateDataOffsetField(image);
    ASSERT_TRUE(located);
    EXPECT_EQ(U32(image, located->field), image.size());
    EXPECT_EQ(located->imageEnd, image.size());
    EXPECT_EQ(U32(image, kOptional + 64), format::PeChecksum(image, kOptional + 64));
    size_t reloc = kSectionTable + 4 * 40;
    EXPECT_EQ(U32(image, kDirectories + 5 * 8), U32(image, reloc + 12)) << "directory 5 follows .reloc";
    uint32_t rawAt = U32(image, reloc + 20);
    ASSERT_LE(rawAt + sizeof testing_support::kFakeStubRelocations, image.size());
    EXPECT_TRUE(std::equal(std::begin(testing_support::kFakeStubRelocations),
                           std::end(testing_support::kFakeStubRelocations), image.begin() + rawAt));
    size_t rsrc = kSectionTable + 3 * 40;
    EXPECT_EQ(U32(image, rsrc + 12), 0x4000u) << "the resource section keeps its address";
    EXPECT_EQ(U32(image, kDirectories + 2 * 8 + 4), U32(image, rsrc + 8));
    EXPECT_EQ(U32(image, rsrc + 20) + U32(image, rsrc + 16), rawAt) << "the relocations follow at once";
    EXPECT_GE(U32(image, reloc + 12), U32(image, rsrc + 12) + U32(image, rsrc + 8));
    EXPECT_EQ(U32(image, reloc + 12) % 0x1000, 0u);
    EXPECT_EQ(U32(image, kOptional + 56), U32(image, reloc + 12) + 0x1000) << "SizeOfImage";
}

TEST(ResourceSection, ReadsTheStubsResourcesAndWritesThemBackWhateverTheirSize) {
    Bytes stub = pack_testing::FakeStubWithResources();
    auto resources = format::ReadResources(stub);
    ASSERT_TRUE(resources);
    ASSERT_EQ(resources->size(), 2u);
    const format::Resource* manifest = Find(*resources, format::kResourceTypeManifest);
    ASSERT_NE(manifest, nullptr);
    EXPECT_EQ(Text(manifest->data), testing_support::kFakeStubManifest);
    EXPECT_EQ(manifest->language, 1033);
    // As they are, shrunk, and grown past the next section boundary (the relocations then move
    // to another page).
    for (size_t extra : {size_t{0}, size_t{0x180}, size_t{0x1800}}) {
        SCOPED_TRACE(extra);
        std::vector<format::Resource> changed = *resources;
        format::Resource added;
        added.type.name = u"BLOB";
        added.name.id = 7;
        added.data.assign(extra, 0x5A);
        if (extra) changed.push_back(added);
        std::string why;
        auto image = format::ReplaceResources(stub, changed, &why);
        ASSERT_TRUE(image) << why;
        ExpectConsistentImage(*image);
        EXPECT_EQ(U32(*image, kSectionTable + 4 * 40 + 12), extra >= 0x1000 ? 0x6000u : 0x5000u);
        auto again = format::ReadResources(*image, &why);
        ASSERT_TRUE(again) << why;
        ASSERT_EQ(again->size(), changed.size());
        for (const auto& r : changed) {
            bool found = false;
            for (const auto& a : *again)
                found = found || (a.type == r.type && a.name == r.name && a.language == r.language &&
                                  a.data == r.data);
            EXPECT_TRUE(found) << "a resource did not read back";
        }
        // The sections before the resources are as they were, up to the field (stamped anew).
        EXPECT_TRUE(std::equal(stub.begin() + 0x200, stub.begin() + testing_support::kFakeStubField,
                               image->begin() + 0x200));
    }
}

TEST(ResourceSection, RefusesWhatItCannotRewriteSafely) {
    Bytes stub = pack_testing::FakeStubWithResources();
    auto resources = format::ReadResources(stub);
    ASSERT_TRUE(resources);
    struct Case {
        const char* what;
        void (*change)(Bytes&);
        const char* why;
    } cases[] = {
        {"signed", [](Bytes& b) { format::PutU32At(b, kDirectories + 4 * 8 + 4, 16); }, "signed"},
        {"bytes after the image", [](Bytes& b) { b.push_back(0); }, "bytes follow"},
        // Without its data directory the last section is no relocation table: code may refer to it.
        {"a section that is not the relocations after the resources",
         [](Bytes& b) { format::PutU32At(b, kDirectories + 5 * 8, 0); }, "other than the base relocations"},
        {"no resource directory", [](Bytes& b) { format::PutU32At(b, kDirectories + 2 * 8, 0); },
         "no resource section"},
    };
    for (const auto& c : cases) {
        Bytes changed = stub;
        c.change(changed);
        std::string why;
        EXPECT_FALSE(format::ReplaceResources(changed, *resources, &why)) << c.what;
        EXPECT_NE(why.find(c.why), std::string::npos) << c.what << ": " << why;
    }
}

TEST(ResourceSection, AHostileDirectoryIsRefusedNotFollowed) {
    Bytes stub = pack_testing::FakeStubWithResources();
    const size_t r = 0x800;
    struct Case {
        const char* what;
        size_t at;
        uint32_t value;
    } cases[] = {
        {"a subdirectory pointing back at the root", r + 0x30 + 4, 0x80000000u},
        {"a subdirectory past the section", r + 0x14, 0x8000FFF0u},
        {"a name past the section", r + 0x10, 0x8000FFF0u},
        {"data outside the section", r + 0x80, 0x1000},
        {"data longer than the section", r + 0x84, 0x10000},
        {"a count of entries past the section", r + 0x0C, 0xFFFF0000u},
    };
    for (const auto& c : cases) {
        Bytes changed = stub;
        format::PutU32At(changed, c.at, c.value);
        std::string why;
        EXPECT_FALSE(format::ReadResources(changed, &why)) << c.what;
        EXPECT_FALSE(why.empty()) << c.what;
    }
}

TEST(Identity, TheExecutionLevelIsWrittenAndReadBack) {
    Bytes stub = pack_testing::FakeStubWithResources();
    for (Elevation e : {Elevation::kAdministrator, Elevation::kUser, Elevation::kHighest}) {
        SCOPED_TRACE(ElevationName(e));
        std::string error;
        auto image = ApplyIdentity(stub, e, std::nullopt, "", error);
        ASSERT_TRUE(image) << error;
        ExpectConsistentImage(*image);
        auto resources = format::ReadResources(*image);
        ASSERT_TRUE(resources);
        std::string xml = Text(Find(*resources, format::kResourceTypeManifest)->data);
        EXPECT_NE(xml.find(std::string("level=\"") + ExecutionLevel(e) + "\" uiAccess"), std::string::npos)
            << xml;
        EXPECT_EQ(xml.find("level=\"requireAdministrator\""),
                  e == Elevation::kAdministrator ? xml.find("level=") : std::string::npos);
        EXPECT_EQ(Find(*resources, format::kResourceTypeVersion), nullptr);
        EXPECT_EQ(ReadIdentity(*image).elevation, e);
        ASSERT_TRUE(Find(*resources, 3));
        EXPECT_EQ(Find(*resources, 3)->data, Bytes(std::begin(testing_support::kFakeStubIcon),
                                                   std::end(testing_support::kFakeStubIcon)));
    }
    EXPECT_EQ(SetExecutionLevel("<requestedExecutionLevel level='asInvoker'/>", Elevation::kHighest),
              "<requestedExecutionLevel level='highestAvailable'/>");
    EXPECT_FALSE(SetExecutionLevel("<assembly/>", Elevation::kUser));
    EXPECT_FALSE(
        SetExecutionLevel("<requestedExecutionLevel uiAccess=\"false\"/> level=\"x\"", Elevation::kUser));
}

TEST(Identity, TheVersionResourceNamesTheProduct) {
    Bytes stub = pack_testing::FakeStubWithResources();
    ProductIdentity product{"Exämple App ☃", "2.1.0.17", "Example Co"};
    std::string error;
    auto image = ApplyIdentity(stub, Elevation::kUser, product, "Exämple App entfernen", error);
    ASSERT_TRUE(image) << error;
    ExpectConsistentImage(*image);
    auto resources = format::ReadResources(*image);
    ASSERT_TRUE(resources);
    const format::Resource* version = Find(*resources, format::kResourceTypeVersion);
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->name.id, 1);
    const Bytes& v = version->data;
    ASSERT_GE(v.size(), 92u);
    EXPECT_EQ(format::ReadU16(v.data()), v.size()) << "wLength";
    EXPECT_EQ(format::ReadU16(v.data() + 2), 52) << "VS_FIXEDFILEINFO follows";
    EXPECT_EQ(U32(v, 40), 0xFEEF04BDu);
    EXPECT_EQ(U32(v, 48), 0x00020001u) << "file version 2.1";
    EXPECT_EQ(U32(v, 52), 0x00000011u) << "file version .0.17";
    EXPECT_EQ(U32(v, 56), 0x00020001u) << "product version 2.1";
    ImageIdentity read = ReadIdentity(*image);
    ASSERT_TRUE(read.product);
    EXPECT_EQ(*read.product, product);
    EXPECT_EQ(read.elevation, Elevation::kUser);
    // The strings a reader of the resource looks for, in UTF-16.
    for (const char16_t* key : {u"FileDescription", u"ProductName", u"ProductVersion", u"CompanyName",
                                u"FileVersion", u"040904B0", u"Translation"}) {
        std::u16string k = key;
        Bytes wanted;
        for (char16_t c : k) {
            wanted.push_back(static_cast<uint8_t>(c));
            wanted.push_back(static_cast<uint8_t>(c >> 8));
        }
        EXPECT_NE(std::search(v.begin(), v.end(), wanted.begin(), wanted.end()), v.end()) << Utf8FromUtf16(k);
    }
    EXPECT_EQ(Utf8FromUtf16(Utf16FromUtf8("Exämple ☃ 𝄞")), "Exämple ☃ 𝄞");
    EXPECT_EQ(Utf16FromUtf8("𝄞").size(), 2u);
}

TEST(Identity, VersionsAreOneToFourNumbers) {
    struct Case {
        const char* text;
        bool valid;
    } cases[] = {{"1", true},      {"2.1", true},        {"2.1.0.17", true}, {"65535.0", true},
                 {"65536", false}, {"1.2.3.4.5", false}, {"1.", false},      {"", false},
                 {"v1", false},    {"1.2 beta", false}};
    for (const auto& c : cases) EXPECT_EQ(ParseFileVersion(c.text).has_value(), c.valid) << c.text;
}

}  // namespace
