// Sending, receiving, notice download and the detail list of the
// communication window against the in-process host simulator over loopback,
// with the real conversion library.
#include "common/text.h"
#include "paradox/pxwrite.h"
#include "platform/paths.h"
#include "session/C101B03.h"
#include "session/C101B04.h"
#include "session/C101B05.h"
#include "session/Convert.h"
#include "session/DataGrid.h"
#include "session/FileLists.h"
#include "session/sessionenv.h"
#include "shell/DMModule.h"
#include "zelcoran.h"

#include <QHeaderView>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;
using fm::MarkText;

namespace {

std::string Join(const std::vector<std::string> &records)
{
    std::string out;
    for (const auto &r : records) out += r + "\r\n";
    return out;
}

std::vector<std::string> Lines(const std::string &text)
{
    std::vector<std::string> out;
    size_t at = 0;
    while (at < text.size()) {
        size_t e = text.find("\r\n", at);
        if (e == std::string::npos) e = text.size();
        out.push_back(text.substr(at, e - at));
        at = e + 2;
    }
    return out;
}

} // namespace

class Exchange : public SessionEnv {
protected:
    std::unique_ptr<fm::TDMLib> dm;

    void SetUp() override
    {
        SessionEnv::SetUp();
        dm = std::make_unique<fm::TDMLib>();
        fm::DMLib = dm.get();
        fm::SetProgramFolder(FM_BINARY_DIR "/bin");
    }
    void TearDown() override
    {
        fm::SetProgramFolder({});
        fm::DMLib = nullptr;
        dm.reset();
        SessionEnv::TearDown();
    }
    std::string app() const { return dm->AppDir; }
    std::string inApp(const std::string &rel) const { return app() + "/" + rel; }
    std::string read(const std::string &rel) const { return dir.read(rel); }

    // The send list filled from send\, every row marked.
    void sendList(fm::TFileLists &lists)
    {
        lists.SetSendFileListTitle();
        lists.FillFileList(app() + "\\Send", "S", "S");
        for (int r = 1; r < w->SGrdDataLst->RowCount(); ++r) w->SGrdDataLst->SetCell(10, r, MarkText());
    }
    // send\S0001.txt holding `file`, logged in, the send list filled and marked.
    void listToSend(const std::string &file)
    {
        dir.write("send/S0001.txt", file);
        login();
        auto l = lists();
        sendList(l);
    }
    fm::TFileLists lists() { return fm::TFileLists(*w->SGrdDataLst, w->FLbHProc, fm::LoadedFile(), w->FileRecCount, w->ListKind); }

    // A result-list row: bank, kind, date, records, sequence, marked.
    void resultRow(int r, const std::string &bank, const std::string &kind, const std::string &date,
                   int records, int seq)
    {
        auto &g = *w->SGrdDataLst;
        if (g.RowCount() <= r) g.SetRowCount(r + 1);
        g.SetCell(0, r, "R");
        g.SetCell(1, r, bank);
        g.SetCell(2, r, kind);
        g.SetCell(3, r, date);
        g.SetCell(6, r, std::to_string(records));
        g.SetCell(7, r, fm::PadLeftZero(std::to_string(seq), 3));
        g.SetCell(9, r, MarkText());
    }

    // Names in a folder of the working folder starting with `prefix`, sorted.
    std::vector<std::string> filesIn(const std::string &folder, const std::string &prefix = {}) const
    {
        std::vector<std::string> out;
        for (const auto &e : fs::directory_iterator(inApp(folder))) {
            const std::string name = e.path().filename().string();
            if (name.rfind(prefix, 0) == 0) out.push_back(name);
        }
        std::sort(out.begin(), out.end());
        return out;
    }
    // Waits for the n-th box whose text starts with `text`.
    bool waitBoxStarting(const char *text, size_t n = 1)
    {
        return fmtest::WaitFor([&] {
            size_t found = 0;
            for (const auto &b : boxes.shown()) found += b.text.startsWith(q(text));
            return found >= n;
        });
    }

    std::vector<std::string> telegramsWith(const std::string &code) const
    {
        std::vector<std::string> out;
        for (const auto &t : host.receivedTelegrams())
            if (t.substr(1, 7) == code) out.push_back(t);
        return out;
    }
};

TEST_F(Exchange, SendsTwoMarkedFilesAndMovesThemToSback)
{
    const auto one = hostsim::MakeResultRecords("26", "20240105", 10);
    const auto two = hostsim::MakeResultRecords("11", "20240105", 3);
    dir.write("send/S0001.txt", Join(one));
    dir.write("send/S0002.txt", Join(two));
    login();
    auto l = lists();
    sendList(l);
    ASSERT_EQ(w->SGrdDataLst->RowCount(), 3);

    w->BBtnFileSnd->setEnabled(true);
    w->BBtnFileSnd->click();
    w->BBtnFileSnd->click(); // a second press during the run starts nothing
    ASSERT_TRUE(waitBox("이체자료 파일송신이 완료되었습니다!!", 2)) << boxes.texts();
    ASSERT_TRUE(fmtest::WaitFor([&] { return !w->SendRunning(); }));

    const auto &ups = host.uploads();
    ASSERT_EQ(ups.size(), 2u);
    EXPECT_EQ(ups[0].records, one);
    EXPECT_EQ(ups[0].blockCounts, (std::vector<int>{6, 6}));
    EXPECT_EQ(ups[0].total, "000012");
    EXPECT_EQ(ups[1].records, two);
    EXPECT_EQ(ups[1].blockCounts, (std::vector<int>{5}));
    EXPECT_EQ(ups[1].total, "000005");
    EXPECT_TRUE(ups[0].ended && ups[1].ended);
    EXPECT_EQ(ups[0].bank, "0026");
    EXPECT_EQ(ups[0].kind, "2");
    EXPECT_EQ(telegramsWith("0700100").size(), 2u);

    // The unconverted files are in sback, none left in send.
    EXPECT_FALSE(fs::exists(inApp("send/S0001.txt")));
    EXPECT_FALSE(fs::exists(inApp("send/S0002.txt")));
    EXPECT_EQ(read("sback/S0001.txt"), Join(one));
    EXPECT_EQ(read("sback/S0002.txt"), Join(two));
    EXPECT_EQ(filesIn("sback"), (std::vector<std::string>{"S0001.txt", "S0002.txt"})); // no copies left
    for (int r = 1; r <= 2; ++r) EXPECT_EQ(w->SGrdDataLst->Cells(10, r), "") << r;
    EXPECT_EQ(w->SGrdDataLst->Cells(0, 2), "S"); // rows stay
    EXPECT_TRUE(w->PnlFtp->isHidden());
    EXPECT_EQ(w->PnlStatus->text(), q("이체자료 송신완료!!"));
    EXPECT_TRUE(w->BBtnFileSnd->isEnabled());
    EXPECT_FALSE(w->BBtnDataList->isEnabled());
    w->FormKeyDown(fm::VK_F11, {}); // the log shows what was sent while it was hidden
    EXPECT_TRUE(w->Memo->toPlainText().contains("SEND==>"));
}

