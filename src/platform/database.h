#pragma once
// Our stand-in for the desktop database engine: a named connection over a
// folder of Paradox tables, and a query object that runs parameterised SQL
// over the tables of that folder.
//
// Contract:
// - TDatabase: DriverName must be "STANDARD"; Params holds "PATH=<folder>"
//   and "LANGDRIVER=korea". Open() fails with DatabaseError when the driver is
//   unknown or the folder cannot serve as a database folder (missing, not a
//   folder, not readable). A missing table does not fail the connection.
// - TQuery: SQL holds the statement's lines (joined with a line end); named
//   text parameters ":Name" are set through ParamByName(). Table names in the
//   statement are Paradox file names of the folder ("DSBBRslt.DB"), matched
//   without regard to case. Open() connects the database first when it is
//   closed; a missing, truncated or foreign table fails the query with
//   DatabaseError. Field text comes back as the CP949 bytes stored.
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace fm {

class TDatabase {
public:
    TDatabase();
    ~TDatabase();
    TDatabase(const TDatabase &) = delete;
    TDatabase &operator=(const TDatabase &) = delete;

    std::string DatabaseName;
    std::string DriverName;
    std::vector<std::string> Params; // "NAME=value" lines
    bool LoginPrompt = false;
    std::string SessionName = "Default";

    void Open();  // throws DatabaseError
    void Close();
    bool Connected() const;

    struct Impl;
    Impl &impl();

private:
    std::unique_ptr<Impl> d_;
};

class TField {
public:
    std::string AsString; // CP949 bytes as stored; empty for a null
    bool IsNull = true;
};

class TParam {
public:
    std::string AsString;
};

class TQuery {
public:
    explicit TQuery(TDatabase &db);
    ~TQuery();
    TQuery(const TQuery &) = delete;
    TQuery &operator=(const TQuery &) = delete;

    std::vector<std::string> SQL;

    TParam &ParamByName(const std::string &name);
    void Open();  // runs the statement; throws DatabaseError
    void Close();
    bool Active() const;
    bool Eof() const;
    void First();
    void Next();
    int RecordCount() const;
    TField &FieldByName(const std::string &name); // throws DatabaseError when unknown

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

} // namespace fm
