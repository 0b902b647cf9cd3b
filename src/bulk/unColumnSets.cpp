#include "bulk/unColumnSets.h"

#include "main/unCatalogue.h"
#include "platform/registry/registry.h"

#include <QtEndian>
#include <algorithm>
#include <limits>

namespace bulk {

QByteArray encodeColumnSet(const QString &name, const QList<qint32> &keys)
{
    QByteArray out;
    const qint32 n = qint32(name.size() * 2), m = qint32(keys.size() * 4);
    out.resize(8 + n + m);
    char *p = out.data();
    qToLittleEndian<qint32>(n, p);
    qToLittleEndian<qint32>(m, p + 4);
    for (qsizetype i = 0; i < name.size(); ++i)
        qToLittleEndian<quint16>(name.at(i).unicode(), p + 8 + 2 * i);
    for (qsizetype i = 0; i < keys.size(); ++i)
        qToLittleEndian<qint32>(keys.at(i), p + 8 + n + 4 * i);
    return out;
}

bool decodeColumnSet(const QByteArray &data, QString *name, QList<qint32> *keys)
{
    if (data.size() < 8)
        return false;
    const char *p = data.constData();
    const qint32 n = qFromLittleEndian<qint32>(p), m = qFromLittleEndian<qint32>(p + 4);
    // Stored data is untrusted: lengths must be even/aligned and fit the value.
    if (n < 0 || m < 0 || n % 2 || m % 4 || qint64(n) + m + 8 > data.size())
        return false;
    name->clear();
    for (qint32 i = 0; i < n; i += 2)
        name->append(QChar(qFromLittleEndian<quint16>(p + 8 + i)));
    keys->clear();
    for (qint32 i = 0; i < m; i += 4)
        keys->append(qFromLittleEndian<qint32>(p + 8 + n + i));
    return true;
}

namespace {
bool openKey(registry::Key &key)
{
    return key.open(kColumnSetKey, registry::Access::ReadWrite, true);
}
}  // namespace

QList<ColumnSetInfo> listColumnSets()
{
    QList<ColumnSetInfo> out;
    registry::Key key;
    if (!openKey(key))
        return out;
    QStringList names = key.valueNames();
    std::sort(names.begin(), names.end());
    for (const QString &v : std::as_const(names)) {
        const auto data = key.readBinary(v);
        ColumnSetInfo info;
        QList<qint32> keys;
        if (data)
            decodeColumnSet(*data, &info.name, &keys);
        bool ok = false;
        info.number = v.toInt(&ok);
        if (!ok)
            info.number = 0;
        out << info;
    }
    return out;
}

QList<ExportColumnItem> readColumnSet(int number)
{
    QList<ExportColumnItem> out;
    registry::Key key;
    if (!openKey(key))
        return out;
    const auto data = key.readBinary(QString::number(number));
    QString name;
    QList<qint32> keys;
    if (!data || !decodeColumnSet(*data, &name, &keys))
        return out;
    for (qint32 k : std::as_const(keys))
        out << ExportColumnItem(CaptionByKey(k), k);
    return out;
}

namespace {

bool fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

// Checks a set about to be written: a name, columns, and no other stored set of that name
// (set names, not value names: a set may well be called "3"). except: the set being renamed.
bool checkNewSet(registry::Key &key, const QString &name, const QList<ExportColumnItem> &columns, int except,
                 int *number, QString *error)
{
    if (name.trimmed().isEmpty())
        return fail(error, QStringLiteral("A column set needs a name."));
    if (columns.isEmpty())
        return fail(error, QStringLiteral("Nothing to save"));
    int highest = -1;
    for (const QString &v : key.valueNames()) {
        bool ok = false;
        const int n = v.toInt(&ok);
        if (ok)
            highest = std::max(highest, n);
        if (ok && n == except)
            continue;
        QString stored;
        QList<qint32> keys;
        const auto data = key.readBinary(v);
        if (data && decodeColumnSet(*data, &stored, &keys) && stored.compare(name, Qt::CaseInsensitive) == 0)
            return fail(error, QStringLiteral("The \"%1\" is already in the list.").arg(name));
    }
    if (highest == std::numeric_limits<int>::max())
        return fail(error, QStringLiteral("The column sets have no free number left."));
    *number = highest + 1;
    return true;
}

// Writes the set as value number and flushes; on failure the value is taken back out.
bool writeSet(registry::Key &key, int number, const QString &name, const QList<ExportColumnItem> &columns,
              QString *error)
{
    QList<qint32> keys;
    for (const auto &c : columns)
        keys << c.second;
    const QString value = QString::number(number);
    if (key.writeBinary(value, encodeColumnSet(name, keys)) && key.flush())
        return true;
    const QString why = key.lastError();
    key.deleteValue(value);
    return fail(error, QStringLiteral("The column set could not be saved. %1").arg(why));
}

}  // namespace

int saveColumnSet(const QString &name, const QList<ExportColumnItem> &columns, QString *error)
{
    registry::Key key;
    if (!openKey(key)) {
        fail(error, key.lastError());
        return -1;
    }
    int number = -1;
    if (!checkNewSet(key, name, columns, -1, &number, error) || !writeSet(key, number, name, columns, error))
        return -1;
    return number;
}

bool deleteColumnSet(int number)
{
    registry::Key key;
    if (!openKey(key) || !key.valueExists(QString::number(number)))
        return false;
    return key.deleteValue(QString::number(number)) && key.flush();
}

int renameColumnSet(int number, const QString &newName, const QList<ExportColumnItem> &columns, QString *error)
{
    // The renamed set is written and on disk before the old record goes: a name or column
    // list that cannot be saved leaves the set as it was.
    registry::Key key;
    if (!openKey(key)) {
        fail(error, key.lastError());
        return -1;
    }
    int renamed = -1;
    if (!checkNewSet(key, newName, columns, number, &renamed, error) || !writeSet(key, renamed, newName, columns, error))
        return -1;
    // Should this flush fail, the old record is gone from this session and leaves the file
    // with the next successful write; the set itself is safe under its new number.
    key.deleteValue(QString::number(number));
    key.flush();
    return renamed;
}

int findColumnSet(const QString &name)
{
    for (const ColumnSetInfo &s : listColumnSets())
        if (s.name.compare(name, Qt::CaseInsensitive) == 0)
            return s.number;
    return -1;
}

}  // namespace bulk
