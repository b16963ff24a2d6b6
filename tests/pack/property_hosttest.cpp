// The packer's property over random manifests (see random_manifest.h): every manifest it accepts
// loads in the uninstaller, and build -> dump -> build gives the same block.
#include <gtest/gtest.h>
#include <random>

#include "random_manifest.h"

namespace {

TEST(PackerProperty, EveryAcceptedManifestLoadsAndSurvivesDumpAndBuild) {
    std::mt19937 random(20240611);
    pack_testing::Choose choose = [&random](uint32_t bound) {
        return std::uniform_int_distribution<uint32_t>(0, bound - 1)(random);
    };
    int accepted = 0;
    int refused = 0;
    for (int i = 0; i < 1500; ++i) {
        std::string json = pack_testing::RandomManifest(choose).Json();
        bool parsed = false;
        std::string broken = pack_testing::CheckBuildDumpBuild(json, &parsed);
        ASSERT_EQ(broken, "") << json;
        ++(parsed ? accepted : refused);
    }
    // Both kinds occur often enough for the property to say something.
    EXPECT_GT(accepted, 150);
    EXPECT_GT(refused, 150);
}

}  // namespace
