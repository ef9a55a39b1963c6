#pragma once
// Writes Paradox tables whose columns are all alpha fields. Used to make the
// result-code table for the demo and the tables of the test fixtures.
#include <string>
#include <vector>

namespace fm::pxwrite {

struct AlphaColumn {
    std::string name; // field name as stored in the table header
    int width;        // field width in bytes, 1..255
};

// Writes `path` (replacing any file of that name) as a Paradox table with the
// given columns and rows. Values are stored as the bytes given (CP949 text;
// the table's code page is set to 949); an empty value is stored as a null
// field. Throws std::runtime_error when a row has the wrong number of values,
// a value is longer than its column or holds a zero byte, or the file cannot
// be written.
void WriteAlphaTable(const std::string &path, const std::string &tableName,
                     const std::vector<AlphaColumn> &columns,
                     const std::vector<std::vector<std::string>> &rows);

} // namespace fm::pxwrite
