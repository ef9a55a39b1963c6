#pragma once
// Shared by the updater's window tests: a working folder with files of known
// versions, a private hive, the host simulator answering version reports,
// and a real FTP server (pyftpdlib, ftpserver.py) in a process of its own.
#include "common/regnames.h"
#include "platform/registry.h"
#include "support/testutil.h"
#include "updater/Gauge.h"
#include "updater/UpdaterMain.h"

#include "hostserver.h"
#include "versionreport.h"

#include <QDir>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace updtest {

namespace fs = std::filesystem;
using V = std::vector<std::string>;

// A built library carrying the version `v` (1.0.0.8, 1.0.0.9, 1.0.0.10).
inline std::string Probe(std::string v)
{
    for (char &c : v)
        if (c == '.') c = '_';
    return FM_BINARY_DIR "/bin/libfm_updater_probe_" + v + ".so";
}

// A client stand-in that records the folder it was started in; padded to
// make a longer download.
inline std::string LauncherScript(size_t padding = 0)
{
    // Written whole under another name first: a test that sees launched.txt
    // reads all of it.
    std::string s = "#!/bin/sh\nprintf '%s' \"$PWD\" > launched.tmp && mv launched.tmp launched.txt\nexit 0\n";
    while (s.size() < padding) s += "# padding padding padding padding padding padding\n";
    return s;
}

inline std::string ReadAll(const std::string &path)
{
    std::ostringstream ss;
    ss << std::ifstream(path, std::ios::binary).rdbuf();
    return ss.str();
}

inline void WriteValue(const std::string &key, const char *name, const std::string &value)
{
    fm::TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(key, true));
    reg.WriteString(name, value);
}

inline std::string ReadValue(const std::string &key, const char *name)
{
    fm::TRegistry reg;
    if (!reg.OpenKeyReadOnly(key)) return "<no key>";
    return reg.ValueExists(name) ? reg.ReadString(name) : "<no value>";
}

inline void AnswerWith(hostsim::HostServer &host, const std::string &frame, bool thenClose = false)
{
    host.setFrameHandler('V', [frame, thenClose](hostsim::HostConnection &c, const std::string &) {
        c.sendRaw(frame);
        if (thenClose) c.closeWhenSent();
    });
}

// The commands of the n-th FTP session, from its USER on.
inline V Session(const V &commands, int n)
{
    V out;
    for (const auto &c : commands)
        if ((n -= c.rfind("USER", 0) == 0) == -1) out.push_back(c);
    return out;
}

inline bool Has(const V &lines, const std::string &prefix)
{
    return std::any_of(lines.begin(), lines.end(), [&](auto &l) { return l.rfind(prefix, 0) == 0; });
}

// pyftpdlib on 127.0.0.1 serving the folder "pellquay" to "vrguest" /
// "dorvimpa", logging every command it receives.
class FtpServer {
public:
    explicit FtpServer(QStringList options = {})
    {
        fs::create_directories(root_.path() + "/srv/pellquay");
        proc_.setStandardErrorFile(QProcess::nullDevice());
        proc_.start("/usr/bin/python3", QStringList{FM_SOURCE_DIR "/tests/updater/ftpserver.py",
                                                    QString::fromStdString(root_.path() + "/srv"),
                                                    "vrguest", "dorvimpa", QString::fromStdString(log())} +
                                            options);
        QByteArray out;
        while (!out.contains('\n') && proc_.waitForReadyRead(15000)) out += proc_.readAllStandardOutput();
        port_ = out.startsWith("PORT ") ? out.mid(5).trimmed().toInt() : 0;
        EXPECT_GT(port_, 0) << "the FTP server did not start: " << out.toStdString();
    }
    ~FtpServer()
    {
        proc_.kill();
        proc_.waitForFinished(5000);
    }
    int port() const { return port_; }
    std::string log() const { return root_.path() + "/commands.log"; }
    void put(const std::string &name, const std::string &bytes)
    {
        std::ofstream(root_.path() + "/srv/pellquay/" + name, std::ios::binary) << bytes;
    }
    void dropFolder() { fs::remove_all(root_.path() + "/srv/pellquay"); }
    void kill() { proc_.kill(); }
    V commands() const
    {
        V lines;
        std::istringstream in(ReadAll(log()));
        for (std::string l; std::getline(in, l);) lines.push_back(l);
        return lines;
    }

private:
    fmtest::TempDir root_;
    QProcess proc_;
    int port_ = 0;
};

// A working folder with a blank in its name, the registry pointing at the
// simulated host, and the window created in that folder.
class UpdaterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        work_ = dir_.path() + "/work dir";
        fs::create_directories(work_);
        // The updater takes no session key: a key pair of the host's own
        // keeps no key state of the user's.
        ASSERT_TRUE(host_.useNewKeyPair());
        ASSERT_TRUE(host_.listen());
        saved_ = QDir::currentPath();
    }
    void TearDown() override
    {
        QDir::setCurrent(saved_);
        fm::upd::TFrmVersion::SetPageOpener(nullptr);
        delete form_.data();
    }

    std::string file(const std::string &name) const { return work_ + "/" + name; }
    void put(const std::string &name, const std::string &bytes, bool executable = false)
    {
        std::ofstream(file(name), std::ios::binary) << bytes;
        fs::permissions(file(name), executable ? fs::perms(0755) : fs::perms(0644));
    }
    void putProbe(const std::string &name, const std::string &version) { put(name, ReadAll(Probe(version))); }

    void registry(int ftpPort, const std::string &ftpPassword = "dorvimpa")
    {
        using namespace fm::reg;
        WriteValue(CommunicationKey(), kAddress, "127.0.0.1");
        WriteValue(CommunicationKey(), kPortNo, std::to_string(host_.port()));
        WriteValue(FtpKey(), kAddress, "127.0.0.1");
        WriteValue(FtpKey(), kPortNo, std::to_string(ftpPort));
        WriteValue(FtpKey(), kLoginNm, "vrguest");
        WriteValue(FtpKey(), kPasswd, ftpPassword);
    }

    // The window, created in the working folder; the test process then
    // leaves that folder, so that a launch has to set it itself. It is kept
    // after closing (the program's window frees itself) for inspection.
    fm::upd::TFrmVersion &create()
    {
        QDir::setCurrent(QString::fromStdString(work_));
        form_ = new fm::upd::TFrmVersion;
        form_->setAttribute(Qt::WA_DeleteOnClose, false);
        form_->show();
        QDir::setCurrent(saved_);
        return *form_;
    }

    // "연결", then waits until the window has closed or `until` holds.
    void connectAndWait(std::function<bool()> until = {})
    {
        form_->BitBtn1->click();
        EXPECT_TRUE(fmtest::WaitFor([&] { return !form_->isVisible() || (until && until()); }, 20000))
            << boxes_.texts();
    }

    V boxTexts() const
    {
        V t;
        for (const auto &b : boxes_.shown()) t.push_back(b.text.toStdString());
        return t;
    }

    fmtest::ScopedHive hive_;
    fmtest::ScriptedBoxes boxes_;
    fmtest::TempDir dir_;
    std::string work_;
    hostsim::HostServer host_;
    QString saved_;
    QPointer<fm::upd::TFrmVersion> form_;
};

} // namespace updtest
