#include "scenario.h"

#include "wire.h"

#include "common/regularfile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <charconv>
#include <set>

namespace hostsim {

using wire::IsDigits;
using wire::ZeroPad;

namespace {

// A scenario with the largest result files is a few megabytes.
constexpr size_t kMaxScenarioFileSize = 64 * 1024 * 1024;

std::string Fit(std::string_view s, size_t width)
{
    std::string v(s.substr(0, width));
    v.resize(width, ' ');
    return v;
}

std::string FitNumber(long long n, size_t width)
{
    return ZeroPad(n, width).substr(0, width);
}

// Reads one JSON document into a scenario, stopping at the first fault.
class Reader {
public:
    Reader(const QDate &today, std::string *error) : today_(today), error_(error) {}

    std::optional<Scenario> read(const QByteArray &json)
    {
        QJsonParseError pe;
        QJsonDocument doc = QJsonDocument::fromJson(json, &pe);
        if (pe.error != QJsonParseError::NoError)
            return fail("JSON: " + pe.errorString().toStdString() + " at offset " +
                        std::to_string(pe.offset));
        if (!doc.isObject())
            return fail("the scenario must be a JSON object");
        QJsonObject o = doc.object();
        static const std::set<QString> known = {
            "accounts", "loginNotice", "passwordTries", "closeOnLockout", "refuseKeys",
            "answerDelayMs", "resultRowsPerBlock", "noticeRowsPerBlock", "results", "notices",
            "errors", "resultFiles", "noticeFiles"};
        for (const QString &k : o.keys())
            if (!known.count(k))
                return fail("unknown key \"" + k.toStdString() + "\"");

        Scenario s;
        if (!readAccounts(o.value("accounts"), s))
            return std::nullopt;
        if (o.contains("loginNotice")) {
            auto t = text(o.value("loginNotice"), "loginNotice");
            if (!t)
                return std::nullopt;
            if (t->size() > 960)
                return fail("loginNotice is longer than 960 bytes");
            s.loginNotice = *t;
        }
        if (!integer(o, "passwordTries", 1, 99, s.passwordTries) ||
            !integer(o, "answerDelayMs", 0, 600000, s.answerDelayMs) ||
            !integer(o, "resultRowsPerBlock", 1, 960 / int(kResultRowSize), s.resultRowsPerBlock) ||
            !integer(o, "noticeRowsPerBlock", 1, 960 / int(kNoticeRowSize), s.noticeRowsPerBlock) ||
            !boolean(o, "closeOnLockout", s.closeOnLockout) ||
            !boolean(o, "refuseKeys", s.refuseKeys))
            return std::nullopt;
        if (!readRows(o.value("results"), "results", kResultRowSize, s.resultRows, &Reader::resultRow) ||
            !readRows(o.value("notices"), "notices", kNoticeRowSize, s.noticeRows, &Reader::noticeRow) ||
            !readErrors(o.value("errors"), s.errors) ||
            !readResultFiles(o.value("resultFiles"), s.resultFiles) ||
            !readNoticeFiles(o.value("noticeFiles"), s.noticeFiles))
            return std::nullopt;
        return s;
    }

private:
    std::nullopt_t fail(const std::string &what)
    {
        if (error_ && error_->empty())
            *error_ = what;
        return std::nullopt;
    }

    std::optional<std::string> text(const QJsonValue &v, const std::string &where)
    {
        if (!v.isString())
            return fail(where + " must be a string");
        auto t = wire::ToCp949(v.toString().toStdString());
        if (!t)
            return fail(where + " holds a character outside the Korean code page");
        return t;
    }

    bool integer(const QJsonObject &o, const char *key, int lo, int hi, int &out)
    {
        if (!o.contains(key))
            return true;
        QJsonValue v = o.value(key);
        double d = v.toDouble(-1e18);
        if (!v.isDouble() || d != double(int(d)) || d < lo || d > hi) {
            fail(std::string(key) + " must be a whole number from " + std::to_string(lo) +
                 " to " + std::to_string(hi));
            return false;
        }
        out = int(d);
        return true;
    }

