#include "common/codec.h"
#include "common/errors.h"
#include "platform/registry.h"
#include "support/testutil.h"

#include <QProcess>
#include <QStringList>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <gtest/gtest.h>
#include <sys/stat.h>

using fmtest::K;
namespace fs = std::filesystem;

namespace {

const char *kComm = "Software\\(주)Norvane\\Velmontis\\Communication";

std::string readFile(const std::string &path)
{
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) return {};
    std::string s;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    std::fclose(f);
    return s;
}

void writeFile(const std::string &path, const std::string &text)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

// The message of the RegistryError `f` raises ("" when it raises none).
std::string registryError(const std::function<void()> &f)
{
    try {
        f();
    } catch (const fm::RegistryError &e) {
        return e.what();
    }
    return "";
}

struct ToolRun {
    int code;
    std::string out;
};

ToolRun regtool(const QStringList &args)
{
    QProcess p;
    p.start(QString::fromUtf8(FM_BINARY_DIR "/bin/regtool"), args);
    if (!p.waitForFinished(20000)) return {-1, ""};
    return {p.exitCode(), p.readAllStandardOutput().toStdString()};
}

} // namespace

TEST(Registry, KoreanAndAwkwardValuesSurviveTheFile)
{
    fmtest::ScopedHive hive;
    const std::string awkward = std::string("a\"b\\c\r\n") + "\x80\xFF" + "\x81\x41" + "\xB0";
    {
        fm::TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(K(kComm), true));
        reg.WriteString(K("Address"), K("서울 중구 (주)가나"));
        reg.WriteString(K("주소"), awkward);
    }
    fm::TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(K(kComm), false));
    EXPECT_EQ(reg.ReadString(K("Address")), K("서울 중구 (주)가나"));
    EXPECT_EQ(reg.ReadString(K("주소")), awkward);

    const std::string text = readFile(hive.path());
    EXPECT_EQ(text.rfind("Fennimarch registry hive 1\n", 0), 0u) << text;
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\Software\\(주)Norvane\\Velmontis\\Communication]\n"
                        "\"Address\"=\"서울 중구 (주)가나\"\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\"주소\"=\"a\\\"b\\\\c\\x0d\\x0a\\x80\\xff갂\\xb0\"\n"), std::string::npos)
        << text;
}

TEST(Registry, MissingKeysAndValues)
{
    fmtest::ScopedHive hive;
    fm::TRegistry reg;
    EXPECT_FALSE(reg.OpenKey(K(kComm), false));
    EXPECT_FALSE(reg.KeyExists(K(kComm)));
    EXPECT_FALSE(fs::exists(hive.path())) << "reading must not create the hive";
    EXPECT_EQ(reg.ReadString("PortNo"), "");
    EXPECT_EQ(registryError([&] { reg.WriteString("PortNo", "1"); }),
              "Failed to set data for 'PortNo'");

    ASSERT_TRUE(reg.OpenKey(K(kComm), true));
    EXPECT_FALSE(reg.ValueExists("PortNo"));
    EXPECT_EQ(reg.ReadString("PortNo"), "");
    // A failed open leaves no key open: the next write cannot land elsewhere.
    EXPECT_FALSE(reg.OpenKey(K("Software\\Nowhere"), false));
    EXPECT_EQ(registryError([&] { reg.WriteString(K("포트"), "1"); }),
              "Failed to set data for '포트'");
    EXPECT_FALSE(reg.OpenKey("Software\\\\Empty", true)) << "empty name inside a path";
}

TEST(Registry, CreatesKeyWithItsParentsAndTheFolder)
{
    fmtest::ScopedHive restoresTheSetting;
    fmtest::TempDir dir;
    const std::string path = dir.file("deep/er/hklm.reg");
    setenv("FENNIMARCH_HIVE", path.c_str(), 1);
    {
        fm::TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("\\A\\B\\C\\", true));
        EXPECT_EQ(reg.CurrentPath(), "A\\B\\C");
    }
    fm::TRegistry reg;
    EXPECT_TRUE(reg.KeyExists("A"));
    EXPECT_TRUE(reg.KeyExists("A\\B"));
    EXPECT_TRUE(reg.KeyExists("a\\b\\c"));
    EXPECT_FALSE(reg.KeyExists("A\\C"));
    // Keys with subkeys alone are implied by the section of the subkey.
    EXPECT_EQ(readFile(path), "Fennimarch registry hive 1\n\n[HKEY_LOCAL_MACHINE\\A\\B\\C]\n");
}

