#pragma once
// Helpers shared by the test programs.
#include "common/msgbox.h"

#include <QString>
#include <deque>
#include <functional>
#include <string>
#include <vector>

class QDialog;

namespace fmtest {

// A fresh temporary folder, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }
    void write(const std::string &name, const std::string &bytes) const;
    std::string read(const std::string &name) const;

private:
    std::string path_;
};

// Points the registry at a hive file of its own for the test's lifetime
// (FENNIMARCH_HIVE), restoring the previous setting afterwards.
class ScopedHive {
public:
    ScopedHive();
    ~ScopedHive();
    const std::string &path() const { return path_; }

private:
    TempDir dir_;
    std::string path_;
    std::string saved_;
    bool hadSaved_ = false;
};

// Runs a nested event loop for `ms`, as a modal box or dialog does while it
// is open: timers fire and socket events are handled inside it.
void RunModalMoment(int ms = 10);

// Answers every message box instead of showing it, and records them. Like a
// real box, each one runs a nested event loop for a moment before it is
// answered (after onShow). Answers are taken from the queue in order; when
// it is empty, a box is answered with OK (or Yes for a Yes/No question).
class ScriptedBoxes {
public:
    ScriptedBoxes();
    ~ScriptedBoxes();
    void answer(int result) { answers_.push_back(result); }
    // Called when a box is shown (after it is recorded), before it returns.
    void onShow(std::function<void(const fm::ShownBox &)> f) { onShow_ = std::move(f); }

    const std::vector<fm::ShownBox> &shown() const { return shown_; }
    size_t count() const { return shown_.size(); }
    const fm::ShownBox &last() const { return shown_.back(); }
    // Texts of all boxes, in order, joined by " | " (for failure messages).
    std::string texts() const;
    bool anyWithText(const QString &text) const;
    void clear() { shown_.clear(); }
    // Boxes open now, and the most that were ever open at once.
    int open() const { return open_; }
    int mostOpenAtOnce() const { return mostOpen_; }

private:
    std::deque<int> answers_;
    std::vector<fm::ShownBox> shown_;
    std::function<void(const fm::ShownBox &)> onShow_;
    int open_ = 0;
    int mostOpen_ = 0;
};

// Runs modal dialogs through a function instead of a real modal loop; each
// dialog runs a nested event loop for a moment before its step, as a real
// one does while the user types.
class ScriptedModals {
public:
    using Step = std::function<int(QDialog &)>;
    ScriptedModals();
    ~ScriptedModals();
    void then(Step step) { steps_.push_back(std::move(step)); }
    int shownCount() const { return shown_; }
    int mostOpenAtOnce() const { return mostOpen_; }

private:
    std::deque<Step> steps_;
    int shown_ = 0;
    int open_ = 0;
    int mostOpen_ = 0;
};

// Processes events until the predicate holds or the time runs out.
bool WaitFor(const std::function<bool()> &pred, int timeoutMs = 5000);

// Runs `f` on a thread of its own and waits at most `ms` for it. A call
// still running then is blocked on the FIFO `fifo`: it is released (the
// FIFO is opened for writing and closed again, so its reader sees the end),
// and the result is false. What `f` throws is thrown again.
bool ReturnsWithin(int ms, const std::string &fifo, const std::function<void()> &f);

// UTF-8 -> CP949 (for building records in tests).
std::string K(const char *utf8);

} // namespace fmtest
