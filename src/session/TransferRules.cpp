#include "session/TransferRules.h"

#include "common/codec.h"
#include "common/errors.h"
#include "common/text.h"

#include <QString>

#include <cctype>
#include <vector>

namespace fm {

bool IsSafeBareName(std::string_view name)
{
    if (name.empty() || name == "." || name.find("..") != std::string_view::npos) return false;
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F || c == '/' || c == '\\') return false;
    return true;
}

std::string RecvSuffix(int counter)
{
    return PadLeftZero(std::to_string(counter), 2).substr(0, 2);
}

namespace {
std::string UpToZero(std::string_view field)
{
    auto z = field.find('\0');
    return std::string(z == std::string_view::npos ? field : field.substr(0, z));
}

// A decimal number as the client reads numbers, or nothing.
std::optional<int> Number(std::string_view text)
{
    try {
        return StrToInt(Trimmed(text));
    } catch (const ConvertError &) {
        return std::nullopt;
    }
}
} // namespace

std::string RecvFileNameOf(std::string_view compCdField, std::string_view subCodeField,
                           std::string_view kindCode, int counter)
{
    std::string name = UpToZero(compCdField.substr(0, 4)) + UpToZero(subCodeField.substr(0, 4)) + ".";
    if (!kindCode.empty()) name += kindCode[0];
    return name + RecvSuffix(counter);
}

std::string CounterNameFor(const std::string &kindCode)
{
    static const char *const kCounters[] = {"000", "100", "200", "300", "400",
                                            "500", "600", "700", "800"};
    for (const char *c : kCounters)
        if (kindCode == c) return kindCode;
    if (kindCode.size() == 3 && kindCode[0] >= '0' && kindCode[0] <= '8' &&
        std::isdigit(static_cast<unsigned char>(kindCode[1])) &&
        std::isdigit(static_cast<unsigned char>(kindCode[2])))
        return kindCode.substr(0, 1) + "00";
    return {};
}

std::optional<TBlockShape> ReadBlockShape(std::string_view recLenText, std::string_view recCountText)
{
    const std::optional<int> len = Number(recLenText);
    const std::optional<int> count = Number(recCountText);
    if (!len || !count || *len <= 0 || *count < 0) return std::nullopt;
    if (static_cast<long long>(*len) * *count > 960) return std::nullopt;
    return TBlockShape{*len, *count};
}

std::optional<int> ReadTotal(std::string_view data) { return Number(data); }

std::optional<int64_t> ReadShownAmount(std::string_view cell)
{
    const std::string shown = Trimmed(cell);
    std::string digits;
    for (char c : shown)
        if (c != ',') digits += c;
    try {
        const int64_t amount = StrToInt64(digits);
        // Only the list's own form: the groups where it puts them.
        if (FormatThousands(amount, 0) != shown) return std::nullopt;
        return amount;
    } catch (const ConvertError &) {
        return std::nullopt;
    }
}

bool IsRichText(std::string_view text) { return text.substr(0, 5) == "{\\rtf"; }

std::string RtfToPlain(std::string_view rtf)
{
    std::string out;
    // Per group: whether its text is hidden, and how many characters stand
    // in for a \u character.
    struct Group {
        bool hidden = false;
        int uc = 1;
    };
    std::vector<Group> groups{Group{}};
    int skipFallback = 0; // characters still to skip after a \u
    size_t i = 0;
    const size_t n = rtf.size();
    auto put = [&](const std::string &text) {
        if (skipFallback > 0) {
            --skipFallback;
            return;
        }
        if (!groups.back().hidden) out += text;
    };
    while (i < n) {
        const char c = rtf[i];
        if (c == '{') {
            groups.push_back(groups.back());
            ++i;
            continue;
        }
        if (c == '}') {
            if (groups.size() > 1) groups.pop_back();
            skipFallback = 0;
            ++i;
            continue;
        }
        if (c == '\r' || c == '\n') {
            ++i;
            continue;
        }
        if (c != '\\') {
            put(std::string(1, c));
            ++i;
            continue;
        }
        // A control word or symbol.
        ++i;
        if (i >= n) break;
        const char s = rtf[i];
        if (s == '\\' || s == '{' || s == '}') {
            put(std::string(1, s));
            ++i;
            continue;
        }
        if (s == '\'') {
            // \'hh: one byte in the document's code page.
            if (i + 2 < n && std::isxdigit(static_cast<unsigned char>(rtf[i + 1])) &&
                std::isxdigit(static_cast<unsigned char>(rtf[i + 2]))) {
                const int byte = std::stoi(std::string(rtf.substr(i + 1, 2)), nullptr, 16);
                put(std::string(1, static_cast<char>(byte)));
                i += 3;
            } else {
                ++i;
            }
            continue;
        }
        if (s == '*') {
            // An optional destination the reader does not know: hidden.
            groups.back().hidden = true;
            ++i;
            continue;
        }
        if (s == '~') {
            put(" ");
            ++i;
            continue;
        }
        if (!std::isalpha(static_cast<unsigned char>(s))) {
            // Other control symbols (\-, \_, \|, \:) show nothing.
            ++i;
            continue;
        }
        size_t start = i;
        while (i < n && std::isalpha(static_cast<unsigned char>(rtf[i]))) ++i;
        const std::string word(rtf.substr(start, i - start));
        bool hasParam = false;
        long long param = 0;
        bool negative = false;
        if (i < n && rtf[i] == '-') {
            negative = true;
            ++i;
        }
        while (i < n && std::isdigit(static_cast<unsigned char>(rtf[i]))) {
            hasParam = true;
            if (param < 1000000) param = param * 10 + (rtf[i] - '0');
            ++i;
        }
        if (negative) param = -param;
        if (i < n && rtf[i] == ' ') ++i; // the delimiting blank belongs to the word

        if (word == "par" || word == "line") {
            put("\n");
        } else if (word == "tab") {
            put("\t");
        } else if (word == "uc") {
            groups.back().uc = hasParam ? static_cast<int>(param) : 1;
        } else if (word == "u" && hasParam) {
            long long code = param < 0 ? param + 65536 : param;
            if (!groups.back().hidden) out += FromQ(QString(QChar(static_cast<char16_t>(code & 0xFFFF))));
            skipFallback = groups.back().uc;
        } else if (word == "fonttbl" || word == "colortbl" || word == "stylesheet" || word == "info" ||
                   word == "pict" || word == "header" || word == "footer" || word == "object" ||
                   word == "listtable" || word == "listoverridetable" || word == "generator") {
            groups.back().hidden = true;
        }
    }
    return out;
}

// ---- detail list -------------------------------------------------------------

std::string ReasonBankKey(const std::string &bankCode)
{
    if (bankCode == "26" || bankCode == "11" || bankCode == "12") return bankCode;
    return "99";
}

std::string ReasonResultCode(const std::string &field) { return PadLeftZero(Trimmed(field), 4); }

std::string DetailAmount(const std::string &field, int width)
{
    return FormatThousands(StrToInt64(PadLeftZero(field, width)), width);
}

} // namespace fm