TEST_F(Exchange, ConversionFailureStopsTheRun)
{
    auto bad = hostsim::MakeResultRecords("26", "20240105", 4);
    bad.back().replace(31, 7, "0000009"); // the trailer's count disagrees
    dir.write("send/S0001.txt", Join(bad));
    dir.write("send/S0002.txt", Join(hostsim::MakeResultRecords("11", "20240105", 2)));
    dir.write("sback/S0001.txt", "sent before");
    login();
    auto l = lists();
    sendList(l);
    w->BBtnFileSnd->setEnabled(true);
    w->BBtnFileSnd->click();
    ASSERT_TRUE(waitBox("이체자료 송신실패!")) << boxes.texts();
    ASSERT_TRUE(fmtest::WaitFor([&] { return !w->SendRunning(); }));
    QTest::qWait(1300); // a further tick would have started row 2
    EXPECT_EQ(telegramsWith("0700100").size(), 1u);
    EXPECT_EQ(telegramsWith("0710100").size(), 0u);
    EXPECT_EQ(w->SGrdDataLst->Cells(10, 1), "  ");
    EXPECT_EQ(w->SGrdDataLst->Cells(10, 2), MarkText());
    EXPECT_TRUE(fs::exists(inApp("send/S0001.txt")));
    // The earlier sent file of that name is not this conversion's to delete.
    EXPECT_EQ(read("sback/S0001.txt"), "sent before");
    EXPECT_EQ(filesIn("sback"), std::vector<std::string>{"S0001.txt"});
    EXPECT_EQ(boxes.count(), 1u) << boxes.texts();
    EXPECT_TRUE(w->PnlFtp->isHidden());
}

TEST_F(Exchange, AFileChangedAfterItWasListedIsRefusedWithNothingSent)
{
    listToSend(Join(hostsim::MakeResultRecords("26", "20240105", 4)));
    const std::string grown = Join(hostsim::MakeResultRecords("26", "20240105", 9));
    dir.write("send/S0001.txt", grown);
    w->BBtnFileSnd->setEnabled(true);
    w->BBtnFileSnd->click();
    ASSERT_TRUE(waitBoxStarting("이체자료 송신실패!\r\n")) << boxes.texts();
    ASSERT_TRUE(fmtest::WaitFor([&] { return !w->SendRunning(); }));
    EXPECT_TRUE(boxes.shown()[0].text.contains(q("목록 4건, 파일 9건"))) << boxes.texts();
    const std::string copy = fm::NativePath(app() + "\\sback\\S0001.txt") + fm::kConvertedCopySuffix;
    ASSERT_EQ(boxes.count(), 2u) << boxes.texts();
    EXPECT_EQ(boxes.shown()[1].text, QString::fromStdString(copy) + q(" 파일삭제성공"));
    EXPECT_TRUE(telegramsWith("0710100").empty());
    EXPECT_TRUE(telegramsWith("0800800").empty());
    EXPECT_EQ(w->SGrdDataLst->Cells(10, 1), "  ");
    EXPECT_EQ(read("send/S0001.txt"), grown);
    EXPECT_TRUE(filesIn("sback").empty());
}

TEST_F(Exchange, AFileRewrittenWithTheSameCountButOtherAmountsIsRefusedWithNothingSent)
{
    const auto listed = hostsim::MakeResultRecords("26", "20240105", 4);
    listToSend(Join(listed));
    // One student's amount and the total rewritten after the list was read.
    auto changed = listed;
    const int64_t total = fm::StrToInt64(listed.back().substr(38, 13)) + 90000;
    changed[1].replace(91, 8, fm::PadLeftZero(std::to_string(fm::StrToInt64(listed[1].substr(91, 8)) + 90000), 8));
    changed.back().replace(38, 13, fm::PadLeftZero(std::to_string(total), 13));
    dir.write("send/S0001.txt", Join(changed));
    w->BBtnFileSnd->setEnabled(true);
    w->BBtnFileSnd->click();
    ASSERT_TRUE(waitBoxStarting("이체자료 송신실패!\r\n")) << boxes.texts();
    ASSERT_TRUE(fmtest::WaitFor([&] { return !w->SendRunning(); }));
    const QString amounts = q("목록 총금액 %1, 파일 총금액 %2")
                                .arg(fm::ToQ(fm::FormatThousands(total - 90000, 0)), fm::ToQ(fm::FormatThousands(total, 0)));
    EXPECT_TRUE(boxes.shown()[0].text.contains(amounts)) << boxes.texts();
    ASSERT_EQ(boxes.count(), 2u) << boxes.texts();
    EXPECT_TRUE(boxes.shown()[1].text.endsWith(q(" 파일삭제성공"))) << boxes.texts();
    EXPECT_TRUE(telegramsWith("0710100").empty());
    EXPECT_TRUE(telegramsWith("0800800").empty());
    EXPECT_EQ(w->SGrdDataLst->Cells(10, 1), "  ");
    EXPECT_EQ(read("send/S0001.txt"), Join(changed));
    EXPECT_TRUE(filesIn("sback").empty());
}

TEST_F(Exchange, HostErrorDuringASendClosesTheCopyAndEndsTheRun)
{
    const std::string file = Join(hostsim::MakeResultRecords("26", "20240105", 20));
    dir.write("send/S0001.txt", file);
    dir.write("sback/S0001.txt", "sent before");
    login();
    auto l = lists();
    sendList(l);
    host.failNext("0710100", "12");
    w->BBtnFileSnd->setEnabled(true);
    w->BBtnFileSnd->click();
    ASSERT_TRUE(waitBox("전문Size오류")) << boxes.texts() << " codes: " << testing::PrintToString(host.receivedCodes());
    EXPECT_FALSE(w->SendRunning());
    EXPECT_FALSE(w->SendState.IsOpen());
    EXPECT_TRUE(w->PnlFtp->isHidden());
    EXPECT_TRUE(fs::exists(inApp("send/S0001.txt")));
    // The sent folder is as it was: the copy is gone, the earlier file stays.
    EXPECT_EQ(filesIn("sback"), std::vector<std::string>{"S0001.txt"});
    EXPECT_EQ(read("sback/S0001.txt"), "sent before");
    // A new press starts a new run from the first marked row.
    boxes.clear();
    w->BBtnFileSnd->click();
    ASSERT_TRUE(waitBox("이체자료 파일송신이 완료되었습니다!!")) << boxes.texts();
    EXPECT_EQ(filesIn("sback"), std::vector<std::string>{"S0001.txt"});
    EXPECT_EQ(read("sback/S0001.txt"), file);
}

