#pragma once
// A named pipe under a file's name, for tests of readers that must refuse anything but a
// regular file. Whoever opens the pipe for reading would wait for a writer forever; the
// watcher plays that writer: it can open the pipe only while a reader has it open, notes
// that, and closes again so that the reader sees the end of the pipe instead of hanging.
#include <QString>

#include <atomic>
#include <thread>

namespace testsupport {

class PipeWatch {
public:
    explicit PipeWatch(const QString &path);
    ~PipeWatch();
    PipeWatch(const PipeWatch &) = delete;
    PipeWatch &operator=(const PipeWatch &) = delete;
    bool made() const { return made_; }
    // True once anyone had the pipe open for reading.
    bool opened() const { return opened_; }

private:
    QString path_;
    bool made_ = false;
    std::atomic<bool> done_{false}, opened_{false};
    std::thread thread_;
};

}  // namespace testsupport
