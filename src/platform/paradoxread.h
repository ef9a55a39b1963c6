#pragma once
// Reading a whole Paradox table (.DB) into memory for the database layer.
//
// The file's header is checked against the file itself before pxlib is
// trusted with it: a truncated file, a file that is not a Paradox table, or a
// header with impossible values (record and block sizes, field list, block
// chain, record count) fails with DatabaseError naming the table, without
// reading past the file or allocating more than the file holds.
#include <cstdint>
#include <ctime>
#include <string>
#include <sys/types.h>
#include <vector>

namespace fm::paradox {

enum class ValueKind { Null, Integer, Real, Text };

struct Value {
    ValueKind kind = ValueKind::Null;
    int64_t integer = 0;
    double real = 0;
    std::string text; // alpha fields: the bytes stored (CP949), cut at the first zero byte
};

struct Column {
    std::string name; // as stored in the header
    int type = 0;     // Paradox field type code (pxfAlpha, pxfShort, ...)
    int width = 0;    // bytes in the record
};

// What identifies the file version a table was read from.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    timespec modified{};
    bool operator==(const FileStamp &o) const
    {
        return device == o.device && inode == o.inode && size == o.size
            && modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
    }
};

struct Table {
    std::vector<Column> columns;
    std::vector<std::vector<Value>> rows; // each row has columns.size() values
    FileStamp stamp;                      // of the file as it was read
};

// Reads the table at `path`. `label` names the table in error messages
// (the name the statement used, e.g. "DSBBRslt.DB"). Throws DatabaseError.
Table ReadTable(const std::string &path, const std::string &label);

// The stamp of the file at `path`; false when it cannot be examined.
bool StampOf(const std::string &path, FileStamp &stamp);

} // namespace fm::paradox
