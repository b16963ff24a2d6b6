// Test support: writes bytes to a throwaway file and loads them with the real loader.
//
// Usage:
//   LoadedBlock loaded(format::EncodeBlock(block));      // freed at the end of the scope
//   EXPECT_EQ(loaded.outcome.code, format::kLoadOk);
//   TempFile file(Hex("34 12 00 00")); file.path();
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/loader.h"
#include "data/uninstall_data.h"
#include "format/block_writer.h"

namespace testing_support {

// A file in the temporary folder, removed when the object goes.
class TempFile {
  public:
    explicit TempFile(const std::vector<uint8_t>& bytes);
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// Loads `bytes` as a file whose block starts at `offset` (after `offset` bytes of padding the
// helper puts in front). Frees nothing: what it read stays in `data`, which frees it when it goes.
struct LoadOutcome {
    int code;
    LoadFailure failure;
    uint64_t blockEnd;  // after a load: just past the end record
};
LoadOutcome LoadBytes(const std::vector<uint8_t>& block, UninstallData& data, uint32_t padding = 16);

// Parses "34 12 00 00 ..." into bytes.
std::vector<uint8_t> Hex(const std::string& text);

// Concatenates byte strings.
std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts);

// Loads and frees on scope exit.
struct LoadedBlock {
    UninstallData data{};
    LoadOutcome outcome{};
    explicit LoadedBlock(const std::vector<uint8_t>& block) { outcome = LoadBytes(block, data); }
    LoadedBlock(const LoadedBlock&) = delete;
    LoadedBlock& operator=(const LoadedBlock&) = delete;
};

}  // namespace testing_support
