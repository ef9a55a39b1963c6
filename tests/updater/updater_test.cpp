// The version window: start-up, the version report against the host
// simulator and each kind of answer, and a download of one file.
#include "updater_env.h"

#include "platform/versioninfo.h"
#include "support/screens.h"
#include "updater/E101B00.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>

using namespace updtest;
using namespace fm::reg;

TEST_F(UpdaterTest, StartReadsVersionsAndWritesOnlyMissingKeys)
{
    putProbe("Omvertis.dll", "1.0.0.8");
    putProbe("Marrowick.exe", "1.0.0.9");
    // The client's own settings wrote this key first, with another port.
    WriteValue(CommunicationKey(), kPortNo, "39995");

    auto &f = create();
    EXPECT_EQ(f.AppDir, fs::canonical(work_).string());
    EXPECT_EQ(f.VerStr, "DLL:1.0.0.8 EXE:1.0.0.9");
    EXPECT_TRUE(f.Label1->text().isEmpty());
    EXPECT_EQ(boxes_.count(), 0u) << boxes_.texts();
    EXPECT_EQ(ReadValue(CommunicationKey(), kPortNo), "39995");
    EXPECT_EQ(ReadValue(CommunicationKey(), kLoginNm), "<no value>");
    fm::TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly(FtpKey()));
    EXPECT_EQ(reg.GetValueNames(), (V{"PortNo", "Address", "LoginNm", "Passwd"}));
    EXPECT_EQ((V{reg.ReadString("PortNo"), reg.ReadString("Address"), reg.ReadString("LoginNm"),
                 reg.ReadString("Passwd")}),
              (V{"21", "127.0.0.3", "vrguest", "dorvimpa"}));
}

TEST_F(UpdaterTest, StartWritesBothDefaultsAndSurvivesAReadOnlyHive)
{
    create();
    EXPECT_EQ((V{ReadValue(CommunicationKey(), kPortNo), ReadValue(CommunicationKey(), kAddress),
                 ReadValue(CommunicationKey(), kLoginNm), ReadValue(CommunicationKey(), kPasswd)}),
              (V{"29994", "127.0.0.2", "tavrin", "wexlo5836"}));
    EXPECT_EQ(form_->VerStr, "DLL: EXE:"); // no files, no versions
    delete form_.data();

    // The first write fails, the rest of the start-up is skipped, the
    // window opens all the same.
    fmtest::ScopedHive readOnly;
    WriteValue(ProductKey(), kVersion, "x");
    fs::permissions(readOnly.path(), fs::perms(0444));
    EXPECT_TRUE(create().isVisible());
    EXPECT_EQ(boxTexts(), V{"Failed to set data for 'PortNo'"});
    EXPECT_EQ(ReadValue(FtpKey(), kPortNo), "<no key>");
}

TEST_F(UpdaterTest, ReportsVersionsAndHandlesEachAnswerKind)
{
    struct Case {
        const char *library, *answer, *request;
        V boxes;
    } cases[] = {
        {"1.0.0.8", "V00002OK", "V00023DLL:1.0.0.8 EXE:1.0.0.8", {}},
        {"1.0.0.10", "V00006FILENO", "V00023DLL:1.0.0.0 EXE:1.0.0.0", {"파일이 없습니다.!!"}},
        {"1.0.0.8", "E00002OK", "V00023DLL:1.0.0.8 EXE:1.0.0.8", {"버전체크 전문 오류입니다!! "}},
        {"1.0.0.8", "V00010SOMETHING!", "V00023DLL:1.0.0.8 EXE:1.0.0.8", {}},
        {"1.0.0.8", "V00005OK", "V00023DLL:1.0.0.8 EXE:1.0.0.8", {}}, // "OK" needs no more bytes
    };
    registry(1); // no FTP server: nothing may be downloaded
    WriteValue(CommunicationKey(), kAddress, "localhost"); // a host name is looked up
    putProbe("Marrowick.exe", "1.0.0.8");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.answer);
        boxes_.clear();
        host_.clearLog();
        putProbe("Omvertis.dll", c.library);
        AnswerWith(host_, c.answer); // the connection is held open
        create();
        QElapsedTimer clock;
        clock.start();
        connectAndWait();
        // Each is handled at once, not after the wait for more bytes.
        EXPECT_LT(clock.elapsed(), fm::upd::TFrmVersion::kAnswerWaitMs);
        EXPECT_EQ(host_.receivedFrames(), V{c.request});
        EXPECT_EQ(boxTexts(), c.boxes);
        EXPECT_TRUE(form_->Launched());
        EXPECT_EQ(ReadValue(ProductKey(), kVersion), "<no value>");
        delete form_.data();
    }
}

