#include "platform/office/office.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QStringList>
#include <QTextStream>

namespace office {

namespace {

QStringList xdgDirs(const char *homeVar, const QString &homeDefault, const char *dirsVar, const QString &dirsDefault)
{
    QStringList dirs;
    const QString home = qEnvironmentVariable(homeVar);
    dirs << (home.isEmpty() ? QDir::homePath() + homeDefault : home);
    const QString more = qEnvironmentVariable(dirsVar);
    dirs << (more.isEmpty() ? dirsDefault : more).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    return dirs;
}

// Reads "key=value" lines of a desktop or mimeapps file; calls f(section, key, value).
template <typename F>
void readKeyFile(const QString &path, F f)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    QTextStream in(&file);
    QString section;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(QLatin1Char('[')))
            section = line;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0)
            f(section, line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
    }
}

bool listsMime(const QString &value, const QString &mime)
{
    return value.split(QLatin1Char(';'), Qt::SkipEmptyParts).contains(mime);
}

} // namespace

QString mimeTypeForProgId(const QString &progId)
{
    if (progId.compare(QLatin1String("Excel.Application"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.sheet");
    if (progId.compare(QLatin1String("Word.Application"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("application/vnd.openxmlformats-officedocument.wordprocessingml.document");
    return {};
}

bool isApplicationRegistered(const QString &progId)
{
    const QString mime = mimeTypeForProgId(progId);
    if (mime.isEmpty())
        return false;
    bool found = false;
    const QStringList config = xdgDirs("XDG_CONFIG_HOME", QStringLiteral("/.config"), "XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg"));
    const QStringList data = xdgDirs("XDG_DATA_HOME", QStringLiteral("/.local/share"), "XDG_DATA_DIRS",
                                     QStringLiteral("/usr/local/share:/usr/share"));
    QStringList lists;
    for (const QString &d : config)
        lists << d + QStringLiteral("/mimeapps.list");
    for (const QString &d : data)
        lists << d + QStringLiteral("/applications/mimeapps.list");
    for (const QString &path : lists)
        readKeyFile(path, [&](const QString &section, const QString &key, const QString &value) {
            if (key == mime && !value.isEmpty() && section != QLatin1String("[Removed Associations]"))
                found = true;
        });
    for (const QString &d : data) {
        if (found)
            break;
        QDirIterator it(d + QStringLiteral("/applications"), {QStringLiteral("*.desktop")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (!found && it.hasNext())
            readKeyFile(it.next(), [&](const QString &section, const QString &key, const QString &value) {
                if (section == QLatin1String("[Desktop Entry]") && key == QLatin1String("MimeType") && listsMime(value, mime))
                    found = true;
            });
    }
    return found;
}

} // namespace office
