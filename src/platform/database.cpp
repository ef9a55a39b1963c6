#include "platform/database.h"

#include "common/errors.h"
#include "platform/paradoxread.h"
#include "platform/paths.h"

#include <dirent.h>
#include <set>
#include <sqlite3.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

// How it works: each connection is an in-memory SQLite database. A Paradox
// table named in a statement ("DSBBRslt.DB") is read whole with pxlib and
// copied into an attached in-memory schema named after the file's base name,
// as its table "DB"; so "DSBBRslt.DB" in the statement is simply schema.table
// and the statement runs as written. A table is read on first use and again
// whenever its file changes; prepared statements are kept by their text.

namespace fm {
namespace {

constexpr size_t kMaxCachedStatements = 64;

std::string lower(std::string s)
{
    for (char &c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool iequals(const std::string &a, const std::string &b)
{
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string quoted(const std::string &ident)
{
    std::string out = "\"";
    for (char c : ident) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + "\"";
}

bool identStart(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c >= 0x80; }
bool identChar(unsigned char c) { return identStart(c) || (c >= '0' && c <= '9') || c == '$'; }

std::string joinLines(const std::vector<std::string> &lines)
{
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i) out += '\n';
        out += lines[i];
    }
    return out;
}

bool blank(const std::string &s)
{
    for (unsigned char c : s)
        if (c > ' ') return false;
    return true;
}

// What a statement refers to: its named parameters and its Paradox tables.
struct Parsed {
    std::vector<std::string> params; // names without ':', first spelling, no repeats
    std::vector<std::string> tables; // base names of "<name>.DB", first spelling, no repeats
};

void addUnique(std::vector<std::string> &list, const std::string &name)
{
    for (const auto &n : list)
        if (iequals(n, name)) return;
    list.push_back(name);
}

Parsed parseStatement(const std::string &sql)
{
    Parsed p;
    const size_t n = sql.size();
    auto at = [&](size_t i) -> unsigned char { return i < n ? static_cast<unsigned char>(sql[i]) : 0; };
    auto identEnd = [&](size_t i) {
        while (i < n && identChar(at(i))) ++i;
        return i;
    };
    size_t i = 0;
    while (i < n) {
        const unsigned char c = at(i);
        if (c == '\'' || c == '"' || c == '`' || c == '[') {
            const char close = c == '[' ? ']' : static_cast<char>(c);
            size_t j = i + 1;
            while (j < n) {
                if (sql[j] == close) {
                    if (close != ']' && at(j + 1) == static_cast<unsigned char>(close)) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            i = j + 1;
        } else if (c == '-' && at(i + 1) == '-') {
            size_t j = sql.find('\n', i);
            i = j == std::string::npos ? n : j + 1;
        } else if (c == '/' && at(i + 1) == '*') {
            size_t j = sql.find("*/", i + 2);
            i = j == std::string::npos ? n : j + 2;
        } else if (c == ':' && identChar(at(i + 1))) {
            const size_t j = identEnd(i + 1);
            addUnique(p.params, sql.substr(i + 1, j - i - 1));
            i = j;
        } else if (identStart(c)) {
            const size_t j = identEnd(i);
            const bool qualified = i > 0 && sql[i - 1] == '.';
            if (!qualified && at(j) == '.' && identStart(at(j + 1))) {
                const size_t k = identEnd(j + 1);
                if (iequals(sql.substr(j + 1, k - j - 1), "DB")) {
                    addUnique(p.tables, sql.substr(i, j - i));
                    i = k;
                    continue;
                }
            }
            i = j;
        } else if (c >= '0' && c <= '9') {
            size_t j = i;
            while (j < n && (identChar(at(j)) || at(j) == '.')) ++j;
            i = j;
        } else {
            ++i;
        }
    }
    return p;
}

[[noreturn]] void sqlFailure(sqlite3 *db, const std::string &what)
{
    throw DatabaseError(what + "\n" + (db ? sqlite3_errmsg(db) : "out of memory"));
}

} // namespace

// A query's tie to its connection: the connection closes its queries when it
// closes and marks them orphaned when it goes away first.
struct QueryLink {
    TQuery *query = nullptr;
    bool orphaned = false;
};

struct TDatabase::Impl {
    sqlite3 *db = nullptr;
    std::string folder;
    bool userStatement = false; // while set, the authorizer allows reading only

    struct Slot {
        std::string label;  // "<name>.DB" as the statement spelt it first
        std::string schema; // attached schema name
        std::string path;   // the file on disk, once found
        bool attached = false;
        bool loaded = false;
        paradox::FileStamp stamp;
    };
    std::unordered_map<std::string, Slot> tables; // by lower-case base name

    struct Statement {
        Parsed parsed;
        sqlite3_stmt *stmt = nullptr;
    };
    std::unordered_map<std::string, Statement> statements; // by SQL text

    std::set<QueryLink *> queries;

    ~Impl() { disconnect(); }

    static int authorize(void *self, int action, const char *, const char *, const char *, const char *)
    {
        if (!static_cast<Impl *>(self)->userStatement) return SQLITE_OK;
        switch (action) {
        case SQLITE_SELECT:
        case SQLITE_READ:
        case SQLITE_FUNCTION:
        case SQLITE_RECURSIVE:
            return SQLITE_OK;
        default:
            return SQLITE_DENY;
        }
    }

    void connect(const TDatabase &owner)
    {
        if (!iequals(owner.DriverName, "STANDARD"))
            throw DatabaseError("Cannot load the database driver.\nDriver: " + owner.DriverName);
        std::string pathValue; // the last PATH line counts
        for (const auto &line : owner.Params) {
            const size_t eq = line.find('=');
            if (eq != std::string::npos && iequals(line.substr(0, eq), "PATH")) pathValue = line.substr(eq + 1);
        }
        if (pathValue.empty())
            throw DatabaseError("The database folder is not set (PATH).");
        const std::string dir = NativePath(pathValue);
        struct stat st{};
        if (::stat(dir.c_str(), &st) != 0)
            throw DatabaseError("The database folder does not exist.\nPath: " + pathValue);
        if (!S_ISDIR(st.st_mode))
            throw DatabaseError("The database path is not a folder.\nPath: " + pathValue);
        if (st.st_nlink == 0)
            throw DatabaseError("The database folder has been removed.\nPath: " + pathValue);
        DIR *d = ::access(dir.c_str(), R_OK | X_OK) == 0 ? ::opendir(dir.c_str()) : nullptr;
        if (!d) throw DatabaseError("The database folder cannot be read.\nPath: " + pathValue);
        ::closedir(d);

        sqlite3 *handle = nullptr;
        if (sqlite3_open_v2(":memory:", &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
            sqlite3_close(handle);
            throw DatabaseError("Cannot start the database engine.");
        }
        sqlite3_set_authorizer(handle, &Impl::authorize, this);
        db = handle;
        folder = dir;
    }

    void clearStatements()
    {
        for (auto &[text, s] : statements)
            if (s.stmt) sqlite3_finalize(s.stmt);
        statements.clear();
    }

    void disconnect()
    {
        for (QueryLink *q : std::set<QueryLink *>(queries)) q->query->Close();
        clearStatements();
        tables.clear();
        if (db) sqlite3_close(db);
        db = nullptr;
        folder.clear();
    }

    void exec(const std::string &sql, const std::string &label)
    {
        char *err = nullptr;
        if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
            std::string msg = err ? err : sqlite3_errmsg(db);
            sqlite3_free(err);
            throw DatabaseError("Cannot load the table.\nTable: " + label + "\n" + msg);
        }
    }

    // The file of `fileName` in the folder, matched without regard to case;
    // an exact match wins. Empty when there is no such file.
    std::string findFile(const std::string &fileName) const
    {
        const std::string exact = (folder == "/" ? "" : folder) + "/" + fileName;
        paradox::FileStamp ignored;
        if (paradox::StampOf(exact, ignored)) return exact;
        DIR *d = ::opendir(folder.c_str());
        if (!d) return {};
        std::string found;
        while (dirent *e = ::readdir(d)) {
            if (::strcasecmp(e->d_name, fileName.c_str()) == 0) {
                const std::string candidate = (folder == "/" ? "" : folder) + "/" + e->d_name;
                if (paradox::StampOf(candidate, ignored)) {
                    found = candidate;
                    break;
                }
            }
        }
        ::closedir(d);
        return found;
    }

    // Makes the table current: read on first use and whenever its file changed.
    void ensureTable(const std::string &baseName)
    {
        Slot &slot = tables[lower(baseName)];
        if (slot.label.empty()) {
            slot.label = baseName + ".DB";
            slot.schema = baseName;
        }
        paradox::FileStamp now;
        if (slot.path.empty() || !paradox::StampOf(slot.path, now)) {
            slot.path = findFile(slot.label);
            if (slot.path.empty() || !paradox::StampOf(slot.path, now)) {
                slot.loaded = false;
                slot.path.clear();
                throw DatabaseError("Table does not exist.\nTable: " + slot.label + "\nFolder: " + folder);
            }
        }
        if (slot.loaded && now == slot.stamp) return;
        slot.loaded = false;
        if (iequals(baseName, "main") || iequals(baseName, "temp"))
            throw DatabaseError("Invalid table name.\nTable: " + slot.label);

        paradox::Table table = paradox::ReadTable(slot.path, slot.label);
        load(slot, table);
        slot.stamp = table.stamp;
        slot.loaded = true;
    }

    void load(Slot &slot, const paradox::Table &table)
    {
        const std::string schema = quoted(slot.schema);
        if (!slot.attached) {
            exec("ATTACH DATABASE ':memory:' AS " + schema, slot.label);
            slot.attached = true;
        }
        exec("BEGIN", slot.label);
        sqlite3_stmt *insert = nullptr;
        try {
            exec("DROP TABLE IF EXISTS " + schema + ".\"DB\"", slot.label);
            std::string create = "CREATE TABLE " + schema + ".\"DB\" (";
            std::string values;
            std::string all;
            for (size_t i = 0; i < table.columns.size(); ++i) {
                const auto &c = table.columns[i];
                const char *type = c.type == 0x01 ? " TEXT"
                                 : (c.type == 0x05 || c.type == 0x06 || c.type == 0x15) ? " REAL"
                                 : (c.type == 0x02 || c.type == 0x03 || c.type == 0x04 || c.type == 0x09
                                    || c.type == 0x14 || c.type == 0x16) ? " INTEGER"
                                 : "";
                create += (i ? ", " : "") + quoted(c.name) + type;
                values += i ? ", ?" : "?";
                all += (i ? ", " : "") + quoted(c.name);
            }
            exec(create + ")", slot.label);

            const std::string insertSql = "INSERT INTO " + schema + ".\"DB\" VALUES (" + values + ")";
            if (sqlite3_prepare_v2(db, insertSql.c_str(), -1, &insert, nullptr) != SQLITE_OK)
                sqlFailure(db, "Cannot load the table.\nTable: " + slot.label);
            for (const auto &row : table.rows) {
                for (size_t i = 0; i < row.size(); ++i) {
                    const auto &v = row[i];
                    const int at = static_cast<int>(i + 1);
                    switch (v.kind) {
                    case paradox::ValueKind::Null: sqlite3_bind_null(insert, at); break;
                    case paradox::ValueKind::Integer: sqlite3_bind_int64(insert, at, v.integer); break;
                    case paradox::ValueKind::Real: sqlite3_bind_double(insert, at, v.real); break;
                    case paradox::ValueKind::Text:
                        sqlite3_bind_text(insert, at, v.text.data(), static_cast<int>(v.text.size()), SQLITE_STATIC);
                        break;
                    }
                }
                if (sqlite3_step(insert) != SQLITE_DONE) sqlFailure(db, "Cannot load the table.\nTable: " + slot.label);
                sqlite3_reset(insert);
            }
            sqlite3_finalize(insert);
            insert = nullptr;

            // One index over all columns in their order serves lookups by the
            // leading columns (and answers them without touching the table);
            // each further column gets an index of its own.
            exec("CREATE INDEX " + schema + ".\"DB_all\" ON \"DB\" (" + all + ")", slot.label);
            for (size_t i = 1; i < table.columns.size(); ++i)
                exec("CREATE INDEX " + schema + ".\"DB_" + std::to_string(i) + "\" ON \"DB\" ("
                         + quoted(table.columns[i].name) + ")",
                     slot.label);
            exec("COMMIT", slot.label);
        } catch (...) {
            if (insert) sqlite3_finalize(insert);
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
    }

    Statement &statement(const std::string &sql)
    {
        auto it = statements.find(sql);
        if (it == statements.end()) {
            if (statements.size() >= kMaxCachedStatements) clearStatements();
            it = statements.emplace(sql, Statement{parseStatement(sql), nullptr}).first;
        }
        return it->second;
    }

    sqlite3_stmt *prepare(Statement &s, const std::string &sql)
    {
        if (s.stmt) return s.stmt;
        sqlite3_stmt *stmt = nullptr;
        const char *tail = nullptr;
        userStatement = true;
        const int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt, &tail);
        userStatement = false;
        if (rc != SQLITE_OK) sqlFailure(db, "Invalid SQL statement.");
        if (!stmt) throw DatabaseError("No SQL statement available.");
        if (tail && !blank(std::string(tail, sql.c_str() + sql.size() - tail))) {
            sqlite3_finalize(stmt);
            throw DatabaseError("Invalid SQL statement.\nOnly one statement can be run at a time.");
        }
        if (!sqlite3_stmt_readonly(stmt)) {
            sqlite3_finalize(stmt);
            throw DatabaseError("Invalid SQL statement.\nThe tables can only be read.");
        }
        s.stmt = stmt;
        return stmt;
    }
};

TDatabase::TDatabase() : d_(std::make_unique<Impl>()) {}

TDatabase::~TDatabase()
{
    Close();
    for (QueryLink *q : d_->queries) q->orphaned = true;
    d_->queries.clear();
}

void TDatabase::Open()
{
    if (d_->db) return;
    d_->connect(*this);
}

void TDatabase::Close() { d_->disconnect(); }

bool TDatabase::Connected() const { return d_->db != nullptr; }

TDatabase::Impl &TDatabase::impl() { return *d_; }

// ---------------------------------------------------------------------------

struct TQuery::Impl {
    TDatabase *db = nullptr;
    QueryLink link;

    std::map<std::string, TParam> params; // by lower-case name
    bool parsed = false;
    std::string parsedText;               // the statement the names below are of
    std::vector<std::string> paramNames;  // lower-case

    bool active = false;
    std::vector<std::string> columns;
    std::vector<TField> cells; // row-major
    size_t rowCount = 0;
    size_t cursor = 0;
    bool eof = true;
    std::vector<TField> fields; // the current record's values

    void show()
    {
        for (size_t c = 0; c < columns.size(); ++c)
            fields[c] = rowCount ? cells[cursor * columns.size() + c] : TField{};
    }
    void requireActive() const
    {
        if (!active) throw DatabaseError("Cannot perform this operation on a closed dataset.");
    }
};

TQuery::TQuery(TDatabase &db) : d_(std::make_unique<Impl>())
{
    d_->db = &db;
    d_->link.query = this;
    db.impl().queries.insert(&d_->link);
}

TQuery::~TQuery()
{
    if (!d_->link.orphaned) d_->db->impl().queries.erase(&d_->link);
}

TParam &TQuery::ParamByName(const std::string &name)
{
    const std::string text = joinLines(SQL);
    if (!d_->parsed || text != d_->parsedText) {
        d_->paramNames.clear();
        for (const auto &p : parseStatement(text).params) d_->paramNames.push_back(lower(p));
        d_->parsedText = text;
        d_->parsed = true;
    }
    const std::string key = lower(name);
    bool known = false;
    for (const auto &p : d_->paramNames) known = known || p == key;
    if (!known) throw DatabaseError("Parameter '" + name + "' not found.");
    return d_->params[key];
}

void TQuery::Open()
{
    if (d_->active) return;
    if (d_->link.orphaned) throw DatabaseError("The query has no database.");
    const std::string text = joinLines(SQL);
    if (blank(text)) throw DatabaseError("No SQL statement available.");

    TDatabase &database = *d_->db;
    if (!database.Connected()) database.Open();
    TDatabase::Impl &db = database.impl();

    TDatabase::Impl::Statement &s = db.statement(text);
    for (const auto &table : s.parsed.tables) db.ensureTable(table);
    sqlite3_stmt *stmt = db.prepare(s, text);

    struct Finish {
        TDatabase::Impl &db;
        sqlite3_stmt *stmt;
        ~Finish()
        {
            db.userStatement = false;
            sqlite3_reset(stmt);
            sqlite3_clear_bindings(stmt);
        }
    } finish{db, stmt};

    const int count = sqlite3_bind_parameter_count(stmt);
    for (int i = 1; i <= count; ++i) {
        const char *raw = sqlite3_bind_parameter_name(stmt, i);
        if (!raw || raw[0] != ':') throw DatabaseError("Invalid SQL statement.\nOnly named parameters (:Name) are supported.");
        const std::string name = raw + 1;
        auto it = d_->params.find(lower(name));
        if (it == d_->params.end()) throw DatabaseError("No value for parameter '" + name + "'.");
        const std::string &v = it->second.AsString;
        sqlite3_bind_text(stmt, i, v.data(), static_cast<int>(v.size()), SQLITE_STATIC);
    }

    const int width = sqlite3_column_count(stmt);
    std::vector<std::string> columns;
    columns.reserve(static_cast<size_t>(width));
    for (int c = 0; c < width; ++c) {
        const char *name = sqlite3_column_name(stmt, c);
        columns.emplace_back(name ? name : "");
    }
    std::vector<TField> cells;
    size_t rows = 0;
    db.userStatement = true;
    for (;;) {
        const int rc = sqlite3_step(stmt);
        if (rc == SQLITE_DONE) break;
        if (rc != SQLITE_ROW) sqlFailure(db.db, "The query failed.");
        for (int c = 0; c < width; ++c) {
            TField f;
            const int type = sqlite3_column_type(stmt, c);
            if (type != SQLITE_NULL) {
                // Text as stored; numbers come back as their text.
                const auto *bytes = type == SQLITE_BLOB
                                        ? static_cast<const char *>(sqlite3_column_blob(stmt, c))
                                        : reinterpret_cast<const char *>(sqlite3_column_text(stmt, c));
                const int size = sqlite3_column_bytes(stmt, c);
                if (bytes && size > 0) f.AsString.assign(bytes, static_cast<size_t>(size));
                f.IsNull = false;
            }
            cells.push_back(std::move(f));
        }
        ++rows;
    }

    d_->columns = std::move(columns);
    d_->cells = std::move(cells);
    d_->rowCount = rows;
    d_->fields.assign(d_->columns.size(), TField{});
    d_->cursor = 0;
    d_->eof = rows == 0;
    d_->active = true;
    d_->show();
}

void TQuery::Close()
{
    d_->active = false;
    d_->columns.clear();
    d_->cells.clear();
    d_->fields.clear();
    d_->rowCount = 0;
    d_->cursor = 0;
    d_->eof = true;
}

bool TQuery::Active() const { return d_->active; }

bool TQuery::Eof() const { return !d_->active || d_->eof; }

void TQuery::First()
{
    d_->requireActive();
    d_->cursor = 0;
    d_->eof = d_->rowCount == 0;
    d_->show();
}

void TQuery::Next()
{
    d_->requireActive();
    if (d_->cursor + 1 < d_->rowCount) {
        ++d_->cursor;
        d_->show();
    } else {
        d_->eof = true; // stays on the last record
    }
}

int TQuery::RecordCount() const
{
    d_->requireActive();
    return static_cast<int>(d_->rowCount);
}

TField &TQuery::FieldByName(const std::string &name)
{
    if (d_->active)
        for (size_t c = 0; c < d_->columns.size(); ++c)
            if (iequals(d_->columns[c], name)) return d_->fields[c];
    throw DatabaseError("Field '" + name + "' not found.");
}

} // namespace fm