TEST_F(UpdaterTest, BrokenAnswerLengthWaitsForTheHostToClose)
{
    registry(1);
    AnswerWith(host_, "Vxx002OK");
    create();
    connectAndWait([&] { return boxes_.count() > 0; });
    EXPECT_EQ(boxTexts(), V{"'xx002' is not a valid integer value"});
    fmtest::WaitFor([] { return false; }, 100);
    EXPECT_TRUE(form_->isVisible());
    EXPECT_FALSE(form_->Launched());

    host_.closeConnections();
    EXPECT_TRUE(fmtest::WaitFor([&] { return form_->Launched(); }));
    EXPECT_FALSE(form_->isVisible());
}

TEST_F(UpdaterTest, AnswerSplitOverReadsIsReadWhole)
{
    registry(1);
    putProbe("Omvertis.dll", "1.0.0.8");
    putProbe("Marrowick.exe", "1.0.0.8");
    // "DIFF" with the local versions: nothing to fetch, the version is kept.
    AnswerWith(host_, "V00027DIFFDLL:1.0.0.8 EXE:1.0.0.8");
    host_.setSplit(12, 150);
    host_.armFault(hostsim::HostServer::Fault::SplitFrame);
    create();
    connectAndWait();
    EXPECT_EQ(boxes_.count(), 0u) << boxes_.texts();
    EXPECT_EQ(form_->HostExeVer, "1.0.0.8");
    EXPECT_EQ(ReadValue(ProductKey(), kVersion), "DLL:1.0.0.8 EXE:1.0.0.8");
    EXPECT_TRUE(form_->Launched());
}

TEST_F(UpdaterTest, AShortDiffIsHandledAfterTheWaitOrWhenTheHostCloses)
{
    registry(1); // no FTP server: the fetch fails and the flow goes on
    putProbe("Omvertis.dll", "1.0.0.8");
    putProbe("Marrowick.exe", "1.0.0.8");
    for (bool hostCloses : {false, true}) {
        SCOPED_TRACE(hostCloses);
        boxes_.clear();
        // Its digits give 33 characters; 29 come.
        AnswerWith(host_, "V00027DIFFDLL:1.0.0.8 EXE:1.0", hostCloses);
        create();
        QElapsedTimer clock;
        clock.start();
        connectAndWait();
        // At the host's close at once; on a connection held open only once
        // the wait is over (a coarse timer may end it up to 5% early).
        if (hostCloses)
            EXPECT_LT(clock.elapsed(), fm::upd::TFrmVersion::kAnswerWaitMs);
        else
            EXPECT_GE(clock.elapsed(), fm::upd::TFrmVersion::kAnswerWaitMs * 9 / 10);
        EXPECT_EQ(form_->HostDllVer, "1.0.0.8");
        EXPECT_EQ(form_->HostExeVer, "1.0"); // differs: the client is fetched
        EXPECT_EQ(boxTexts(), (V{"FTP 연결이 실패하였습니다!!", "자동 업데이트 연결을 실패했습니다!!"}));
        EXPECT_EQ(ReadValue(ProductKey(), kVersion), "DLL:1.0.0.8 EXE:1.0.0.8");
        EXPECT_TRUE(form_->Launched());
        delete form_.data();
    }
}

