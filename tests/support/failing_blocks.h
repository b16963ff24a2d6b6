// Blocks that fail to load, one per failure class, with the load error code each must report:
// the loader's tests check the codes, the end-to-end tests the uninstaller's exit and box.
//
// Usage:
//   for (const FailingBlock& f : FailingBlocks()) { LoadedBlock loaded(f.block); ... f.code ... }
#pragma once

#include <vector>

#include "format/block_writer.h"

namespace testing_support {

struct FailingBlock {
    const char* name;
    format::Bytes block;  // the bytes at the data offset
    int code;             // the load error it reports
};

const std::vector<FailingBlock>& FailingBlocks();

}  // namespace testing_support
