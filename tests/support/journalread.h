#pragma once
// The change journal as Python's json module reads it: an independent reader of the files the
// program writes. Every line of every day file must parse; a line that does not fails the test.
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

namespace testsupport {

// Every record (intent and outcome lines) of the journal folder, in file and line order.
QJsonArray journalRecordsByPython(const QString &folder);
// The intents with their outcome's fields merged in ("outcome", "reason", "status"), in order;
// an intent without an outcome line has no "outcome" field.
QJsonArray journalEntriesByPython(const QString &folder);
// The values of one change of an entry as texts (base64 values decoded as UTF-8 text when the
// change says "text"; raw bytes for "base64"), for comparing with ldapsearch.
QList<QByteArray> changeValues(const QJsonObject &entry, const QString &attribute, const char *side);

} // namespace testsupport
