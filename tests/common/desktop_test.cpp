// The Korean desktop both programs set up: Qt's own texts in Korean.
#include "common/desktop.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <gtest/gtest.h>

TEST(Desktop, StandardButtonsReadKoreanWhateverTheLocale)
{
    QLocale::setDefault(QLocale::c());
    ASSERT_TRUE(fm::LoadKoreanTranslation()) << "qtbase_ko.qm (qt6-translations-l10n) is missing";
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    const std::pair<QMessageBox::StandardButton, const char *> expected[] = {
        {QMessageBox::Ok, "확인"}, {QMessageBox::Yes, "예"}, {QMessageBox::No, "아니요"}, {QMessageBox::Cancel, "취소"}};
    for (const auto &[button, text] : expected)
        EXPECT_TRUE(box.button(button)->text().startsWith(QString::fromUtf8(text)))
            << box.button(button)->text().toStdString();
}
