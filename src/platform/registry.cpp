#include "platform/registry.h"

#include "common/atomicfile.h"
#include "common/codec.h"
#include "common/errors.h"
#include "common/regularfile.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <memory>
#include <pwd.h>
#include <string_view>
#include <unordered_map>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fm {
namespace {

const char kHeader[] = "Fennimarch registry hive 1";
const char kRoot[] = "HKEY_LOCAL_MACHINE";
// A hive is a few hundred bytes; anything near this is not one of ours.
constexpr off_t kMaxHiveSize = 16 * 1024 * 1024;
// Temporary files of a write: the hive's name + ".tmp." + "<pid>-<n>".
const char kTempInfix[] = ".tmp.";

// ---------------------------------------------------------------------------
// CP949 text: a character is one byte below 0x80, or a lead byte followed by
// a trail byte. Trail bytes include ASCII letters, so names are compared and
// split character by character, never byte by byte.

bool isLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
bool isTrail(unsigned char c)
{
    return (c >= 0x41 && c <= 0x5A) || (c >= 0x61 && c <= 0x7A) || (c >= 0x81 && c <= 0xFE);
}

size_t unitLen(std::string_view s, size_t i)
{
    if (isLead(static_cast<unsigned char>(s[i])) && i + 1 < s.size() &&
        isTrail(static_cast<unsigned char>(s[i + 1])))
        return 2;
    return 1;
}

// The name with its single-byte letters in lower case.
std::string fold(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        size_t n = unitLen(s, i);
        if (n == 1) {
            char c = s[i];
            out += (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
        } else {
            out.append(s.substr(i, 2));
        }
        i += n;
    }
    return out;
}

bool sameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && fold(a) == fold(b);
}

bool hasControl(std::string_view s)
{
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7F) return true;
    return false;
}

// A key name the file can hold: not empty, no control bytes, and every
// character has a UTF-8 form that converts back to the same bytes.
bool validKeyName(std::string_view name)
{
    return !name.empty() && !hasControl(name) && Utf8ToCp949(Cp949ToUtf8(name)) == name;
}

bool validUtf8(std::string_view s)
{
    for (size_t i = 0; i < s.size();) {
        unsigned char c = s[i];
        size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size()) return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += n;
    }
    return true;
}

// UTF-8 text of the file -> CP949; false when it is not UTF-8 or holds a
// character CP949 has no code for (the converter puts '?' in its place).
bool fileTextToCp949(std::string_view utf8, std::string &out)
{
    if (!validUtf8(utf8)) return false;
    out = Utf8ToCp949(utf8);
    auto marks = [](std::string_view s) { return std::count(s.begin(), s.end(), '?'); };
    return marks(out) == marks(utf8);
}

// ---------------------------------------------------------------------------
// Quoted names and values.

void appendHexByte(std::string &out, unsigned char c)
{
    static const char digits[] = "0123456789abcdef";
    out += "\\x";
    out += digits[c >> 4];
    out += digits[c & 15];
}