TEST_F(Exchange, HostErrorAnsweringAnotherRequestLeavesTheSendToFinish)
{
    const auto records = hostsim::MakeResultRecords("26", "20240105", 20);
    dir.write("send/S0001.txt", Join(records));
    login();
    auto l = lists();
    sendList(l);
    // A password change with a wrong old password, asked while the first
    // block is on its way: the host answers it with error 11. Each answer
    // takes a while, so the send is still under way when the dialog is done.
    host.setAnswerDelay(30);
    modals.then([](QDialog &d) {
        auto &dlg = dynamic_cast<fm::TFrmC101B03 &>(d);
        dlg.EdtCurrPswd->setText("wrong");
        dlg.EdtUpdtPswd->setText("new1");
        dlg.EdtConfiPswd->setText("new1");
        return int(fm::mrOk);
    });
    QObject::connect(&host, &hostsim::HostServer::telegramReceived, w, [&](int, const QByteArray &t) {
        if (t.mid(1, 7) == "0710100" && t.mid(32, 7) == "0000001")
            QTimer::singleShot(0, w, [&] { w->BBtnPswd->click(); });
    });
    w->BBtnFileSnd->setEnabled(true);
    w->BBtnFileSnd->click();
    ASSERT_TRUE(waitBox("이체자료 파일송신이 완료되었습니다!!")) << boxes.texts();
    EXPECT_EQ(boxesWith("구비밀번호오류"), 1u) << boxes.texts();
    EXPECT_EQ(boxesWith(kBrokenBox), 0u) << boxes.texts();
    const auto codes = host.receivedCodes();
    const auto password = std::find(codes.begin(), codes.end(), "0300100");
    ASSERT_NE(password, codes.end());
    EXPECT_NE(std::find(password, codes.end(), "0710100"), codes.end()); // blocks went on after it
    ASSERT_EQ(host.uploads().size(), 1u);
    EXPECT_TRUE(host.uploads()[0].ended);
    EXPECT_EQ(host.uploads()[0].records, records);
    EXPECT_EQ(read("sback/S0001.txt"), Join(records));
}

TEST_F(Exchange, AnAnswerCodeThatIsNotANumberLeavesTheSendAsItWas)
{
    dir.write("send/S0001.txt", Join(hostsim::MakeResultRecords("26", "20240105", 20)));
    login();
    auto l = lists();
    sendList(l);
    host.failNext("0710100", "AB");
    w->BBtnFileSnd->setEnabled(true);
    w->BBtnFileSnd->click();
    ASSERT_TRUE(waitBox("'AB' is not a valid integer value")) << boxes.texts();
    // Only the conversion error: the run, the open copy and the panel stay.
    EXPECT_TRUE(w->SendRunning());
    EXPECT_TRUE(w->SendState.IsOpen());
    EXPECT_FALSE(w->PnlFtp->isHidden());
}

class Receiving : public Exchange {
protected:
    void SetUp() override
    {
        Exchange::SetUp();
        hostsim::Scenario s = host.scenario();
        hostsim::ResultFile a;
        a.bank = "0026";
        a.kind = "300";
        a.date = "20240105";
        a.seq = 1;
        a.baseName = "12340026";
        a.records = hostsim::MakeResultRecords("26", "20240105", 8);
        hostsim::ResultFile b = a;
        b.bank = "0011";
        b.seq = 2;
        b.baseName = "12340011";
        b.records = hostsim::MakeResultRecords("11", "20240105", 3);
        s.resultFiles = {a, b};
        host.setScenario(s);
        w->SetResultListTitle();
        resultRow(1, "0026", "300", "20240105", 8, 1);
        resultRow(2, "0011", "300", "20240105", 3, 2);
    }
    std::string counter(const char *kind) { return readValue(fm::reg::RecvFileKey(), kind); }
};

TEST_F(Receiving, TwoResultFilesAreWrittenConvertedAndUnmarked)
{
    login();
    w->BBtnFileRecv->setEnabled(true);
    w->BBtnFileRecv->click();
    ASSERT_TRUE(waitBox("이체결과자료 수신이 완료되었습니다!!", 2)) << boxes.texts();
    ASSERT_TRUE(fmtest::WaitFor([&] { return !w->Receiving(); }));

    ASSERT_EQ(filesIn("recv", "S12340026_301_").size(), 1u);
    ASSERT_EQ(filesIn("recv", "S12340011_302_").size(), 1u);
    const std::string first = read("recv/" + filesIn("recv", "S12340026_301_")[0]);
    const std::string second = read("recv/" + filesIn("recv", "S12340011_302_")[0]);
    EXPECT_EQ(Lines(first).size(), 10u);
    EXPECT_EQ(Lines(second).size(), 5u);
    EXPECT_EQ(Lines(first)[1].substr(0, 148), host.scenario().resultFiles[0].records[1]);
    // The raw files are gone.
    EXPECT_FALSE(fs::exists(inApp("recv/12340026.301")));
    EXPECT_FALSE(fs::exists(inApp("recv/12340011.302")));
    EXPECT_EQ(counter("300"), "2");
    EXPECT_EQ(w->SGrdDataLst->Cells(9, 1), "");
    EXPECT_EQ(w->SGrdDataLst->Cells(9, 2), "");

    // The last end was confirmed before its box; the host reads it later.
    ASSERT_TRUE(fmtest::WaitFor([&] { return telegramsWith("0810800").size() >= 2; }));
    const auto acks = telegramsWith("0810800");
    ASSERT_EQ(acks.size(), 2u);
    EXPECT_EQ(acks[0].substr(39, 2), "00");
    EXPECT_EQ(acks[0].substr(64, 6), "000010");
    EXPECT_EQ(acks[1].substr(64, 6), "000005");
    // Block acknowledgements echo the answer's CompCd in SubCode.
    const auto blockAcks = telegramsWith("0710100");
    ASSERT_EQ(blockAcks.size(), 2u + 1u);
    EXPECT_EQ(blockAcks[0].substr(12, 4), "1234");
    EXPECT_EQ(blockAcks[0].substr(41, 1), "R");
    EXPECT_EQ(w->PnlStatus->text(), q("이체결과자료 수신 완료!!"));
}

