#include "platform/files/replacefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace files {

namespace {

QString systemText(int e)
{
    return QString::fromLocal8Bit(std::strerror(e));
}

bool fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

mode_t currentUmask()
{
    // Read from /proc: setting the umask to learn it would race with other threads.
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint m = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok)
                    return mode_t(m & 0777);
            }
    }
    return 022;
}

}  // namespace

unsigned modeForReplacing(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode))
        return st.st_mode & 07777;
    return 0666 & ~currentUmask();
}

ReplacementFile::ReplacementFile(const QString &dest) : m_dest(dest) {}

ReplacementFile::~ReplacementFile()
{
    discard();
}

bool ReplacementFile::create(QString *error)
{
    discard();
    const QFileInfo fi(m_dest);
    const QString shown = QDir::toNativeSeparators(m_dest);
    if (fi.isDir())
        return fail(error, QStringLiteral("%1 is a folder.").arg(shown));
    const QString dir = fi.absolutePath();
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString candidate = dir + QStringLiteral("/.") + fi.fileName() + QLatin1Char('.') +
                                  QString::number(QRandomGenerator::system()->generate64(), 36) + QStringLiteral(".tmp");
        // O_EXCL with O_NOFOLLOW: neither a file nor a link planted under that name is used.
        const int fd = ::open(QFile::encodeName(candidate).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            m_fd = fd;
            m_temp = candidate;
            return true;
        }
        if (errno != EEXIST)
            return fail(error, QStringLiteral("Cannot create file \"%1\". %2").arg(shown, systemText(errno)));
    }
    return fail(error, QStringLiteral("Cannot create file \"%1\": no free temporary name beside it.").arg(shown));
}

void ReplacementFile::closeHandle()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool ReplacementFile::commit(QString *error)
{
    if (m_temp.isEmpty())
        return fail(error, QStringLiteral("Nothing was written to \"%1\".").arg(QDir::toNativeSeparators(m_dest)));
    const QByteArray temp = QFile::encodeName(m_temp), dest = QFile::encodeName(m_dest);
    const QString shown = QDir::toNativeSeparators(m_dest);
    int fd = m_fd;
    m_fd = -1;
    if (fd < 0)
        fd = ::open(temp.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    QString why;
    if (fd < 0)
        why = QStringLiteral("Cannot write to \"%1\". %2").arg(shown, systemText(errno));
    else if (::fsync(fd) != 0 && errno != EINVAL)
        why = QStringLiteral("Cannot write to \"%1\". %2").arg(shown, systemText(errno));
    else if (::fchmod(fd, mode_t(modeForReplacing(m_dest))) != 0)
        why = QStringLiteral("Cannot set the access of \"%1\". %2").arg(shown, systemText(errno));
    if (fd >= 0)
        ::close(fd);
    // rename() replaces dest in one step: a reader sees the old file or the new one.
    if (why.isEmpty() && std::rename(temp.constData(), dest.constData()) != 0)
        why = QStringLiteral("Cannot create file \"%1\". %2").arg(shown, systemText(errno));
    if (!why.isEmpty()) {
        discard();
        return fail(error, why);
    }
    m_temp.clear();
    // The new name reaches the disk with its folder.
    const int dirFd = ::open(QFile::encodeName(QFileInfo(m_dest).absolutePath()).constData(),
                             O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

void ReplacementFile::discard()
{
    closeHandle();
    if (!m_temp.isEmpty())
        ::unlink(QFile::encodeName(m_temp).constData());
    m_temp.clear();
}

}  // namespace files