void appendQuoted(std::string &out, std::string_view s)
{
    out += '"';
    for (size_t i = 0; i < s.size();) {
        unsigned char c = s[i];
        if (unitLen(s, i) == 2) {
            std::string_view unit = s.substr(i, 2);
            std::string u = Cp949ToUtf8(unit);
            if (Utf8ToCp949(u) == unit) {
                out += u;
                i += 2;
                continue;
            }
            appendHexByte(out, c); // not a character: keep the byte itself
            ++i;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += char(c);
        } else {
            appendHexByte(out, c);
        }
        ++i;
    }
    out += '"';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads the quoted text that starts at line[pos] (a '"'); pos ends after the
// closing quote. On failure `why` says what is wrong.
bool unquote(std::string_view line, size_t &pos, std::string &out, std::string &why)
{
    ++pos;
    out.clear();
    size_t runStart = pos;
    auto flush = [&](size_t end) {
        std::string bytes;
        if (!fileTextToCp949(line.substr(runStart, end - runStart), bytes)) {
            why = "text that is not UTF-8 or has no CP949 form";
            return false;
        }
        out += bytes;
        return true;
    };
    while (pos < line.size()) {
        char c = line[pos];
        if (c == '"') {
            if (!flush(pos)) return false;
            ++pos;
            return true;
        }
        if (c != '\\') {
            ++pos;
            continue;
        }
        if (!flush(pos)) return false;
        if (pos + 1 < line.size() && (line[pos + 1] == '\\' || line[pos + 1] == '"')) {
            out += line[pos + 1];
            pos += 2;
        } else if (pos + 3 < line.size() && line[pos + 1] == 'x' && hexValue(line[pos + 2]) >= 0 &&
                   hexValue(line[pos + 3]) >= 0) {
            out += char(hexValue(line[pos + 2]) * 16 + hexValue(line[pos + 3]));
            pos += 4;
        } else {
            why = "an unknown escape after '\\'";
            return false;
        }
        runStart = pos;
    }
    why = "a quoted text without its closing quote";
    return false;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && sameName(s.substr(0, prefix.size()), prefix);
}

bool allHex(std::string_view s)
{
    for (char c : s)
        if (hexValue(c) < 0) return false;
    return true;
}

// The data of a value that is not a string, as .reg files write it:
// dword:XXXXXXXX, hex:aa,bb,... or hex(n):aa,bb,...
bool validOtherData(std::string_view d)
{
    if (startsWithNoCase(d, "dword:")) {
        std::string_view digits = d.substr(6);
        return !digits.empty() && digits.size() <= 8 && allHex(digits);
    }
    std::string_view bytes;
    if (startsWithNoCase(d, "hex:")) {
        bytes = d.substr(4);
    } else if (startsWithNoCase(d, "hex(")) {
        size_t close = d.find("):");
        if (close == std::string_view::npos || close == 4 || !allHex(d.substr(4, close - 4)))
            return false;
        bytes = d.substr(close + 2);
    } else {
        return false;
    }
    while (!bytes.empty()) {
        if (bytes.size() < 2 || !allHex(bytes.substr(0, 2))) return false;
        bytes.remove_prefix(2);
        if (bytes.empty()) break;
        if (bytes[0] != ',' || bytes.size() == 1) return false;
        bytes.remove_prefix(1);
    }
    return true;
}

// ---------------------------------------------------------------------------
// The tree.

struct Value {
    std::string name;     // CP949, as created
    bool isString = true;
    std::string data;     // CP949 for a string; the text after '=' otherwise
};

// Keys and values keep the order in which they were created (the file's
// order); look-ups go through maps keyed by the folded name.
struct Key {
    std::string name; // CP949, as created
    std::vector<Value> values;
    std::vector<std::unique_ptr<Key>> subkeys;
    std::unordered_map<std::string, size_t> valueIndex; // fold(name) -> values[i]
    std::unordered_map<std::string, Key *> subkeyIndex; // fold(name) -> subkey

    Key() = default;
    Key(Key &&) = default;
    Key &operator=(Key &&) = default;
    // Frees a deep chain of keys without one nested call per level.
    ~Key()
    {
        std::vector<std::unique_ptr<Key>> pending = std::move(subkeys);
        while (!pending.empty()) {
            std::unique_ptr<Key> k = std::move(pending.back());
            pending.pop_back();
            for (auto &c : k->subkeys) pending.push_back(std::move(c));
            k->subkeys.clear();
        }
    }

    Key *child(std::string_view n) const
    {
        auto it = subkeyIndex.find(fold(n));
        return it == subkeyIndex.end() ? nullptr : it->second;
    }
    Key &childOrNew(std::string_view n)
    {
        auto [it, added] = subkeyIndex.try_emplace(fold(n), nullptr);
        if (added) {
            subkeys.push_back(std::make_unique<Key>());
            subkeys.back()->name = std::string(n);
            it->second = subkeys.back().get();
        }
        return *it->second;
    }
    Value *value(std::string_view n)
    {
        auto it = valueIndex.find(fold(n));
        return it == valueIndex.end() ? nullptr : &values[it->second];
    }
    void set(std::string_view n, bool isString, std::string data)
    {
        auto [it, added] = valueIndex.try_emplace(fold(n), values.size());
        if (added) values.push_back(Value{std::string(n), isString, {}});
        Value &v = values[it->second];
        v.isString = isString;
        v.data = std::move(data);
    }
};

Key *findKey(Key &root, const std::vector<std::string> &parts)
{
    Key *k = &root;
    for (const auto &p : parts) {
        k = k->child(p);
        if (!k) return nullptr;
    }
    return k;
}

// A key path from the programs -> its names. A leading and a trailing "\"
// are allowed; false for an empty name inside or one the file cannot hold,
// and for a path deeper than kMaxKeyDepth.
bool splitKey(std::string_view key, std::vector<std::string> &parts)
{
    parts.clear();
    if (!key.empty() && key.front() == '\\') key.remove_prefix(1);
    if (!key.empty() && key.back() == '\\') key.remove_suffix(1);
    if (key.empty()) return true;
    size_t start = 0;
    for (size_t i = 0;;) {
        if (i >= key.size() || key[i] == '\\') {
            std::string_view name = key.substr(start, i - start);
            if (!validKeyName(name) || parts.size() == kMaxKeyDepth) return false;
            parts.emplace_back(name);
            if (i >= key.size()) return true;
            start = ++i;
            continue;
        }
        i += unitLen(key, i);
    }
}

std::string joinKey(const std::vector<std::string> &parts)
{
    std::string out;
    for (const auto &p : parts) {
        if (!out.empty()) out += '\\';
        out += p;
    }
    return out;
}

// ---------------------------------------------------------------------------
// File form.

void emitSection(std::string &out, const Key &k, std::string_view path)
{
    out += "\n[";
    out += path;
    out += "]\n";
    for (const auto &v : k.values) {
        if (v.name.empty())
            out += '@';
        else
            appendQuoted(out, v.name);
        out += '=';
        if (v.isString)
            appendQuoted(out, v.data);
        else
            out += v.data;
        out += '\n';
    }
}

// The file form. A key gets a section of its own when it has values or no
// subkeys; a key with subkeys alone is implied by theirs, so the output grows
// with the hive, not with its depth times its size.
std::string serialize(const Key &root, size_t sizeHint = 0)
{
    std::string out;
    out.reserve(sizeHint + sizeHint / 8);
    out += kHeader;
    out += '\n';
    std::string path = kRoot;
    if (!root.values.empty()) emitSection(out, root, path);
    struct Frame {
        const Key *key;
        size_t next;
        size_t pathLen;
    };
    std::vector<Frame> stack{{&root, 0, path.size()}};
    while (!stack.empty()) {
        Frame &f = stack.back();
        if (f.next == f.key->subkeys.size()) {
            stack.pop_back();
            continue;
        }
        const Key &sub = *f.key->subkeys[f.next++];
        path.resize(f.pathLen);
        path += '\\';
        path += Cp949ToUtf8(sub.name);
        if (!sub.values.empty() || sub.subkeys.empty()) emitSection(out, sub, path);
        stack.push_back({&sub, 0, path.size()});
    }
    return out;
}

[[noreturn]] void damaged(const std::string &path, size_t line, const std::string &why)
{
    throw RegistryError("The registry hive '" + path + "' is damaged (line " +
                        std::to_string(line) + ": " + why + "); it is left as it is.");
}

std::string_view trim(std::string_view s)
{
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

void parse(std::string_view text, Key &root, const std::string &path)
{
    root = Key{};
    if (text.empty()) return; // a zero-length file holds nothing yet
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    size_t lineNo = 0;
    Key *cur = nullptr;
    while (!text.empty()) {
        size_t nl = text.find('\n');
        std::string_view line = trim(text.substr(0, nl));
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        ++lineNo;
        if (lineNo == 1) {
            if (line != kHeader)
                damaged(path, lineNo, std::string("the first line is not \"") + kHeader + "\"");
            continue;
        }
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 2)
                damaged(path, lineNo, "a key line without its closing ']'");
            std::string_view keyPath = line.substr(1, line.size() - 2);
            size_t sep = keyPath.find('\\');
            if (!sameName(keyPath.substr(0, sep), kRoot))
                damaged(path, lineNo, std::string("a key outside ") + kRoot);
            cur = &root;
            size_t depth = 0;
            while (sep != std::string_view::npos) {
                if (++depth > kMaxKeyDepth)
                    damaged(path, lineNo,
                            "a key nested deeper than " + std::to_string(kMaxKeyDepth) + " levels");
                keyPath.remove_prefix(sep + 1);
                sep = keyPath.find('\\');
                std::string name;
                if (!fileTextToCp949(keyPath.substr(0, sep), name) || !validKeyName(name))
                    damaged(path, lineNo, "a key name that is empty or not valid");
                cur = &cur->childOrNew(name);
            }
            continue;
        }
        if (line.front() != '"' && line.front() != '@')
            damaged(path, lineNo, "a line that is neither a key nor a value");
        if (!cur) damaged(path, lineNo, "a value before the first key");
        std::string name, why;
        size_t pos = 0;
        if (line.front() == '@') {
            pos = 1;
        } else if (!unquote(line, pos, name, why)) {
            damaged(path, lineNo, why);
        }
        std::string_view rest = trim(line.substr(pos));
        if (rest.empty() || rest.front() != '=') damaged(path, lineNo, "a value name without '='");
        rest = trim(rest.substr(1));
        if (!rest.empty() && rest.front() == '"') {
            std::string data;
            size_t dpos = 0;
            if (!unquote(rest, dpos, data, why)) damaged(path, lineNo, why);
            if (dpos != rest.size()) damaged(path, lineNo, "text after the closing quote");
            cur->set(name, true, std::move(data));
        } else {
            if (!validOtherData(rest)) damaged(path, lineNo, "value data of an unknown form");
            cur->set(name, false, std::string(rest));
        }
    }
}

