// The updater's settings dialog: filled from both keys, both pages written
// by either "확인", nothing written by "취소", the password's typing limit,
// and keys that cannot be opened.
#include "updater_env.h"

#include "updater/E101B00.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>

using namespace updtest;
using namespace fm::reg;
using fm::upd::TFrmE101B00;

namespace {

class SettingsTest : public UpdaterTest {
protected:
    void SetUp() override
    {
        UpdaterTest::SetUp();
        store();
    }
    void store()
    {
        WriteValue(CommunicationKey(), kAddress, "10.1.2.3");
        WriteValue(CommunicationKey(), kPortNo, "29994");
        for (auto [name, value] : {std::pair{kAddress, "ftp.host"}, {kPortNo, "21"},
                                   {kLoginNm, "vrguest"}, {kPasswd, "longerthan8"}})
            WriteValue(FtpKey(), name, value);
    }
    V stored() const
    {
        return {ReadValue(CommunicationKey(), kAddress), ReadValue(CommunicationKey(), kPortNo),
                ReadValue(FtpKey(), kAddress),           ReadValue(FtpKey(), kPortNo),
                ReadValue(FtpKey(), kLoginNm),           ReadValue(FtpKey(), kPasswd)};
    }
};

} // namespace

TEST_F(SettingsTest, ShowsBothKeysAndEitherOkWritesAllSixAsTyped)
{
    for (int page : {0, 1}) {
        SCOPED_TRACE(page);
        store(); // the values as at the start
        TFrmE101B00 d;
        EXPECT_EQ(d.PageControl1->currentIndex(), 0);
        EXPECT_EQ(d.EdtAddress1->text(), "10.1.2.3");
        EXPECT_EQ(d.EdtPortNo2->text(), "21");
        EXPECT_EQ(d.edtPassword->text(), "longerthan8"); // shown whole
        d.EdtAddress1->setText(QString(" 127.0.0.%1 ").arg(page));
        d.EdtPortNo2->setText("");
        d.edtid->setText(QString::fromUtf8("관리자"));
        d.PageControl1->setCurrentIndex(page);
        QSignalSpy accepted(&d, &QDialog::accepted);
        (page == 0 ? d.BBtnConfi1 : d.BBtnConfi2)->click();
        EXPECT_EQ(accepted.count(), 1);
        EXPECT_EQ(stored(), (V{" 127.0.0." + std::to_string(page) + " ", "29994", "ftp.host", "",
                               fmtest::K("관리자"), "longerthan8"}));
    }
    EXPECT_EQ(boxes_.count(), 0u) << boxes_.texts();
}

TEST_F(SettingsTest, CancelWritesNothingAndPasswordTypingStopsAtEight)
{
    const std::string before = ReadAll(hive_.path());
    TFrmE101B00 d;
    QTest::keyClick(d.edtPassword, Qt::Key_Backspace); // a longer one can be shortened
    EXPECT_EQ(d.edtPassword->text(), "longerthan");
    d.edtPassword->clear();
    QTest::keyClicks(d.edtPassword, "abcdefghij");
    EXPECT_EQ(d.edtPassword->text(), "abcdefgh");
    d.EdtAddress2->setText("changed");
    QSignalSpy rejected(&d, &QDialog::rejected);
    d.BBtnCncl2->click();
    EXPECT_EQ(rejected.count(), 1);
    EXPECT_EQ(ReadAll(hive_.path()), before);
}

TEST_F(SettingsTest, KeysThatCannotBeOpenedShowEmptyPagesAndRefuseOk)
{
    {
        // The Ftp key is missing: page 1 is written, then the error; the
        // dialog stays open.
        fmtest::ScopedHive fresh;
        WriteValue(CommunicationKey(), kPortNo, "1");
        TFrmE101B00 d;
        EXPECT_TRUE(d.EdtAddress2->text().isEmpty());
        d.EdtPortNo1->setText("2");
        QSignalSpy accepted(&d, &QDialog::accepted);
        d.BBtnConfi1->click();
        EXPECT_EQ(boxTexts(), V{"Failed to set data for 'Address'"});
        EXPECT_EQ(accepted.count(), 0);
        EXPECT_EQ(ReadValue(CommunicationKey(), kPortNo), "2");
    }
    boxes_.clear();
    // A hive that cannot be written: keys opened with full access fail.
    fs::permissions(hive_.path(), fs::perms(0444));
    TFrmE101B00 d;
    EXPECT_TRUE(d.EdtAddress1->text().isEmpty());
    d.BBtnConfi2->click();
    EXPECT_EQ(boxTexts(), V{"Failed to set data for 'Address'"});
    EXPECT_EQ(ReadValue(CommunicationKey(), kAddress), "10.1.2.3");
}
