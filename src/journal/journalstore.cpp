#include "journal/journalstore.h"

#include "platform/adsi/adsvalue.h"
#include "platform/registry/registry.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace journal {

namespace {

const QString kRetentionValue = QStringLiteral("ChangeJournalDays");

QString errnoText(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

// Makes path (and its missing parents) as owner-only folders; the last two levels (arvendel
// and journal) must be the user's own real folders, and are narrowed to 0700.
bool prepareFolder(const QString &path, QString *error)
{
    if (!QDir().mkpath(path)) {
        *error = QStringLiteral("the folder %1 cannot be created").arg(path);
        return false;
    }
    QString at = path;
    for (int level = 0; level < 2 && !at.isEmpty(); ++level) {
        struct stat st {};
        const QByteArray native = QFile::encodeName(at);
        if (lstat(native.constData(), &st) != 0) {
            *error = QStringLiteral("%1: %2").arg(at, errnoText(errno));
            return false;
        }
        if (!S_ISDIR(st.st_mode)) {
            *error = QStringLiteral("%1 is not a folder").arg(at);
            return false;
        }
        if (st.st_uid != geteuid()) {
            *error = QStringLiteral("the folder %1 belongs to another user").arg(at);
            return false;
        }
        if ((st.st_mode & 077) != 0 && chmod(native.constData(), 0700) != 0) {
            *error = QStringLiteral("the folder %1 cannot be made private: %2").arg(at, errnoText(errno));
            return false;
        }
        at = QFileInfo(at).path();
    }
    return true;
}

} // namespace

QString defaultFolder()
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/arvendel/journal");
}

QString dayFileName(const QDate &day) { return day.toString(Qt::ISODate) + QStringLiteral(".jsonl"); }

Store::Store(QString folder) : folder_(std::move(folder)) {}

Store::~Store()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool Store::open(const QDate &day, QString *error)
{
    if (fd_ >= 0 && day == day_)
        return true;
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    QString why;
    if (!prepareFolder(folder_, &why)) {
        if (error)
            *error = why;
        return false;
    }
    const QString path = folder_ + QLatin1Char('/') + dayFileName(day);
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW,
                          0600);
    if (fd < 0) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, errnoText(errno));
        return false;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) {
        ::close(fd);
        if (error)
            *error = QStringLiteral("%1 is not a file of this user").arg(path);
        return false;
    }
    if ((st.st_mode & 077) != 0)
        fchmod(fd, 0600);
    fd_ = fd;
    day_ = day;
    return true;
}

bool Store::append(const QDate &day, const QByteArray &line, QString *error)
{
    if (!open(day, error))
        return false;
    ssize_t n;
    do
        n = ::write(fd_, line.constData(), static_cast<size_t>(line.size()));
    while (n < 0 && errno == EINTR);
    if (n == line.size())
        return true;
    const int err = n < 0 ? errno : ENOSPC;
    if (n > 0) {
        // Part of the line went in: end it, so the next record starts on its own line.
        [[maybe_unused]] const ssize_t ignored = ::write(fd_, "\n", 1);
    }
    if (error)
        *error = QStringLiteral("%1: %2").arg(folder_ + QLatin1Char('/') + dayFileName(day), errnoText(err));
    return false;
}

bool Store::sync(QString *error)
{
    if (fd_ < 0)
        return true;
    if (fdatasync(fd_) == 0)
        return true;
    if (error)
        *error = errnoText(errno);
    return false;
}

int prune(const QString &folder, int days, const QDate &todayUtc)
{
    if (days <= 0)
        return 0;
    const QDate today = todayUtc.isValid() ? todayUtc : QDateTime::currentDateTimeUtc().date();
    const QDate oldestKept = today.addDays(-days);
    int removed = 0;
    static const QRegularExpression name(QStringLiteral("^(\\d{4}-\\d{2}-\\d{2})\\.jsonl$"));
    for (const QString &f : QDir(folder).entryList(QDir::Files)) {
        const auto m = name.match(f);
        if (!m.hasMatch())
            continue;
        const QDate day = QDate::fromString(m.captured(1), Qt::ISODate);
        if (day.isValid() && day < oldestKept && QFile::remove(folder + QLatin1Char('/') + f))
            ++removed;
    }
    return removed;
}

