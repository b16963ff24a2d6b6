#include "data/loader.h"

#include "data/memory.h"

using namespace format;

namespace {

uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t GetU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void CopyBytes(void* dest, const void* source, uint32_t count) {
    auto* d = static_cast<uint8_t*>(dest);
    auto* s = static_cast<const uint8_t*>(source);
    for (uint32_t i = 0; i < count; ++i) d[i] = s[i];
}

// Reads one record body through a window of at most 64 KiB, never past the body's end: the body is
// read front to back in few large reads, and nothing of it is held longer than its entry needs.
// Any single text (at most 65,535 bytes) fits the window whole.
class BodyReader {
public:
    static constexpr uint32_t kWindowSize = 0x10000;

    BodyReader(FileHandle file, uint32_t length) : file_(file), unread_(length) {}
    ~BodyReader() { FreeBlock(window_); }
    BodyReader(const BodyReader&) = delete;
    BodyReader& operator=(const BodyReader&) = delete;

    bool Init() {
        capacity_ = unread_ < kWindowSize ? unread_ : kWindowSize;
        return AllocBlock(capacity_ ? capacity_ : 1, window_);
    }

    // Bytes of the body not yet consumed.
    uint32_t Left() const { return end_ - pos_ + unread_; }

    // Makes the next `count` bytes available at Peek(); false when the body ends before them or
    // the file cannot deliver them.
    bool Need(uint32_t count) {
        if (end_ - pos_ >= count) return true;
        if (count > Left() || count > capacity_) return false;
        uint32_t kept = end_ - pos_;
        CopyBytes(window_, window_ + pos_, kept);  // moves down; the ranges may overlap upwards only
        pos_ = 0;
        end_ = kept;
        uint32_t room = capacity_ - kept;
        uint32_t take = unread_ < room ? unread_ : room;
        if (ReadExact(file_, window_ + end_, take) != 0) {
            readFailed_ = true;
            return false;
        }
        end_ += take;
        unread_ -= take;
        return true;
    }

