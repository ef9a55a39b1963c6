#include "session/DataGrid.h"

#include "common/codec.h"

namespace fm {

namespace {

bool isLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

unsigned char asciiLower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

// Whether `item` begins with `prefix`: single-byte letters compared without
// regard to case, double-byte characters exactly.
bool beginsWith(const std::string &item, const std::string &prefix)
{
    if (prefix.size() > item.size()) return false;
    size_t i = 0;
    while (i < prefix.size()) {
        const auto p = static_cast<unsigned char>(prefix[i]);
        const auto t = static_cast<unsigned char>(item[i]);
        if (isLeadByte(p)) {
            if (p != t) return false;
            if (i + 1 < prefix.size() && prefix[i + 1] != item[i + 1]) return false;
            i += 2;
        } else {
            if (asciiLower(p) != asciiLower(t)) return false;
            ++i;
        }
    }
    return true;
}

// The first `n` bytes of a CP949 text, without splitting a character.
std::string leftBytes(const std::string &s, size_t n)
{
    size_t i = 0;
    while (i < s.size()) {
        const size_t len = isLeadByte(static_cast<unsigned char>(s[i])) ? 2 : 1;
        if (i + len > n) break;
        i += len;
    }
    return s.substr(0, std::min(i, s.size()));
}

const char *const kBanks[] = {
    "0001 한국은행", "0002 산업은행", "0003 기업은행", "0004 국민은행", "0005 외환은행",
    "0006 주택은행", "0007 수협은행", "0008 수출입", "0009 장기신용", "0010 신농협중앙",
    "0011 농협중앙", "0012 농협회원", "0016 축협중앙", "0020 우리은행", "0021 조흥은행",
    "0022 상업은행", "0023 제일은행", "0024 우리은행", "0025 서울은행", "0026 신한은행",
    "0027 한미은행", "0028 동화은행", "0029 동남은행", "0030 대동은행", "0031 대구은행",
    "0032 부산은행", "0033 충청은행", "0034 광주은행", "0035 제주은행", "0036 경기은행",
    "0037 전북은행", "0038 강원은행", "0039 경남은행", "0040 충북은행", "0045 새마을금고",
    "0053 씨티은행", "0071 우체국", "0076 신용보증", "0081 하나은행", "0082 보람은행",
    "0083 평화은행",
};

struct Kind {
    const char *code;
    const char *name; // UTF-8
    TColor color;
};

const Kind kKinds[] = {
    {"100", "거래내역", clRed},   {"200", "이체자료", clBlue},  {"300", "배분이체", clGreen},
    {"400", "계좌등록", clPurple}, {"500", "은행등록", clTeal},  {"700", "매매정보", clBlack},
    {"800", "대출상황", clBlack},  {"801", "한도승인", clBlack}, {"802", "대출실행", clBlack},
};

const Kind *findKind(const std::string &code)
{
    for (const Kind &k : kKinds)
        if (code == k.code) return &k;
    return nullptr;
}

// Bytes `from` .. `from + n - 1` (1-based) of a text; empty beyond its end.
std::string piece(const std::string &s, size_t from, size_t n)
{
    if (from - 1 >= s.size()) return {};
    return s.substr(from - 1, n);
}

std::string directionWord(const std::string &letter)
{
    if (letter == "S") return K("송신");
    if (letter == "R") return K("수신");
    return {};
}

} // namespace

const std::string &MarkText()
{
    static const std::string mark = K("◎");
    return mark;
}

TBankList::TBankList()
{
    for (const char *b : kBanks) items_.push_back(K(b));
}

int TBankList::FindString(int startIndex, const std::string &text) const
{
    const int n = int(items_.size());
    if (n == 0) return -1;
    int start = (startIndex < -1 || startIndex >= n) ? -1 : startIndex;
    for (int k = 1; k <= n; ++k) {
        const int i = (start + k) % n;
        if (beginsWith(items_[size_t(i)], text)) return i;
    }
    return -1;
}

int TBankList::SelectString(int startIndex, const std::string &text)
{
    const int i = FindString(startIndex, text);
    if (i >= 0) ItemIndex = i;
    return i;
}

std::string TBankList::BankName(const std::string &code) const
{
    if (code.empty()) return {};
    const int i = FindString(0, code);
    if (i < 0) return code;
    const std::string &item = items_[size_t(i)];
    return item.size() > 5 ? leftBytes(item.substr(5), 20) : std::string();
}

std::string KindName(const std::string &code)
{
    const Kind *k = findKind(code);
    return k ? K(k->name) : code;
}

TColor KindColor(const std::string &code)
{
    const Kind *k = findKind(code);
    return k ? k->color : clBlack;
}

TColor DirectionColor(const std::string &letter) { return letter == "S" ? clRed : clBlue; }

std::string DateForm(const std::string &s)
{
    return piece(s, 1, 4) + "-" + piece(s, 5, 2) + "-" + piece(s, 7, 2);
}

std::string TimeForm(const std::string &s)
{
    return piece(s, 1, 2) + ":" + piece(s, 3, 2) + ":" + piece(s, 5, 2);
}

void InitDataGrid(TStringGrid &grid)
{
    grid.SetColCount(11);
    for (int c = 0; c < 11; ++c) {
        grid.SetCell(c, 0, std::string());
        grid.SetColWidths(c, c == 0 ? 65 : 64);
    }
    ClearDataList(grid);
}

void SetGridTitles(TStringGrid &grid, std::initializer_list<TGridColumn> columns)
{
    grid.SetColCount(int(columns.size()));
    int c = 0;
    for (const TGridColumn &col : columns) {
        grid.SetCell(c, 0, K(col.title));
        grid.SetColWidths(c, col.width);
        ++c;
    }
}

void ClearDataList(TStringGrid &grid)
{
    for (int r = 1; r < grid.RowCount(); ++r)
        for (int c = 0; c < grid.ColCount(); ++c) grid.SetCell(c, r, std::string());
    grid.SetRowCount(2);
}

bool ListHasData(const TStringGrid &grid) { return !grid.Cells(0, 1).empty(); }

void DrawResultListCell(const TStringGrid &grid, TGridCanvas &canvas, const TBankList &banks, int col,
                        int row, const TRect &rect)
{
    if (row < 1 || !(col <= 5 || col == 9) || col < 0 || !ListHasData(grid)) return;
    canvas.FillRect(rect);
    const std::string &text = grid.Cells(col, row);
    if (!text.empty()) {
        if (row == grid.Row())
            canvas.SetFontColor(canvas.HighlightTextColor());
        else if (col == 0)
            canvas.SetFontColor(DirectionColor(text));
        else if (col == 2)
            canvas.SetFontColor(KindColor(text));
        else if (col == 9)
            canvas.SetFontColor(clBlue);
    }
    std::string out;
    switch (col) {
    case 0: out = directionWord(text); break;
    case 1: out = banks.BankName(text); break;
    case 2: out = KindName(text); break;
    case 3: out = DateForm(text); break;
    case 4:
    case 5: out = TimeForm(text); break;
    case 9: out = " " + text; break;
    default: break;
    }
    canvas.TextOut(rect.Left + 2, rect.Top + 2, out);
}

void DrawFileListCell(const TStringGrid &grid, TGridCanvas &canvas, const TBankList &banks, int col,
                      int row, const TRect &rect)
{
    const std::string &text = grid.Cells(col, row);
    canvas.FillRect(rect);
    // The blanks around a text take no part in the centring (an amount
    // comes right-aligned in 13 characters): its visible part is centred.
    const size_t first = text.find_first_not_of(' ');
    const size_t lead = first == std::string::npos ? 0 : first;
    const size_t end = text.find_last_not_of(' ') + 1;
    const int shown = canvas.TextWidth(text.substr(lead, end - lead));
    canvas.TextOut(rect.Left + (rect.Width() - shown) / 2 - canvas.TextWidth(text.substr(0, lead)),
                   rect.Top + 2, text);

    if (row < 1 || col < 0 || col > 3 || !ListHasData(grid)) return;
    canvas.FillRect(rect);
    if (!text.empty()) {
        if (row == grid.Row())
            canvas.SetFontColor(canvas.HighlightTextColor());
        else if (col == 0)
            canvas.SetFontColor(DirectionColor(text));
        else if (col == 2)
            canvas.SetFontColor(KindColor(text));
    }
    std::string out;
    switch (col) {
    case 0: out = directionWord(text); break;
    case 1: out = banks.BankName(text); break;
    case 2: out = KindName(text); break;
    case 3: out = leftBytes(text, 13); break;
    default: break;
    }
    canvas.TextOut(rect.Left + 2, rect.Top + 2, out);
}

void DrawNoticeListCell(const TStringGrid &grid, TGridCanvas &canvas, int col, int row, const TRect &rect)
{
    if (row < 1 || col < 0 || col > 1 || !ListHasData(grid)) return;
    canvas.FillRect(rect);
    const std::string &text = grid.Cells(col, row);
    canvas.TextOut(rect.Left + 2, rect.Top + 2, col == 0 ? DateForm(text) : TimeForm(text));
}

void SGrdDataLstDrawCell(const TStringGrid &grid, TGridCanvas &canvas, const TBankList &banks, int col,
                         int row, const TRect &rect)
{
    switch (grid.ColCount()) {
    case 10: DrawResultListCell(grid, canvas, banks, col, row, rect); break;
    case 5: DrawNoticeListCell(grid, canvas, col, row, rect); break;
    case 11:
    case 12: DrawFileListCell(grid, canvas, banks, col, row, rect); break;
    default: break;
    }
}

void SGrdDataLstDblClick(TStringGrid &grid, const TMarkActions &actions)
{
    const int r = grid.Row();
    // Empties a mark cell that holds anything, marks an empty one; true
    // when the mark was set.
    auto toggle = [&](int col) {
        if (!grid.Cells(col, r).empty()) {
            grid.SetCell(col, r, std::string());
            return false;
        }
        grid.SetCell(col, r, MarkText());
        return true;
    };
    auto markedFileRow = [&](const char *suffix) {
        if (actions.LoadTransferFile) actions.LoadTransferFile(r, actions.AppDir + suffix);
        if (actions.EnableDataList) actions.EnableDataList();
    };
    const std::string letter = grid.Cells(0, r);
    switch (grid.ColCount()) {
    case 10:
        if (letter == "R") toggle(9);
        break;
    case 5: toggle(4); break;
    case 11:
        if (letter == "S") {
            if (toggle(10)) markedFileRow("\\Send");
        } else if (letter == "R") {
            if (toggle(10)) markedFileRow("\\Recv");
        }
        break;
    case 12:
        if (letter == "S" && toggle(11)) markedFileRow("\\SBack");
        break;
    default: break;
    }
}

void SGrdDataLstKeyDown(TStringGrid &grid, int key, TShiftState, const TMarkActions &actions)
{
    if (key == VK_RETURN || key == VK_SPACE) SGrdDataLstDblClick(grid, actions);
}

} // namespace fm