TEST(Registry, NamesMatchWithoutRegardToCaseAndKeepTheirSpelling)
{
    fmtest::ScopedHive hive;
    fm::TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\MixedCase", true));
    reg.WriteString("PortNo", "1");
    ASSERT_TRUE(reg.OpenKey("SOFTWARE\\mixedcase", true));
    reg.WriteString("PORTNO", "2");
    EXPECT_EQ(reg.ReadString("portno"), "2");
    EXPECT_EQ(reg.GetValueNames(), std::vector<std::string>{"PortNo"});
    const std::string text = readFile(hive.path());
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\Software\\MixedCase]\n\"PortNo\"=\"2\""),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("SOFTWARE"), std::string::npos) << text;

    // Double-byte characters whose second byte is an ASCII letter are
    // different characters, not different spellings of one.
    ASSERT_TRUE(reg.OpenKey("\x81\x41", true));
    EXPECT_FALSE(reg.KeyExists("\x81\x61"));
    reg.WriteString("\x81\x41", "x");
    EXPECT_FALSE(reg.ValueExists("\x81\x61"));
}

TEST(Registry, OtherValueTypesAreKeptAndRefusedAsText)
{
    fmtest::ScopedHive hive;
    writeFile(hive.path(), "\xEF\xBB\xBF"
                           "Fennimarch registry hive 1\r\n"
                           "; written by hand\r\n"
                           "\r\n"
                           "[HKEY_LOCAL_MACHINE\\Software\\(주)Norvane\\Velmontis\\Communication]\r\n"
                           "\"SomeNumber\"=dword:00000010\r\n"
                           "\"번호\"=hex:01,ab\r\n"
                           "@=\"default\"\r\n");
    fm::TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(K(kComm), false));
    EXPECT_TRUE(reg.ValueExists("SomeNumber"));
    EXPECT_EQ(registryError([&] { reg.ReadString("somenumber"); }),
              "Invalid data type for 'somenumber'");
    EXPECT_EQ(registryError([&] { reg.ReadString(K("번호")); }), "Invalid data type for '번호'");
    EXPECT_EQ(reg.ReadString(""), "default");

    reg.WriteString("PortNo", "39995");
    const std::string text = readFile(hive.path());
    EXPECT_NE(text.find("\"SomeNumber\"=dword:00000010\n\"번호\"=hex:01,ab\n@=\"default\"\n"),
              std::string::npos)
        << text;
    // A string written over a value of another type replaces it.
    reg.WriteString("SomeNumber", "7");
    EXPECT_EQ(reg.ReadString("SomeNumber"), "7");
}

