#pragma once
// The IDirectorySearch equivalent: preferences, one search per handle, rows and columns.
// Obtained from an object with Object::QueryDirectorySearch; runs on that object's
// connection with the object's DN as search base.
//
// Rows stream: paged searches fetch the next page when the current one is used up, so a
// large result never sits in memory whole. A size limit ends the listing with
// HR_DS_SIZELIMIT_EXCEEDED from GetNextRow (the rows before it are delivered).
#include "platform/adsi/adstypes.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>

namespace ads {

class Connection;
struct SearchState;
using SearchHandle = SearchState *;

struct SortKey {
    QString attribute;
    QString matchingRule;  // empty: the attribute's default ordering
    bool reverseOrder = false;
};

// ADS_SEARCHPREF_INFO: the preference, its value (int or bool; for SORT_ON the sortKeys),
// and the status SetSearchPreference gives back for it.
struct SearchPrefInfo {
    SearchPref pref = ADS_SEARCHPREF_SEARCH_SCOPE;
    QVariant value;
    QList<SortKey> sortKeys;
    HRESULT status = S_OK;
};

// A column (ADS_SEARCH_COLUMN): attribute name as the server returned it (options such as
// ";range=..." removed), its ADSI type from the schema, and the values converted as Get
// converts them (strings QString, bool, int, qint64, QByteArray for octets, security
// descriptors and provider-specific values, AdsDate with the UTC fields for times,
// DnWithBinary / DnWithString).
struct SearchColumn {
    QString name;
    AdsType type = ADSTYPE_INVALID;
    QVariantList values;
    // The same values as the server sent them, for outputs that must reproduce them byte
    // for byte (LDIF); filled only by a search told to keep them (SetKeepWireValues).
    QList<QByteArray> wire;
};

class DirectorySearch {
public:
    ~DirectorySearch();

    // Sets the preferences for the following ExecuteSearch. Supported: asynchronous,
    // deref aliases, size limit, time limit, attribute types only, search scope, timeout,
    // page size, paged time limit, chase referrals, sort on, cache results (accepted),
    // tombstone, security mask. S_OK when all were accepted, S_ADS_ERRORSOCCURRED when
    // some were not (their status says which), E_ADS_BAD_PARAMETER for a bad value.
    HRESULT SetSearchPreference(QList<SearchPrefInfo> &prefs);

    // Starts a search. names empty with allAttributes=true: every attribute (ADSI's -1
    // count). A malformed filter gives E_ADS_INVALID_FILTER without asking the server.
    HRESULT ExecuteSearch(const QString &filter, const QStringList &names, SearchHandle *handle,
                          bool allAttributes = false);
    // S_OK with a row; S_ADS_NOMORE_ROWS at the end; HR_DS_SIZELIMIT_EXCEEDED when the
    // size limit ended the listing; another failure status on errors.
    HRESULT GetFirstRow(SearchHandle handle);
    HRESULT GetNextRow(SearchHandle handle);
    // Column names of the current row in the order the server returned them (plus
    // "ADsPath" when asked for or when all attributes were asked for, as ADSI does);
    // S_ADS_NOMORE_COLUMNS after the last.
    HRESULT GetNextColumnName(SearchHandle handle, QString *name);
    // The column of the current row by name (case-insensitive); E_ADS_COLUMN_NOT_SET when
    // the row has no such attribute.
    HRESULT GetColumn(SearchHandle handle, const QString &name, SearchColumn *column);
    HRESULT FreeColumn(SearchColumn *column);
    // The distinguished name of the current row, as the server sent it.
    HRESULT GetDn(SearchHandle handle, QString *dn);
    // Whether GetColumn also hands out the values as sent (SearchColumn::wire); off by
    // default, since it copies every value.
    void SetKeepWireValues(bool keep);
    // Stops a running search on the server (abandon) but keeps the handle for closing.
    HRESULT AbandonSearch(SearchHandle handle);
    // Ends the search and frees the handle (abandons it first when still running).
    HRESULT CloseSearchHandle(SearchHandle handle);

    // Used by Object::QueryDirectorySearch: a searcher over conn with base dn; pathPrefix
    // ("LDAP://server/") starts the ADsPath column.
    static std::shared_ptr<DirectorySearch> create(std::shared_ptr<Connection> conn,
                                                   const QString &baseDn, const QString &pathPrefix);

    struct Private;
private:
    DirectorySearch();
    std::unique_ptr<Private> d;
};

} // namespace ads