// ---------------------------------------------------------------------------
// The file on disk.

bool ownerCanWrite(const std::string &p, bool wantDir)
{
    struct stat st;
    if (::stat(p.c_str(), &st) != 0) return false;
    if (wantDir ? !S_ISDIR(st.st_mode) : !S_ISREG(st.st_mode)) return false;
    return (st.st_mode & S_IWUSR) != 0 && ::access(p.c_str(), W_OK) == 0;
}

std::string folderOf(const std::string &file)
{
    std::string dir = std::filesystem::path(file).parent_path().string();
    return dir.empty() ? std::string(".") : dir;
}

// An exclusive lock on a file, released when it goes (waits up to 10 s).
class FileLock {
public:
    // A lock file that is not a regular file (a FIFO or a device put in its
    // place) is neither waited on nor changed: no lock, so no write.
    explicit FileLock(const std::string &path) : file_(path, O_RDWR | O_CREAT, 0600)
    {
        if (!file_.isOpen()) return;
        ::fchmod(file_.fd(), 0600); // one made by an older version may be open to all
        for (int i = 0; i < 1000; ++i) {
            if (::flock(file_.fd(), LOCK_EX | LOCK_NB) == 0) {
                locked_ = true;
                return;
            }
            if (errno != EWOULDBLOCK && errno != EINTR) return;
            ::usleep(10000);
        }
    }
    bool locked() const { return locked_; }

private:
    RegularFile file_;
    bool locked_ = false;
};