void readRecords(const QByteArray &bytes, ReadResult *result)
{
    QHash<QString, qsizetype> at;  // id -> index in result->entries
    for (qsizetype i = 0; i < result->entries.size(); ++i)
        at.insert(result->entries[i].id, i);
    QList<Entry> outcomes;
    auto take = [&](const QByteArray &text) {
        Record r;
        if (!parseRecord(text, &r))
            return false;
        if (r.intent) {
            at.insert(r.entry.id, result->entries.size());
            result->entries.append(std::move(r.entry));
        } else {
            outcomes.append(std::move(r.entry));
        }
        return true;
    };
    static const QByteArray kStart = QByteArrayLiteral("{\"v\":");
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', pos);
        if (end < 0)
            end = bytes.size();
        const QByteArray physical = bytes.mid(pos, end - pos);
        pos = end + 1;
        if (physical.trimmed().isEmpty())
            continue;
        if (take(physical))
            continue;
        // A line cut short by a crash, possibly followed on the same line by a whole record
        // another process appended after it: every later record start is tried.
        ++result->skippedLines;
        for (qsizetype s = physical.indexOf(kStart, 1); s > 0; s = physical.indexOf(kStart, s + 1))
            if (take(physical.mid(s)))
                break;
    }
    for (const Entry &o : outcomes) {
        const auto it = at.constFind(o.id);
        if (it != at.constEnd())
            applyOutcome(result->entries[*it], o);
    }
}

ReadResult readJournal(const QString &folder, const QDate &from, const QDate &to)
{
    ReadResult result;
    static const QRegularExpression name(QStringLiteral("^(\\d{4}-\\d{2}-\\d{2})\\.jsonl$"));
    QStringList files = QDir(folder).entryList(QDir::Files, QDir::Name);
    for (const QString &f : files) {
        const auto m = name.match(f);
        if (!m.hasMatch())
            continue;
        const QDate day = QDate::fromString(m.captured(1), Qt::ISODate);
        if ((from.isValid() && day < from) || (to.isValid() && day > to))
            continue;
        QFile file(folder + QLatin1Char('/') + f);
        if (!file.open(QIODevice::ReadOnly)) {
            result.problems.append(QStringLiteral("%1: %2").arg(file.fileName(), file.errorString()));
            continue;
        }
        ReadResult one;
        readRecords(file.readAll(), &one);
        result.entries += one.entries;
        result.skippedLines += one.skippedLines;
    }
    std::stable_sort(result.entries.begin(), result.entries.end(),
                     [](const Entry &a, const Entry &b) { return a.time < b.time; });
    return result;
}

QList<Entry> filterEntries(const QList<Entry> &entries, const Filter &f)
{
    const QString object = f.object.trimmed();
    const QByteArray objectGuid = ads::guidFromString(object);
    QSet<QByteArray> guids;
    if (!objectGuid.isEmpty())
        guids.insert(objectGuid);
    auto dnMatches = [&](const Entry &e) {
        return f.objectContains ? e.dn.contains(object, Qt::CaseInsensitive)
                                : e.dn.compare(object, Qt::CaseInsensitive) == 0;
    };
    if (!object.isEmpty() && objectGuid.isEmpty())
        for (const Entry &e : entries)
            if (!e.guid.isEmpty() && dnMatches(e))
                guids.insert(e.guid);
    QList<Entry> out;
    for (const Entry &e : entries) {
        if (f.since.isValid() && e.time < f.since)
            continue;
        if (f.until.isValid() && e.time > f.until)
            continue;
        if (!f.run.isEmpty() && e.run != f.run && !(f.run.size() >= 8 && e.run.startsWith(f.run, Qt::CaseInsensitive)))
            continue;
        if (!object.isEmpty() && !guids.contains(e.guid) && (!objectGuid.isEmpty() || !dnMatches(e)))
            continue;
        out.append(e);
    }
    return out;
}

int retentionDays()
{
    registry::Key key;
    if (!key.open(registry::kProgramRoot, registry::Access::Read, false))
        return kDefaultRetentionDays;
    const auto v = key.readInt(kRetentionValue);
    return v && *v >= 0 ? *v : kDefaultRetentionDays;
}

bool setRetentionDays(int days)
{
    registry::Key key;
    return days >= 0 && key.open(registry::kProgramRoot, registry::Access::ReadWrite, true)
        && key.writeInt(kRetentionValue, days) && key.flush();
}

} // namespace journal
