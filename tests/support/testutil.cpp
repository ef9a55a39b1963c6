#include "support/testutil.h"

#include "common/codec.h"
#include "common/modal.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <QThread>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace fmtest {

TempDir::TempDir()
{
    std::string tmpl = (std::filesystem::temp_directory_path() / "fmtest.XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

void TempDir::write(const std::string &name, const std::string &bytes) const
{
    std::ofstream f(file(name), std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string TempDir::read(const std::string &name) const
{
    std::ifstream f(file(name), std::ios::binary);
    std::ostringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

ScopedHive::ScopedHive()
{
    path_ = dir_.file("hklm.reg");
    if (const char *old = std::getenv("FENNIMARCH_HIVE")) {
        saved_ = old;
        hadSaved_ = true;
    }
    setenv("FENNIMARCH_HIVE", path_.c_str(), 1);
}

ScopedHive::~ScopedHive()
{
    if (hadSaved_)
        setenv("FENNIMARCH_HIVE", saved_.c_str(), 1);
    else
        unsetenv("FENNIMARCH_HIVE");
}

namespace {

// Counts a box or dialog while it is open.
class OpenCount {
public:
    OpenCount(int &open, int &most) : open_(open) { most = std::max(most, ++open_); }
    ~OpenCount() { --open_; }

private:
    int &open_;
};

} // namespace

void RunModalMoment(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

ScriptedBoxes::ScriptedBoxes()
{
    fm::SetMessageBoxHandler([this](const fm::ShownBox &box) {
        OpenCount counting(open_, mostOpen_);
        shown_.push_back(box);
        if (onShow_) onShow_(box);
        RunModalMoment();
        if (!answers_.empty()) {
            int a = answers_.front();
            answers_.pop_front();
            return a;
        }
        return (box.buttons == fm::MsgButtons::YesNo || box.buttons == fm::MsgButtons::YesNoCancel)
                   ? int(fm::mrYes)
                   : int(fm::mrOk);
    });
}

ScriptedBoxes::~ScriptedBoxes() { fm::SetMessageBoxHandler(nullptr); }

std::string ScriptedBoxes::texts() const
{
    std::string out;
    for (const auto &b : shown_) {
        if (!out.empty()) out += " | ";
        out += b.caption.toStdString() + ": " + b.text.toStdString();
    }
    return out;
}

bool ScriptedBoxes::anyWithText(const QString &text) const
{
    for (const auto &b : shown_)
        if (b.text == text) return true;
    return false;
}

ScriptedModals::ScriptedModals()
{
    fm::SetModalRunner([this](QDialog &dlg) {
        OpenCount counting(open_, mostOpen_);
        ++shown_;
        RunModalMoment();
        if (steps_.empty()) {
            ADD_FAILURE() << "unexpected modal dialog: " << dlg.windowTitle().toStdString();
            return int(fm::mrCancel);
        }
        Step s = std::move(steps_.front());
        steps_.pop_front();
        return s(dlg);
    });
}

ScriptedModals::~ScriptedModals() { fm::SetModalRunner(nullptr); }

bool WaitFor(const std::function<bool()> &pred, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!pred()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

std::string K(const char *utf8) { return fm::Utf8ToCp949(utf8); }

bool ReturnsWithin(int ms, const std::string &fifo, const std::function<void()> &f)
{
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    std::thread worker([&] {
        try {
            f();
            done.set_value();
        } catch (...) {
            done.set_exception(std::current_exception());
        }
    });
    const bool inTime = finished.wait_for(std::chrono::milliseconds(ms)) == std::future_status::ready;
    while (finished.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) ::close(fd);
    }
    worker.join();
    finished.get(); // what `f` threw, if anything
    return inTime;
}

} // namespace fmtest
