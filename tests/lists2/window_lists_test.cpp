// The communication window's lists end to end: the work selection with its
// five kinds of work, the result list and the notice list from the host
// simulator, the file lists from the working folders, the marks, and the
// password change.
#include "../lists/transfer_builder.h"
#include "../session/sessionenv.h"
#include "session/C101B02.h"
#include "session/C101B03.h"
#include "session/DataGrid.h"
#include "session/TransferFile.h"
#include "common/digitface.h"
#include "common/text.h"
#include "support/screens.h"
#include "shell/DMModule.h"

#include <QDateEdit>
#include <QProgressBar>

#include <ctime>

using fm::MsgIcon;
using fm::TFrmC101B02;
using fm::TFrmC101B03;
using fmtest::K;
namespace wire = hostsim::wire;

namespace {

// Records the texts a cell's drawing writes.
class TextCanvas : public fm::TGridCanvas {
public:
    std::string text;
    void FillRect(const fm::TRect &) override {}
    void SetFontColor(fm::TColor c) override { color = c; }
    fm::TColor FontColor() const override { return color; }
    void TextOut(int, int, const std::string &t) override { text = t; }
    int TextWidth(const std::string &t) const override { return int(t.size()) * 7; }
    fm::TColor StandardColor() const override { return fm::clBlack; }
    fm::TColor HighlightTextColor() const override { return fm::clWhite; }

private:
    fm::TColor color = fm::clBlack;
};

class ListsEnv : public SessionEnv {
protected:
    fm::TDMLib *savedDMLib_ = nullptr;

    void SetUp() override
    {
        SessionEnv::SetUp();
        // The data module of the working folder (the test's folder): it
        // makes the send, sent and received folders.
        std::tm tm{};
        tm.tm_year = 2024 - 1900, tm.tm_mon = 2, tm.tm_mday = 15, tm.tm_hour = 10, tm.tm_isdst = -1;
        const std::time_t t = std::mktime(&tm);
        fm::SetClockForTesting([t] { return t; });
        savedDMLib_ = fm::DMLib;
        fm::DMLib = new fm::TDMLib;
        boxes.clear();
    }
    void TearDown() override
    {
        SessionEnv::TearDown();
        delete fm::DMLib;
        fm::DMLib = savedDMLib_;
    }

    // A work-selection step: chooses an item (none when below 0), may set
    // the dates, ends with the given result.
    static fmtest::ScriptedModals::Step choose(int item, int result = fm::mrOk, QDate from = {}, QDate to = {})
    {
        return [=](QDialog &d) {
            auto &dlg = dynamic_cast<TFrmC101B02 &>(d);
            EXPECT_EQ(dlg.ItemIndex(), -1) << "the dialog opened with a choice";
            dlg.SetItemIndex(item);
            if (from.isValid()) dlg.DTPkerSDt->setDate(from);
            if (to.isValid()) dlg.DTPkerEDt->setDate(to);
            return result;
        };
    }
    static fmtest::ScriptedModals::Step passwords(const char *current, const char *changed, const char *confirm,
                                                  int result = fm::mrOk)
    {
        return [=](QDialog &d) {
            auto &dlg = dynamic_cast<TFrmC101B03 &>(d);
            dlg.EdtCurrPswd->setText(QString::fromUtf8(current));
            dlg.EdtUpdtPswd->setText(QString::fromUtf8(changed));
            dlg.EdtConfiPswd->setText(QString::fromUtf8(confirm));
            return result;
        };
    }