    bool boolean(const QJsonObject &o, const char *key, bool &out)
    {
        if (!o.contains(key))
            return true;
        if (!o.value(key).isBool()) {
            fail(std::string(key) + " must be true or false");
            return false;
        }
        out = o.value(key).toBool();
        return true;
    }

    bool readAccounts(const QJsonValue &v, Scenario &s)
    {
        if (v.isUndefined())
            return true;
        if (!v.isObject()) {
            fail("accounts must be an object of company code -> password");
            return false;
        }
        QJsonObject a = v.toObject();
        for (const QString &code : a.keys()) {
            auto c = wire::ToCp949(code.toStdString());
            if (!c || c->empty() || c->size() > 4 || wire::Trim(*c) != *c) {
                fail("company code \"" + code.toStdString() +
                     "\" must be 1 to 4 bytes without blanks around it");
                return false;
            }
            auto p = text(a.value(code), "password of " + code.toStdString());
            if (!p)
                return false;
            if (p->size() > 10 || wire::Trim(*p) != *p) {
                fail("password of " + code.toStdString() +
                     " must be at most 10 bytes without blanks around it");
                return false;
            }
            s.accounts[*c] = *p;
        }
        return true;
    }

    using RowFn = std::optional<std::string> (Reader::*)(const QJsonObject &, const std::string &);

    bool readRows(const QJsonValue &v, const char *key, size_t rowSize,
                  std::vector<std::string> &rows, RowFn fn)
    {
        if (v.isUndefined())
            return true;
        if (!v.isArray()) {
            fail(std::string(key) + " must be an array");
            return false;
        }
        QJsonArray arr = v.toArray();
        for (int i = 0; i < arr.size(); ++i) {
            std::string where = std::string(key) + "[" + std::to_string(i) + "]";
            std::optional<std::string> row;
            if (arr[i].isString()) { // a row given as text, fitted to the row size
                row = text(arr[i], where);
                if (row)
                    row = Fit(*row, rowSize);
            }
            else if (arr[i].isObject())
                row = (this->*fn)(arr[i].toObject(), where);
            else
                row = fail(where + " must be an object or a string");
            if (!row)
                return false;
            rows.push_back(*row);
        }
        return true;
    }

    std::optional<std::string> date(const QJsonObject &o, const std::string &where)
    {
        auto d = o.value("date");
        if (!d.isString())
            return fail(where + ".date must be a string");
        auto r = ResolveDate(d.toString().toStdString(), today_);
        if (!r)
            return fail(where + ".date \"" + d.toString().toStdString() +
                        "\" is neither yyyymmdd nor today, today-N, today+N");
        return r;
    }

    std::optional<std::string> time(const QJsonObject &o, const char *key, const std::string &where)
    {
        auto t = o.value(key);
        if (!t.isString() || !IsDigits(t.toString().toStdString(), 6))
            return fail(where + "." + key + " must be six digits hhmmss");
        return t.toString().toStdString();
    }

    std::optional<long long> number(const QJsonObject &o, const char *key, long long hi,
                                    const std::string &where, long long dflt)
    {
        if (!o.contains(key))
            return dflt;
        QJsonValue v = o.value(key);
        double d = v.toDouble(-1);
        if (!v.isDouble() || d != double((long long)d) || d < 0 || d > hi) {
            fail(where + "." + key + " must be a whole number from 0 to " + std::to_string(hi));
            return std::nullopt;
        }
        return (long long)d;
    }

    bool onlyKeys(const QJsonObject &o, const std::set<QString> &keys, const std::string &where)
    {
        for (const QString &k : o.keys())
            if (!keys.count(k)) {
                fail(where + ": unknown key \"" + k.toStdString() + "\"");
                return false;
            }
        return true;
    }

