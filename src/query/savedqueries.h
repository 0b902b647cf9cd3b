#pragma once
// Saved LDAP queries: one binary record per query under \Software\Vastrel\Pordex\LDAPQ, the
// values named "0", "1", ... in display order. Library arv_query_logic.
//
// The record, integers little-endian:
//   0      4   N1: byte length of the name (2 x characters)
//   4      4   N2: byte length of the query text
//   8      N1  the name, UTF-16 little-endian, no terminator
//   8+N1   N2  the query text, UTF-16 little-endian, no terminator
//   8+N1+N2 1  1 when the text was built from conditions, else 0
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace query {

struct SavedQuery {
    QString name;
    QString text;                 // the filter fragment
    bool fromConditions = false;  // can be parsed back into conditions
    friend bool operator==(const SavedQuery &, const SavedQuery &) = default;
};

// The key, below the program's root.
QString savedQueriesKey();

QByteArray encodeQueryRecord(const SavedQuery &query);
// Empty for a record whose lengths do not add up to its size, or whose texts have an odd
// byte length; nothing past the value is read.
std::optional<SavedQuery> decodeQueryRecord(const QByteArray &record);

struct StoredQuery {
    QString valueName;
    SavedQuery query;
};

struct SavedQueryList {
    QList<StoredQuery> queries;   // in the numeric order of the value names
    QStringList skipped;          // names of values that are not readable records
};

// LoadSavedQueries: every value of the key, numeric names in numeric order (other names after
// them, by name). A missing key gives an empty list.
SavedQueryList LoadSavedQueries();
// SaveAllQueries: query i as value "i", every other value of the key removed; written and
// checked before anything is removed, and stored with one write of the settings file, so a
// failure leaves the stored queries as they were.
bool SaveAllQueries(const QList<SavedQuery> &queries, QString *error = nullptr);
// SaveQuery: overwrites the value valueName when it exists; otherwise writes a new value one
// above the largest numeric name (0 for an empty key). Returns the value name written, empty
// on failure.
QString SaveQuery(const QString &valueName, const SavedQuery &query, QString *error = nullptr);

// The message that reports unreadable records once.
QString skippedQueriesText(const QStringList &valueNames);

// "-1" for true, "0" for false; and back: "-1", "1", "true" (any case) are true.
QString flagText(bool flag);
bool flagFromText(const QString &text);

// The text-file form of queries: "[name]" CR LF text per entry; with several entries an extra
// CR LF CR LF item between consecutive ones; every item followed by CR LF.
QString queriesFileText(const QList<SavedQuery> &queries);
// Writes it as 8-bit text in the export's code page, Windows-1252 (characters it cannot hold
// become "?" and are added to *unmappable), or as UTF-16 little-endian with a byte-order mark.
bool writeQueriesFile(const QString &path, const QList<SavedQuery> &queries, bool unicode,
                      QString *error = nullptr, int *unmappable = nullptr);

} // namespace query