TEST(Registry, ReadOnlyHiveOpensOnlyForReading)
{
    fmtest::ScopedHive hive;
    {
        fm::TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(K(kComm), true));
        reg.WriteString("PortNo", "39995");
    }
    ASSERT_EQ(chmod(hive.path().c_str(), 0444), 0);
    const std::string before = readFile(hive.path());

    fm::TRegistry reg;
    EXPECT_FALSE(reg.OpenKey(K(kComm), false));
    EXPECT_FALSE(reg.OpenKey(K(kComm), true));
    EXPECT_FALSE(reg.OpenKey("Software\\New", true));
    EXPECT_EQ(registryError([&] { reg.WriteString("PortNo", "1"); }),
              "Failed to set data for 'PortNo'");
    EXPECT_TRUE(reg.KeyExists(K(kComm)));

    ASSERT_TRUE(reg.OpenKeyReadOnly(K(kComm)));
    EXPECT_EQ(reg.ReadString("PortNo"), "39995");
    EXPECT_EQ(registryError([&] { reg.WriteString("PortNo", "1"); }),
              "Failed to set data for 'PortNo'");
    reg.Access = fm::KEY_READ;
    EXPECT_TRUE(reg.OpenKey(K(kComm), false));
    EXPECT_EQ(readFile(hive.path()), before);

    // Writable again: full access works, and the file keeps its mode.
    ASSERT_EQ(chmod(hive.path().c_str(), 0600), 0);
    reg.Access = fm::KEY_ALL_ACCESS;
    ASSERT_TRUE(reg.OpenKey(K(kComm), false));
    reg.WriteString("PortNo", "1");
    struct stat st;
    ASSERT_EQ(stat(hive.path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(Registry, ReadOnlyFolderWithoutHiveRefusesToCreate)
{
    fmtest::ScopedHive hive;
    const std::string dir = fs::path(hive.path()).parent_path().string();
    ASSERT_EQ(chmod(dir.c_str(), 0555), 0);
    fm::TRegistry reg;
    EXPECT_FALSE(reg.OpenKey(K(kComm), true));
    EXPECT_FALSE(fs::exists(hive.path()));
    ASSERT_EQ(chmod(dir.c_str(), 0755), 0);
    EXPECT_TRUE(reg.OpenKey(K(kComm), true));
}

TEST(Registry, DamagedHiveIsReportedAndNeverOverwritten)
{
    const char *bodies[] = {
        "Some other file\n",
        "Fennimarch registry hive 1\n[HKEY_LOCAL_MACHINE\\A]\ngarbage\n",
        "Fennimarch registry hive 1\n\"Orphan\"=\"x\"\n",
        "Fennimarch registry hive 1\n[HKEY_LOCAL_MACHINE\\A]\n\"V\"=\"bad \\q escape\"\n",
        "Fennimarch registry hive 1\n[HKEY_LOCAL_MACHINE\\A]\n\"V\"=\"no end\n",
        "Fennimarch registry hive 1\n[HKEY_LOCAL_MACHINE\\A]\n\"V\"=dword:123456789\n",
        "Fennimarch registry hive 1\n[HKEY_CURRENT_USER\\A]\n",
        "Fennimarch registry hive 1\n[HKEY_LOCAL_MACHINE\\A\\\\B]\n",
        "Fennimarch registry hive 1\n[HKEY_LOCAL_MACHINE\\A]\n\"V\"=\"\xC0\xC0\"\n",
    };
    for (const char *body : bodies) {
        SCOPED_TRACE(body);
        fmtest::ScopedHive hive;
        writeFile(hive.path(), body);
        fm::TRegistry reg;
        const std::string msg = registryError([&] { reg.OpenKey("A", true); });
        EXPECT_NE(msg.find(hive.path()), std::string::npos) << msg;
        EXPECT_NE(msg.find("damaged"), std::string::npos) << msg;
        EXPECT_NE(registryError([&] { reg.KeyExists("A"); }), "");
        EXPECT_NE(registryError([&] { reg.ReadString("V"); }), "");
        EXPECT_NE(registryError([&] { reg.WriteString("V", "x"); }), "");
        EXPECT_NE(registryError([&] { fm::TRegistry::Dump(); }), "");
        EXPECT_EQ(readFile(hive.path()), body);
        for (const auto &e : fs::directory_iterator(fs::path(hive.path()).parent_path()))
            EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
    }
}

// A hive that is not a regular file (a FIFO in its place) is refused at
// once, as a damaged one is, by the programs and by regtool, instead of
// holding them for ever. A lock file that is not a regular file lets no
// write through and is left as it is.
TEST(Registry, HiveOrLockThatIsNotARegularFileIsRefusedAtOnce)
{
    fmtest::ScopedHive hive;
    ASSERT_EQ(mkfifo(hive.path().c_str(), 0600), 0);
    fm::TRegistry reg;
    std::string opened, dumped;
    EXPECT_TRUE(fmtest::ReturnsWithin(1000, hive.path(), [&] {
        opened = registryError([&] { reg.OpenKeyReadOnly(K(kComm)); });
    }));
    EXPECT_TRUE(fmtest::ReturnsWithin(1000, hive.path(), [&] {
        dumped = registryError([] { fm::TRegistry::Dump(); });
    }));
    for (const std::string &msg : {opened, dumped}) {
        EXPECT_NE(msg.find("'" + hive.path() + "' is not a regular file"), std::string::npos) << msg;
    }
    for (const QStringList &args : {QStringList{"get", kComm, "PortNo"}, QStringList{"dump"},
                                    QStringList{"set", kComm, "PortNo", "1"}}) {
        EXPECT_EQ(regtool(args).code, 2) << args.join(' ').toStdString();
    }
    struct stat st{};
    ASSERT_EQ(stat(hive.path().c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    fs::remove(hive.path());
    const std::string body = "Fennimarch registry hive 1\n";
    writeFile(hive.path(), body);
    const std::string pipe = (fs::path(hive.path()).parent_path() / "pipe").string();
    ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
    ASSERT_EQ(chmod(pipe.c_str(), 0644), 0);
    ASSERT_EQ(symlink(pipe.c_str(), (hive.path() + ".lock").c_str()), 0);
    EXPECT_FALSE(reg.OpenKey(K(kComm), true));
    EXPECT_EQ(readFile(hive.path()), body);
    ASSERT_EQ(stat(pipe.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u) << "the lock's mode was changed";
}

TEST(Registry, WritesMergeWithChangesMadeMeanwhile)
{
    fmtest::ScopedHive hive;
    fm::TRegistry first, second;
    ASSERT_TRUE(first.OpenKey("K", true));
    ASSERT_TRUE(second.OpenKey("K", false));
    first.WriteString("A", "1");
    second.WriteString("B", "2");
    EXPECT_EQ(first.ReadString("B"), "2");
    first.WriteString("A", "3");
    EXPECT_EQ(second.ReadString("A"), "3");
    EXPECT_EQ(second.ReadString("B"), "2");

    // The key removed from the file behind an open key: writing fails.
    writeFile(hive.path(), "Fennimarch registry hive 1\n[HKEY_LOCAL_MACHINE\\Other]\n");
    EXPECT_EQ(registryError([&] { first.WriteString("A", "4"); }), "Failed to set data for 'A'");
    EXPECT_FALSE(first.KeyExists("K"));
}

TEST(Registry, HiveLocationFollowsTheEnvironment)
{
    auto saved = [](const char *n) {
        const char *v = std::getenv(n);
        return v ? std::optional<std::string>(v) : std::nullopt;
    };
    auto restore = [](const char *n, const std::optional<std::string> &v) {
        if (v) setenv(n, v->c_str(), 1);
        else unsetenv(n);
    };
    const auto hive = saved("FENNIMARCH_HIVE"), xdg = saved("XDG_CONFIG_HOME"), home = saved("HOME");
    setenv("FENNIMARCH_HIVE", "/x/y.reg", 1);
    setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(fm::TRegistry::HivePath(), "/x/y.reg");
    unsetenv("FENNIMARCH_HIVE");
    EXPECT_EQ(fm::TRegistry::HivePath(), "/cfg/fennimarch/hklm.reg");
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", "/home/u", 1);
    EXPECT_EQ(fm::TRegistry::HivePath(), "/home/u/.config/fennimarch/hklm.reg");
    restore("FENNIMARCH_HIVE", hive);
    restore("XDG_CONFIG_HOME", xdg);
    restore("HOME", home);
}

TEST(Registry, AnotherProcessSeesOurWritesAndWeSeeItsWrites)
{
    fmtest::ScopedHive hive;
    const QString key = QString::fromUtf8(kComm);
    fm::TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(K(kComm), true));
    reg.WriteString("Address", K("주소 1"));

    ToolRun got = regtool({"get", key.toUpper(), "address"});
    EXPECT_EQ(got.code, 0);
    EXPECT_EQ(got.out, "주소 1\n");
    EXPECT_EQ(regtool({"get", key, "Missing"}).code, 1);
    EXPECT_EQ(regtool({"get", "Software\\Missing", "Address"}).code, 1);

    ASSERT_EQ(regtool({"set", key, "PortNo", "포트 39995"}).code, 0);
    EXPECT_EQ(reg.ReadString("PortNo"), K("포트 39995"));
    EXPECT_EQ(regtool({"dump"}).out, readFile(hive.path()));

    // Writers running at the same time all get their value in.
    std::vector<std::unique_ptr<QProcess>> procs;
    for (int i = 0; i < 8; ++i) {
        procs.push_back(std::make_unique<QProcess>());
        procs.back()->start(QString::fromUtf8(FM_BINARY_DIR "/bin/regtool"),
                            {"set", key, QString("V%1").arg(i), QString::number(i)});
    }
    for (auto &p : procs) ASSERT_TRUE(p->waitForFinished(20000));
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(reg.ReadString("V" + std::to_string(i)), std::to_string(i)) << i;
    EXPECT_EQ(reg.ReadString("Address"), K("주소 1"));
}

namespace {

// "N\N\...\N", `depth` names.
std::string chain(size_t depth)
{
    std::string path = "N";
    for (size_t i = 1; i < depth; ++i) path += "\\N";
    return path;
}

} // namespace

TEST(Registry, DeepHiveStaysLinearAndDepthIsBounded)
{
    fmtest::ScopedHive hive;
    const std::string deep = chain(5000);
    const std::string body = "Fennimarch registry hive 1\n[HKEY_LOCAL_MACHINE\\" + deep + "]\n\"V\"=\"1\"\n";
    writeFile(hive.path(), body);
    {
        fm::TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("Software\\Other", true));
        reg.WriteString("X", "y");
        ASSERT_TRUE(reg.OpenKey(deep, false));
        reg.WriteString("W", "2");
    }
    EXPECT_LT(readFile(hive.path()).size(), body.size() + 100);
    fm::TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(deep, false));
    EXPECT_EQ(reg.ReadString("V"), "1");
    EXPECT_EQ(reg.ReadString("W"), "2");
    EXPECT_TRUE(reg.KeyExists(chain(2500)));

    // Deeper than the bound: no such key can be made, and such a file is
    // refused with the reason.
    EXPECT_TRUE(reg.OpenKey(chain(fm::kMaxKeyDepth), true));
    EXPECT_FALSE(reg.OpenKey(chain(fm::kMaxKeyDepth + 1), true));
    EXPECT_FALSE(reg.KeyExists(chain(fm::kMaxKeyDepth + 1)));
    writeFile(hive.path(), "Fennimarch registry hive 1\n[HKEY_LOCAL_MACHINE\\" + chain(fm::kMaxKeyDepth + 1) + "]\n");
    EXPECT_NE(registryError([] { fm::TRegistry::Dump(); }).find("deeper than 10000 levels"), std::string::npos);
}

TEST(Registry, WriteThatTheReaderWouldRefuseIsNotMade)
{
    fmtest::ScopedHive hive;
    const std::string body = "Fennimarch registry hive 1\n[HKEY_LOCAL_MACHINE\\K]\n\"Big\"=\"" +
                             std::string(16 * 1024 * 1024 - 100, 'x') + "\"\n";
    writeFile(hive.path(), body);
    fm::TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("K", false));
    EXPECT_EQ(reg.ReadString("Big").size(), 16u * 1024 * 1024 - 100);
    EXPECT_EQ(registryError([&] { reg.WriteString("More", std::string(200, 'y')); }),
              "Failed to set data for 'More'");
    EXPECT_EQ(readFile(hive.path()), body);
    EXPECT_EQ(reg.ReadString("More"), "");
}

TEST(Registry, WideHivesKeepEveryNameAndOrder)
{
    fmtest::ScopedHive hive;
    std::string body = "Fennimarch registry hive 1\n[HKEY_LOCAL_MACHINE\\Values]\n";
    for (int i = 0; i < 60000; ++i) body += "\"Value" + std::to_string(i) + "\"=\"" + std::to_string(i) + "\"\n";
    for (int i = 0; i < 60000; ++i) body += "\n[HKEY_LOCAL_MACHINE\\Keys\\Key" + std::to_string(i) + "]\n";
    writeFile(hive.path(), body);
    fm::TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("VALUES", false));
    EXPECT_EQ(reg.ReadString("value59999"), "59999");
    reg.WriteString("VALUE30000", "changed");
    reg.WriteString("Value60000", "new");
    EXPECT_TRUE(reg.KeyExists("keys\\KEY59999"));
    EXPECT_FALSE(reg.KeyExists("keys\\KEY60000"));
    const std::vector<std::string> names = reg.GetValueNames();
    ASSERT_EQ(names.size(), 60001u);
    EXPECT_EQ(names[30000], "Value30000");
    EXPECT_EQ(names.back(), "Value60000");
    fm::TRegistry other;
    ASSERT_TRUE(other.OpenKey("Values", false));
    EXPECT_EQ(other.ReadString("Value30000"), "changed");
}