    std::optional<std::string> resultRow(const QJsonObject &o, const std::string &where)
    {
        if (!onlyKeys(o, {"dir", "bank", "kind", "date", "start", "end", "records", "seq",
                          "receptions"}, where))
            return std::nullopt;
        QString dir = o.value("dir").toString();
        if (dir != "S" && dir != "R")
            return fail(where + ".dir must be \"S\" or \"R\"");
        QString bank = o.value("bank").toString();
        QString kind = o.value("kind").toString();
        if (!IsDigits(bank.toStdString(), 4))
            return fail(where + ".bank must be four digits");
        if (!IsDigits(kind.toStdString(), 3))
            return fail(where + ".kind must be three digits");
        auto d = date(o, where);
        auto st = d ? time(o, "start", where) : std::nullopt;
        auto en = st ? time(o, "end", where) : std::nullopt;
        auto rec = en ? number(o, "records", 999999, where, 2) : std::nullopt;
        auto seq = rec ? number(o, "seq", 999, where, 1) : std::nullopt;
        auto rcv = seq ? number(o, "receptions", 9999, where, 0) : std::nullopt;
        if (!rcv)
            return std::nullopt;
        return MakeResultRow(dir.toStdString()[0], bank.toStdString(), kind.toStdString(), *d,
                             *st, *en, int(*rec), int(*seq), int(*rcv));
    }

    bool readResultFiles(const QJsonValue &v, std::vector<ResultFile> &out)
    {
        if (v.isUndefined())
            return true;
        if (!v.isArray()) {
            fail("resultFiles must be an array");
            return false;
        }
        QJsonArray arr = v.toArray();
        for (int i = 0; i < arr.size(); ++i) {
            std::string where = "resultFiles[" + std::to_string(i) + "]";
            if (!arr[i].isObject()) {
                fail(where + " must be an object");
                return false;
            }
            QJsonObject o = arr[i].toObject();
            if (!onlyKeys(o, {"bank", "kind", "date", "seq", "name", "recordLength", "records",
                              "generate", "totalDelta"}, where))
                return false;
            ResultFile f;
            f.bank = o.value("bank").toString().toStdString();
            f.kind = o.value("kind").toString().toStdString();
            if (!IsDigits(f.bank, 4) || !IsDigits(f.kind, 3)) {
                fail(where + ": bank must be four digits and kind three");
                return false;
            }
            auto d = date(o, where);
            if (!d)
                return false;
            f.date = *d;
            auto seq = number(o, "seq", 999, where, 1);
            auto len = seq ? number(o, "recordLength", 960, where, 148) : std::nullopt;
            auto gen = len ? number(o, "generate", 9999, where, 0) : std::nullopt;
            if (!gen)
                return false;
            if (*len < 1) {
                fail(where + ".recordLength must be at least 1");
                return false;
            }
            f.seq = int(*seq);
            f.recordLength = int(*len);
            if (o.contains("totalDelta")) {
                QJsonValue t = o.value("totalDelta");
                if (!t.isDouble() || t.toDouble() != double(int(t.toDouble()))) {
                    fail(where + ".totalDelta must be a whole number");
                    return false;
                }
                f.totalDelta = int(t.toDouble());
            }
            std::string name = o.contains("name") ? o.value("name").toString().toStdString()
                                                  : ZeroPad(f.seq, 4) + f.bank;
            f.baseName = Fit(name, 8);
            if (o.contains("records")) {
                if (!o.value("records").isArray()) {
                    fail(where + ".records must be an array of strings");
                    return false;
                }
                QJsonArray recs = o.value("records").toArray();
                for (int k = 0; k < recs.size(); ++k) {
                    auto r = text(recs[k], where + ".records[" + std::to_string(k) + "]");
                    if (!r)
                        return false;
                    f.records.push_back(Fit(*r, size_t(f.recordLength)));
                }
            } else {
                for (auto &r : MakeResultRecords(f.bank.substr(2, 2), f.date, int(*gen)))
                    f.records.push_back(Fit(r, size_t(f.recordLength)));
            }
            out.push_back(std::move(f));
        }
        return true;
    }