    fm::TStringGrid &grid() { return *w->SGrdDataLst; }
    const std::string &cell(int c, int r) { return w->SGrdDataLst->Cells(c, r); }
    size_t received(const std::string &code) const
    {
        size_t n = 0;
        for (const auto &c : host.receivedCodes()) n += c == code;
        return n;
    }
    std::vector<std::string> telegramsWith(const std::string &code) const
    {
        std::vector<std::string> out;
        for (const auto &t : host.receivedTelegrams())
            if (wire::Get(t, wire::kMsgCode) == code) out.push_back(t);
        return out;
    }
    // Buttons as a string: send, receive, detail, password, work selection.
    std::string buttons() const
    {
        std::string s;
        for (const QPushButton *b : {w->BBtnFileSnd, w->BBtnFileRecv, w->BBtnDataList, w->BBtnPswd, w->BBtnLstSech})
            s += b->isEnabled() ? '1' : '0';
        return s;
    }
    std::string drawn(int col, int row)
    {
        TextCanvas c;
        w->SGrdDataLst->OnDrawCell(c, col, row, fm::TRect{0, 0, 60, 20});
        return c.text;
    }
    void writeTransferFile(const std::string &folder, const std::string &name, int records, const std::string &bank)
    {
        listtest::FileSpec spec;
        spec.records = records;
        spec.bank = bank;
        spec.count = "00000" + std::to_string(10 + records);
        dir.write(folder + "/" + name, listtest::File(spec));
    }
};

TEST_F(ListsEnv, ResultListArrivesInBlocksAndOnlyReceivedRowsCanBeMarked)
{
    for (int i = 0; i < 30; ++i)
        host.scenario().resultRows.push_back(hostsim::MakeResultRow(
            i % 3 == 0 ? 'S' : 'R', "0004", "200", "202403" + std::to_string(10 + i % 5), "091500", "092000",
            102 + i, i + 1, i % 4));
    host.scenario().resultRows.push_back(
        hostsim::MakeResultRow('R', "0004", "200", "20240401", "091500", "092000", 5, 99, 0)); // out of range
    login();
    w->BBtnDataList->setEnabled(true);
    host.clearLog();

    modals.then(choose(1, fm::mrOk, QDate(2024, 3, 1), QDate(2024, 3, 31)));
    w->BBtnLstSech->click();
    ASSERT_TRUE(fmtest::WaitFor([&] { return received("0620100") == 2; })) << boxes.texts();
    QTest::qWait(50);
    EXPECT_EQ(boxes.count(), 0u) << boxes.texts();

    // The query, then one acknowledgement per block, after its rows.
    EXPECT_EQ(host.receivedCodes(), (std::vector<std::string>{"0600100", "0620100", "0620100"}));
    EXPECT_EQ(wire::Get(host.receivedTelegrams()[0], wire::kData), "2024030120240331R" + std::string(943, ' '));
    for (const auto &ack : telegramsWith("0620100")) EXPECT_EQ(wire::Get(ack, wire::kRespCode), "00");

    ASSERT_EQ(grid().ColCount(), 10);
    ASSERT_EQ(grid().RowCount(), 31);
    for (int i = 0; i < 30; ++i) {
        const int r = i + 1;
        EXPECT_EQ(cell(0, r), i % 3 == 0 ? "S" : "R") << r;
        EXPECT_EQ(cell(6, r), std::to_string(100 + i)) << r;
        EXPECT_EQ(cell(7, r), fm::PadLeftZero(std::to_string(i + 1), 3)) << r;
        EXPECT_EQ(cell(9, r), "") << r;
    }
    EXPECT_EQ(w->PnlStatus->text(), q("이체결과자료 조회!!"));
    EXPECT_EQ(w->StatusColor(), fm::clBlue);
    EXPECT_EQ(w->LblFtp->text(), q("자료수신중입니다. 잠시만 기다려 주십시요!!"));
    EXPECT_TRUE(w->PnlFtp->isHidden());
    EXPECT_EQ(buttons(), "01011");

    // The grid draws through the window's bank list.
    EXPECT_EQ(drawn(0, 1), K("송신"));
    EXPECT_EQ(drawn(0, 2), K("수신"));
    EXPECT_EQ(drawn(1, 2), K("국민은행"));

    // An "S" row cannot be marked; an "R" row can, by Enter, Space or a
    // double-click; the detail button stays as it is.
    grid().setFocus();
    grid().SetRow(1);
    QTest::keyClick(&grid(), Qt::Key_Return);
    EXPECT_EQ(cell(9, 1), "");
    grid().SetRow(2);
    QTest::keyClick(&grid(), Qt::Key_Space);
    EXPECT_EQ(cell(9, 2), fm::MarkText());
    QTest::keyClick(&grid(), Qt::Key_Enter);
    EXPECT_EQ(cell(9, 2), "");
    grid().SetRow(3);
    grid().OnDblClick();
    EXPECT_EQ(cell(9, 3), fm::MarkText());
    EXPECT_FALSE(w->BBtnDataList->isEnabled());
}

TEST_F(ListsEnv, NothingFoundLeavesTheEmptyResultListAndARedStatus)
{
    login();
    grid().SetCell(0, 1, "R"); // a list on the screen before
    modals.then(choose(1));
    w->BBtnLstSech->click();
    ASSERT_TRUE(waitBox("검색자료없음")) << boxes.texts();
    EXPECT_EQ(boxes.last().caption, q("오류"));
    EXPECT_EQ(w->PnlStatus->text(), q("검색자료없음!!"));
    EXPECT_EQ(w->StatusColor(), fm::clRed);
    // The dialog's dates were today's.
    EXPECT_EQ(wire::Get(telegramsWith("0600100").at(0), wire::kData).substr(0, 17), "2024031520240315R");
    EXPECT_EQ(grid().ColCount(), 10);
    EXPECT_EQ(grid().RowCount(), 2);
    EXPECT_EQ(cell(0, 1), "");
    EXPECT_EQ(cell(0, 0), K("구분"));
    EXPECT_EQ(received("0620100"), 0u);
}

TEST_F(ListsEnv, NoticeListOfNineRows)
{
    for (int i = 1; i <= 9; ++i)
        host.scenario().noticeRows.push_back(hostsim::MakeNoticeRow(
            "2024031" + std::to_string(i % 5), "0930" + fm::PadLeftZero(std::to_string(i), 2),
            K("공지 ") + std::to_string(i), "notice" + std::to_string(i) + ".txt"));
    login();
    host.clearLog();
    modals.then(choose(4, fm::mrOk, QDate(2024, 3, 1), QDate(2024, 3, 31)));
    w->BBtnLstSech->click();
    ASSERT_TRUE(fmtest::WaitFor([&] { return received("0420100") == 2; })) << boxes.texts();
    QTest::qWait(50);
    EXPECT_EQ(host.receivedCodes(), (std::vector<std::string>{"0400100", "0420100", "0420100"}));
    EXPECT_EQ(wire::Get(host.receivedTelegrams()[0], wire::kData), "2024030120240331" + std::string(944, ' '));
    ASSERT_EQ(grid().ColCount(), 5);
    ASSERT_EQ(grid().RowCount(), 10);
    for (int i = 1; i <= 9; ++i) {
        EXPECT_EQ(cell(2, i), K("공지 ") + std::to_string(i));
        EXPECT_EQ(cell(3, i), "notice" + std::to_string(i) + ".txt");
    }
    EXPECT_EQ(cell(0, 0), K("등록일자"));
    EXPECT_EQ(drawn(1, 1), "09:30:01");
    EXPECT_EQ(w->PnlStatus->text(), q("공지사항 목록조회 중입니다!!"));
    // Both the send and the receive button stay enabled.
    EXPECT_EQ(buttons(), "11011");
    grid().SetRow(9);
    grid().OnDblClick();
    EXPECT_EQ(cell(4, 9), fm::MarkText());
    EXPECT_EQ(boxes.count(), 0u) << boxes.texts();
}

TEST_F(ListsEnv, CancelledOrEmptyChoiceChangesOnlyStatusAndButtons)
{
    login();
    fm::ClearDataList(grid());
    grid().SetCell(0, 1, "R");
    w->BBtnDataList->setEnabled(true);
    w->LblFtp->setText("before");
    host.clearLog();

    modals.then(choose(1, fm::mrCancel));
    w->BBtnLstSech->click();
    EXPECT_EQ(w->PnlStatus->text(), " ");
    EXPECT_EQ(w->StatusColor(), fm::clBlue);
    EXPECT_EQ(buttons(), "11011");
    EXPECT_EQ(w->LblFtp->text(), "before");

    w->BBtnDataList->setEnabled(true);
    modals.then(choose(-1, fm::mrOk));
    w->BBtnLstSech->click();
    EXPECT_EQ(buttons(), "11011");
    EXPECT_EQ(w->LblFtp->text(), q("자료수신중입니다. 잠시만 기다려 주십시요!!"));

    EXPECT_EQ(modals.shownCount(), 3);
    EXPECT_EQ(cell(0, 1), "R") << "the grid changed";
    EXPECT_EQ(grid().ColCount(), 11);
    QTest::qWait(50);
    EXPECT_TRUE(host.receivedTelegrams().empty());
    EXPECT_EQ(boxes.count(), 0u) << boxes.texts();
    EXPECT_TRUE(w->LoggedIn());
}

TEST_F(ListsEnv, FileListsFromTheWorkingFolders)
{
    writeTransferFile("send", "S0002.txt", 5, "26");
    writeTransferFile("send", "S0001.TXT", 3, " 4");
    writeTransferFile("send", "X0003.txt", 1, "11"); // not a transfer file name
    writeTransferFile("sback", "S0101.txt", 2, "20");
    writeTransferFile("recv", "S0201.txt", 4, "81");
    login();
    host.clearLog();

    // Files to send: the listing is sorted by name, the last file stays loaded.
    modals.then(choose(0));
    w->BBtnLstSech->click();
    ASSERT_EQ(grid().ColCount(), 11);
    ASSERT_EQ(grid().RowCount(), 3);
    EXPECT_EQ(cell(0, 1), "S");
    EXPECT_EQ(cell(1, 1), "004");
    EXPECT_EQ(cell(1, 2), "0026");
    EXPECT_EQ(cell(6, 2), "15");
    EXPECT_EQ(drawn(1, 2), K("신한은행"));
    EXPECT_EQ(w->ListKind, "S");
    EXPECT_EQ(w->FileRecCount, 5);
    EXPECT_EQ(buttons(), "10011");

    // Marking a row loads its file and enables the detail button.
    grid().SetRow(1);
    QTest::keyClick(&grid(), Qt::Key_Return);
    EXPECT_EQ(cell(10, 1), fm::MarkText());
    EXPECT_EQ(w->FileRecCount, 3);
    EXPECT_EQ(buttons(), "10111");
    QTest::keyClick(&grid(), Qt::Key_Return); // emptying loads nothing
    EXPECT_EQ(cell(10, 1), "");
    EXPECT_EQ(buttons(), "10111");

    // Files already sent.
    modals.then(choose(2));
    w->BBtnLstSech->click();
    ASSERT_EQ(grid().ColCount(), 12);
    ASSERT_EQ(grid().RowCount(), 2);
    EXPECT_EQ(cell(1, 1), "0020");
    EXPECT_EQ(cell(10, 1), K("완료"));
    EXPECT_EQ(cell(0, 0), K("구분"));
    EXPECT_EQ(buttons(), "00011");
    grid().OnDblClick();
    EXPECT_EQ(cell(11, 1), fm::MarkText());
    EXPECT_EQ(w->FileRecCount, 2);
    EXPECT_EQ(buttons(), "00111");

    // Received result files.
    modals.then(choose(3));
    w->BBtnLstSech->click();
    ASSERT_EQ(grid().ColCount(), 11);
    ASSERT_EQ(grid().RowCount(), 2);
    EXPECT_EQ(cell(0, 1), "R");
    EXPECT_EQ(cell(6, 1), "3"); // the unprocessed count
    EXPECT_EQ(cell(6, 0), K("미처리총건수"));
    EXPECT_EQ(w->ListKind, "R");
    EXPECT_EQ(w->FileRecCount, 4);
    EXPECT_EQ(buttons(), "00011");

    // An empty folder: the message, the titled empty list.
    ::unlink(dir.file("recv/S0201.txt").c_str());
    modals.then(choose(3));
    w->BBtnLstSech->click();
    ASSERT_EQ(boxes.count(), 1u) << boxes.texts();
    EXPECT_EQ(boxes.last().text, q("파일이 없습니다!"));
    EXPECT_EQ(boxes.last().icon, MsgIcon::Error);
    EXPECT_EQ(grid().RowCount(), 2);
    EXPECT_EQ(cell(0, 1), "");
    EXPECT_EQ(cell(10, 0), K("선택"));

    QTest::qWait(30);
    EXPECT_TRUE(host.receivedTelegrams().empty()) << "a file list asked the host";
}

TEST_F(ListsEnv, ConnectionEndingDuringTheDialogLeavesTheWindowOffline)
{
    writeTransferFile("send", "S0001.txt", 1, "26");
    login();
    grid().SetCell(0, 1, "R");
    modals.then([&](QDialog &d) {
        host.closeConnections();
        EXPECT_TRUE(waitBox(kDisconnectBox)) << boxes.texts();
        dynamic_cast<TFrmC101B02 &>(d).SetItemIndex(0);
        return int(fm::mrOk);
    });
    w->BBtnLstSech->click();
    EXPECT_FALSE(w->LoggedIn());
    EXPECT_TRUE(w->BBtnConn->isVisible());
    EXPECT_EQ(buttons(), "00000");
    EXPECT_EQ(cell(0, 1), "R") << "the list was replaced after the connection ended";
    EXPECT_EQ(boxes.count(), 1u) << boxes.texts();
}

TEST_F(ListsEnv, BlocksThatCannotBeTakenWhole)
{
    login();
    modals.then(choose(1));
    host.scenario().resultRows.push_back(
        hostsim::MakeResultRow('R', "0004", "200", "20240315", "091500", "092000", 12, 1, 0));
    w->BBtnLstSech->click();
    ASSERT_TRUE(fmtest::WaitFor([&] { return received("0620100") == 1; })) << boxes.texts();
    ASSERT_EQ(grid().RowCount(), 2);

    auto block = [&](const std::string &recInfo, const std::string &recCount, const std::string &data) {
        std::string t = answer("0630100", "00", ' ', data);
        wire::Put(t, wire::kRecInfo, recInfo);
        wire::Put(t, wire::kRecCount, recCount);
        return t;
    };
    std::string rows;
    for (int i = 0; i < 24; ++i)
        rows += hostsim::MakeResultRow('R', "0081", "100", "20240316", "101010", "101515", 2 + i, 10 + i, 1);
    ASSERT_EQ(rows.size(), 984u);

    // Thirty rows announced, 23 inside Data: those are taken and acknowledged.
    ASSERT_TRUE(host.pushTelegram(block("41", "30", rows.substr(0, 960))));
    ASSERT_TRUE(fmtest::WaitFor([&] { return received("0620100") == 2; })) << boxes.texts();
    ASSERT_EQ(grid().RowCount(), 25);
    EXPECT_EQ(cell(7, 24), "032");
    EXPECT_EQ(cell(6, 24), "22");
    EXPECT_EQ(wire::Get(telegramsWith("0620100").back(), wire::kRespCode), "00");

    // A block without rows is acknowledged with a blank answer code.
    ASSERT_TRUE(host.pushTelegram(block("41", "00", rows)));
    ASSERT_TRUE(fmtest::WaitFor([&] { return received("0620100") == 3; })) << boxes.texts();
    EXPECT_EQ(wire::Get(telegramsWith("0620100").back(), wire::kRespCode), "  ");
    EXPECT_EQ(grid().RowCount(), 25);

    // A length that is not a number: refused, nothing taken, no answer.
    ASSERT_TRUE(host.pushTelegram(block("4l", "01", rows)));
    ASSERT_TRUE(waitBox(kBrokenBox)) << boxes.texts();
    EXPECT_EQ(boxes.last().caption, q("전문오류"));
    QTest::qWait(50);
    EXPECT_EQ(received("0620100"), 3u);
    EXPECT_EQ(grid().RowCount(), 25);

    // The same for the notice list.
    ASSERT_TRUE(host.pushTelegram(answer("0410100")));
    std::string notice = block("114", "  ", std::string(960, 'n'));
    wire::Put(notice, wire::kMsgCode, "0430100");
    ASSERT_TRUE(host.pushTelegram(notice));
    ASSERT_TRUE(waitBox(kBrokenBox, 2)) << boxes.texts();
    EXPECT_EQ(w->PnlStatus->text(), q("공지사항 목록조회 중입니다!!"));
    QTest::qWait(50);
    EXPECT_EQ(received("0420100"), 0u);
    EXPECT_TRUE(w->LoggedIn());
}

TEST_F(ListsEnv, PasswordChange)
{
    login();
    host.clearLog();

    // A confirmation that differs (here by a trailing blank): nothing sent.
    modals.then(passwords("pw1234", "new1", "new1 "));
    w->BBtnPswd->click();
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.last().text, q("새로운 패스워드가 틀립니다.\r\n다시 입력하세요!!!"));
    EXPECT_EQ(boxes.last().caption, q("입력오류"));
    EXPECT_EQ(boxes.last().icon, MsgIcon::Error);
    // Cancelled: nothing sent, no box.
    modals.then(passwords("pw1234", "new1", "new2", fm::mrCancel));
    w->BBtnPswd->click();
    EXPECT_EQ(modals.shownCount(), 3);
    QTest::qWait(50);
    EXPECT_TRUE(host.receivedTelegrams().empty());
    EXPECT_EQ(boxes.count(), 1u) << boxes.texts();