TEST_F(Receiving, F11ShowsEveryLoggedLineInOrderAndTheBarMovesOnceABlock)
{
    dir.write("send/S0001.txt", Join(hostsim::MakeResultRecords("26", "20240105", 10)));
    std::vector<int> bar;
    QObject::connect(w->PBarFtp, &QProgressBar::valueChanged, w->PBarFtp, [&](int v) { bar.push_back(v); });
    login();
    auto l = lists();
    sendList(l);
    w->BBtnFileSnd->setEnabled(true);
    w->BBtnFileSnd->click(); // logged while the log is hidden
    ASSERT_TRUE(waitBox("이체자료 파일송신이 완료되었습니다!!")) << boxes.texts();
    EXPECT_EQ(bar, (std::vector<int>{6, 10})); // two blocks of six lines, held at the bar's maximum

    QTest::keyClick(w->SGrdDataLst, Qt::Key_F11); // logged while it is shown
    ASSERT_FALSE(w->Memo->isHidden());
    bar.clear();
    w->SetResultListTitle();
    resultRow(1, "0026", "300", "20240105", 10, 1);
    w->BBtnFileRecv->setEnabled(true);
    w->BBtnFileRecv->click();
    ASSERT_TRUE(waitBox("이체결과자료 수신이 완료되었습니다!!")) << boxes.texts();
    ASSERT_TRUE(fmtest::WaitFor([&] { return telegramsWith("0810800").size() == 1; }));
    EXPECT_EQ(bar.back(), 10); // the first block of six does not move it
    EXPECT_EQ(std::count_if(bar.begin(), bar.end(), [](int v) { return v > 0; }), 1);

    // The key line, then every telegram sent, a sent data block twice.
    QStringList expected;
    const std::string &key = host.receivedKeyBlocks()[0];
    // The key bytes are binary: a text box breaks its line at a CR or LF among
    // them, so the line is expected as such a box shows it.
    QPlainTextEdit keyLine;
    keyLine.appendPlainText(fm::ToQ("SEND==>S00128" + key.substr(0, key.find('\0'))));
    expected << keyLine.toPlainText();
    for (const std::string &t : host.receivedTelegrams()) {
        if (t.substr(1, 7) == "0710100" && t[41] == 'S') expected << fm::ToQ("SEND==>" + t);
        expected << fm::ToQ("send==>" + t);
    }
    ASSERT_GT(expected.size(), 8);
    EXPECT_EQ(w->Memo->toPlainText(), expected.join('\n'));
    EXPECT_EQ(w->LogLineCount(), size_t(expected.size()));
    // Hidden and shown again: the same lines.
    QTest::keyClick(w->SGrdDataLst, Qt::Key_F11);
    QTest::keyClick(w->SGrdDataLst, Qt::Key_F11);
    EXPECT_EQ(w->Memo->toPlainText(), expected.join('\n'));
}

TEST_F(Receiving, ResultsOfTwoDaysAndOfCounters10And100AllStay)
{
    dir.write("recv/12340026.301.part", "partial"); // left by a dropped reception
    login();
    w->SGrdDataLst->SetCell(9, 2, {});
    // The day's first file, its 10th and 100th (both suffix 10) and the
    // next day's first (the counters reset): raw names 301, 310, 310, 301.
    const char *counters[] = {"0", "9", "99", "0"};
    std::vector<std::string> sent;
    for (int i = 0; i < 4; ++i) {
        writeValue(fm::reg::RecvFileKey(), "300", counters[i]);
        host.scenario().resultFiles[0].records = hostsim::MakeResultRecords("26", "20240105", i + 1);
        sent.push_back(Join(host.scenario().resultFiles[0].records));
        w->SGrdDataLst->SetCell(9, 1, MarkText());
        w->BBtnFileRecv->setEnabled(true);
        w->BBtnFileRecv->click();
        ASSERT_TRUE(waitBox("이체결과자료 수신이 완료되었습니다!!", size_t(i + 1))) << boxes.texts();
        ASSERT_TRUE(fmtest::WaitFor([&] { return !w->Receiving(); }));
    }
    std::vector<std::string> kept;
    for (const auto &name : filesIn("recv", "S12340026_3")) kept.push_back(read("recv/" + name));
    std::sort(kept.begin(), kept.end());
    std::sort(sent.begin(), sent.end());
    EXPECT_EQ(kept, sent);
    EXPECT_EQ(filesIn("recv").size(), 4u); // no raw file stays, the partial one neither
}

TEST_F(Receiving, AResultThatCannotBeConvertedKeepsItsRawFile)
{
    auto &file = host.scenario().resultFiles[0];
    file.recordLength = 150;
    for (auto &r : file.records) r.resize(150, ' ');
    file.records[2][149] = 'X'; // text past the 148 bytes of a transfer record
    login();
    w->BBtnFileRecv->setEnabled(true);
    w->BBtnFileRecv->click();
    ASSERT_TRUE(waitBox("이체결과자료 수신이 완료되었습니다!!")) << boxes.texts(); // the second file
    const std::string kept = fm::NativePath(app() + "\\recv\\12340026.301") + ".1";
    EXPECT_EQ(boxes.shown()[0].text,
              q("이체결과자료 수신오류 발생!!\r\n수신한 자료는 ") + QString::fromStdString(kept) + q(" 파일에 남아 있습니다."));
    EXPECT_EQ(dir.read("recv/12340026.301.1"), Join(file.records));
    EXPECT_TRUE(filesIn("recv", "S12340026").empty());
    EXPECT_EQ(filesIn("recv", "S12340011").size(), 1u);
    EXPECT_EQ(w->SGrdDataLst->Cells(9, 1), ""); // the host was told it arrived
}

