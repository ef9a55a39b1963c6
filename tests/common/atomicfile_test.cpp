#include "common/atomicfile.h"
#include "support/testutil.h"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

int modeOf(const std::string &path)
{
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

size_t entries(const std::string &folder)
{
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

} // namespace

TEST(AtomicFile, ReplacesWholeOrLeavesTargetAndNoTemporaryFile)
{
    fmtest::TempDir dir;
    dir.write("target", "old");
    {
        fm::AtomicFile f(dir.path(), "t.", ".part", 0600);
        ASSERT_TRUE(f.Open());
        EXPECT_EQ(modeOf(f.TempPath()), 0600);
        EXPECT_TRUE(fm::IsAtomicTempName(fs::path(f.TempPath()).filename().string(), "t.", ".part"));
        EXPECT_TRUE(f.Write(std::string(100000, 'n')));
        EXPECT_EQ(dir.read("target"), "old"); // not yet
        ASSERT_TRUE(f.Commit(dir.file("target")));
    }
    EXPECT_EQ(dir.read("target"), std::string(100000, 'n'));
    EXPECT_EQ(modeOf(dir.file("target")), 0600);

    fs::create_directory(dir.file("folder"));
    {
        fm::AtomicFile f(dir.path(), "t.", ".part", 0600);
        ASSERT_TRUE(f.Open());
        f.Write("x");
        EXPECT_FALSE(f.Commit(dir.file("folder"))); // a folder is not replaced
        fm::AtomicFile g(dir.path(), "t.", ".part", 0600);
        ASSERT_TRUE(g.Open());
        g.Write("y"); // dropped without a commit
    }
    EXPECT_EQ(entries(dir.path()), 2u); // target and folder only
}

TEST(AtomicFile, StaleTemporaryFilesOfGoneProcessesAreRemoved)
{
    fmtest::TempDir dir;
    const std::string mine = "t." + std::to_string(::getpid()) + "-0.part";
    dir.write(mine, "");
    dir.write("t.2147483600-1.part", "");
    // Names of other forms are not temporary files.
    dir.write("t.2147483600.1.part", "");
    dir.write("t.notes.part", "");
    dir.write("t.1-1.txt", "");
    EXPECT_EQ(fm::RemoveStaleTemps(dir.path(), "t.", ".part", true), 1);
    EXPECT_TRUE(fs::exists(dir.file(mine)));
    EXPECT_EQ(fm::RemoveStaleTemps(dir.path(), "t.", ".part", false), 1);
    EXPECT_EQ(entries(dir.path()), 3u);
    EXPECT_TRUE(fs::exists(dir.file("t.2147483600.1.part")));
}

TEST(AtomicFile, ANewNameIsGivenOnlyWhenFreeAndNeverReplacesAFile)
{
    fmtest::TempDir dir;
    dir.write("taken", "earlier");
    fm::AtomicFile f(dir.path(), "t.", ".part", 0644);
    ASSERT_TRUE(f.Open());
    f.Write("whole result");
    EXPECT_EQ(f.RenameToNew(dir.file("early")), EINVAL); // not finished: discarded
    EXPECT_EQ(entries(dir.path()), 1u);

    ASSERT_TRUE(f.Open());
    f.Write("whole result");
    ASSERT_TRUE(f.Finish());
    const std::string temp = f.TempPath();
    // A taken name is refused and the finished file stays for another one.
    EXPECT_EQ(f.RenameToNew(dir.file("taken")), EEXIST);
    EXPECT_EQ(dir.read("taken"), "earlier");
    EXPECT_EQ(dir.read(fs::path(temp).filename().string()), "whole result");
    EXPECT_EQ(f.RenameToNew(dir.file("free")), 0);
    EXPECT_EQ(dir.read("free"), "whole result");
    EXPECT_FALSE(fs::exists(temp));

    // The plain rename of the same rule.
    dir.write("kept", "raw");
    EXPECT_EQ(fm::RenameNoReplace(dir.file("kept"), dir.file("free")), EEXIST);
    EXPECT_EQ(dir.read("free"), "whole result");
    EXPECT_EQ(fm::RenameNoReplace(dir.file("kept"), dir.file("kept.1")), 0);
    EXPECT_EQ(dir.read("kept.1"), "raw");
    EXPECT_EQ(entries(dir.path()), 3u); // taken, free, kept.1
}
