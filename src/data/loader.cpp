#include "data/loader.h"

#include <string.h>

#include "common/memory.h"

using namespace format;

namespace {

// A body whose contents run past its length is malformed; the loader reports it as it reports a
// header that cannot be read.
constexpr int kOverrun = kLoadErrorHeader;

// Walks one list body that was read whole into memory. Texts are terminated in place: each text
// moves down over its own two count bytes and the byte after it becomes its NUL, so no text is
// copied anywhere else and no field that follows is touched.
class BodyCursor {
  public:
    BodyCursor(uint8_t* body, uint32_t length) : body_(body), length_(length) {}

    uint32_t Left() const { return length_ - at_; }

    bool U8(uint32_t& value) {
        if (Left() < 1) return false;
        value = body_[at_++];
        return true;
    }
    bool U32(uint32_t& value) {
        if (Left() < 4) return false;
        value = ReadU32(body_ + at_);
        at_ += 4;
        return true;
    }
    // Takes a text (u16 count and bytes); adds its size with terminator to `room`, which may not
    // exceed `limit`: an entry whose texts do not fit the room the format gives it is malformed,
    // and cutting it would name a different file or key.
    int Text(char*& text, uint32_t& room, uint32_t limit) {
        if (Left() < 2) return kOverrun;
        uint32_t count = ReadU16(body_ + at_);
        room += count + 1;
        if (room > limit) return kLoadErrorMemory;
        if (Left() - 2 < count) return kOverrun;
        uint8_t* place = body_ + at_;
        memmove(place, place + 2, count);
        place[count] = 0;
        text = reinterpret_cast<char*>(place);
        at_ += 2 + count;
        return kLoadOk;
    }

    // A file entry needs no moves: the folder's NUL goes where the name's count was, and the name's
    // where the flags were, each read before it is overwritten.
    int FileFields(FileEntry& entry) {
        if (Left() < 2) return kOverrun;
        uint32_t folderCount = ReadU16(body_ + at_);
        if (folderCount + 1 > kFileEntryTextLimit) return kLoadErrorMemory;
        if (Left() - 2 < folderCount || Left() - 2 - folderCount < 2) return kOverrun;
        uint8_t* folder = body_ + at_ + 2;
        uint32_t nameCount = ReadU16(folder + folderCount);
        if (folderCount + 1 + nameCount + 1 > kFileEntryTextLimit) return kLoadErrorMemory;
        if (Left() - 4 - folderCount < nameCount + 1) return kOverrun;
        uint8_t* name = folder + folderCount + 2;
        entry.flags = name[nameCount];
        folder[folderCount] = 0;
        name[nameCount] = 0;
        entry.folder = reinterpret_cast<char*>(folder);
        entry.fileName = reinterpret_cast<char*>(name);
        at_ += 4 + folderCount + nameCount + 1;
        return kLoadOk;
    }