TEST_F(Receiving, TheConfirmedFileIsOnDiskUnderItsRawNameAndTheNextReceptionOfThatNameKeepsIt)
{
    // The conversion is where a killed program stops: no library, so its
    // box stands for the moment of the kill, after the host got "00".
    fmtest::TempDir noLibrary;
    fm::SetProgramFolder(noLibrary.path());
    std::vector<std::string> atConversion;
    std::string rawAtConversion;
    boxes.onShow([&](const fm::ShownBox &b) {
        if (b.text != q("Omvertis.DLL을 찾을수 없습니다") || !atConversion.empty()) return;
        fmtest::WaitFor([&] { return telegramsWith("0810800").size() == 1; });
        atConversion = filesIn("recv");
        rawAtConversion = read("recv/12340026.301");
    });
    w->SGrdDataLst->SetCell(9, 2, {});
    login();
    w->BBtnFileRecv->setEnabled(true);
    w->BBtnFileRecv->click();
    ASSERT_TRUE(waitBoxStarting("이체결과자료 수신오류 발생!!")) << boxes.texts();
    ASSERT_EQ(telegramsWith("0810800").size(), 1u);
    EXPECT_EQ(telegramsWith("0810800")[0].substr(39, 2), "00");
    EXPECT_EQ(atConversion, std::vector<std::string>{"12340026.301"});
    const std::string first = Join(host.scenario().resultFiles[0].records);
    EXPECT_EQ(rawAtConversion, first);

    // What the kill left: that file under its raw name, no result. The next
    // day's first file of the kind has the same raw name.
    fs::rename(inApp("recv/12340026.301.1"), inApp("recv/12340026.301"));
    fm::SetProgramFolder(FM_BINARY_DIR "/bin");
    writeValue(fm::reg::RecvFileKey(), "300", "0");
    host.scenario().resultFiles[0].records = hostsim::MakeResultRecords("26", "20240106", 2);
    boxes.clear();
    w->SGrdDataLst->SetCell(9, 1, MarkText());
    w->BBtnFileRecv->setEnabled(true);
    w->BBtnFileRecv->click();
    ASSERT_TRUE(waitBox("이체결과자료 수신이 완료되었습니다!!")) << boxes.texts();
    const std::string kept = fm::NativePath(app() + "\\recv\\12340026.301") + ".1";
    EXPECT_TRUE(boxes.anyWithText(q("변환되지 않은 이전 수신자료는 ") + QString::fromStdString(kept) +
                                  q(" 파일에 남아 있습니다.")))
        << boxes.texts();
    EXPECT_EQ(read("recv/12340026.301.1"), first);
    const auto results = filesIn("recv", "S12340026_301_");
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(Lines(read("recv/" + results[0]))[1].substr(0, 148), host.scenario().resultFiles[0].records[1]);
    EXPECT_EQ(filesIn("recv").size(), 2u); // no raw file, no part file
}

TEST_F(Receiving, ADroppedReceptionLeavesOnlyAPartFileWhichTheNextReceptionOfItsNameRemoves)
{
    login();
    w->SGrdDataLst->SetCell(9, 2, {});
    // The connection ends once the first block was acknowledged.
    QObject::connect(&host, &hostsim::HostServer::telegramReceived, w, [&](int, const QByteArray &t) {
        if (t.mid(1, 7) == "0710100" && t.mid(41, 1) == "R") QTimer::singleShot(0, w, [&] { host.closeConnections(); });
    });
    w->BBtnFileRecv->setEnabled(true);
    w->BBtnFileRecv->click();
    ASSERT_TRUE(fmtest::WaitFor([&] { return !w->LoggedIn(); })) << boxes.texts();
    EXPECT_FALSE(w->Receiving());
    EXPECT_EQ(filesIn("recv"), std::vector<std::string>{"12340026.301.part"});
    EXPECT_EQ(w->SGrdDataLst->Cells(9, 1), MarkText());

    QObject::disconnect(&host, &hostsim::HostServer::telegramReceived, w, nullptr);
    writeValue(fm::reg::RecvFileKey(), "300", "0");
    boxes.clear();
    login();
    w->BBtnFileRecv->setEnabled(true);
    w->BBtnFileRecv->click();
    ASSERT_TRUE(waitBox("이체결과자료 수신이 완료되었습니다!!")) << boxes.texts();
    for (const auto &b : boxes.shown()) EXPECT_FALSE(b.text.startsWith(q("변환되지 않은"))) << boxes.texts(); // nothing kept
    const auto results = filesIn("recv", "S12340026_301_");
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(filesIn("recv"), results);
}

TEST_F(Receiving, EachFileKeepsItsRawNameAndTheNextWaitsForTheLibraryBox)
{
    fmtest::TempDir noLibrary;
    fm::SetProgramFolder(noLibrary.path());
    bool waited = false;
    std::vector<std::string> inBox;
    boxes.onShow([&](const fm::ShownBox &b) {
        if (waited || b.text != q("Omvertis.DLL을 찾을수 없습니다")) return;
        waited = true;
        // Past the chain's one-second timer: the next file is asked for, but
        // its blocks wait until the box that the read opened is closed.
        fmtest::RunModalMoment(1500);
        inBox = filesIn("recv");
    });
    login();
    w->BBtnFileRecv->setEnabled(true);
    w->BBtnFileRecv->click();
    ASSERT_TRUE(waitBoxStarting("이체결과자료 수신오류 발생!!", 2)) << boxes.texts();
    EXPECT_EQ(inBox, std::vector<std::string>{"12340026.301"});
    ASSERT_EQ(boxes.count(), 4u) << boxes.texts();
    EXPECT_EQ(boxes.mostOpenAtOnce(), 1);
    const auto keptAt = [&](const char *raw) {
        return QString::fromStdString(fm::NativePath(app() + "\\recv\\" + raw) + ".1");
    };
    EXPECT_TRUE(boxes.shown()[1].text.contains(keptAt("12340026.301"))) << boxes.texts();
    EXPECT_TRUE(boxes.shown()[3].text.contains(keptAt("12340011.302"))) << boxes.texts();
    EXPECT_EQ(dir.read("recv/12340026.301.1"), Join(host.scenario().resultFiles[0].records));
    EXPECT_EQ(dir.read("recv/12340011.302.1"), Join(host.scenario().resultFiles[1].records));
    EXPECT_EQ(filesIn("recv").size(), 2u);
}

