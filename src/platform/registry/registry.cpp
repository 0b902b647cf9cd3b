#include "platform/registry/registry.h"

#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QSettings>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Layout inside the settings file: every registry key is a QSettings group whose path is the
// key's names joined by "/" (escaped, see encodeName); an existing key carries the entry "k"
// so that empty keys survive; a value is the entry "v." + escaped name, holding its type and
// data as text: "dword:<decimal>", "sz:<text>" or "hex:<hex digits>".

namespace registry {

namespace {

QMutex g_fileMutex;
QString g_overrideFile;

const QString kMarker = QStringLiteral("k");
const QString kValuePrefix = QStringLiteral("v.");
const QString kIntTag = QStringLiteral("dword:");
const QString kStringTag = QStringLiteral("sz:");
const QString kBinaryTag = QStringLiteral("hex:");

// QSettings takes "/" and "\" as group separators; "%" is escaped too so decoding is exact.
QString encodeName(const QString &name)
{
    QString out;
    out.reserve(name.size());
    for (QChar c : name) {
        if (c == u'%')
            out += QStringLiteral("%25");
        else if (c == u'/')
            out += QStringLiteral("%2F");
        else if (c == u'\\')
            out += QStringLiteral("%5C");
        else
            out += c;
    }
    return out;
}

QString decodeName(const QString &encoded)
{
    QString out;
    out.reserve(encoded.size());
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == u'%' && i + 2 < encoded.size()) {
            const QStringView code = QStringView(encoded).mid(i + 1, 2);
            if (code.compare(u"25", Qt::CaseInsensitive) == 0) { out += u'%'; i += 2; continue; }
            if (code.compare(u"2F", Qt::CaseInsensitive) == 0) { out += u'/'; i += 2; continue; }
            if (code.compare(u"5C", Qt::CaseInsensitive) == 0) { out += u'\\'; i += 2; continue; }
        }
        out += encoded[i];
    }
    return out;
}

QStringList splitPath(const QString &path)
{
    return path.split(u'\\', Qt::SkipEmptyParts);
}

// Creates the folders that are missing (owner-only) and the file (0600) before QSettings
// writes anything; an existing file readable by others is narrowed to the owner.
bool prepareStore(const QString &file, QString *error)
{
    const QFileInfo info(file);
    const QString dir = info.absolutePath();
    if (!QFileInfo::exists(dir)) {
        // mkdir one level at a time so that every folder we create is 0700 from the start.
        QStringList missing;
        QString cur = dir;
        while (!cur.isEmpty() && !QFileInfo::exists(cur)) {
            missing.prepend(cur);
            const QString parent = QFileInfo(cur).absolutePath();
            if (parent == cur)
                break;
            cur = parent;
        }
        for (const QString &m : missing) {
            if (::mkdir(QFile::encodeName(m).constData(), 0700) != 0 && errno != EEXIST) {
                *error = QStringLiteral("Cannot create the settings folder %1: %2")
                             .arg(m, QString::fromLocal8Bit(std::strerror(errno)));
                return false;
            }
        }
    }
    // The folder and the file must be ours and no links: a link planted by someone else
    // would make us write the credentials where they choose.
    auto unsafe = [error](const QString &path, const QString &reason) {
        *error = QStringLiteral("The settings location %1 is not safe to use: %2.").arg(path, reason);
        return false;
    };
    struct stat dst {};
    const QByteArray nativeDir = QFile::encodeName(dir);
    if (::lstat(nativeDir.constData(), &dst) != 0)
        return unsafe(dir, QString::fromLocal8Bit(std::strerror(errno)));
    if (S_ISLNK(dst.st_mode) || !S_ISDIR(dst.st_mode))
        return unsafe(dir, QStringLiteral("it is a link or not a folder"));
    // A shared folder with the sticky bit (/tmp) is left as it is: nobody else can replace a
    // file of ours there, and it must stay open to everyone.
    const bool sharedSticky = (dst.st_mode & S_ISVTX) != 0;
    if (!sharedSticky && dst.st_uid != ::getuid())
        return unsafe(dir, QStringLiteral("it belongs to another user"));
    if (!sharedSticky && (dst.st_mode & 077) != 0 && ::chmod(nativeDir.constData(), dst.st_mode & 0700) != 0)
        return unsafe(dir, QStringLiteral("its access cannot be narrowed to its owner"));
    const QByteArray native = QFile::encodeName(info.absoluteFilePath());
    int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        if (errno == ELOOP)
            return unsafe(file, QStringLiteral("it is a link"));
        *error = QStringLiteral("Cannot create the settings file %1: %2")
                     .arg(file, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    struct stat st {};
    const bool statted = ::fstat(fd, &st) == 0;
    const bool ours = statted && S_ISREG(st.st_mode) && st.st_uid == ::getuid();
    const bool narrowed = ours && ((st.st_mode & 077) == 0 || ::fchmod(fd, st.st_mode & 0700) == 0);
    ::close(fd);
    if (!ours)
        return unsafe(file, QStringLiteral("it is not a regular file of this user"));
    if (!narrowed)
        return unsafe(file, QStringLiteral("its access cannot be narrowed to its owner"));
    return true;
}

std::unique_ptr<QSettings> openSettings(const QString &file)
{
    return std::make_unique<QSettings>(file, QSettings::IniFormat);
}

// Finds the stored (encoded) form of a child group matching name without regard to case.
QString findGroup(QSettings &s, const QString &name)
{
    const QStringList groups = s.childGroups();
    for (const QString &g : groups)
        if (decodeName(g).compare(name, Qt::CaseInsensitive) == 0)
            return g;
    return {};
}

bool syncOk(QSettings &s, QString *error)
{
    s.sync();
    if (s.status() != QSettings::NoError) {
        *error = QStringLiteral("Cannot write the settings file %1").arg(s.fileName());
        return false;
    }
    return true;
}

} // namespace

