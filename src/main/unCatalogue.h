#pragma once
// The attribute catalogue: read-only tables of the user attributes the program knows by name,
// of the group attributes and of the countries offered for an address, with their lookups.
//
// Catalogue keys are the identifiers shared by the grid (column tags), the filter builder (field
// identifiers), exports, reports and find-and-replace. The tables are static data: lookups never
// allocate, and every text is a view of a literal that lives for the whole process.

#include <QAnyStringView>
#include <QString>
#include <QStringView>
#include <QtGlobal>

#include <span>

// Value kind of an entry, as an ADO data type code.
enum class FieldType : qint32 {
    None = 0,           // group headers
    Integer = 3,        // 32-bit integer
    Boolean = 11,
    LargeInteger = 20,  // 64-bit integer, also file times
    Text = 200,
    Binary = 204,
};

// One catalogue entry. A header entry carries its own key as its group and has no LDAP name.
struct ADSIUserField {
    qint32 key;
    qint32 group;
    QStringView ldapName;    // lDAPDisplayName; for group 2001 the name of an account-control flag
    QStringView schemaName;  // common name in the schema; empty for headers and flags
    QStringView caption;
    bool multiValued;
    bool sortFlag;     // offered as a server-side sort key; drawn in green in the filter fields
    bool secondFlag;   // carried as data; nothing reads it
    quint8 filterFlags;  // not 0: offered as a filter condition field (values 1, 5, 8, 9, 13, 16, 17)
    FieldType type;
    qint32 maxLength;  // 0 when there is no upper bound
    quint32 mapiTag;   // MAPI property tag or identifier as stored; 0 when none
    QStringView description;  // short help: hint of a field's label
    QStringView hint;         // longer help: hint of a field's editor

    constexpr bool isHeader() const { return type == FieldType::None; }
    constexpr bool isFilterField() const { return filterFlags != 0; }
};

// One country of the address country list (ISO 3166-1 of the 2006 edition).
struct CountryISO {
    QStringView name;    // English short name
    qint32 numeric;      // ISO 3166-1 numeric code
    QStringView alpha2;  // two-letter code, as written to the attribute c
    QStringView alpha3;
};

// Table selector of the *In lookups.
enum CatalogueTable : int { UserTable = 0, GroupTable = 1 };

// Lookups in the user table unless a table is given. Name comparisons ignore ASCII case; an empty
// name never matches (headers have no LDAP name).
QString CaptionByKey(qint32 key);                     // empty when no entry has the key
QString CaptionByKeyIn(int table, qint32 key);        // empty when not found or unknown table
QString CaptionByLdapName(QAnyStringView name);       // compares the trimmed name; miss: trimmed name
int IndexByKey(qint32 key);                           // position 0..120, or -1
const ADSIUserField *EntryByKey(qint32 key);          // nullptr when not found
const ADSIUserField *EntryByKeyIn(int table, qint32 key);
const ADSIUserField *EntryByLdapName(QAnyStringView name);  // first entry with that name
qint32 KeyByLdapName(QAnyStringView name);            // -1 when not found

namespace catalogue {

constexpr int kUserFieldCount = 121;
constexpr int kGroupFieldCount = 15;
constexpr int kCountryCount = 244;

std::span<const ADSIUserField> userFields();
std::span<const ADSIUserField> groupFields();
// The user or group table by selector; empty for an unknown selector.
std::span<const ADSIUserField> fields(int table);
std::span<const CountryISO> countries();

// The position of a key or LDAP name in the given table, or -1.
int indexByKeyIn(int table, qint32 key);
int indexByLdapNameIn(int table, QAnyStringView name);
const ADSIUserField *entryByLdapNameIn(int table, QAnyStringView name);

// Position of the first country whose alpha-2 code equals the code without regard to case, or -1.
int countryIndexByAlpha2(QAnyStringView code);
// Position of the first country with that numeric code, or -1.
int countryIndexByNumeric(qint32 code);
const CountryISO *countryByAlpha2(QAnyStringView code);
const CountryISO *countryByNumeric(qint32 code);

// The userAccountControl bit that an entry of group 2001 names ("ADS_UF_LOCKOUT" -> 0x10), or 0.
quint32 accountControlBit(QAnyStringView flagName);

// A QString over a catalogue text without copying it (the tables live for the whole process).
inline QString text(QStringView catalogueText)
{
    return QString::fromRawData(reinterpret_cast<const QChar *>(catalogueText.utf16()),
                                catalogueText.size());
}

}  // namespace catalogue