struct Stamp {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{};
    timespec ctime{};

    static Stamp of(const struct stat &st)
    {
        return Stamp{true, st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
    }
    bool operator==(const Stamp &o) const
    {
        return exists == o.exists && dev == o.dev && ino == o.ino && size == o.size &&
               mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec &&
               ctime.tv_sec == o.ctime.tv_sec && ctime.tv_nsec == o.ctime.tv_nsec;
    }
};

class Hive {
public:
    explicit Hive(std::string path) : path_(std::move(path)) {}

    const std::string &path() const { return path_; }

    // The tree as the file holds it now (read again when the file changed).
    Key &root()
    {
        refresh(false);
        return root_;
    }

    bool writable() const
    {
        struct stat st;
        if (::stat(path_.c_str(), &st) == 0) {
            if (!ownerCanWrite(path_, false)) return false;
        } else if (errno != ENOENT) {
            return false;
        }
        // The folder must take the new file; when it does not exist yet, the
        // nearest folder above it must take the new folders.
        std::filesystem::path dir = folderOf(path_);
        for (;;) {
            if (::stat(dir.c_str(), &st) == 0) return ownerCanWrite(dir.string(), true);
            if (errno != ENOENT) return false;
            std::filesystem::path up = dir.parent_path();
            if (up.empty()) up = ".";
            if (up == dir) return false;
            dir = up;
        }
    }