QString storeFile()
{
    {
        QMutexLocker lock(&g_fileMutex);
        if (!g_overrideFile.isEmpty())
            return g_overrideFile;
    }
    const QString env = qEnvironmentVariable("ARV_SETTINGS_FILE");
    if (!env.isEmpty())
        return env;
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/Arvendel/registry.ini");
}

void setStoreFile(const QString &path)
{
    QMutexLocker lock(&g_fileMutex);
    g_overrideFile = path;
}

struct Key::Impl {
    std::unique_ptr<QSettings> settings;
    QString group;       // encoded group path, "/"-joined
    QString displayPath; // original-case names, "\"-joined
    Access access = Access::Read;
    QString error;

    // The stored entry name of a value, matched without regard to case; empty when missing.
    QString findValue(const QString &name) const
    {
        const QString wanted = name;
        const QStringList keys = settings->childKeys();
        for (const QString &k : keys) {
            if (!k.startsWith(kValuePrefix))
                continue;
            if (decodeName(k.mid(kValuePrefix.size())).compare(wanted, Qt::CaseInsensitive) == 0)
                return k;
        }
        return {};
    }

    QString rawValue(const QString &name) const
    {
        const QString k = findValue(name);
        if (k.isEmpty())
            return {};
        return settings->value(k).toString();
    }
};

Key::Key() = default;
Key::~Key() { close(); }
Key::Key(Key &&) noexcept = default;
Key &Key::operator=(Key &&) noexcept = default;

bool Key::open(const QString &path, Access access, bool create)
{
    close();
    d = std::make_unique<Impl>();
    d->access = access;
    const QString file = storeFile();
    const bool mayCreate = access == Access::ReadWrite && create;
    if (access == Access::ReadWrite && !prepareStore(file, &d->error))
        return false;
    if (access == Access::Read && !QFileInfo::exists(file)) {
        d->error = QStringLiteral("The key %1 does not exist").arg(path);
        return false;
    }
    d->settings = openSettings(file);
    QSettings &s = *d->settings;
    QStringList display;
    bool created = false;
    for (const QString &name : splitPath(path)) {
        QString stored = findGroup(s, name);
        if (stored.isEmpty()) {
            if (!mayCreate) {
                d->error = QStringLiteral("The key %1 does not exist").arg(path);
                d->settings.reset();
                return false;
            }
            stored = encodeName(name);
            s.beginGroup(stored);
            s.setValue(kMarker, 1);
            created = true;
        } else {
            s.beginGroup(stored);
        }
        display << decodeName(stored);
    }
    Q_UNUSED(created);
    d->group = s.group();
    d->displayPath = display.join(u'\\');
    return true;
}

bool Key::isOpen() const { return d && d->settings; }

void Key::close()
{
    flush();
    d.reset();
}