TEST_F(UpdaterTest, DownloadsTheDifferingLibraryAfterLoggingIn)
{
    FtpServer ftp({"--bytes", "--watch", QString::fromStdString(file("Omvertis.dll"))});
    const std::string newLib = ReadAll(Probe("1.0.0.9"));
    ftp.put("Omvertis.dll", newLib);
    registry(ftp.port());
    putProbe("Omvertis.dll", "1.0.0.8");
    putProbe("Marrowick.exe", "1.0.0.9");
    hostsim::VersionReport host; // "DIFF" unless the versions are the host's
    host.dllVersion = host.exeVersion = "1.0.0.9";
    hostsim::InstallVersionReport(host_, host);
    auto &f = create();
    std::vector<int> shown;
    QObject::connect(f.GaugeBar, &QProgressBar::valueChanged, [&](int v) { shown.push_back(v); });
    connectAndWait();

    EXPECT_EQ(boxes_.count(), 0u) << boxes_.texts();
    EXPECT_EQ(fm::GetFileVersionString(file("Omvertis.dll"), "FileVersion"), "1.0.0.9");
    EXPECT_EQ(ReadAll(file("Omvertis.dll")), newLib);
    EXPECT_EQ(ReadAll(file("Marrowick.exe")), ReadAll(Probe("1.0.0.9")));
    EXPECT_EQ(ReadValue(ProductKey(), kVersion), "DLL:1.0.0.8 EXE:1.0.0.9");
    EXPECT_EQ(f.GaugeBar->MaxValue(), int64_t(newLib.size()));
    EXPECT_FALSE(shown.empty());
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
    EXPECT_EQ(f.GaugeBar->value(), 100);
    EXPECT_EQ(f.Label1->text(), QString::fromUtf8("파일 업데이트 중..."));
    EXPECT_TRUE(f.Launched());

    // One session; the old file stays in place until the new one is
    // complete; active mode, image type, closed once the file is in.
    const V cmds = ftp.commands(), s = Session(cmds, 0);
    EXPECT_EQ(Session(cmds, 1), V{});
    ASSERT_GE(s.size(), 6u);
    EXPECT_EQ(s[1], "PASS present");
    const auto cwd = std::find(s.begin(), s.end(), "CWD pellquay present");
    ASSERT_NE(cwd, s.end());
    for (const char *c : {"PORT 127,0,0,1,", "TYPE I", "RETR Omvertis.dll"})
        EXPECT_TRUE(Has(V(cwd, s.end()), c)) << c;
    EXPECT_EQ(s.back(), "QUIT present");
}

// Every fixed text of the version window (the hint under the gauge, both
// steps of its status line, the buttons) and of the settings dialog's two
// pages fits the room its widget gives it in the mapped fonts.
TEST_F(UpdaterTest, EveryTextOfBothWindowsFitsItsWidget)
{
    fm::upd::TFrmVersion &w = create();
    QCoreApplication::processEvents();
    for (const char *step : {"", "Norvane 연결중...", "파일 업데이트 중..."}) {
        w.Label1->setText(QString::fromUtf8(step));
        const QStringList cut = fmtest::TextsThatDoNotFit(w);
        EXPECT_TRUE(cut.isEmpty()) << cut.join("\n").toStdString();
    }
    fm::upd::TFrmE101B00 settings;
    settings.show();
    QCoreApplication::processEvents();
    const QStringList cut = fmtest::TextsThatDoNotFit(settings);
    EXPECT_TRUE(cut.isEmpty()) << cut.join("\n").toStdString();
}

// The host reads the report and resets the connection: the refused read's
// box and the socket layer's error, once each; the window closes and
// starts the client.
TEST_F(UpdaterTest, AResetOfTheVersionConnectionGivesItsBoxesOnceAndStartsTheClient)
{
    registry(1);
    put("Marrowick.exe", LauncherScript(), true);
    putProbe("Omvertis.dll", "1.0.0.8");
    host_.setFrameHandler('V', [](hostsim::HostConnection &c, const std::string &) { c.resetNow(); });
    boxes_.onShow([](const fm::ShownBox &) { fmtest::RunModalMoment(200); }); // the user reads each box
    create().setAttribute(Qt::WA_DeleteOnClose, true); // as the program has it
    form_->BitBtn1->click();
    ASSERT_TRUE(fmtest::WaitFor([&] { return form_.isNull() && boxes_.count() >= 2; })) << boxes_.texts();
    fmtest::RunModalMoment(300);
    EXPECT_EQ(host_.receivedFrames().size(), 1u);
    EXPECT_EQ(boxTexts(), (V{"수신오류", "Windows socket error: An existing connection was forcibly closed by the "
                                       "remote host. (10054), on API 'recv'"}));
    EXPECT_EQ(boxes_.mostOpenAtOnce(), 1);
    EXPECT_TRUE(fmtest::WaitFor([&] { return fs::exists(file("launched.txt")); }));
}
