#include "support/journalread.h"

#include <QJsonDocument>
#include <QProcess>

#include <gtest/gtest.h>

namespace testsupport {

namespace {

QJsonArray runPython(const QString &folder, bool merge)
{
    // Lines are read as bytes and split on "\n" only, as a JSON Lines reader does.
    static const char *script =
        "import json, glob, sys\n"
        "records = []\n"
        "for name in sorted(glob.glob(sys.argv[1] + '/*.jsonl')):\n"
        "    with open(name, 'rb') as f:\n"
        "        for line in f.read().split(b'\\n'):\n"
        "            if line:\n"
        "                records.append(json.loads(line.decode('utf-8')))\n"
        "if sys.argv[2] == 'merge':\n"
        "    entries, by_id = [], {}\n"
        "    for r in records:\n"
        "        if r['type'] == 'intent':\n"
        "            by_id[r['id']] = dict(r)\n"
        "            entries.append(by_id[r['id']])\n"
        "    for r in records:\n"
        "        if r['type'] == 'outcome' and r['id'] in by_id:\n"
        "            e = by_id[r['id']]\n"
        "            for k in ('outcome', 'reason', 'status', 'stored'):\n"
        "                if k in r: e[k] = r[k]\n"
        "            if r.get('guid'): e['guid'] = r['guid']\n"
        "    records = entries\n"
        "print(json.dumps(records))\n";
    QProcess p;
    p.start(QStringLiteral("python3"), {QStringLiteral("-c"), QString::fromLatin1(script), folder,
                                        merge ? QStringLiteral("merge") : QStringLiteral("raw")});
    EXPECT_TRUE(p.waitForFinished(120000));
    EXPECT_EQ(p.exitCode(), 0) << "Python could not read the journal: " << p.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(p.readAllStandardOutput()).array();
}

} // namespace

QJsonArray journalRecordsByPython(const QString &folder) { return runPython(folder, false); }

QJsonArray journalEntriesByPython(const QString &folder) { return runPython(folder, true); }

QList<QByteArray> changeValues(const QJsonObject &entry, const QString &attribute, const char *side)
{
    for (const QJsonValue &c : entry.value(QLatin1String("changes")).toArray()) {
        const QJsonObject o = c.toObject();
        if (o.value(QLatin1String("attribute")).toString().compare(attribute, Qt::CaseInsensitive) != 0)
            continue;
        const bool b64 = o.value(QLatin1String("encoding")).toString() == QLatin1String("base64");
        QList<QByteArray> out;
        for (const QJsonValue &v : o.value(QLatin1String(side)).toArray())
            out << (b64 ? QByteArray::fromBase64(v.toString().toLatin1()) : v.toString().toUtf8());
        return out;
    }
    return {};
}

} // namespace testsupport