    enum class Edit { Refuse, Same, Changed };
    enum class Result { Done, NotWritable, Refused, Failed };

    // Applies one change under the lock to the file as it is now, and writes
    // the result. Throws when the file is damaged (it is then not touched).
    Result change(const std::function<Edit(Key &)> &apply)
    {
        if (!writable()) return Result::NotWritable;
        std::error_code ec;
        std::filesystem::create_directories(folderOf(path_), ec);
        if (ec) return Result::Failed;
        FileLock lock(path_ + ".lock");
        if (!lock.locked()) return Result::Failed;
        // Under the lock no other write is under way: every temporary file
        // of the hive is left over from a writer that was killed.
        RemoveStaleTemps(folderOf(path_), tempStem(), "", false);
        refresh(true);
        Edit e = apply(root_);
        if (e == Edit::Refuse) return Result::Refused;
        if (e == Edit::Same) return Result::Done;
        const std::string text = serialize(root_, static_cast<size_t>(stamp_.size));
        const bool ok = readable(text) && replaceFile(text);
        struct stat st;
        if (ok && ::stat(path_.c_str(), &st) == 0) {
            stamp_ = Stamp::of(st);
        } else {
            loaded_ = false; // the tree in memory may differ from the file
        }
        return ok ? Result::Done : Result::Failed;
    }

private:
    [[noreturn]] void cannotRead(int err) const
    {
        throw RegistryError("Cannot read the registry hive '" + path_ + "': " + std::strerror(err));
    }

    void refresh(bool force)
    {
        // Only a regular file is read: a FIFO or a device in the hive's
        // place would hold the program for ever.
        RegularFile file(path_);
        switch (file.status()) {
        case RegularFile::Status::Open:
            break;
        case RegularFile::Status::Missing:
            root_ = Key{};
            stamp_ = Stamp{};
            loaded_ = true;
            return;
        case RegularFile::Status::NotRegular:
            loaded_ = false;
            throw RegistryError("The registry hive '" + path_ +
                                "' is not a regular file; it is left as it is.");
        case RegularFile::Status::Failed:
            cannotRead(file.error());
        }
        const Stamp now = Stamp::of(file.info());
        if (!force && loaded_ && now == stamp_) return;
        loaded_ = false;
        if (file.info().st_size > kMaxHiveSize) damaged(path_, 0, "the file is far too large");
        std::string text;
        if (!file.readAll(text, static_cast<size_t>(kMaxHiveSize))) {
            if (file.error() == EFBIG) damaged(path_, 0, "the file is far too large");
            cannotRead(file.error());
        }
        parse(text, root_, path_);
        stamp_ = now;
        loaded_ = true;
    }

    std::string tempStem() const
    {
        return std::filesystem::path(path_).filename().string() + kTempInfix;
    }

    // Whether the reader takes `text` back: a write never leaves a hive that
    // every later open would refuse.
    bool readable(const std::string &text) const
    {
        if (text.size() > static_cast<size_t>(kMaxHiveSize)) return false;
        try {
            Key check;
            parse(text, check, path_);
        } catch (const RegistryError &) {
            return false;
        }
        return true;
    }

    // Writes a new file beside the hive and renames it over the hive. The
    // hive holds a password: it is readable and writable by its owner only.
    bool replaceFile(const std::string &text)
    {
        AtomicFile file(folderOf(path_), tempStem(), "", 0600);
        return file.Open() && file.Write(text) && file.SetMode(0600) && file.Commit(path_);
    }

    std::string path_;
    Key root_;
    Stamp stamp_;
    bool loaded_ = false;
};

} // namespace

// ---------------------------------------------------------------------------

struct TRegistry::Impl {
    Hive hive{TRegistry::HivePath()};
    std::vector<std::string> parts; // the open key's names
    bool canWrite = false;          // opened with rights to set values
};