    // Three empty edits: a blank change, which the host refuses (11).
    boxes.clear();
    modals.then(passwords("", "", ""));
    w->BBtnPswd->click();
    ASSERT_TRUE(waitBox("구비밀번호오류")) << boxes.texts();
    ASSERT_EQ(telegramsWith("0300100").size(), 1u);
    EXPECT_EQ(wire::Get(telegramsWith("0300100")[0], wire::kData), std::string(960, ' '));
    EXPECT_EQ(wire::Get(telegramsWith("0300100")[0], wire::kJobKind), "3");

    // The current password typed with blanks around it goes without them.
    host.scenario().accounts["AB12"] = "pw1";
    boxes.clear();
    modals.then(passwords(" pw1 ", "new9", "new9"));
    w->BBtnPswd->click();
    ASSERT_TRUE(waitBox("암호가 변경되었습니다.!!")) << boxes.texts();
    EXPECT_EQ(boxes.last().caption, q("암호변경"));
    EXPECT_EQ(boxes.last().icon, MsgIcon::Information);
    ASSERT_TRUE(fmtest::WaitFor([&] { return w->PnlStatus->text() == q("암호가 변경되었습니다!!"); }));
    EXPECT_EQ(w->StatusColor(), fm::clBlue);
    EXPECT_EQ(wire::Get(telegramsWith("0300100").back(), wire::kData).substr(0, 21), "pw1       new9       ");
    EXPECT_EQ(host.scenario().accounts["AB12"], "new9");
    EXPECT_EQ(boxes.count(), 1u) << boxes.texts();
}

} // namespace

// The progress panel's percentage, at the start and at the end of a file:
// every character, "%" too, the digit face's own, a run of ink of its own.
TEST_F(ListsEnv, TheProgressPanelsPercentageReadsCleanly)
{
    QFont face(fm::DigitFaceFamily());
    face.setPixelSize(12);
    w->PBarFtp->setRange(0, 200);
    for (const auto &[position, text] : {std::pair{10, "5%"}, std::pair{200, "100%"}}) {
        w->PBarFtp->setValue(position);
        EXPECT_EQ(fmtest::FromZero(fmtest::ProgressTextInkSpans(*w->PBarFtp)),
                  fmtest::FromZero(fmtest::TextInkSpans(face, text)))
            << text;
    }
}