    bool readNoticeFiles(const QJsonValue &v, std::map<std::string, std::string> &out)
    {
        if (v.isUndefined())
            return true;
        if (!v.isArray()) {
            fail("noticeFiles must be an array");
            return false;
        }
        QJsonArray arr = v.toArray();
        for (int i = 0; i < arr.size(); ++i) {
            std::string where = "noticeFiles[" + std::to_string(i) + "]";
            QJsonObject o = arr[i].toObject();
            if (!arr[i].isObject() || !onlyKeys(o, {"name", "text"}, where)) {
                fail(where + " must be an object with name and text");
                return false;
            }
            auto name = text(o.value("name"), where + ".name");
            auto body = name ? text(o.value("text"), where + ".text") : std::nullopt;
            if (!body)
                return false;
            out[*name] = *body;
        }
        return true;
    }

    std::optional<std::string> noticeRow(const QJsonObject &o, const std::string &where)
    {
        if (!onlyKeys(o, {"date", "time", "title", "file"}, where))
            return std::nullopt;
        auto d = date(o, where);
        auto t = d ? time(o, "time", where) : std::nullopt;
        auto title = t ? text(o.value("title"), where + ".title") : std::nullopt;
        auto file = title ? text(o.value("file"), where + ".file") : std::nullopt;
        if (!file)
            return std::nullopt;
        if (title->size() > 80)
            return fail(where + ".title is longer than 80 bytes");
        if (file->size() > 20)
            return fail(where + ".file is longer than 20 bytes");
        return MakeNoticeRow(*d, *t, *title, *file);
    }

    bool readErrors(const QJsonValue &v, std::vector<ErrorRule> &out)
    {
        if (v.isUndefined())
            return true;
        if (!v.isArray()) {
            fail("errors must be an array");
            return false;
        }
        QJsonArray arr = v.toArray();
        for (int i = 0; i < arr.size(); ++i) {
            std::string where = "errors[" + std::to_string(i) + "]";
            QJsonObject o = arr[i].toObject();
            if (!arr[i].isObject() || !onlyKeys(o, {"code", "resp", "times"}, where)) {
                fail(where + " must be an object with code, resp and times");
                return false;
            }
            ErrorRule r;
            if (o.contains("code")) {
                r.code = o.value("code").toString().toStdString();
                if (!o.value("code").isString() || (!r.code.empty() && !IsDigits(r.code, 7))) {
                    fail(where + ".code must be a seven-digit telegram code or empty");
                    return false;
                }
            }
            QJsonValue resp = o.value("resp");
            r.resp = resp.toString().toStdString();
            if (!resp.isString() || r.resp.size() != 2) {
                fail(where + ".resp must be a text of two bytes");
                return false;
            }
            if (o.contains("times")) {
                double t = o.value("times").toDouble(0.5);
                if (!o.value("times").isDouble() || t != double(int(t)) || t == 0) {
                    fail(where + ".times must be a whole number, not 0 (below 0: always)");
                    return false;
                }
                r.times = int(t);
            }
            out.push_back(r);
        }
        return true;
    }