  private:
    uint8_t* body_;
    uint32_t length_;
    uint32_t at_ = 0;
};

int ReadEntry(BodyCursor& cursor, FileEntry& entry) {
    return cursor.FileFields(entry);
}

int ReadEntry(BodyCursor& cursor, ShortcutEntry& entry) {
    uint32_t room = 0;
    if (!cursor.U8(entry.levelCount)) return kOverrun;
    if (int error = cursor.Text(entry.folder, room, kShortcutEntryTextLimit)) return error;
    if (int error = cursor.Text(entry.secondFolder, room, kShortcutEntryTextLimit)) return error;
    return cursor.Text(entry.fileName, room, kShortcutEntryTextLimit);
}

int ReadEntry(BodyCursor& cursor, RegistryEntry& entry) {
    uint32_t room = 0;
    if (!cursor.U32(entry.rootKey)) return kOverrun;
    return cursor.Text(entry.keyPath, room, kRegistryEntryTextLimit);
}

// Hands `block` over to a list's blocks, which are freed with its entries; on failure `block` still
// owns it.
bool KeepBlock(void**& blocks, uint32_t& blockCount, UniqueBlock<uint8_t>& block) {
    size_t bytes = 0;
    if (!ArrayBytes(uint64_t{blockCount} + 1, sizeof(void*), bytes)) return false;
    if (!GrowBlock(bytes, blocks)) return false;
    blocks[blockCount++] = block.release();
    return true;
}

// What the one list reader needs to know of a list's entry type. The item array is typed by the
// entry, so the reader reaches it only through `growItems` and `appendItem`.
struct ListKind {
    uint32_t entrySize;
    int (*readEntry)(BodyCursor& cursor, void* entry);
    bool (*growItems)(void* list, uint32_t more);  // room for `more` items after the counted ones
    void (*appendItem)(void* list, void* entry);   // counts the entry
};

template <class Entry>
struct ListOf {
    static int Read(BodyCursor& cursor, void* entry) {
        return ReadEntry(cursor, *static_cast<Entry*>(entry));
    }
    static bool Grow(void* list, uint32_t more) {
        auto& typed = *static_cast<EntryList<Entry>*>(list);
        size_t bytes = 0;
        return ArrayBytes(uint64_t{typed.count} + more, sizeof(Entry*), bytes) &&
               GrowBlock(bytes, typed.items);
    }
    static void Append(void* list, void* entry) {
        auto& typed = *static_cast<EntryList<Entry>*>(list);
        typed.items[typed.count++] = static_cast<Entry*>(entry);
    }
    static constexpr ListKind kKind = {sizeof(Entry), Read, Grow, Append};
};

// The three lists share one scheme: a u32 entry count, then entries of at least `minEntrySize`
// body bytes each. `list` is the EntryList that `blocks` and `blockCount` belong to.
int ReadList(UniqueBlock<uint8_t>& body, uint32_t length, const ListKind& kind, uint32_t minEntrySize,
             void* list, void**& blocks, uint32_t& blockCount) {
    BodyCursor cursor(body.get(), length);
    uint32_t n = 0;
    if (!cursor.U32(n)) return kOverrun;
    if (n == 0) return kLoadOk;
    // A count the body cannot hold is refused before anything is allocated for it.
    if (static_cast<uint64_t>(n) * minEntrySize > cursor.Left()) return kLoadErrorMemory;
    size_t entryBytes = 0;
    if (!ArrayBytes(n, kind.entrySize, entryBytes)) return kLoadErrorMemory;
    // Not zeroed: every entry is filled before the list counts it.
    UniqueBlock<uint8_t> entryBlock;
    if (!AllocBlock(entryBytes, entryBlock)) return kLoadErrorMemory;
    uint8_t* entries = entryBlock.get();
    if (!KeepBlock(blocks, blockCount, entryBlock) || !KeepBlock(blocks, blockCount, body))
        return kLoadErrorMemory;
    if (!kind.growItems(list, n)) return kLoadErrorMemory;
    for (uint32_t i = 0; i < n; ++i) {
        void* entry = entries + static_cast<size_t>(i) * kind.entrySize;
        if (int error = kind.readEntry(cursor, entry)) return error;
        kind.appendItem(list, entry);
    }
    return kLoadOk;
}

template <class Entry>
int ReadList(UniqueBlock<uint8_t>& body, uint32_t length, EntryList<Entry>& list, uint32_t minEntrySize) {
    return ReadList(body, length, ListOf<Entry>::kKind, minEntrySize, &list, list.blocks, list.blockCount);
}

void SwapMessageTables(UninstallData& a, UninstallData& b) {
    char** messages = a.messages;
    uint32_t count = a.messageCount;
    a.messages = b.messages;
    a.messageCount = b.messageCount;
    b.messages = messages;
    b.messageCount = count;
}

// Only the first table is read; a table of no texts leaves the message table as it was.
int ReadStringTables(const uint8_t* body, uint32_t length, UninstallData& data) {
    uint32_t at = 0;
    auto u16 = [&](uint32_t& value) {
        if (length - at < 2) return false;
        value = ReadU16(body + at);
        at += 2;
        return true;
    };
    uint32_t tableCount = 0;
    uint32_t n = 0;
    if (!u16(tableCount)) return kOverrun;
    if (tableCount == 0) return kLoadOk;
    if (!u16(n)) return kOverrun;
    if (n == 0) return kLoadOk;
    if (static_cast<uint64_t>(n) * 2 > length - at) return kOverrun;
    // The new table in an UninstallData of its own: freed whole if a text fails.
    UninstallData read;
    if (!AllocZeroed((n + 1) * sizeof(char*), read.messages)) return kLoadErrorMemory;
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t count = 0;
        if (!u16(count) || length - at < count) return kOverrun;
        if (!AllocZeroed(count + 1, read.messages[i])) return kLoadErrorMemory;
        read.messageCount = i + 1;
        memcpy(read.messages[i], body + at, count);
        at += count;
    }
    // A later table replaces the earlier one.
    SwapMessageTables(read, data);
    return kLoadOk;
}

