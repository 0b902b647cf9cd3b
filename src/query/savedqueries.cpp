#include "query/savedqueries.h"

#include "core/unValuesText.h"
#include "platform/registry/registry.h"

#include <QFile>
#include <QHash>
#include <QSaveFile>
#include <QSet>
#include <QtEndian>

#include <algorithm>

namespace query {

namespace {

QByteArray utf16le(const QString &s)
{
    QByteArray out;
    out.resize(s.size() * 2);
    for (qsizetype i = 0; i < s.size(); ++i)
        qToLittleEndian<quint16>(s.at(i).unicode(), out.data() + 2 * i);
    return out;
}

QString fromUtf16le(const char *p, qsizetype bytes)
{
    QString s;
    s.resize(bytes / 2);
    for (qsizetype i = 0; i < bytes / 2; ++i)
        s[i] = QChar(qFromLittleEndian<quint16>(p + 2 * i));
    return s;
}

// Numeric names first in numeric order, then the rest by name.
bool valueNameLess(const QString &a, const QString &b)
{
    bool okA = false, okB = false;
    const qint64 na = a.toLongLong(&okA);
    const qint64 nb = b.toLongLong(&okB);
    if (okA && okB)
        return na < nb;
    if (okA != okB)
        return okA;
    return a.compare(b, Qt::CaseInsensitive) < 0;
}

} // namespace

QString savedQueriesKey()
{
    return registry::kProgramRoot + QStringLiteral("\\LDAPQ");
}

QByteArray encodeQueryRecord(const SavedQuery &q)
{
    const QByteArray name = utf16le(q.name);
    const QByteArray text = utf16le(q.text);
    QByteArray out(8, '\0');
    qToLittleEndian<quint32>(static_cast<quint32>(name.size()), out.data());
    qToLittleEndian<quint32>(static_cast<quint32>(text.size()), out.data() + 4);
    out += name;
    out += text;
    out += char(q.fromConditions ? 1 : 0);
    return out;
}

std::optional<SavedQuery> decodeQueryRecord(const QByteArray &record)
{
    if (record.size() < 9)
        return std::nullopt;
    const quint64 n1 = qFromLittleEndian<quint32>(record.constData());
    const quint64 n2 = qFromLittleEndian<quint32>(record.constData() + 4);
    // 64-bit sums: two lengths near 4 GiB cannot wrap around to a small total.
    if (n1 + n2 + 9 != static_cast<quint64>(record.size()) || (n1 % 2) != 0 || (n2 % 2) != 0)
        return std::nullopt;
    SavedQuery q;
    q.name = fromUtf16le(record.constData() + 8, static_cast<qsizetype>(n1));
    q.text = fromUtf16le(record.constData() + 8 + n1, static_cast<qsizetype>(n2));
    q.fromConditions = record.at(static_cast<qsizetype>(8 + n1 + n2)) != 0;
    return q;
}

SavedQueryList LoadSavedQueries()
{
    SavedQueryList out;
    if (!registry::keyExists(savedQueriesKey()))
        return out;
    registry::Key key;
    if (!key.open(savedQueriesKey(), registry::Access::Read, false))
        return out;
    QStringList names = key.valueNames();
    std::sort(names.begin(), names.end(), valueNameLess);
    for (const QString &name : names) {
        const std::optional<QByteArray> raw = key.readBinary(name);
        const std::optional<SavedQuery> q = raw ? decodeQueryRecord(*raw) : std::nullopt;
        if (!q) {
            out.skipped << name;
            continue;
        }
        out.queries.append({name, *q});
    }
    return out;
}

bool SaveAllQueries(const QList<SavedQuery> &queries, QString *error)
{
    registry::Key key;
    if (!key.open(savedQueriesKey(), registry::Access::ReadWrite, true)) {
        if (error)
            *error = key.lastError();
        return false;
    }
    // What is stored now, to be put back should the new list not reach the file.
    QHash<QString, QByteArray> before;
    for (const QString &name : key.valueNames())
        before.insert(name, key.readBinary(name).value_or(QByteArray()));
    auto restore = [&] {
        for (const QString &name : key.valueNames())
            if (!before.contains(name))
                key.deleteValue(name);
        for (auto it = before.constBegin(); it != before.constEnd(); ++it)
            key.writeBinary(it.key(), it.value());
    };
    // The new records first, each read back; then the values they replace go; then one write
    // of the file. Until that write succeeds the file holds the old list whole.
    QSet<QString> written;
    for (qsizetype i = 0; i < queries.size(); ++i) {
        const QString name = QString::number(i);
        const QByteArray record = encodeQueryRecord(queries.at(i));
        if (!key.writeBinary(name, record) || key.readBinary(name) != record) {
            const QString why = key.lastError();
            restore();
            if (error)
                *error = QStringLiteral("The query \"%1\" could not be stored. %2").arg(queries.at(i).name, why);
            return false;
        }
        written.insert(name);
    }
    for (const QString &name : key.valueNames())
        if (!written.contains(name))
            key.deleteValue(name);
    if (!key.flush()) {
        const QString why = key.lastError();
        restore();
        if (error)
            *error = why;
        return false;
    }
    return true;
}

QString SaveQuery(const QString &valueName, const SavedQuery &query, QString *error)
{
    registry::Key key;
    if (!key.open(savedQueriesKey(), registry::Access::ReadWrite, true)) {
        if (error)
            *error = key.lastError();
        return {};
    }
    QString name = valueName;
    if (!key.valueExists(name)) {
        qint64 highest = -1;
        for (const QString &n : key.valueNames()) {
            bool ok = false;
            const qint64 v = n.toLongLong(&ok);
            if (ok)
                highest = std::max(highest, v);
        }
        name = QString::number(highest + 1);
    }
    if (!key.writeBinary(name, encodeQueryRecord(query)) || !key.flush()) {
        if (error)
            *error = key.lastError();
        return {};
    }
    return name;
}

QString skippedQueriesText(const QStringList &valueNames)
{
    return QStringLiteral("%1 stored quer%2 (%3) could not be read and %4 skipped.")
        .arg(valueNames.size())
        .arg(valueNames.size() == 1 ? QStringLiteral("y") : QStringLiteral("ies"))
        .arg(valueNames.join(QStringLiteral(", ")))
        .arg(valueNames.size() == 1 ? QStringLiteral("was") : QStringLiteral("were"));
}

QString flagText(bool flag)
{
    return flag ? QStringLiteral("-1") : QStringLiteral("0");
}

bool flagFromText(const QString &text)
{
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    bool ok = false;
    const qint64 n = t.toLongLong(&ok);
    return ok && n != 0;
}

QString queriesFileText(const QList<SavedQuery> &queries)
{
    QStringList items;
    for (qsizetype i = 0; i < queries.size(); ++i) {
        if (i > 0)
            items << QStringLiteral("\r\n\r\n");
        items << QLatin1Char('[') + queries.at(i).name + QStringLiteral("]\r\n") + queries.at(i).text;
    }
    QString out;
    for (const QString &item : items)
        out += item + QStringLiteral("\r\n");
    return out;
}

bool writeQueriesFile(const QString &path, const QList<SavedQuery> &queries, bool unicode, QString *error,
                      int *unmappable)
{
    const QString text = queriesFileText(queries);
    QByteArray bytes;
    if (unicode)
        bytes = QByteArray("\xFF\xFE", 2) + utf16le(text);
    else
        bytes = TextToWindows1252(text, unmappable);
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        if (error)
            *error = f.errorString();
        return false;
    }
    return true;
}

} // namespace query