    QDate today_;
    std::string *error_;
};

} // namespace

std::optional<Scenario> Scenario::fromJson(const QByteArray &json, const QDate &today,
                                           std::string *error)
{
    if (error)
        error->clear();
    return Reader(today, error).read(json);
}

std::optional<Scenario> Scenario::fromFile(const QString &path, const QDate &today,
                                           std::string *error)
{
    // A regular file only: a FIFO or a device of that name is refused
    // rather than waited on.
    std::string text, why;
    if (!fm::ReadRegularFile(path.toStdString(), kMaxScenarioFileSize, text, &why)) {
        if (error)
            *error = "cannot read " + path.toStdString() + ": " + why;
        return std::nullopt;
    }
    return fromJson(QByteArray::fromStdString(text), today, error);
}

std::string MakeResultRow(char direction, std::string_view bank, std::string_view kind,
                          std::string_view date, std::string_view start, std::string_view end,
                          int records, int sequence, int receptions)
{
    std::string row(1, direction);
    row += Fit(bank, 4);
    row += Fit(kind, 3);
    row += Fit(date, 8);
    row += Fit(start, 6);
    row += Fit(end, 6);
    row += FitNumber(records, 6);
    row += FitNumber(sequence, 3);
    row += FitNumber(receptions, 4);
    return row;
}

std::string MakeNoticeRow(std::string_view date, std::string_view time, std::string_view title,
                          std::string_view file)
{
    return Fit(date, 8) + Fit(time, 6) + Fit(title, 80) + Fit(file, 20);
}

std::optional<std::string> ResolveDate(std::string_view text, const QDate &today)
{
    QDate d;
    if (text.substr(0, 5) == "today") {
        std::string_view rest = text.substr(5);
        long long days = 0;
        if (!rest.empty()) {
            if (rest.size() < 2 || (rest[0] != '+' && rest[0] != '-') ||
                !IsDigits(rest.substr(1), rest.size() - 1) || rest.size() > 6)
                return std::nullopt;
            std::from_chars(rest.data() + 1, rest.data() + rest.size(), days);
            if (rest[0] == '-')
                days = -days;
        }
        d = today.addDays(days);
    } else {
        if (!IsDigits(text, 8))
            return std::nullopt;
        d = QDate::fromString(QString::fromLatin1(text.data(), int(text.size())), "yyyyMMdd");
    }
    if (!d.isValid())
        return std::nullopt;
    return d.toString("yyyyMMdd").toStdString();
}

std::vector<std::string> MakeResultRecords(std::string_view bank2, std::string_view date, int count)
{
    auto place = [](std::string &rec, size_t at, std::string_view value) {
        rec.replace(at, value.size(), value);
    };
    std::vector<std::string> out;
    std::string header(148, ' ');
    place(header, 0, "11");
    // Receipt number, institution code and the school's account, as a
    // school's file carries them.
    place(header, 16, "00127");
    place(header, 21, "7012345678");
    place(header, 64, Fit("1005" + std::string(bank2) + "0300123456", 16));
    place(header, 32, Fit(bank2, 2));
    place(header, 34, Fit(date, 8));
    place(header, 42, Fit(date, 8));
    out.push_back(header);
    static const char *const kCodes[] = {"0000", "0011", "0012", "0000", "0021"};
    long long unprocessed = 0;
    long long total = 0;
    for (int i = 1; i <= count; ++i) {
        std::string rec(148, ' ');
        place(rec, 0, "22");
        place(rec, 35, Fit(ZeroPad(20240000 + i, 10), 10));
        static const char *const kNames[] = {"김민준", "이서연", "박지호", "최수아", "정예준",
                                             "강하은", "조도윤", "윤지우", "장서준", "임하윤",
                                             "한지민", "오승현", "서유진"};
        place(rec, 55, Fit(*wire::ToCp949(kNames[(i - 1) % 13]), 10));
        place(rec, 65, Fit(bank2, 2));
        place(rec, 67, Fit("110" + ZeroPad(i, 9), 16));
        place(rec, 83, Fit(date, 8));
        const long long amount = 10000LL * (1 + i % 50);
        total += amount;
        place(rec, 91, FitNumber(amount, 8));
        const char *code = kCodes[i % 5];
        const long long left = std::string(code) == "0000" ? 0 : amount;
        unprocessed += left;
        place(rec, 108, FitNumber(left, 11));
        place(rec, 119, code);
        place(rec, 123, Fit(*wire::ToCp949("수업료"), 16));
        out.push_back(rec);
    }
    std::string trailer(148, ' ');
    place(trailer, 0, "33");
    place(trailer, 31, FitNumber(count, 7));
    place(trailer, 38, FitNumber(total, 13));
    place(trailer, 71, FitNumber(count, 7));
    place(trailer, 78, FitNumber(unprocessed, 13));
    out.push_back(trailer);
    return out;
}

} // namespace hostsim
