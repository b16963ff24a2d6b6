// The data block loader: walks the records from the data offset to the end record, handing each
// body to its reader. Portable: the uninstaller runs it on its own file, the packer on any file.
#pragma once

#include <stdint.h>

#include "common/file_io.h"
#include "common/memory.h"
#include "data/uninstall_data.h"
#include "format/layout.h"

struct RecordHeader {
    uint16_t tag;
    uint8_t flags;
    uint32_t length;
};

// Where a failed load stopped.
struct LoadFailure {
    uint32_t recordOffset;  // file offset of the header of the record that failed
    uint16_t tag;           // its tag, 0 when its header could not be read
};

// Reads the block at `dataOffset` of `file` into `data`. Returns 0 or a load error code; on error
// `failure` (when given) tells which record failed, and `data` holds what was read before it. On
// success `blockEnd` (when given) receives the file offset just past the end record and its body:
// the loader never reads what follows.
[[nodiscard]] int LoadRecords(FileHandle file, uint32_t dataOffset, UninstallData& data,
                              LoadFailure* failure = nullptr, uint64_t* blockEnd = nullptr);

// Reads a raw body of `header.length` bytes into a new block owned by `block`. Returns 0,
// kLoadErrorBody (refused, short, or longer than what the file holds; `block` is then empty) or
// kLoadErrorBodyMemory.
[[nodiscard]] int ReadRecordBody(FileHandle file, const RecordHeader& header, UniqueBlock<uint8_t>& block,
                                 uint32_t* size = nullptr);

// The name of a load error code, for tools.
const char* LoadErrorName(int code);