    const uint8_t* Peek() const { return window_ + pos_; }
    void Skip(uint32_t count) { pos_ += count; }
    bool ReadFailed() const { return readFailed_; }

private:
    FileHandle file_;
    uint32_t unread_;
    uint8_t* window_ = nullptr;
    uint32_t capacity_ = 0;
    uint32_t pos_ = 0;
    uint32_t end_ = 0;
    bool readFailed_ = false;
};

// A body whose contents run past its length, or that the file cannot deliver, is malformed; the
// loader reports it as it reports a header that cannot be read.
int Overrun() { return kLoadErrorHeader; }

// Texts of one entry, located in the reader's window relative to its current position.
struct EntryTexts {
    uint32_t offset[3];
    uint32_t count[3];
    uint32_t total;  // bytes of all texts with their terminators
};

// Locates a text (u16 count and bytes) at `at`; adds it to `texts` and advances `at`.
int LocateText(BodyReader& reader, uint32_t& at, EntryTexts& texts, int index, uint32_t limit) {
    if (!reader.Need(at + 2)) return Overrun();
    uint32_t count = GetU16(reader.Peek() + at);
    at += 2;
    texts.total += count + 1;
    // An entry whose texts do not fit the room the format gives them is malformed; cutting it
    // would name a different file or key.
    if (texts.total > limit) return kLoadErrorMemory;
    if (!reader.Need(at + count)) return Overrun();
    texts.offset[index] = at;
    texts.count[index] = count;
    at += count;
    return kLoadOk;
}

// Copies the located texts behind the entry's fixed fields and points `fields` at them.
void PlaceTexts(const BodyReader& reader, const EntryTexts& texts, int n, char* dest, char** fields[]) {
    for (int i = 0; i < n; ++i) {
        CopyBytes(dest, reader.Peek() + texts.offset[i], texts.count[i]);
        dest[texts.count[i]] = '\0';
        *fields[i] = dest;
        dest += texts.count[i] + 1;
    }
}

int ReadFileEntry(BodyReader& reader, FileEntry*& entry) {
    EntryTexts texts{};
    uint32_t at = 0;
    for (int i = 0; i < 2; ++i) {
        if (int error = LocateText(reader, at, texts, i, kFileEntryTextLimit)) return error;
    }
    if (!reader.Need(at + 1)) return Overrun();
    uint8_t flags = reader.Peek()[at];
    at += 1;
    if (!AllocZeroed(sizeof(FileEntry) + texts.total, entry)) return kLoadErrorMemory;
    entry->flags = flags;
    char** fields[] = {&entry->folder, &entry->fileName};
    PlaceTexts(reader, texts, 2, reinterpret_cast<char*>(entry + 1), fields);
    reader.Skip(at);
    return kLoadOk;
}

int ReadShortcutEntry(BodyReader& reader, ShortcutEntry*& entry) {
    EntryTexts texts{};
    if (!reader.Need(1)) return Overrun();
    uint32_t levelCount = reader.Peek()[0];
    uint32_t at = 1;
    for (int i = 0; i < 3; ++i) {
        if (int error = LocateText(reader, at, texts, i, kShortcutEntryTextLimit)) return error;
    }
    if (!AllocZeroed(sizeof(ShortcutEntry) + texts.total, entry)) return kLoadErrorMemory;
    entry->levelCount = levelCount;
    char** fields[] = {&entry->folder, &entry->secondFolder, &entry->fileName};
    PlaceTexts(reader, texts, 3, reinterpret_cast<char*>(entry + 1), fields);
    reader.Skip(at);
    return kLoadOk;
}

int ReadRegistryEntry(BodyReader& reader, RegistryEntry*& entry) {
    EntryTexts texts{};
    if (!reader.Need(4)) return Overrun();
    uint32_t rootKey = GetU32(reader.Peek());
    uint32_t at = 4;
    if (int error = LocateText(reader, at, texts, 0, kRegistryEntryTextLimit)) return error;
    if (!AllocZeroed(sizeof(RegistryEntry) + texts.total, entry)) return kLoadErrorMemory;
    entry->rootKey = rootKey;
    char** fields[] = {&entry->keyPath};
    PlaceTexts(reader, texts, 1, reinterpret_cast<char*>(entry + 1), fields);
    reader.Skip(at);
    return kLoadOk;
}

// The three list readers share one scheme: a u32 entry count, then the entries.
template <class Entry>
int ReadList(BodyReader& reader, EntryList<Entry>& list, uint32_t minEntrySize,
             int (*readEntry)(BodyReader&, Entry*&)) {
    if (!reader.Need(4)) return Overrun();
    uint32_t n = GetU32(reader.Peek());
    reader.Skip(4);
    if (n == 0) return kLoadOk;
    // A count the body cannot hold is refused before anything is allocated for it.
    if (static_cast<uint64_t>(n) * minEntrySize > reader.Left()) return kLoadErrorMemory;
    uint64_t total = static_cast<uint64_t>(list.count) + n;
    uint64_t bytes = total * sizeof(Entry*);
    if (bytes > static_cast<size_t>(-1) || total > 0xFFFFFFFFu) return kLoadErrorMemory;
    if (!GrowBlock(static_cast<size_t>(bytes), list.items)) return kLoadErrorMemory;
    for (uint32_t i = 0; i < n; ++i) {
        Entry* entry = nullptr;
        if (int error = readEntry(reader, entry)) return reader.ReadFailed() ? Overrun() : error;
        list.items[list.count++] = entry;
    }
    return kLoadOk;
}

void FreeMessageTable(char**& table, uint32_t count) {
    if (!table) return;
    for (uint32_t i = 0; i < count; ++i) FreeBlock(table[i]);
    FreeBlock(table);
}

// Only the first table is read; a table of no texts leaves the message table as it was.
int ReadStringTables(BodyReader& reader, UninstallData& data) {
    if (!reader.Need(2)) return Overrun();
    uint32_t tableCount = GetU16(reader.Peek());
    reader.Skip(2);
    if (tableCount == 0) return kLoadOk;
    if (!reader.Need(2)) return Overrun();
    uint32_t n = GetU16(reader.Peek());
    reader.Skip(2);
    if (n == 0) return kLoadOk;
    if (static_cast<uint64_t>(n) * 2 > reader.Left()) return Overrun();
    char** table = nullptr;
    if (!AllocZeroed((n + 1) * sizeof(char*), table)) return kLoadErrorMemory;
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t count = 0;
        bool ok = reader.Need(2);
        if (ok) {
            count = GetU16(reader.Peek());
            reader.Skip(2);
            ok = reader.Need(count);
        }
        if (!ok) {
            FreeMessageTable(table, i);
            return Overrun();
        }
        if (!AllocZeroed(count + 1, table[i])) {
            FreeMessageTable(table, i);
            return kLoadErrorMemory;
        }
        CopyBytes(table[i], reader.Peek(), count);
        reader.Skip(count);
    }
    FreeMessageTable(data.messages, data.messageCount);  // a later table replaces the earlier one
    data.messages = table;
    data.messageCount = n;
    return kLoadOk;
}