TEST(Registry, OwnerOnlyModesAndStaleTemporaryFilesGo)
{
    fmtest::ScopedHive hive;
    const std::string folder = fs::path(hive.path()).parent_path().string();
    auto mode = [](const std::string &p) {
        struct stat st{};
        return ::stat(p.c_str(), &st) == 0 ? int(st.st_mode & 0777) : -1;
    };
    writeFile(hive.path(), "Fennimarch registry hive 1\n");
    ::chmod(hive.path().c_str(), 0644); // as older versions left it
    const std::string stale[] = {hive.path() + ".tmp.99-3"};
    for (const auto &p : stale) writeFile(p, "half");
    writeFile(hive.path() + ".tmp.notes", "not ours");
    writeFile(hive.path() + ".tmp.12345.0", "not ours");

    fm::TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(K(kComm), true));
    reg.WriteString("Password", "secret");
    EXPECT_EQ(mode(hive.path()), 0600);
    EXPECT_EQ(mode(hive.path() + ".lock"), 0600);
    for (const auto &p : stale) EXPECT_FALSE(fs::exists(p)) << p;
    EXPECT_TRUE(fs::exists(hive.path() + ".tmp.notes"));
    EXPECT_TRUE(fs::exists(hive.path() + ".tmp.12345.0"));

    fs::remove(hive.path());
    fs::remove(hive.path() + ".lock");
    ASSERT_TRUE(reg.OpenKey(K(kComm), true));
    EXPECT_EQ(mode(hive.path()), 0600);
    EXPECT_EQ(mode(hive.path() + ".lock"), 0600);
}
