#include "paradox/pxwrite.h"

extern "C" {
#include <paradox.h>
}

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace fm::pxwrite {
namespace {

constexpr int kMaxColumns = 255;
constexpr int kMaxNameLength = 25;
// Largest record the writer accepts: several records must fit in one of the
// data blocks pxlib lays out.
constexpr int kMaxRecordSize = 2000;

struct WriteState {
    std::string errors;
};

void onError(pxdoc_t *, int level, const char *msg, void *data)
{
    if (level == PX_Warning || !data) return;
    auto *state = static_cast<WriteState *>(data);
    if (!state->errors.empty()) state->errors += "; ";
    state->errors += msg ? msg : "unknown error";
}
void *onAlloc(pxdoc_t *, size_t size, const char *) { return std::malloc(size ? size : 1); }
void *onRealloc(pxdoc_t *, void *mem, size_t size, const char *) { return std::realloc(mem, size ? size : 1); }
void onFree(pxdoc_t *, void *mem) { std::free(mem); }

void bootOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { PX_boot(); });
}

void check(const std::vector<AlphaColumn> &columns, const std::vector<std::vector<std::string>> &rows)
{
    if (columns.empty() || columns.size() > static_cast<size_t>(kMaxColumns))
        throw std::runtime_error("a table needs 1 to 255 columns");
    int recordSize = 0;
    for (const auto &c : columns) {
        if (c.name.empty() || c.name.size() > static_cast<size_t>(kMaxNameLength)
            || c.name.find('\0') != std::string::npos)
            throw std::runtime_error("invalid column name '" + c.name + "'");
        if (c.width < 1 || c.width > 255)
            throw std::runtime_error("column '" + c.name + "' needs a width of 1 to 255");
        recordSize += c.width;
    }
    if (recordSize > kMaxRecordSize)
        throw std::runtime_error("the record is wider than " + std::to_string(kMaxRecordSize) + " bytes");
    for (size_t r = 0; r < rows.size(); ++r) {
        const auto &row = rows[r];
        if (row.size() != columns.size())
            throw std::runtime_error("row " + std::to_string(r + 1) + " has " + std::to_string(row.size())
                                     + " values for " + std::to_string(columns.size()) + " columns");
        for (size_t i = 0; i < row.size(); ++i) {
            if (row[i].size() > static_cast<size_t>(columns[i].width))
                throw std::runtime_error("row " + std::to_string(r + 1) + ": the value of '" + columns[i].name
                                         + "' is longer than " + std::to_string(columns[i].width) + " bytes");
            if (row[i].find('\0') != std::string::npos)
                throw std::runtime_error("row " + std::to_string(r + 1) + ": the value of '" + columns[i].name
                                         + "' holds a zero byte");
        }
    }
}

} // namespace

void WriteAlphaTable(const std::string &path, const std::string &tableName,
                     const std::vector<AlphaColumn> &columns,
                     const std::vector<std::vector<std::string>> &rows)
{
    check(columns, rows);
    bootOnce();

    WriteState state;
    pxdoc_t *doc = PX_new3(onError, onAlloc, onRealloc, onFree, &state);
    if (!doc) throw std::runtime_error("cannot start a Paradox document");
    std::unique_ptr<pxdoc_t, void (*)(pxdoc_t *)> docGuard(doc, [](pxdoc_t *d) { PX_delete(d); });

    FILE *fp = std::fopen(path.c_str(), "w+b");
    if (!fp) throw std::runtime_error("cannot create " + path + ": " + std::strerror(errno));

    // pxlib takes over the field array and the names and frees them with the
    // document.
    auto *fields = static_cast<pxfield_t *>(doc->malloc(doc, columns.size() * sizeof(pxfield_t), "fields"));
    int recordSize = 0;
    for (size_t i = 0; i < columns.size(); ++i) {
        fields[i].px_fname = PX_strdup(doc, columns[i].name.c_str());
        fields[i].px_ftype = pxfAlpha;
        fields[i].px_flen = columns[i].width;
        fields[i].px_fdc = 0;
        recordSize += columns[i].width;
    }
    bool failed = PX_create_fp(doc, fields, static_cast<int>(columns.size()), fp, pxfFileTypNonIndexDB) < 0;
    if (!failed) {
        PX_set_value(doc, "codepage", 949);
        PX_set_parameter(doc, "tablename", tableName.c_str());
        std::vector<char> record(static_cast<size_t>(recordSize));
        for (const auto &row : rows) {
            std::fill(record.begin(), record.end(), 0);
            char *at = record.data();
            for (size_t i = 0; i < row.size(); ++i) {
                std::memcpy(at, row[i].data(), row[i].size());
                at += columns[i].width;
            }
            if (PX_put_record(doc, record.data()) < 0) {
                failed = true;
                break;
            }
        }
        PX_close(doc);
    }
    const bool writeError = std::ferror(fp) != 0;
    const bool closeError = std::fclose(fp) != 0;
    if (failed || writeError || closeError) {
        std::remove(path.c_str());
        throw std::runtime_error("cannot write the table " + path
                                 + (state.errors.empty() ? std::string() : ": " + state.errors));
    }
}

} // namespace fm::pxwrite
