// Downloads from a real FTP server: both files over two sessions while the
// host closes, the failed log-in, the server's refusals, an undeletable
// local file, and transfers cut off (none of which touches the old file).
#include "updater_env.h"

using namespace updtest;
using namespace fm::reg;

TEST_F(UpdaterTest, BothDifferLibraryFirstThenClientAndTheLaunchWaitsForThem)
{
    FtpServer ftp({"--rate", "100000"}); // replies without a byte count
    const std::string client = LauncherScript(300000); // pauses about 2 s on the way
    ftp.put("Omvertis.dll", ReadAll(Probe("1.0.0.9")));
    ftp.put("Marrowick.exe", client);
    registry(ftp.port());
    // No local files: both differ. The host closes at once, while the
    // downloads are still running.
    AnswerWith(host_, "V00027DIFFDLL:1.0.0.9 EXE:1.0.0.9", /*thenClose=*/true);
    create();
    connectAndWait();

    EXPECT_EQ(boxes_.count(), 0u) << boxes_.texts();
    EXPECT_EQ(form_->GaugeBar->MaxValue(), 0);
    EXPECT_EQ(form_->GaugeBar->value(), 0);
    EXPECT_EQ(ReadValue(ProductKey(), kVersion), "DLL:1.0.0.0 EXE:1.0.0.0");
    const V cmds = ftp.commands(), first = Session(cmds, 0), second = Session(cmds, 1);
    EXPECT_TRUE(Has(first, "RETR Omvertis.dll"));
    EXPECT_EQ(first.back(), "QUIT");
    EXPECT_TRUE(Has(second, "RETR Marrowick.exe"));
    EXPECT_EQ(ReadAll(file("Omvertis.dll")), ReadAll(Probe("1.0.0.9")));
    EXPECT_EQ(ReadAll(file("Marrowick.exe")), client);
    // The fetched client is started, from the working folder.
    EXPECT_TRUE(fmtest::WaitFor([&] { return fs::exists(file("launched.txt")); }));
    EXPECT_EQ(ReadAll(file("launched.txt")), fs::canonical(work_).string());
}

TEST_F(UpdaterTest, FailedFetchesAreReportedAndTheFlowGoesOn)
{
    const V connectBoxes{"FTP 연결이 실패하였습니다!!", "자동 업데이트 연결을 실패했습니다!!"};
    const V refusedBoxes{"업데이트중 오류 발생!!", "자동 업데이트 연결을 실패했습니다!!"};
    enum Fault { WrongPassword, NoFile, NoFolder, Undeletable };
    struct Case {
        Fault fault;
        V boxes;
        const char *firstCaption;
        bool localKept;
    } cases[] = {
        {WrongPassword, connectBoxes, "연결실패", true},
        {NoFile, refusedBoxes, "FTP Error", true}, // replaced only by a complete file
        {NoFolder, refusedBoxes, "FTP Error", true},
        {Undeletable, {"파일삭제 에러"}, "delete Error", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.fault);
        boxes_.clear();
        FtpServer ftp;
        if (c.fault == WrongPassword) ftp.put("Omvertis.dll", "new");
        if (c.fault == NoFolder) ftp.dropFolder();
        registry(ftp.port(), c.fault == WrongPassword ? "wrong" : "dorvimpa");
        fs::remove_all(file("Omvertis.dll"));
        if (c.fault == Undeletable)
            fs::create_directories(file("Omvertis.dll") + "/inside"); // unlink cannot remove it
        else
            put("Omvertis.dll", "old");
        AnswerWith(host_, "V00020DIFFDLL:1.0.0.9 EXE:"); // short: only the library differs
        create();
        connectAndWait();
        EXPECT_EQ(boxTexts(), c.boxes);
        EXPECT_EQ(boxes_.shown()[0].caption, QString::fromUtf8(c.firstCaption));
        EXPECT_EQ(fs::exists(file("Omvertis.dll")), c.localKept);
        if (c.fault != Undeletable) {
            EXPECT_EQ(ReadAll(file("Omvertis.dll")), "old");
        }
        EXPECT_FALSE(fs::exists(file("Omvertis.dll.download")));
        if (c.fault != WrongPassword) {
            EXPECT_EQ(ftp.commands().back(), "QUIT");
        }
        EXPECT_EQ(Has(ftp.commands(), "CWD"), c.fault == NoFile || c.fault == NoFolder);
        EXPECT_EQ(ReadValue(ProductKey(), kVersion), "DLL:1.0.0.0 EXE:1.0.0.0"); // as sent
        EXPECT_TRUE(form_->Launched());
        delete form_.data();
    }
}