TEST_F(Receiving, AWrongTotalSendsThirteenAndStopsTheChain)
{
    host.scenario().resultFiles[0].totalDelta = 1;
    login();
    w->BBtnFileRecv->setEnabled(true);
    w->BBtnFileRecv->click();
    ASSERT_TRUE(waitBox("파일수신을 실패하였습니다. 총 건수 오류")) << boxes.texts();
    QTest::qWait(1300);
    const auto acks = telegramsWith("0810800");
    ASSERT_EQ(acks.size(), 1u);
    EXPECT_EQ(acks[0].substr(39, 2), "13");
    EXPECT_EQ(acks[0].substr(64, 6), "000010");
    EXPECT_EQ(telegramsWith("0700100").size(), 1u);
    EXPECT_TRUE(filesIn("recv").empty()); // the part file neither
    EXPECT_EQ(w->SGrdDataLst->Cells(9, 1), MarkText());
    EXPECT_EQ(w->SGrdDataLst->Cells(9, 2), MarkText());
    EXPECT_EQ(counter("300"), "1"); // the number stays used
    EXPECT_FALSE(w->Receiving());
}

TEST_F(Receiving, AfterTheHostClosesBehindACompletionBoxANewLogInReceivesAsOnAFreshWindow)
{
    // The host ends the connection once it has the first file's end
    // acknowledgement, while that file's completion box is open; the box
    // stays open well past the chain's one-second timer. The end is taken
    // once the box that the read opened is closed.
    bool closed = false;
    size_t disconnectsInBox = 1;
    boxes.onShow([&](const fm::ShownBox &b) {
        if (closed || b.text != q("이체결과자료 수신이 완료되었습니다!!")) return;
        closed = true;
        ASSERT_TRUE(fmtest::WaitFor([&] { return telegramsWith("0810800").size() == 1; }));
        host.closeConnections();
        fmtest::RunModalMoment(1500);
        disconnectsInBox = boxesWith(kDisconnectBox);
    });
    login();
    w->BBtnFileRecv->setEnabled(true);
    w->BBtnFileRecv->click();
    ASSERT_TRUE(fmtest::WaitFor([&] { return closed && !w->CSock->Active() && !w->LoggedIn(); })) << boxes.texts();
    EXPECT_EQ(disconnectsInBox, 0u);
    boxes.onShow({});
    QTest::qWait(1500); // nothing of the ended chain acts offline
    EXPECT_FALSE(w->Receiving());
    EXPECT_EQ(telegramsWith("0700100").size(), 1u);
    EXPECT_EQ(w->SGrdDataLst->Cells(9, 1), "");
    EXPECT_EQ(w->SGrdDataLst->Cells(9, 2), MarkText());

    // Logged in again: the file still marked is asked for and received.
    login();
    w->BBtnFileRecv->setEnabled(true);
    w->BBtnFileRecv->click();
    ASSERT_TRUE(waitBox("이체결과자료 수신이 완료되었습니다!!", 2)) << boxes.texts();
    ASSERT_TRUE(fmtest::WaitFor([&] { return !w->Receiving(); }));
    const auto requests = telegramsWith("0700100");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].substr(12, 4), "0011");
    EXPECT_EQ(filesIn("recv", "S12340011_302_").size(), 1u);
    EXPECT_EQ(w->SGrdDataLst->Cells(9, 2), "");
    EXPECT_EQ(boxesWith(kDisconnectBox), 1u) << boxes.texts();
}

TEST_F(Receiving, ARequestThatCannotBeSealedIsNotSentAndEndsTheConnectionAndTheReception)
{
    login();
    const auto dataFrames = [&] {
        return std::count_if(host.receivedFrames().begin(), host.receivedFrames().end(),
                             [](const std::string &f) { return f[0] == 'D'; });
    };
    const auto framesBefore = dataFrames();
    boxes.clear();
    // The session is gone from the context: the next telegram cannot be sealed.
    ZelcoranWipe(const_cast<unsigned char *>(w->CryptCtx()));
    w->BBtnFileRecv->setEnabled(true);
    w->BBtnFileRecv->click();
    ASSERT_TRUE(waitBox(kDisconnectBox)) << boxes.texts();
    ASSERT_EQ(boxes.count(), 2u) << boxes.texts();
    EXPECT_EQ(boxes.shown()[0].text, q(kBrokenBox));
    EXPECT_EQ(boxes.shown()[0].caption, q("전문오류"));
    EXPECT_FALSE(w->CSock->Active());
    EXPECT_FALSE(w->LoggedIn());
    EXPECT_FALSE(w->Receiving());
    ASSERT_TRUE(fmtest::WaitFor([&] { return host.openConnections() == 0; }));
    EXPECT_EQ(dataFrames(), framesBefore); // no frame of zeros, nor any other
    EXPECT_TRUE(telegramsWith("0700100").empty());

    // The reception was ended with the connection: a new log-in receives.
    login();
    w->BBtnFileRecv->setEnabled(true);
    w->BBtnFileRecv->click();
    ASSERT_TRUE(waitBox("이체결과자료 수신이 완료되었습니다!!", 2)) << boxes.texts();
    EXPECT_EQ(telegramsWith("0700100").size(), 2u);
}

TEST_F(Receiving, HostBytesThatWouldLeaveRecvOrDataAreRefused)
{
    host.scenario().resultFiles[0].baseName = "../../x";
    login();
    w->BBtnFileRecv->setEnabled(true);
    w->BBtnFileRecv->click();
    ASSERT_TRUE(waitBox(kBrokenBox)) << boxes.texts();
    EXPECT_FALSE(w->Receiving());
    EXPECT_TRUE(telegramsWith("0710100").empty());
    EXPECT_FALSE(fs::exists(fs::path(dir.path()).parent_path() / "x.301"));

    // A block that claims more records than Data holds is refused whole.
    boxes.clear();
    host.scenario().resultFiles[0].baseName = "12340026";
    host.setHandler("0700100", [](hostsim::HostConnection &c, const std::string &req) {
        std::string a = c.answerFor(req, "0720100");
        hostsim::wire::Put(a, hostsim::wire::kRecCount, "07");
        hostsim::wire::Put(a, hostsim::wire::kRecInfo, "148");
        c.sendTelegram(a);
    });
    w->BBtnFileRecv->setEnabled(true);
    w->BBtnFileRecv->click();
    ASSERT_TRUE(waitBox(kBrokenBox)) << boxes.texts();
    EXPECT_FALSE(w->Receiving());
    EXPECT_TRUE(telegramsWith("0710100").empty());
}

