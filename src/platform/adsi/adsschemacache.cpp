#include "platform/adsi/adsschemacache.h"

#include <QCryptographicHash>
#include <QDir>
#include <QSaveFile>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ads {
namespace schemacache {

namespace {

const QByteArray kMagic = "Arvendel schema cache 2";
constexpr qint64 kMaxFileSize = 8 * 1024 * 1024;
constexpr int kMaxAttributes = 100000;
constexpr int kMaxNameLength = 256;

// The types the schema reader can give; anything else in a file means damage.
bool knownType(int t)
{
    switch (t) {
    case ADSTYPE_DN_STRING:
    case ADSTYPE_CASE_EXACT_STRING:
    case ADSTYPE_CASE_IGNORE_STRING:
    case ADSTYPE_PRINTABLE_STRING:
    case ADSTYPE_NUMERIC_STRING:
    case ADSTYPE_BOOLEAN:
    case ADSTYPE_INTEGER:
    case ADSTYPE_OCTET_STRING:
    case ADSTYPE_UTC_TIME:
    case ADSTYPE_LARGE_INTEGER:
    case ADSTYPE_NT_SECURITY_DESCRIPTOR:
    case ADSTYPE_DN_WITH_BINARY:
    case ADSTYPE_DN_WITH_STRING:
        return true;
    default:
        return false;
    }
}

// An attribute name as LDAP spells one: a letter, then letters, digits and hyphens.
bool validName(const QByteArray &n)
{
    if (n.isEmpty() || n.size() > kMaxNameLength)
        return false;
    for (int i = 0; i < n.size(); ++i) {
        const char c = n[i];
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letter && (i == 0 || !((c >= '0' && c <= '9') || c == '-')))
            return false;
    }
    return true;
}

// Values of the key go into one line each: no line breaks or tabs survive.
QByteArray field(const QString &v)
{
    QByteArray b = v.toUtf8();
    b.replace('\n', ' ').replace('\r', ' ').replace('\t', ' ');
    return b;
}

QList<QByteArray> keyLines(const Key &key)
{
    return {"forest\t" + field(key.forest), "server\t" + field(key.server.toLower()),
            "modifyTimeStamp\t" + field(key.modifyTimeStamp), "uSNChanged\t" + field(key.usnChanged),
            "schemaInfo\t" + key.schemaInfo.toHex()};
}

// A folder we made for ourselves: a real folder (not a link), ours, writable by nobody else.
bool trustedFolder(const QString &path)
{
    struct stat st {};
    if (lstat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 022) == 0;
}

} // namespace

QString folder()
{
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.cache");
    return base + QStringLiteral("/Arvendel/schema");
}

QString fileFor(const Key &key)
{
    const QByteArray id = key.forest.toLower().toUtf8() + '\n' + key.server.toLower().toUtf8();
    return folder() + QLatin1Char('/') +
           QString::fromLatin1(QCryptographicHash::hash(id, QCryptographicHash::Sha256).toHex().left(32)) +
           QStringLiteral(".cache");
}

QByteArray serialise(const Key &key, const SchemaMap &map)
{
    QByteArray out = kMagic + '\n';
    for (const QByteArray &l : keyLines(key))
        out += l + '\n';
    out += "attributes\t" + QByteArray::number(map.size()) + '\n';
    for (auto it = map.entries().constBegin(); it != map.entries().constEnd(); ++it)
        out += it.key().toUtf8() + '\t' + QByteArray::number(int(it.value().type)) + '\t' +
               (it.value().singleValued ? '1' : '0') + '\t' + (it.value().confidential ? '1' : '0') + '\n';
    out += "end\n";
    return out;
}

std::shared_ptr<SchemaMap> parse(const QByteArray &text, const Key &key)
{
    if (!key.complete() || text.size() > kMaxFileSize || !text.endsWith('\n'))
        return nullptr;
    const QList<QByteArray> lines = text.left(text.size() - 1).split('\n');
    const QList<QByteArray> expected = keyLines(key);
    int at = 0;
    if (lines.size() < 3 + expected.size() || lines[at++] != kMagic)
        return nullptr;
    for (const QByteArray &l : expected)
        if (lines[at++] != l)
            return nullptr;
    const QList<QByteArray> count = lines[at++].split('\t');
    bool ok = false;
    const int n = count.size() == 2 && count[0] == "attributes" ? count[1].toInt(&ok) : -1;
    if (!ok || n < 0 || n > kMaxAttributes || lines.size() != at + n + 1 || lines.last() != "end")
        return nullptr;
    auto map = std::make_shared<SchemaMap>();
    for (int i = 0; i < n; ++i) {
        const QList<QByteArray> parts = lines[at + i].split('\t');
        if (parts.size() != 4 || !validName(parts[0]) || (parts[2] != "0" && parts[2] != "1")
            || (parts[3] != "0" && parts[3] != "1"))
            return nullptr;
        const int type = parts[1].toInt(&ok);
        if (!ok || !knownType(type))
            return nullptr;
        AttributeInfo info;
        info.type = AdsType(type);
        info.singleValued = parts[2] == "1";
        info.confidential = parts[3] == "1";  // the change journal keeps no value of these
        map->add(QString::fromLatin1(parts[0]), info);
    }
    if (map->size() != n) // a name twice
        return nullptr;
    return map;
}

std::shared_ptr<SchemaMap> load(const Key &key)
{
    if (!key.complete() || !trustedFolder(folder()))
        return nullptr;
    const QByteArray path = QFile::encodeName(fileFor(key));
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return nullptr;
    QByteArray text;
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0 &&
        st.st_size > 0 && st.st_size <= kMaxFileSize) {
        text.resize(qsizetype(st.st_size));
        qsizetype got = 0;
        while (got < text.size()) {
            const ssize_t r = ::read(fd, text.data() + got, size_t(text.size() - got));
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                break;
            got += r;
        }
        text.truncate(got);
    }
    ::close(fd);
    return parse(text, key);
}

bool save(const Key &key, const SchemaMap &map)
{
    if (!key.complete() || map.size() == 0)
        return false;
    const QString dir = folder();
    // Every folder this makes is owner-only; an existing one must be ours and closed to others.
    const QString parent = QFileInfo(dir).path();
    if (!QDir(parent).exists() && !QDir().mkpath(parent))
        return false;
    if (!QFileInfo::exists(dir) && ::mkdir(QFile::encodeName(dir).constData(), 0700) != 0 && errno != EEXIST)
        return false;
    if (!trustedFolder(dir))
        return false;
    QSaveFile f(fileFor(key));
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    f.write(serialise(key, map));
    return f.commit();
}

} // namespace schemacache
} // namespace ads
