#pragma once
// The error model. Each type carries the text the user is shown; the guard
// (guard.h) puts any uncaught one into the application's error box.
#include <stdexcept>
#include <string>

namespace fm {

// Base of every error the system raises itself. The message is UTF-8.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "'%s' is not a valid integer value" and the like.
class ConvertError : public Error {
public:
    using Error::Error;
};

// "Invalid data type for '%s'", "Failed to set data for '%s'", a damaged hive.
class RegistryError : public Error {
public:
    using Error::Error;
};

// Errors of the desktop database layer (connection, missing table, query).
class DatabaseError : public Error {
public:
    using Error::Error;
};

// "Asynchronous socket error %d", "No address specified", ...
class SocketError : public Error {
public:
    using Error::Error;
};

// File and folder input/output errors.
class InOutError : public Error {
public:
    using Error::Error;
};

// printf-style formatting of a single %s or %d into an error text.
std::string Format(const std::string &pattern, const std::string &arg);
std::string Format(const std::string &pattern, long long arg);

} // namespace fm
