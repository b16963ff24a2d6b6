#include "support/block_file.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace testing_support {

namespace {
std::string TempName() {
    static std::atomic<int> counter{0};
#ifdef _WIN32
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    unsigned pid = GetCurrentProcessId();
#else
    const char* env = getenv("TMPDIR");
    std::string folder = std::string(env ? env : "/tmp") + "/";
    unsigned pid = static_cast<unsigned>(getpid());
#endif
    return std::string(folder) + "uninst-test-" + std::to_string(pid) + "-" + std::to_string(counter++) +
           ".bin";
}
}  // namespace

TempFile::TempFile(const std::vector<uint8_t>& bytes) : path_(TempName()) {
    FILE* f = fopen(path_.c_str(), "wb");
    if (f) {
        if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
    }
}

TempFile::~TempFile() {
    remove(path_.c_str());
}

LoadOutcome LoadBytes(const std::vector<uint8_t>& block, UninstallData& data, uint32_t padding) {
    std::vector<uint8_t> bytes(padding, 0xCC);
    bytes.insert(bytes.end(), block.begin(), block.end());
    TempFile file(bytes);
    LoadOutcome outcome{};
    FileHandle handle = OpenExisting(file.path().c_str(), kOpenRead);
    if (handle == kInvalidFile) {
        outcome.code = -1;
        return outcome;
    }
    outcome.code = LoadRecords(handle, padding, data, &outcome.failure, &outcome.blockEnd);
    CloseFile(handle);
    return outcome;
}

std::vector<uint8_t> Hex(const std::string& text) {
    std::vector<uint8_t> out;
    std::istringstream in(text);
    std::string byte;
    while (in >> byte) out.push_back(static_cast<uint8_t>(std::stoul(byte, nullptr, 16)));
    return out;
}

std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace testing_support