TEST_F(Exchange, NoticeOfThreeBlocksIsStoredInGongAndShown)
{
    std::string text;
    for (int i = 0; text.size() < 2000; ++i) text += "notice line " + std::to_string(i) + "\r\n";
    text.resize(2000);
    host.scenario().noticeFiles["GONG0001.TXT"] = text;
    login();
    auto &g = *w->SGrdDataLst;
    g.SetColCount(5);
    g.SetRowCount(3);
    g.SetCell(0, 1, "20240105");
    g.SetCell(3, 1, "GONG0001.TXT");
    g.SetCell(4, 1, MarkText());
    g.SetCell(0, 2, "20240106");
    g.SetCell(3, 2, "GONG0002.TXT");

    QString shown;
    QString caption;
    modals.then([&](QDialog &d) {
        auto &viewer = dynamic_cast<fm::TFrmC101B04 &>(d);
        shown = viewer.REdtMemo->toPlainText();
        caption = viewer.windowTitle();
        return int(fm::mrOk);
    });
    w->BBtnFileRecv->setEnabled(true);
    w->BBtnFileRecv->click();
    ASSERT_TRUE(fmtest::WaitFor([&] { return modals.shownCount() == 2; })) << boxes.texts();

    const std::string stored = read("gong/GONG0001.TXT");
    EXPECT_EQ(stored.size(), 2880u);
    EXPECT_EQ(stored.substr(0, 2000), text);
    EXPECT_EQ(stored.substr(2000), std::string(880, ' '));
    EXPECT_TRUE(shown.startsWith("notice line 0"));
    EXPECT_EQ(caption, q("공지사항"));
    // The end was confirmed before the viewer opened; the host reads it later.
    ASSERT_TRUE(fmtest::WaitFor([&] { return !telegramsWith("0810800").empty(); }));
    const auto acks = telegramsWith("0810800");
    ASSERT_EQ(acks.size(), 1u);
    EXPECT_EQ(acks[0].substr(64, 6), "000003");
    EXPECT_EQ(telegramsWith("0510100").size(), 3u);
    EXPECT_EQ(g.Cells(4, 1), "");
    EXPECT_FALSE(w->Receiving());
}

TEST_F(Exchange, NoticeNameThatWouldLeaveGongIsNotAskedFor)
{
    login();
    auto &g = *w->SGrdDataLst;
    g.SetColCount(5);
    g.SetCell(0, 1, "20240105");
    g.SetCell(3, 1, "../GONG0001.TXT");
    g.SetCell(4, 1, MarkText());
    w->BBtnFileRecv->setEnabled(true);
    w->BBtnFileRecv->click();
    ASSERT_TRUE(waitBox(kBrokenBox)) << boxes.texts();
    EXPECT_TRUE(telegramsWith("0500100").empty());
    EXPECT_FALSE(w->Receiving());
}

TEST_F(Exchange, RichTextNoticeIsShownAsItsText)
{
    fm::TFrmC101B04 viewer;
    viewer.ShowNoticeText("{\\rtf1\\ansi{\\fonttbl{\\f0 Gulim;}}\\f0 Hello\\par World}");
    EXPECT_EQ(viewer.REdtMemo->toPlainText(), q("Hello\nWorld"));
    EXPECT_EQ(viewer.size(), QSize(628, 482));
}

TEST_F(Exchange, NoticeViewerIsReadOnlyAndAClickPastBlanksKeepsTheTextInView)
{
    fm::TFrmC101B04 viewer;
    // A notice ends in the blanks that fill its last block.
    viewer.ShowNoticeText(fmtest::K("공지사항 제목\r\n둘째 줄\r\n") + std::string(880, ' '));
    viewer.show();
    const QString before = viewer.REdtMemo->toPlainText();
    QTest::keyClicks(viewer.REdtMemo, "typed");
    QTest::keyClick(viewer.REdtMemo, Qt::Key_Delete);
    EXPECT_EQ(viewer.REdtMemo->toPlainText(), before);

    // A click below the text, past the blanks, leaves the text where it is.
    QWidget *area = viewer.REdtMemo->viewport();
    QTest::mouseClick(area, Qt::LeftButton, {}, QPoint(20, area->height() - 10));
    EXPECT_EQ(viewer.REdtMemo->horizontalScrollBar()->value(), 0);
}

class DetailList : public Exchange {
protected:
    void SetUp() override
    {
        Exchange::SetUp();
        fm::pxwrite::WriteAlphaTable(inApp("DSBBRslt.DB"), "DSBBRslt",
                                     {{"BankCd", 2}, {"StdRsltCd", 4}, {"StdRsltContent", 100}},
                                     {{"26", "0011", fmtest::K("잔액부족")},
                                      {"99", "0012", fmtest::K("계좌없음")},
                                      {"99", "0000", fmtest::K("정상")}});
    }
};

TEST_F(DetailList, ReceivedFileShowsReasonsAndOkRemovesTheMarks)
{
    auto records = hostsim::MakeResultRecords("26", "20240105", 3);
    records[1].replace(65, 2, "20");  // another bank: looked up under "99"
    records[1].replace(119, 4, "12  ");
    records[2].replace(108, 11, "00001234567");
    records[2].replace(119, 4, "0011");
    dir.write("recv/S12340026_301_20240105093000.txt", Join(records));
    auto l = lists();
    l.SetRecvFileListTitle();
    l.FillFileList(app() + "\\Recv", "R", "L");
    ASSERT_EQ(l.LoadTransferFile(1, app() + "\\Recv"), fm::LoadResult::Loaded);
    w->SGrdDataLst->SetCell(10, 1, MarkText());
    w->BBtnDataList->setEnabled(true);

    std::vector<std::vector<std::string>> cells;
    int cols = 0;
    modals.then([&](QDialog &d) {
        auto &dlg = dynamic_cast<fm::TFrmC101B05 &>(d);
        cols = dlg.SGrdDataLst->ColCount();
        for (int r = 0; r < dlg.SGrdDataLst->RowCount(); ++r) {
            std::vector<std::string> row;
            for (int c = 0; c < cols; ++c) row.push_back(dlg.SGrdDataLst->Cells(c, r));
            cells.push_back(row);
        }
        return int(fm::mrOk);
    });
    w->BBtnDataList->click();
    ASSERT_EQ(modals.shownCount(), 1) << boxes.texts();
    EXPECT_TRUE(boxes.shown().empty()) << boxes.texts();
    ASSERT_EQ(cols, 9);
    ASSERT_EQ(cells.size(), 4u);
    EXPECT_EQ(cells[0][7], fmtest::K("미처리금액"));
    EXPECT_EQ(cells[0][8], fmtest::K("불능사유"));
    EXPECT_EQ(cells[1][0], "1");
    fm::TBankList banks;
    EXPECT_EQ(cells[1][3], banks.Items()[size_t(banks.FindString(0, "0020"))].substr(5, 20));
    EXPECT_EQ(cells[3][3], banks.Items()[size_t(banks.FindString(0, "0026"))].substr(5, 20));
    EXPECT_EQ(cells[1][8], fmtest::K("계좌없음"));
    EXPECT_EQ(cells[2][7], "  1,234,567");
    EXPECT_EQ(cells[2][8], fmtest::K("잔액부족"));
    EXPECT_EQ(cells[1][5], records[1].substr(67, 16));
    EXPECT_EQ(w->SGrdDataLst->Cells(10, 1), "");
    EXPECT_FALSE(w->BBtnDataList->isEnabled());
}