// Reads a string-table or list body whole, with one read, and parses it in memory.
int ReadListRecord(FileHandle file, const RecordHeader& header, uint64_t fileLeft, UninstallData& data) {
    // A body cut short by the end of the file fails as a header that cannot be read.
    if (header.length > fileLeft) return kLoadErrorHeader;
    UniqueBlock<uint8_t> body;  // freed here unless a list takes it
    if (!AllocBlock(header.length, body)) return kLoadErrorMemory;
    int error = kLoadOk;
    if (ReadExact(file, body.get(), header.length) != 0) {
        error = kLoadErrorHeader;
    } else {
        switch (header.tag) {
            case kStringTablesRecord:
                error = ReadStringTables(body.get(), header.length, data);
                break;
            case kFileListRecord:
            case kView64FileListRecord:
                error = ReadList(body, header.length, data.files, kMinFileEntrySize);
                break;
            case kShortcutListRecord:
                error = ReadList(body, header.length, data.shortcuts, kMinShortcutEntrySize);
                break;
            default:
                error = ReadList(body, header.length, data.registry, kMinRegistryEntrySize);
                break;
        }
    }
    return error;
}

// The length of a pattern list up to and including its ending empty text, or 0 when the body has
// none: a list that is not ended inside its body would be walked past it.
uint32_t PatternListLength(const uint8_t* body, uint32_t size) {
    uint32_t i = 0;
    while (i < size) {
        if (body[i] == 0) return i + 1;  // the empty text
        while (i < size && body[i] != 0) ++i;
        if (i == size) return 0;  // an unterminated fragment
        ++i;
    }
    return 0;
}

int ReadPatternRecord(FileHandle file, const RecordHeader& header, UninstallData& data) {
    UniqueBlock<uint8_t> body;
    uint32_t size = 0;
    if (int error = ReadRecordBody(file, header, body, &size)) return error;
    uint32_t length = PatternListLength(body.get(), size);
    if (length == 0) return kLoadErrorBody;
    if (!data.patterns) {
        data.patterns = reinterpret_cast<char*>(body.release());
        data.patternSize = length;
        return kLoadOk;
    }
    // The stored list ends with its empty text; the new patterns replace that final NUL.
    uint64_t grown = static_cast<uint64_t>(data.patternSize) - 1 + length;
    if (grown > 0xFFFFFFFFu || !GrowBlock(static_cast<size_t>(grown), data.patterns)) return kLoadErrorMemory;
    memcpy(data.patterns + data.patternSize - 1, body.get(), length);
    data.patternSize = static_cast<uint32_t>(grown);
    return kLoadOk;
}

// An offset names a text when it lies inside the body and a NUL ends the text before the body does.
bool IsTextOffsetValid(const uint8_t* body, uint32_t size, uint32_t offset) {
    if (offset == 0) return true;
    if (offset >= size) return false;
    for (uint32_t i = offset; i < size; ++i) {
        if (body[i] == 0) return true;
    }
    return false;
}