TRegistry::TRegistry() : d_(std::make_unique<Impl>()) {}

TRegistry::~TRegistry() = default;

std::string TRegistry::HivePath()
{
    if (const char *e = std::getenv("FENNIMARCH_HIVE"); e && *e) return e;
    if (const char *x = std::getenv("XDG_CONFIG_HOME"); x && *x == '/')
        return std::string(x) + "/fennimarch/hklm.reg";
    std::string home;
    if (const char *h = std::getenv("HOME"); h && *h) {
        home = h;
    } else if (const passwd *pw = ::getpwuid(::getuid()); pw && pw->pw_dir) {
        home = pw->pw_dir;
    } else {
        home = ".";
    }
    return home + "/.config/fennimarch/hklm.reg";
}

std::string TRegistry::Dump()
{
    Hive hive(HivePath());
    return serialize(hive.root());
}

bool TRegistry::OpenKey(const std::string &key, bool canCreate)
{
    return openKey(key, canCreate, Access);
}

bool TRegistry::OpenKeyReadOnly(const std::string &key) { return openKey(key, false, KEY_READ); }

bool TRegistry::openKey(const std::string &key, bool canCreate, unsigned access)
{
    CloseKey();
    std::vector<std::string> parts;
    if (!splitKey(key, parts)) return false;
    Hive &hive = d_->hive;
    const bool wantsWrite = (access & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY)) != 0;
    const bool exists = findKey(hive.root(), parts) != nullptr;
    if (wantsWrite && !hive.writable()) return false;
    if (!exists) {
        if (!canCreate) return false;
        auto r = hive.change([&](Key &root) {
            Key *k = &root;
            bool made = false;
            for (const auto &p : parts) {
                Key *c = k->child(p);
                if (!c) {
                    c = &k->childOrNew(p);
                    made = true;
                }
                k = c;
            }
            return made ? Hive::Edit::Changed : Hive::Edit::Same;
        });
        if (r != Hive::Result::Done) return false;
    }
    d_->parts = std::move(parts);
    d_->canWrite = wantsWrite;
    current_ = joinKey(d_->parts);
    open_ = true;
    return true;
}

void TRegistry::CloseKey()
{
    open_ = false;
    current_.clear();
    d_->parts.clear();
    d_->canWrite = false;
}

bool TRegistry::KeyExists(const std::string &key)
{
    std::vector<std::string> parts;
    if (!splitKey(key, parts)) return false;
    return findKey(d_->hive.root(), parts) != nullptr;
}

bool TRegistry::ValueExists(const std::string &name)
{
    Key &root = d_->hive.root();
    if (!open_) return false;
    Key *k = findKey(root, d_->parts);
    return k && k->value(name);
}

std::string TRegistry::ReadString(const std::string &name)
{
    Key &root = d_->hive.root();
    if (!open_) return {};
    Key *k = findKey(root, d_->parts);
    Value *v = k ? k->value(name) : nullptr;
    if (!v) return {};
    if (!v->isString)
        throw RegistryError(Format("Invalid data type for '%s'", Cp949ToUtf8(name)));
    return v->data;
}

void TRegistry::WriteString(const std::string &name, const std::string &value)
{
    auto failed = [&] {
        return RegistryError(Format("Failed to set data for '%s'", Cp949ToUtf8(name)));
    };
    if (!open_ || !d_->canWrite) {
        d_->hive.root(); // a damaged hive says so rather than failing quietly
        throw failed();
    }
    auto r = d_->hive.change([&](Key &root) {
        Key *k = findKey(root, d_->parts);
        if (!k) return Hive::Edit::Refuse; // deleted since it was opened
        Value *v = k->value(name);
        if (v && v->isString && v->data == value) return Hive::Edit::Same;
        k->set(name, true, value);
        return Hive::Edit::Changed;
    });
    if (r != Hive::Result::Done) throw failed();
}

std::vector<std::string> TRegistry::GetValueNames()
{
    Key &root = d_->hive.root();
    std::vector<std::string> names;
    if (!open_) return names;
    if (Key *k = findKey(root, d_->parts))
        for (const auto &v : k->values) names.push_back(v.name);
    return names;
}

} // namespace fm
