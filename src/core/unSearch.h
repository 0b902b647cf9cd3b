#pragma once
// The directory search wrapper and the single-object helpers every window uses.
#include "platform/adsi/adsobject.h"
#include "platform/adsi/adssearch.h"
#include "platform/adsi/adstypes.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <exception>
#include <memory>
#include <vector>

// The program's base exception: carries the user-facing message.
class Exception : public std::exception {
public:
    explicit Exception(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}
    const QString &Message() const { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// A failing directory call checked with CheckADSIResult.
class EADSIException : public Exception {
public:
    using Exception::Exception;
};

// A failure of TQelADSISearching.
class EADSISearchException : public Exception {
public:
    using Exception::Exception;
};

// Text for a status code: the ADSI message table, the system's text plus the provider's
// extended error, or "Unknown ADSI Error: XXXXXXXX"; wrapped at 40 columns with CR LF.
// A success status gives an empty text.
QString GetADSIErrorText(ads::HRESULT status);
// Raises EADSIException(GetADSIErrorText(status)) when status is a failure.
void CheckADSIResult(ads::HRESULT status);
// Binds path; the user name and password are passed only when both are non-empty and
// useCredentials is true. interfaceId is one of the ads::IID_* texts. Never raises.
ads::HRESULT OpenADsObject(const QString &path, const QString &userName, const QString &password,
                           ads::ObjectPtr *object, const QString &interfaceId,
                           std::uint32_t authFlags, bool useCredentials);

// Breaks text into lines of at most width characters at blanks, hyphens or tabs (CR LF
// between lines); a word longer than width stays whole. Existing line breaks are kept.
QString WrapText(const QString &text, int width);

// The zero date-time of the program (30 December 1899, day 0).
inline ads::AdsDate ZeroDateTime() { return ads::AdsDate(0.0); }

// The large-integer attributes that hold file times (accountExpires, pwdLastSet, lastLogon...),
// which rows show as date-times.
bool IsFileTimeAttribute(const QString &name);

namespace ads { class SchemaMap; }

// One row in the directory's own terms, for outputs that keep the directory's types and
// bytes (JSON Lines, LDIF): the entry's distinguished name and every returned column with
// its ADSI type, its values typed and as sent, in the order the server returned them (the
// ADsPath column that a search of every attribute adds is left out).
struct TSearchEntry {
    QString dn;
    QList<ads::SearchColumn> columns;
    std::shared_ptr<const ads::SchemaMap> schema;  // of the server searched (never null once read)
};

// One paged search over the directory, row by row, values already converted.
//
// A row is an invalid QVariant (no row) or a QVariantList: one slot per requested
// attribute name (invalid QVariant when the object lacks it), or, when no names were
// requested, one [name, value] pair per returned attribute. A value is a scalar
// (QString, bool, int, qint64, ads::AdsDate, QByteArray, GUID text) or a QVariantList of
// scalars for several values.
class TQelADSISearching {
public:
    TQelADSISearching();
    ~TQelADSISearching();
    TQelADSISearching(const TQelADSISearching &) = delete;
    TQelADSISearching &operator=(const TQelADSISearching &) = delete;

    void ExecuteSearch();
    void GetFirstRow(QVariant &row);
    void GetNextRow(QVariant &row);
    void CloseSearch();
    QString GetErrorText() const;

    // Fields.
    ads::HRESULT LastResult() const { return m_lastResult; }
    bool EndOfRows() const { return m_endOfRows; }
    bool Executed() const { return m_executed; }
    const QStringList &ColumnNames() const { return m_columnNames; }
    const ads::ObjectPtr &RootObject() const { return m_rootObject; }

    bool UseCredentials() const { return m_useCredentials; }
    void setUseCredentials(bool v) { m_useCredentials = v; }
    QString UserName() const { return m_userName; }
    void setUserName(const QString &v) { m_userName = v; }
    QString Password() const { return m_password; }
    void setPassword(const QString &v) { m_password = v; }
    QString ServerName() const { return m_serverName; }
    void setServerName(const QString &v) { m_serverName = v; }
    int Port() const { return m_port; }
    void setPort(int v) { m_port = v; }
    int AuthFlags() const { return m_authFlags; }
    void setAuthFlags(int v) { m_authFlags = v; }
    QString Attributes() const { return m_attributes; }
    void setAttributes(const QString &v) { m_attributes = v; }
    QString Filter() const { return m_filter; }
    void setFilter(const QString &v);  // a different value clears Executed
    QString ADsPath() const { return m_adsPath; }
    void setADsPath(const QString &v); // a different value releases RootObject, clears Executed
    QString ObjectClass() const { return m_objectClass; }
    void setObjectClass(const QString &v) { m_objectClass = v; }
    int ChaseReferrals() const { return m_chaseReferrals; }
    void setChaseReferrals(int v) { m_chaseReferrals = v; }
    bool Asynchronous() const { return m_asynchronous; }
    void setAsynchronous(bool v) { m_asynchronous = v; }
    int SizeLimit() const { return m_sizeLimit; }
    void setSizeLimit(int v) { if (v >= 0) m_sizeLimit = v; }  // negative values ignored
    int PageSize() const { return m_pageSize; }
    void setPageSize(int v) { if (v >= 0) m_pageSize = v; }    // negative values ignored
    int SearchScope() const { return m_searchScope; }
    void setSearchScope(int v) { m_searchScope = v; }
    QString SortOn() const { return m_sortOn; }
    void setSortOn(const QString &v) { m_sortOn = v; }
    bool SortReverse() const { return m_sortReverse; }
    void setSortReverse(bool v) { m_sortReverse = v; }

    // With keep on, each row read also fills CurrentEntry() (off by default: it copies
    // every value). Set before ExecuteSearch.
    void setKeepEntries(bool keep) { m_keepEntries = keep; }
    const TSearchEntry &CurrentEntry() const { return m_entry; }

    // Splits an attribute list at commas and blanks; double quotes may enclose a name.
    static QStringList SplitAttributes(const QString &attributes);
    // Converts one column the way rows are built (exposed for tests and the raw view).
    static QVariant ConvertColumn(const ads::SearchColumn &column);

private:
    static QVariant convertColumn(const ads::SearchColumn &column, bool timeAttribute);
    void readRow(QVariant &row);
    void getRow(QVariant &row, bool first);

    ads::ObjectPtr m_rootObject;
    std::shared_ptr<ads::DirectorySearch> m_searcher;
    ads::SearchHandle m_searchHandle = nullptr;
    ads::HRESULT m_lastResult = 0;
    bool m_endOfRows = false;
    bool m_useCredentials = false;
    QString m_userName;
    QString m_password;
    QString m_serverName;
    int m_port = 0;
    int m_authFlags = 0;
    QString m_attributes;
    QString m_filter;
    QString m_adsPath;
    QString m_objectClass = QStringLiteral("*");
    int m_chaseReferrals = 0;
    bool m_executed = false;
    bool m_asynchronous = false;
    int m_sizeLimit = 0;
    int m_pageSize = 100;
    int m_searchScope = 2;
    QStringList m_columnNames;
    // What each column name of the rows means here: its slot among the requested names (-1
    // none) and whether it holds a time shown as a date. The rows of a search repeat the same
    // names as shared texts, so the entry is found by the text's address.
    struct ColumnInfo {
        const QChar *text = nullptr;
        QString name;
        int slot = -1;
        bool time = false;
    };
    std::vector<ColumnInfo> m_columns;
    const ColumnInfo &columnInfo(const QString &name);
    QString m_sortOn;
    bool m_sortReverse = false;
    bool m_keepEntries = false;
    TSearchEntry m_entry;
};