int ReadSettingsRecord(FileHandle file, const RecordHeader& header, UninstallData& data) {
    FreeBlock(data.settings);  // a later settings record replaces the earlier one whole
    data.settingsSize = 0;
    UniqueBlock<uint8_t> body;
    uint32_t size = 0;
    if (int error = ReadRecordBody(file, header, body, &size)) return error;
    const uint8_t* read = body.get();
    bool valid = size >= kSettingsHeaderSize && IsTextOffsetValid(read, size, ReadU32(read + 4)) &&
                 IsTextOffsetValid(read, size, ReadU32(read + 8));
    if (!valid) return kLoadErrorBody;
    data.settings = body.release();
    data.settingsSize = size;
    return kLoadOk;
}

}  // namespace

int ReadRecordBody(FileHandle file, const RecordHeader& header, UniqueBlock<uint8_t>& block, uint32_t* size) {
    if (size) *size = header.length;
    block.reset();
    if (header.flags & kRecordFlagRefuseBody) return kLoadErrorBody;
    // A body longer than the rest of the file can never be read: refuse it before allocating.
    uint64_t fileSize = 0;
    if (!GetFileSize64(file, fileSize)) return kLoadErrorBody;
    uint64_t here = FilePosition(file);
    if (here > fileSize || header.length > fileSize - here) return kLoadErrorBody;
    if (!AllocBlock(header.length, block)) return kLoadErrorBodyMemory;
    if (ReadExact(file, block.get(), header.length) != 0) {
        block.reset();
        return kLoadErrorBody;
    }
    return kLoadOk;
}

int LoadRecords(FileHandle file, uint32_t dataOffset, UninstallData& data, LoadFailure* failure,
                uint64_t* blockEnd) {
    uint64_t fileSize = 0;
    uint32_t position = dataOffset;
    uint16_t tag = 0;
    int error = kLoadOk;
    if (!GetFileSize64(file, fileSize) || dataOffset > kMaxFilePosition ||
        SeekTo(file, dataOffset) != dataOffset) {
        error = kLoadErrorHeader;
    }
    while (error == kLoadOk) {
        uint8_t bytes[kRecordHeaderSize];
        tag = 0;
        if (ReadExact(file, bytes, kRecordHeaderSize) != 0) {
            error = kLoadErrorHeader;
            break;
        }
        RecordHeader header{ReadU16(bytes), bytes[2], ReadU32(bytes + 4)};
        tag = header.tag;
        uint64_t bodyStart = static_cast<uint64_t>(position) + kRecordHeaderSize;
        if (header.length != 0) {
            // Header positions only ever increase and stay in the first 2 GiB.
            uint64_t next = bodyStart + header.length;
            if (next > kMaxFilePosition) {
                error = kLoadErrorHeader;
                break;
            }
            uint64_t fileLeft = fileSize > bodyStart ? fileSize - bodyStart : 0;
            switch (header.tag) {
                case kStringTablesRecord:
                case kFileListRecord:
                case kView64FileListRecord:
                case kShortcutListRecord:
                case kRegistryListRecord:
                    error = ReadListRecord(file, header, fileLeft, data);
                    break;
                case kCleanupPatternsRecord:
                    error = ReadPatternRecord(file, header, data);
                    break;
                case kSettingsRecord:
                    error = ReadSettingsRecord(file, header, data);
                    break;
                default:
                    break;  // skipped, unknown and end records read nothing
            }
            if (error) break;
            if (header.tag == kEndRecord) {
                if (blockEnd) *blockEnd = next;
                break;
            }
            if (SeekTo(file, static_cast<uint32_t>(next)) != next) {
                error = kLoadErrorHeader;
                break;
            }
            position = static_cast<uint32_t>(next);
        } else {
            if (header.tag == kEndRecord) {
                if (blockEnd) *blockEnd = bodyStart;
                break;
            }
            position = static_cast<uint32_t>(bodyStart);
        }
    }
    if (error && failure) *failure = {position, tag};
    return error;
}

const char* LoadErrorName(int code) {
    switch (code) {
        case kLoadOk:
            return "LoadOk";
        case kLoadErrorBody:
            return "LoadErrorBody";
        case kLoadErrorBodyMemory:
            return "LoadErrorBodyMemory";
        case kLoadErrorMemory:
            return "LoadErrorMemory";
        case kLoadErrorHeader:
            return "LoadErrorHeader";
        default:
            return "LoadErrorUnknown";
    }
}