int ReadListRecord(FileHandle file, const RecordHeader& header, uint64_t fileLeft, UninstallData& data) {
    // A body cut short by the end of the file fails as a header that cannot be read.
    if (header.length > fileLeft) return kLoadErrorHeader;
    BodyReader reader(file, header.length);
    if (!reader.Init()) return kLoadErrorMemory;
    switch (header.tag) {
        case kStringTablesRecord:
            return ReadStringTables(reader, data);
        case kFileListRecord:
            return ReadList(reader, data.files, kMinFileEntrySize, ReadFileEntry);
        case kShortcutListRecord:
            return ReadList(reader, data.shortcuts, kMinShortcutEntrySize, ReadShortcutEntry);
        default:
            return ReadList(reader, data.registry, kMinRegistryEntrySize, ReadRegistryEntry);
    }
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
    uint8_t* body = nullptr;
    uint32_t size = 0;
    if (int error = ReadRecordBody(file, header, body, &size)) return error;
    uint32_t length = PatternListLength(body, size);
    if (length == 0) {
        FreeBlock(body);
        return kLoadErrorBody;
    }
    if (!data.patterns) {
        data.patterns = reinterpret_cast<char*>(body);
        data.patternSize = length;
        return kLoadOk;
    }
    // The stored list ends with its empty text; the new patterns replace that final NUL.
    uint64_t grown = static_cast<uint64_t>(data.patternSize) - 1 + length;
    if (grown > 0xFFFFFFFFu || !GrowBlock(static_cast<size_t>(grown), data.patterns)) {
        FreeBlock(body);
        return kLoadErrorMemory;
    }
    CopyBytes(data.patterns + data.patternSize - 1, body, length);
    data.patternSize = static_cast<uint32_t>(grown);
    FreeBlock(body);
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
    uint8_t* body = nullptr;
    uint32_t size = 0;
    if (int error = ReadRecordBody(file, header, body, &size)) return error;
    bool valid = size >= kSettingsHeaderSize && IsTextOffsetValid(body, size, GetU32(body + 4)) &&
                 IsTextOffsetValid(body, size, GetU32(body + 8));
    if (!valid) {
        FreeBlock(body);
        return kLoadErrorBody;
    }
    data.settings = body;
    data.settingsSize = size;
    return kLoadOk;
}

}  // namespace

int ReadRecordBody(FileHandle file, const RecordHeader& header, uint8_t*& block, uint32_t* size) {
    if (size) *size = header.length;
    block = nullptr;
    if (header.flags & kRecordFlagRefuseBody) return kLoadErrorBody;
    // A body longer than the rest of the file can never be read: refuse it before allocating.
    uint64_t fileSize = 0;
    if (!GetFileSize64(file, fileSize)) return kLoadErrorBody;
    uint64_t here = FilePosition(file);
    if (here > fileSize || header.length > fileSize - here) return kLoadErrorBody;
    if (!AllocBlock(header.length, block)) return kLoadErrorBodyMemory;
    if (ReadExact(file, block, header.length) != 0) {
        FreeBlock(block);
        return kLoadErrorBody;
    }
    return kLoadOk;
}

int LoadRecords(FileHandle file, uint32_t dataOffset, UninstallData& data, LoadFailure* failure) {
    uint64_t fileSize = 0;
    uint32_t position = dataOffset;
    uint16_t tag = 0;
    int error = kLoadOk;
    if (!GetFileSize64(file, fileSize) || dataOffset > kMaxFilePosition || SeekTo(file, dataOffset) != dataOffset) {
        error = kLoadErrorHeader;
    }
    while (error == kLoadOk) {
        uint8_t bytes[kRecordHeaderSize];
        tag = 0;
        if (ReadExact(file, bytes, kRecordHeaderSize) != 0) {
            error = kLoadErrorHeader;
            break;
        }
        RecordHeader header{GetU16(bytes), bytes[2], GetU32(bytes + 4)};
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
            if (header.tag == kEndRecord) break;
            if (SeekTo(file, static_cast<uint32_t>(next)) != next) {
                error = kLoadErrorHeader;
                break;
            }
            position = static_cast<uint32_t>(next);
        } else {
            if (header.tag == kEndRecord) break;
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
