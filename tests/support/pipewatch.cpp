#include "support/pipewatch.h"

#include <QFile>

#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {

PipeWatch::PipeWatch(const QString &path) : path_(path)
{
    const QByteArray native = QFile::encodeName(path);
    made_ = ::mkfifo(native.constData(), 0600) == 0;
    if (!made_)
        return;
    thread_ = std::thread([this, native] {
        while (!done_) {
            const int fd = ::open(native.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                opened_ = true;
                ::close(fd);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
}

PipeWatch::~PipeWatch()
{
    done_ = true;
    if (thread_.joinable())
        thread_.join();
    if (made_)
        ::unlink(QFile::encodeName(path_).constData());
}

}  // namespace testsupport
