// Loading a large block: the loader's time against one plain read of the same bytes, and its peak
// memory against what the entries themselves take (counted where the memory helpers count: the host
// build). Shared by the host program and the Windows one that runs under Wine.
#pragma once
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "common/memory.h"
#include "data/loader.h"
#include "format/block_writer.h"
#include "support/block_file.h"

namespace {

using Clock = std::chrono::steady_clock;

double Best(int runs, const auto& work) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        auto start = Clock::now();
        work();
        double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (ms < best) best = ms;
    }
    return best;
}

}  // namespace

inline int RunLoadBench(const char* platform) {
    format::Block block;
    block.messages = std::vector<std::string>(16, "A message text of moderate length");
    size_t textBytes = 0;
    for (int i = 0; i < 100000; ++i) {
        format::FileSpec f{".\\Data\\Sub" + std::to_string(i % 100), "file" + std::to_string(i) + ".dat", 0};
        textBytes += f.folder.size() + 1 + f.name.size() + 1;
        block.files.push_back(f);
    }
    for (int i = 0; i < 10000; ++i) {
        format::RegistrySpec r{0x80000001u, "Software\\Example Co\\Uninst Demo\\Key" + std::to_string(i)};
        textBytes += r.keyPath.size() + 1;
        block.registry.push_back(r);
    }
    std::vector<uint8_t> bytes = format::EncodeBlock(block);
    testing_support::TempFile file(bytes);
    const char* path = file.path().c_str();

    // The plain read puts the bytes into fresh memory, as the loader must; reading into memory that
    // is already mapped is printed too, as the floor.
    auto plainRead = [&](uint8_t* into) {
        FileHandle f = OpenExisting(path, kOpenRead);
        if (ReadExact(f, into, static_cast<uint32_t>(bytes.size())) != 0) std::puts("read failed");
        CloseFile(f);
    };
    double readMs = Best(30, [&] {
        uint8_t* fresh = nullptr;
        if (!AllocBlock(bytes.size(), fresh)) return;
        plainRead(fresh);
        FreeBlock(fresh);
    });
    std::vector<uint8_t> warm(bytes.size());
    double warmReadMs = Best(30, [&] { plainRead(warm.data()); });

    size_t peak = 0;
    int code = 0;
    double loadMs = Best(30, [&] {
        UninstallData data{};
        ResetMemoryPeak();
        size_t before = GetMemoryStats().live;
        FileHandle f = OpenExisting(path, kOpenRead);
        code = LoadRecords(f, 0, data);
        CloseFile(f);
        peak = GetMemoryStats().peak - before;
        FreeUninstallData(data);
    });

    size_t pointers = (block.files.size() + block.registry.size()) * sizeof(void*);
    size_t fixed = block.files.size() * sizeof(FileEntry) + block.registry.size() * sizeof(RegistryEntry);
    size_t reference = textBytes + pointers;
    double timeRatio = loadMs / readMs;
    double memoryRatio = static_cast<double>(peak) / reference;
    std::printf("[%s] block: %zu bytes, %zu file entries, %zu registry entries (load result %d)\n", platform,
                bytes.size(), block.files.size(), block.registry.size(), code);
    std::printf("plain read into fresh memory:       %8.3f ms   (into memory already mapped: %.3f ms)\n",
                readMs, warmReadMs);
    std::printf("LoadRecords (open, load, close):    %8.3f ms   ratio %.2fx (limit 3x) %s\n", loadMs,
                timeRatio, timeRatio <= 3.0 ? "ok" : "OVER");
    std::printf("entries' texts %zu + pointers %zu = %zu bytes (fixed fields add %zu)\n", textBytes, pointers,
                reference, fixed);
    if (peak != 0) {
        std::printf("peak heap of the load (usable sizes): %zu bytes   ratio %.2fx (limit 2x) %s\n", peak,
                    memoryRatio, memoryRatio <= 2.0 ? "ok" : "OVER");
    }
    return code == 0 ? 0 : 1;
}
