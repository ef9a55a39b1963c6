// The communication-settings dialog and the registry key it edits.
#include "common/codec.h"
#include "common/regnames.h"
#include "platform/registry.h"
#include "shell/O102B00.h"
#include "support/testutil.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>

using fm::TFrmO102B00;
namespace fs = std::filesystem;

namespace {

// A value of the Communication key; nothing when the key or value is missing.
std::optional<std::string> value(const char *name)
{
    fm::TRegistry reg;
    if (!reg.OpenKeyReadOnly(fm::reg::CommunicationKey())) return std::nullopt;
    if (!reg.ValueExists(name)) return std::nullopt;
    return reg.ReadString(name);
}

void setValue(const char *name, const std::string &v)
{
    fm::TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(fm::reg::CommunicationKey(), true));
    reg.WriteString(name, v);
    reg.CloseKey();
}

class Settings : public ::testing::Test {
protected:
    fmtest::ScopedHive hive;
    fmtest::ScriptedBoxes boxes;

    // Makes the hive read-only, as for a user without write rights.
    void readOnlyHive(bool on)
    {
        const fs::path file = hive.path();
        fs::permissions(file.parent_path(), on ? fs::perms::owner_read | fs::perms::owner_exec : fs::perms::owner_all);
        fs::permissions(file, on ? fs::perms::owner_read : fs::perms::owner_read | fs::perms::owner_write);
    }
};

} // namespace

TEST_F(Settings, FirstOpeningWritesTheDefaultsAndLeavesTheEditsEmpty)
{
    {
        TFrmO102B00 d;
        EXPECT_EQ(boxes.count(), 0u) << boxes.texts();
        EXPECT_TRUE(d.EdtAddress->text().isEmpty());
        EXPECT_TRUE(d.EdtPortNo->text().isEmpty());
        EXPECT_EQ(value("Address"), "127.0.0.1");
        EXPECT_EQ(value("PortNo"), "39995");
        d.BBtnCncl->click(); // keeps the defaults
        EXPECT_EQ(d.result(), QDialog::Rejected);
    }
    EXPECT_EQ(value("Address"), "127.0.0.1");

    // The next opening shows them; OK with emptied edits writes two empty values.
    TFrmO102B00 d;
    EXPECT_EQ(d.EdtAddress->text(), "127.0.0.1");
    EXPECT_EQ(d.EdtPortNo->text(), "39995");
    d.EdtAddress->clear();
    d.EdtPortNo->clear();
    d.BBtnConfi->click();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(value("Address"), "");
    EXPECT_EQ(value("PortNo"), "");
}

TEST_F(Settings, AnExistingKeyIsNeverCompletedAndOkWritesExactlyWhatWasTyped)
{
    setValue("Address", "10.1.2.3");
    TFrmO102B00 d;
    EXPECT_EQ(d.EdtAddress->text(), "10.1.2.3");
    EXPECT_TRUE(d.EdtPortNo->text().isEmpty());
    EXPECT_FALSE(value("PortNo")) << "the default is only for a missing key";
    d.EdtAddress->setText(QString::fromUtf8(" 호스트.example "));
    d.EdtPortNo->setText("99999x");
    d.BBtnConfi->click();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(value("Address"), fmtest::K(" 호스트.example ")); // CP949, untrimmed
    EXPECT_EQ(value("PortNo"), "99999x");
}

TEST_F(Settings, CancelCloseBoxEscAndEnterWriteNothing)
{
    setValue("Address", "1.1.1.1");
    setValue("PortNo", "11");
    auto untouched = [] { return value("Address") == "1.1.1.1" && value("PortNo") == "11"; };

    TFrmO102B00 d;
    EXPECT_EQ(d.windowTitle(), QString::fromUtf8("통신환경설정"));
    for (QPushButton *b : {d.BBtnConfi, d.BBtnCncl}) EXPECT_FALSE(b->isDefault() || b->autoDefault());
    d.show();
    d.EdtAddress->setText("2.2.2.2");
    d.EdtAddress->setFocus();
    QTest::keyClick(d.EdtAddress, Qt::Key_Escape);
    QTest::keyClick(d.EdtAddress, Qt::Key_Return);
    QTest::keyClick(d.EdtPortNo, Qt::Key_Enter);
    EXPECT_TRUE(d.isVisible()) << "Esc or Enter closed the dialog";
    EXPECT_EQ(d.result(), 0);
    EXPECT_TRUE(untouched());

    d.close(); // the close box counts as Cancel
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.result(), QDialog::Rejected);
    EXPECT_TRUE(untouched());

    TFrmO102B00 again;
    again.EdtPortNo->setText("22");
    again.BBtnCncl->click();
    EXPECT_EQ(again.result(), QDialog::Rejected);
    EXPECT_TRUE(untouched());
    EXPECT_EQ(boxes.count(), 0u) << boxes.texts();
}

TEST_F(Settings, AReadOnlyHiveIsReportedAndTheDialogStaysUsable)
{
    setValue("Address", "1.1.1.1");
    setValue("PortNo", "11");
    readOnlyHive(true);

    TFrmO102B00 d;
    // Full access fails, so the key counts as missing and the defaults
    // cannot be written.
    ASSERT_EQ(boxes.count(), 1u) << boxes.texts();
    EXPECT_EQ(boxes.last().text, "Failed to set data for 'Address'");
    EXPECT_EQ(boxes.last().icon, fm::MsgIcon::Error);
    EXPECT_TRUE(d.EdtAddress->text().isEmpty());

    d.show();
    d.EdtAddress->setText("3.3.3.3");
    d.EdtPortNo->setText("33");
    d.BBtnConfi->click();
    ASSERT_EQ(boxes.count(), 2u);
    EXPECT_EQ(boxes.last().text, "Failed to set data for 'Address'");
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(d.result(), 0);

    readOnlyHive(false);
    d.BBtnConfi->click();
    EXPECT_EQ(boxes.count(), 2u) << boxes.texts();
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(value("Address"), "3.3.3.3");
    EXPECT_EQ(value("PortNo"), "33");
}