TEST_F(UpdaterTest, TransferCutOffShowsTheSocketTextAndLeavesNoPart)
{
    FtpServer ftp({"--bytes", "--rate", "40000"});
    ftp.put("Omvertis.dll", std::string(400000, 'x'));
    registry(ftp.port());
    AnswerWith(host_, "V00020DIFFDLL:1.0.0.9 EXE:");
    auto &f = create();
    QObject::connect(f.GaugeBar, &QProgressBar::valueChanged, [&](int v) {
        if (v > 0) ftp.kill();
    });
    connectAndWait();
    ASSERT_EQ(boxes_.count(), 2u) << boxes_.texts();
    EXPECT_EQ(boxes_.shown()[0].caption, QStringLiteral("FTP Error"));
    EXPECT_NE(boxes_.shown()[0].text, QString::fromUtf8("업데이트중 오류 발생!!"));
    EXPECT_EQ(boxes_.shown()[1].text, QString::fromUtf8("자동 업데이트 연결을 실패했습니다!!"));
    EXPECT_FALSE(fs::exists(file("Omvertis.dll")));
    EXPECT_FALSE(fs::exists(file("Omvertis.dll.download")));
    EXPECT_TRUE(f.Launched());
}

TEST_F(UpdaterTest, AClientEndedShortOfItsSizeIsNotStarted)
{
    // The server ends the transfer cleanly after 1000 of 5000 bytes; it
    // gives the size in its reply to RETR, or only when asked with SIZE.
    for (const QStringList &options : {QStringList{"--bytes", "--cut", "1000"}, QStringList{"--cut", "1000"}}) {
        SCOPED_TRACE(options.join(' ').toStdString());
        boxes_.clear();
        fs::remove(file("launched.txt"));
        FtpServer ftp(options);
        ftp.put("Marrowick.exe", std::string(5000, 'n'));
        registry(ftp.port());
        putProbe("Omvertis.dll", "1.0.0.9");
        put("Marrowick.exe", LauncherScript(), /*executable=*/true); // no version: fetched
        AnswerWith(host_, "V00027DIFFDLL:1.0.0.9 EXE:1.0.0.9");
        create();
        connectAndWait();
        ASSERT_EQ(boxes_.count(), 2u) << boxes_.texts();
        EXPECT_EQ(boxes_.shown()[0].caption, QStringLiteral("FTP Error"));
        EXPECT_EQ(boxes_.shown()[1].text, QString::fromUtf8("자동 업데이트 연결을 실패했습니다!!"));
        EXPECT_TRUE(Has(ftp.commands(), "RETR Marrowick.exe"));
        // The old client stays and is the one started.
        EXPECT_EQ(ReadAll(file("Marrowick.exe")), LauncherScript());
        EXPECT_FALSE(fs::exists(file("Marrowick.exe.download")));
        EXPECT_TRUE(fmtest::WaitFor([&] { return fs::exists(file("launched.txt")); }));
        delete form_.data();
    }
}

// A link at the download's temporary name never leads the download out of
// the working folder: one left there beforehand is removed, one that
// appears while the download runs fails it.
TEST_F(UpdaterTest, ALinkAtTheDownloadNameIsNotFollowed)
{
    const std::string outside = dir_.path() + "/outside.txt";
    for (const bool whileRunning : {false, true}) {
        SCOPED_TRACE(whileRunning);
        boxes_.clear();
        std::ofstream(outside) << "not the updater's";
        fs::remove(file("Omvertis.dll.download"));
        QStringList options;
        if (whileRunning) {
            options << "--plant" << QString::fromStdString(file("Omvertis.dll.download"))
                    << QString::fromStdString(outside);
        } else {
            fs::create_symlink(outside, file("Omvertis.dll.download"));
        }
        FtpServer ftp(options);
        ftp.put("Omvertis.dll", "new library");
        registry(ftp.port());
        put("Omvertis.dll", "old");
        AnswerWith(host_, "V00020DIFFDLL:1.0.0.9 EXE:");
        create();
        connectAndWait();
        EXPECT_EQ(ReadAll(outside), "not the updater's");
        EXPECT_FALSE(fs::is_symlink(file("Omvertis.dll")));
        if (whileRunning) {
            ASSERT_EQ(boxes_.count(), 2u) << boxes_.texts();
            EXPECT_EQ(boxes_.shown()[0].caption, QStringLiteral("FTP Error"));
            EXPECT_EQ(ReadAll(file("Omvertis.dll")), "old");
        } else {
            EXPECT_EQ(boxes_.count(), 0u) << boxes_.texts();
            EXPECT_EQ(ReadAll(file("Omvertis.dll")), "new library");
        }
        EXPECT_FALSE(fs::exists(file("Omvertis.dll.download")));
        EXPECT_TRUE(form_->Launched());
        delete form_.data();
    }
}

TEST_F(UpdaterTest, EmptyFtpPortStopsTheAnswerBeforeTheLaunch)
{
    registry(21);
    WriteValue(FtpKey(), kPortNo, "");
    AnswerWith(host_, "V00020DIFFDLL:1.0.0.9 EXE:");
    create();
    connectAndWait([&] { return boxes_.count() > 0; });
    EXPECT_EQ(boxTexts(), V{"'' is not a valid integer value"});
    EXPECT_EQ(ReadValue(ProductKey(), kVersion), "<no value>");
    EXPECT_FALSE(form_->Launched());
}