bool Key::flush()
{
    if (!isOpen())
        return false;
    if (d->access != Access::ReadWrite)
        return true;
    return syncOk(*d->settings, &d->error);
}

QString Key::path() const { return isOpen() ? d->displayPath : QString(); }

QString Key::lastError() const { return d ? d->error : QString(); }

ValueType Key::valueType(const QString &name) const
{
    if (!isOpen())
        return ValueType::None;
    const QString k = d->findValue(name);
    if (k.isEmpty())
        return ValueType::None;
    const QString raw = d->settings->value(k).toString();
    if (raw.startsWith(kIntTag))
        return ValueType::Integer;
    if (raw.startsWith(kStringTag))
        return ValueType::String;
    if (raw.startsWith(kBinaryTag))
        return ValueType::Binary;
    return ValueType::None;
}

bool Key::valueExists(const QString &name) const { return valueType(name) != ValueType::None; }

std::optional<qint32> Key::readInt(const QString &name) const
{
    if (valueType(name) != ValueType::Integer)
        return std::nullopt;
    bool ok = false;
    const qint32 v = d->rawValue(name).mid(kIntTag.size()).toInt(&ok);
    if (!ok)
        return std::nullopt;
    return v;
}

bool Key::readBool(const QString &name, bool fallback) const
{
    const auto v = readInt(name);
    return v ? *v != 0 : fallback;
}

std::optional<QString> Key::readString(const QString &name) const
{
    if (valueType(name) != ValueType::String)
        return std::nullopt;
    return d->rawValue(name).mid(kStringTag.size());
}

std::optional<QByteArray> Key::readBinary(const QString &name) const
{
    if (valueType(name) != ValueType::Binary)
        return std::nullopt;
    return QByteArray::fromHex(d->rawValue(name).mid(kBinaryTag.size()).toLatin1());
}

bool Key::writeRaw(const QString &name, const QString &encoded)
{
    if (!isOpen())
        return false;
    if (d->access != Access::ReadWrite) {
        d->error = QStringLiteral("The key %1 is open for reading only").arg(d->displayPath);
        return false;
    }
    // Replace under the stored spelling so that a differently cased name does not duplicate it.
    QString k = d->findValue(name);
    if (k.isEmpty())
        k = kValuePrefix + encodeName(name);
    d->settings->setValue(k, encoded);
    return d->settings->status() == QSettings::NoError;
}

bool Key::writeInt(const QString &name, qint32 value)
{
    return writeRaw(name, kIntTag + QString::number(value));
}

bool Key::writeString(const QString &name, const QString &value)
{
    return writeRaw(name, kStringTag + value);
}

bool Key::writeBinary(const QString &name, const QByteArray &value)
{
    return writeRaw(name, kBinaryTag + QString::fromLatin1(value.toHex()));
}

bool Key::deleteValue(const QString &name)
{
    if (!isOpen() || d->access != Access::ReadWrite)
        return false;
    const QString k = d->findValue(name);
    if (k.isEmpty())
        return false;
    d->settings->remove(k);
    return true;
}

QStringList Key::valueNames() const
{
    QStringList out;
    if (!isOpen())
        return out;
    const QStringList keys = d->settings->childKeys();
    for (const QString &k : keys)
        if (k.startsWith(kValuePrefix))
            out << decodeName(k.mid(kValuePrefix.size()));
    return out;
}

QStringList Key::subKeyNames() const
{
    QStringList out;
    if (!isOpen())
        return out;
    const QStringList groups = d->settings->childGroups();
    for (const QString &g : groups)
        out << decodeName(g);
    return out;
}

bool Key::subKeyExists(const QString &name) const
{
    return isOpen() && !findGroup(*d->settings, name).isEmpty();
}

bool Key::deleteSubKey(const QString &name)
{
    if (!isOpen() || d->access != Access::ReadWrite)
        return false;
    const QString g = findGroup(*d->settings, name);
    if (g.isEmpty())
        return false;
    d->settings->remove(g);
    return true;
}

bool keyExists(const QString &path)
{
    Key k;
    return k.open(path, Access::Read, false);
}

bool deleteKey(const QString &path)
{
    QStringList names = splitPath(path);
    if (names.isEmpty())
        return false;
    const QString last = names.takeLast();
    Key parent;
    if (!parent.open(names.join(u'\\'), Access::ReadWrite, false))
        return false;
    return parent.deleteSubKey(last) && parent.flush();
}

} // namespace registry
