#include "support/failing_blocks.h"

#include <string>

#include "support/block_file.h"

namespace testing_support {

using namespace format;

const std::vector<FailingBlock>& FailingBlocks() {
    static const std::vector<FailingBlock> blocks = [] {
        const Bytes kEnd = EncodeEnd();
        Bytes bigFolder =
            Join({Hex("35 12 00 00 09 00 01 00 01 00 00 00 FF FF"), Bytes(65535, 'A'), Hex("01 00 78 00")});
        return std::vector<FailingBlock>{
            {"no block at all", {}, kLoadErrorHeader},
            {"no end record", EncodeFileList({{"a", "b", 0}}), kLoadErrorHeader},
            {"header cut short", Hex("35 12 00"), kLoadErrorHeader},
            {"settings refused by flag bit 0", Join({EncodeRecord(kSettingsRecord, Bytes(12, 0), 1), kEnd}),
             kLoadErrorBody},
            {"patterns refused by flag bit 0",
             Join({EncodeRecord(kCleanupPatternsRecord, Hex("61 00 00"), 3), kEnd}), kLoadErrorBody},
            {"settings body cut by the end of the file", Hex("3A 12 00 00 40 00 00 00 00 00 00 00"),
             kLoadErrorBody},
            {"list body cut by the end of the file", Hex("35 12 00 00 40 00 00 00 01 00 00 00"),
             kLoadErrorHeader},
            {"table body cut by the end of the file", Hex("34 12 00 00 40 00 00 00 01 00 05 00"),
             kLoadErrorHeader},
            // Lengths that would wrap the next header's position, or reach past 2 GiB.
            {"length wraps onto the same header", Hex("00 20 00 00 F8 FF FF FF"), kLoadErrorHeader},
            {"registry record whose length wraps", Hex("37 12 00 00 F8 FF FF FF 00 00 00 00"),
             kLoadErrorHeader},
            {"skipped body beyond 2 GiB",
             Join({Hex("38 12 00 00 00 00 00 90"), EncodeFileList({{"a", "b", 0}}), kEnd}), kLoadErrorHeader},
            // Counts the body cannot hold, and counts that would wrap the pointer array.
            {"count 0x40000005", Join({Hex("35 12 00 00 04 00 00 00 05 00 00 40"), kEnd}), kLoadErrorMemory},
            {"count that wraps the list's size",
             Join({Hex("35 12 00 00 0A 00 00 00 01 00 00 00 00 00 01 00 78 00"),
                   Hex("35 12 00 00 04 00 00 00 FF FF FF FF"), kEnd}),
             kLoadErrorMemory},
            // Entries whose texts overflow the room the format gives them.
            {"folder of 65535 bytes", Join({bigFolder, kEnd}), kLoadErrorMemory},
            {"folder and name of 300 bytes each",
             Join({EncodeFileList({{std::string(300, 'f'), std::string(300, 'n'), 0}}), kEnd}),
             kLoadErrorMemory},
            {"registry path of 600 bytes",
             Join({EncodeRegistryList({{0x80000001u, std::string(600, 'k')}}), kEnd}), kLoadErrorMemory},
            {"three shortcut texts of 400 bytes",
             Join({EncodeShortcutList(
                       {{1, std::string(400, 'a'), std::string(400, 'b'), std::string(400, 'c')}}),
                   kEnd}),
             kLoadErrorMemory},
            // Entries that run past their body's length into the next record.
            {"entries past the body's end",
             Join({Hex("35 12 00 00 09 00 00 00 01 00 00 00 02 00 2E 5C 05 00 61 2E 64 6C 6C 01"), kEnd}),
             kLoadErrorHeader},
            {"string table past the body's end",
             Join({Hex("34 12 00 00 06 00 00 00 01 00 01 00 05 00 41 41 41 41 41"), kEnd}), kLoadErrorHeader},
            // Pattern lists that do not end inside their body.
            {"pattern without any NUL", Join({Hex("39 12 00 00 05 00 00 00 2A 2E 7A 7A 7A"), kEnd}),
             kLoadErrorBody},
            {"pattern list with a single NUL", Join({Hex("39 12 00 00 02 00 00 00 61 00"), kEnd}),
             kLoadErrorBody},
            {"two pattern records that would glue into C:\\Users\\*.*",
             Join({Hex("39 12 00 00 0A 00 00 00 43 3A 5C 55 73 65 72 73 5C 00"),
                   Hex("39 12 00 00 05 00 00 00 2A 2E 2A 00 00"), kEnd}),
             kLoadErrorBody},
            // Settings bodies that are short, or whose offsets do not name a text inside them.
            {"settings body of 4 bytes", Join({Hex("3A 12 00 00 04 00 00 00 01 00 00 00"), kEnd}),
             kLoadErrorBody},
            {"settings offsets outside the body",
             Join({Hex("3A 12 00 00 0C 00 00 00 00 00 00 00 F0 FF FF 7F FF FF FF FF"), kEnd}),
             kLoadErrorBody},
            {"settings command without a NUL",
             Join({Hex("3A 12 00 00 11 00 00 00 01 00 00 00 0C 00 00 00 00 00 00 00 75 2E 65 78 65"), kEnd}),
             kLoadErrorBody},
            {"settings document offset at the body's end",
             Join({Hex("3A 12 00 00 0C 00 00 00 00 00 00 00 00 00 00 00 0C 00 00 00"), kEnd}),
             kLoadErrorBody},
        };
    }();
    return blocks;
}

}  // namespace testing_support
