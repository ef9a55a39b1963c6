#include "platform/paradoxread.h"

#include "common/errors.h"

extern "C" {
#include <paradox.h>
}

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace fm::paradox {
namespace {

// Layout of the fixed part of a Paradox table header (little-endian).
constexpr size_t kFixedHeader = 0x58;      // the header of every version
constexpr size_t kFieldInfoV3 = 0x58;      // field list before version 4.0
constexpr size_t kFieldInfoV4 = 0x78;      // field list from version 4.0 on
constexpr size_t kTableNameV3 = 79;        // stored table name before 7.0
constexpr size_t kTableNameV7 = 261;       // stored table name from 7.0 on
constexpr size_t kBlockHeader = 6;         // next, previous, offset of the last record
constexpr int kMaxFields = 255;
constexpr uint32_t kNoKeyHere = 0xFF00FF00;

[[noreturn]] void fail(const std::string &label, const std::string &detail)
{
    throw DatabaseError("Corrupt table/index header.\nTable: " + label + "\n" + detail);
}

unsigned u8(const std::vector<unsigned char> &h, size_t at) { return h[at]; }
unsigned u16(const std::vector<unsigned char> &h, size_t at) { return h[at] | (h[at + 1] << 8); }
uint32_t u32(const std::vector<unsigned char> &h, size_t at)
{
    return uint32_t(h[at]) | (uint32_t(h[at + 1]) << 8) | (uint32_t(h[at + 2]) << 16) | (uint32_t(h[at + 3]) << 24);
}

bool readAt(int fd, void *buf, size_t size, off_t at)
{
    auto *p = static_cast<char *>(buf);
    while (size > 0) {
        ssize_t n = ::pread(fd, p, size, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
        at += n;
    }
    return true;
}

// The width a field of a fixed-size type must have; 0 when any width is
// allowed.
int fixedWidth(int type)
{
    switch (type) {
    case pxfLogical: return 1;
    case pxfShort: return 2;
    case pxfLong:
    case pxfDate:
    case pxfTime:
    case pxfAutoInc: return 4;
    case pxfNumber:
    case pxfCurrency:
    case pxfTimestamp: return 8;
    default: return 0;
    }
}

bool knownType(int type)
{
    switch (type) {
    case pxfAlpha: case pxfDate: case pxfShort: case pxfLong: case pxfCurrency:
    case pxfNumber: case pxfLogical: case pxfMemoBLOb: case pxfBLOb: case pxfFmtMemoBLOb:
    case pxfOLE: case pxfGraphic: case pxfTime: case pxfTimestamp: case pxfAutoInc:
    case pxfBCD: case pxfBytes:
        return true;
    default:
        return false;
    }
}

struct Layout {
    int recordSize = 0;
    int numFields = 0;
    int numRecords = 0;
    std::vector<Column> columns;
};

// Checks the header and the chain of data blocks against the file; pxlib
// believes what the header says, so nothing it reads may lie outside the
// file or outside reason.
Layout validate(int fd, off_t fileSize, const std::string &label)
{
    if (fileSize == 0) fail(label, "The file is empty.");
    if (fileSize < static_cast<off_t>(kFixedHeader)) fail(label, "The file is too short for a table header.");

    std::vector<unsigned char> h(kFixedHeader);
    if (!readAt(fd, h.data(), h.size(), 0)) fail(label, "The table header cannot be read.");

    Layout l;
    l.recordSize = static_cast<int>(u16(h, 0x00));
    const size_t headerSize = u16(h, 0x02);
    const unsigned fileType = u8(h, 0x04);
    const unsigned maxTableSize = u8(h, 0x05);
    const uint32_t numRecords = u32(h, 0x06);
    const unsigned fileBlocks = u16(h, 0x0C);
    const unsigned firstBlock = u16(h, 0x0E);
    l.numFields = static_cast<int>(u16(h, 0x21));
    const unsigned version = u8(h, 0x39);

    if (fileType != pxfFileTypIndexDB && fileType != pxfFileTypNonIndexDB)
        fail(label, "The file is not a Paradox table (file type " + std::to_string(fileType) + ").");
    if (version < 3 || version > 12)
        fail(label, "The file is not a Paradox table (version " + std::to_string(version) + ").");
    if (headerSize < kFixedHeader) fail(label, "The header size " + std::to_string(headerSize) + " is impossible.");
    if (static_cast<off_t>(headerSize) > fileSize) fail(label, "The file is shorter than its header.");
    if (l.recordSize < 1) fail(label, "The record size is zero.");
    if (maxTableSize < 1 || maxTableSize > 32)
        fail(label, "The block size code " + std::to_string(maxTableSize) + " is impossible.");
    if (l.numFields < 1 || l.numFields > kMaxFields)
        fail(label, "The field count " + std::to_string(l.numFields) + " is impossible.");
    if (numRecords > 0x7FFFFFFFu) fail(label, "The record count is impossible.");
    l.numRecords = static_cast<int>(numRecords);

    // The field list, the name pointers, the stored table name and the field
    // names must all lie inside the header.
    h.resize(headerSize);
    if (!readAt(fd, h.data(), headerSize, 0)) fail(label, "The table header cannot be read.");
    const size_t fieldInfo = version >= 5 ? kFieldInfoV4 : kFieldInfoV3;
    const size_t nf = static_cast<size_t>(l.numFields);
    size_t names = fieldInfo + nf * 2 + 4 + nf * 4 + (version >= 12 ? kTableNameV7 : kTableNameV3);
    if (names >= headerSize) fail(label, "The field list does not fit in the header.");
    // Tables from version 4.0 on mark "no key here" in the first key field
    // and keep the key in the second. A password-protected table cannot be
    // read without its password, which nobody here can give.
    const uint32_t key1 = u32(h, 0x25);
    const uint32_t key = key1 == kNoKeyHere ? u32(h, 0x5C) : key1;
    if (key != 0) fail(label, "The table is password-protected.");
    int sum = 0;
    for (size_t i = 0; i < nf; ++i) {
        Column c;
        c.type = static_cast<int>(u8(h, fieldInfo + 2 * i));
        c.width = static_cast<int>(u8(h, fieldInfo + 2 * i + 1));
        if (!knownType(c.type) || c.width < 1 || (fixedWidth(c.type) && fixedWidth(c.type) != c.width))
            fail(label, "Field " + std::to_string(i + 1) + " has an impossible type or width.");
        sum += c.width;
        const void *end = std::memchr(h.data() + names, 0, headerSize - names);
        if (!end) fail(label, "The field names run past the header.");
        const size_t len = static_cast<size_t>(static_cast<const unsigned char *>(end) - (h.data() + names));
        c.name.assign(reinterpret_cast<const char *>(h.data() + names), len);
        names += len + 1;
        if (names > headerSize) fail(label, "The field names run past the header.");
        l.columns.push_back(std::move(c));
    }
    if (sum != l.recordSize) fail(label, "The field widths do not add up to the record size.");

    // Data blocks: all that the header counts must be in the file, and the
    // chain from the first block must visit each at most once and hold
    // exactly the records the header counts.
    const size_t blockSize = maxTableSize * 0x400u;
    const size_t capacity = (blockSize - kBlockHeader) / static_cast<size_t>(l.recordSize);
    if (capacity < 1) fail(label, "A record is larger than a data block.");
    const uint64_t available = static_cast<uint64_t>(fileSize - static_cast<off_t>(headerSize)) / blockSize;
    if (fileBlocks > available) fail(label, "The file is shorter than its data blocks.");

    uint64_t counted = 0;
    std::vector<bool> seen(fileBlocks + 1u, false);
    for (unsigned block = firstBlock; block != 0;) {
        if (block > fileBlocks) fail(label, "The chain of data blocks leaves the file.");
        if (seen[block]) fail(label, "The chain of data blocks runs in a circle.");
        seen[block] = true;
        unsigned char bh[kBlockHeader];
        const off_t at = static_cast<off_t>(headerSize) + static_cast<off_t>(block - 1) * static_cast<off_t>(blockSize);
        if (!readAt(fd, bh, sizeof bh, at)) fail(label, "A data block cannot be read.");
        const unsigned next = bh[0] | (bh[1] << 8);
        const int lastOffset = static_cast<int16_t>(bh[4] | (bh[5] << 8));
        if (lastOffset >= 0) {
            if (lastOffset % l.recordSize != 0 || static_cast<size_t>(lastOffset / l.recordSize) + 1 > capacity)
                fail(label, "Data block " + std::to_string(block) + " has an impossible record count.");
            counted += static_cast<uint64_t>(lastOffset / l.recordSize) + 1;
        }
        block = next;
    }
    if (counted != numRecords)
        fail(label, "The header counts " + std::to_string(numRecords) + " records, the data blocks hold "
                        + std::to_string(counted) + ".");
    return l;
}

struct ReadState {
    std::string errors;
};

void onError(pxdoc_t *, int level, const char *msg, void *data)
{
    if (level == PX_Warning || !data) return;
    auto *state = static_cast<ReadState *>(data);
    if (!state->errors.empty()) state->errors += "; ";
    state->errors += msg ? msg : "unknown error";
}
void *onAlloc(pxdoc_t *, size_t size, const char *) { return std::malloc(size ? size : 1); }
void *onRealloc(pxdoc_t *, void *mem, size_t size, const char *) { return std::realloc(mem, size ? size : 1); }
void onFree(pxdoc_t *, void *mem) { std::free(mem); }

Value decode(pxdoc_t *doc, const Column &c, char *data)
{
    Value v;
    switch (c.type) {
    case pxfAlpha: {
        char *s = nullptr;
        if (PX_get_data_alpha(doc, data, c.width, &s) > 0 && s) {
            v.kind = ValueKind::Text;
            v.text = s;
        }
        if (s) doc->free(doc, s);
        break;
    }
    case pxfShort: {
        short int s = 0;
        if (PX_get_data_short(doc, data, c.width, &s) > 0) {
            v.kind = ValueKind::Integer;
            v.integer = s;
        }
        break;
    }
    case pxfLong:
    case pxfAutoInc:
    case pxfDate:
    case pxfTime: {
        long l = 0;
        if (PX_get_data_long(doc, data, c.width, &l) > 0) {
            v.kind = ValueKind::Integer;
            v.integer = l;
        }
        break;
    }
    case pxfLogical: {
        char b = 0;
        if (PX_get_data_byte(doc, data, c.width, &b) > 0) {
            v.kind = ValueKind::Integer;
            v.integer = b ? 1 : 0;
        }
        break;
    }
    case pxfNumber:
    case pxfCurrency:
    case pxfTimestamp: {
        double d = 0;
        if (PX_get_data_double(doc, data, c.width, &d) > 0) {
            v.kind = ValueKind::Real;
            v.real = d;
        }
        break;
    }
    default:
        break; // memo, blob, graphic, BCD and byte fields read as null
    }
    return v;
}

} // namespace

bool StampOf(const std::string &path, FileStamp &stamp)
{
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.modified = st.st_mtim;
    return true;
}

Table ReadTable(const std::string &path, const std::string &label)
{
    static std::once_flag booted;
    std::call_once(booted, [] { PX_boot(); });

    std::unique_ptr<FILE, int (*)(FILE *)> fp(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!fp)
        throw DatabaseError("Cannot open the table.\nTable: " + label + "\n" + std::strerror(errno));
    const int fd = ::fileno(fp.get());
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        throw DatabaseError("Cannot open the table.\nTable: " + label + "\nIt is not a file.");

    Table table;
    table.stamp.device = st.st_dev;
    table.stamp.inode = st.st_ino;
    table.stamp.size = st.st_size;
    table.stamp.modified = st.st_mtim;

    const Layout layout = validate(fd, st.st_size, label);

    ReadState state;
    pxdoc_t *doc = PX_new3(onError, onAlloc, onRealloc, onFree, &state);
    if (!doc) throw DatabaseError("Cannot open the table.\nTable: " + label + "\nOut of memory.");
    struct DocCloser {
        bool opened = false;
        void operator()(pxdoc_t *d) const
        {
            if (opened) PX_close(d); // the file itself is closed by its owner
            PX_delete(d);
        }
    };
    std::unique_ptr<pxdoc_t, DocCloser> docGuard(doc);
    if (PX_open_fp(doc, fp.get()) < 0)
        fail(label, state.errors.empty() ? "pxlib cannot open the table." : state.errors);
    docGuard.get_deleter().opened = true;
    if (PX_get_num_fields(doc) != layout.numFields || PX_get_recordsize(doc) != layout.recordSize
        || PX_get_num_records(doc) != layout.numRecords)
        fail(label, "The table header cannot be read consistently.");

    table.columns = layout.columns;
    if (pxfield_t *fields = PX_get_fields(doc)) {
        for (int i = 0; i < layout.numFields; ++i)
            if (fields[i].px_fname) table.columns[static_cast<size_t>(i)].name = fields[i].px_fname;
    }

    std::vector<char> record(static_cast<size_t>(layout.recordSize));
    table.rows.reserve(static_cast<size_t>(layout.numRecords));
    for (int r = 0; r < layout.numRecords; ++r) {
        int deleted = 0;
        pxdatablockinfo_t info{};
        if (!PX_get_record2(doc, r, record.data(), &deleted, &info))
            fail(label, "Record " + std::to_string(r + 1) + " cannot be read"
                            + (state.errors.empty() ? std::string(".") : ": " + state.errors));
        std::vector<Value> row;
        row.reserve(table.columns.size());
        size_t offset = 0;
        for (const Column &c : table.columns) {
            row.push_back(decode(doc, c, record.data() + offset));
            offset += static_cast<size_t>(c.width);
        }
        table.rows.push_back(std::move(row));
    }
    return table;
}

} // namespace fm::paradox