TEST_F(DetailList, SentFileHasEightColumnsAndTheCloseBoxKeepsTheMarks)
{
    const auto records = hostsim::MakeResultRecords("11", "20240105", 2);
    dir.write("sback/S0001.txt", Join(records));
    auto l = lists();
    l.SetSentFileListTitle();
    l.FillFileList(app() + "\\SBack", "S", "L");
    ASSERT_EQ(l.LoadTransferFile(1, app() + "\\SBack"), fm::LoadResult::Loaded);
    w->SGrdDataLst->SetCell(11, 1, MarkText());
    w->BBtnDataList->setEnabled(true);

    int cols = 0;
    std::string amount, title;
    modals.then([&](QDialog &d) {
        auto &dlg = dynamic_cast<fm::TFrmC101B05 &>(d);
        cols = dlg.SGrdDataLst->ColCount();
        title = dlg.SGrdDataLst->Cells(7, 0);
        amount = dlg.SGrdDataLst->Cells(7, 1);
        return int(fm::mrCancel);
    });
    w->BBtnDataList->click();
    EXPECT_EQ(cols, 8);
    EXPECT_EQ(title, fmtest::K("이체금액"));
    EXPECT_EQ(amount, fm::FormatThousands(fm::StrToInt64(records[1].substr(91, 8)), 8));
    EXPECT_EQ(w->SGrdDataLst->Cells(11, 1), MarkText());
    EXPECT_FALSE(w->BBtnDataList->isEnabled());
}

TEST_F(DetailList, AllColumnsShowBesideFixedRowNumbersAndAnEmptyFileShowsTitlesAlone)
{
    const auto records = hostsim::MakeResultRecords("11", "20240105", 3);
    for (int i = 0; i < 3; ++i)
        std::copy(records[size_t(i) + 1].begin(), records[size_t(i) + 1].end(),
                  fm::LoadedFile().FileRecords[size_t(i)].Bytes.begin());
    for (const char *kind : {"R", "S"}) {
        fm::TFrmC101B05 dlg(fm::LoadedFile(), 3, kind);
        dlg.show();
        auto &g = *dlg.SGrdDataLst;
        EXPECT_EQ(g.horizontalScrollBar()->maximum(), 0) << kind << ": a column is cut off";
        EXPECT_EQ(g.FixedCols(), 1);
        EXPECT_EQ(g.ColWidths(0), 20);
        EXPECT_EQ(g.verticalHeader()->sectionSize(0), 20);
        // The row numbers keep the title colour in the current row and stay
        // in place when the grid scrolls sideways.
        EXPECT_EQ(g.Row(), 1);
        dlg.resize(300, 300);
        QCoreApplication::processEvents();
        g.horizontalScrollBar()->setValue(g.horizontalScrollBar()->maximum());
        QHeaderView *numbers = g.verticalHeader();
        EXPECT_TRUE(numbers->isVisible());
        EXPECT_EQ(numbers->grab().toImage().pixelColor(10, 5), g.palette().color(QPalette::Button));
    }
    fm::TFrmC101B05 empty(fm::LoadedFile(), 0, "R");
    EXPECT_TRUE(empty.SGrdDataLst->isRowHidden(0));
    EXPECT_EQ(empty.SGrdDataLst->Cells(8, 0), fmtest::K("불능사유"));
}

TEST_F(DetailList, AnAmountThatIsNotANumberEndsTheFillingButTheDialogShows)
{
    auto records = hostsim::MakeResultRecords("11", "20240105", 3);
    records[2].replace(91, 8, "12ab5678");
    fm::LoadedFile().FileRecords[0].Bytes.fill(' ');
    for (int i = 0; i < 3; ++i)
        std::copy(records[size_t(i) + 1].begin(), records[size_t(i) + 1].end(),
                  fm::LoadedFile().FileRecords[size_t(i)].Bytes.begin());
    fm::TFrmC101B05 dlg(fm::LoadedFile(), 3, "S");
    EXPECT_TRUE(boxes.anyWithText(QString::fromUtf8("'12ab5678' is not a valid integer value"))) << boxes.texts();
    EXPECT_EQ(dlg.SGrdDataLst->RowCount(), 4);
    EXPECT_FALSE(dlg.SGrdDataLst->Cells(7, 1).empty());
    EXPECT_EQ(dlg.SGrdDataLst->Cells(6, 2), "20240105"); // filled before the error
    EXPECT_EQ(dlg.SGrdDataLst->Cells(7, 2), "");
    EXPECT_EQ(dlg.SGrdDataLst->Cells(0, 3), "");
}

TEST_F(Exchange, AHostCloseInTheMiddleOfASendLeavesNoProgressPanel)
{
    listToSend(Join(hostsim::MakeResultRecords("26", "20240105", 40)));
    bool shownAtClose = false;
    QObject::connect(&host, &hostsim::HostServer::telegramReceived, w, [&](int, const QByteArray &t) {
        if (t.mid(1, 7) != "0710100" || shownAtClose) return;
        shownAtClose = w->PnlFtp->isVisible();
        QTimer::singleShot(0, &host, [&] { host.closeConnections(); });
    });
    w->BBtnFileSnd->setEnabled(true);
    w->BBtnFileSnd->click();
    ASSERT_TRUE(waitBox(kDisconnectBox)) << boxes.texts();
    EXPECT_TRUE(shownAtClose);
    EXPECT_TRUE(w->PnlFtp->isHidden());
    EXPECT_FALSE(boxes.anyWithText(q("이체자료 파일송신이 완료되었습니다!!")));
    login();
    QTest::qWait(1200); // past the chain's timer: nothing of the ended run shows it again
    EXPECT_TRUE(w->PnlFtp->isHidden());
}
