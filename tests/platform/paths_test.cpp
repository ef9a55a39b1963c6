#include "platform/paths.h"
#include "support/testutil.h"

#include <filesystem>
#include <gtest/gtest.h>

TEST(NativePath, ResolvesEachExistingComponentWithoutRegardToCase)
{
    fmtest::TempDir dir;
    std::filesystem::create_directories(dir.file("data"));
    std::filesystem::create_directories(dir.file("sback"));
    dir.write("sback/S0001.TXT", "x");
    EXPECT_EQ(fm::NativePath(dir.path() + "\\Data\\"), dir.path() + "/data/");
    EXPECT_EQ(fm::NativePath(dir.path() + "\\SBack"), dir.path() + "/sback");
    EXPECT_EQ(fm::NativePath(dir.path() + "\\SBack\\s0001.txt"), dir.path() + "/sback/S0001.TXT");
    // A name that does not exist keeps its spelling, and so does all below it.
    EXPECT_EQ(fm::NativePath(dir.path() + "\\New\\Sub"), dir.path() + "/New/Sub");
    EXPECT_TRUE(fm::FileExists(dir.path() + "\\SBACK\\s0001.txt"));
    EXPECT_FALSE(fm::FileExists(dir.path() + "\\SBACK"));
    EXPECT_TRUE(fm::FolderExists(dir.path() + "\\SBACK"));
}

TEST(NativePath, ADoubledSeparatorAtTheRootStillWorks)
{
    EXPECT_TRUE(fm::FolderExists(std::string("/") + "\\tmp"));
    EXPECT_EQ(fm::NativePath("/\\TMP"), "/tmp");
}
