#pragma once
// Basic types of the directory access layer: status codes (HRESULT values exactly as ADSI
// returns them), authentication flags, ADSI value types, property operations, search
// preferences, and the value types that travel inside QVariant.
//
// Value conventions (every caller relies on them):
//   empty value            invalid QVariant
//   array                  QVariantList
//   text                   QString
//   boolean                bool
//   32-bit integer         int
//   large integer          qint64
//   octet string           QByteArray
//   security descriptor    QByteArray (self-relative binary form)
//   UTC time / date-time   ads::AdsDate (COM's VT_DATE)
//   DN with binary/string  ads::DnWithBinary / ads::DnWithString
#include <QByteArray>
#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <cstdint>

namespace ads {

using HRESULT = std::int32_t;

constexpr bool succeeded(HRESULT hr) { return hr >= 0; }
constexpr bool failed(HRESULT hr) { return hr < 0; }
constexpr int facilityOf(HRESULT hr) { return (static_cast<std::uint32_t>(hr) >> 16) & 0x1FFF; }
constexpr int codeOf(HRESULT hr) { return static_cast<std::uint32_t>(hr) & 0xFFFF; }
// HRESULT_FROM_WIN32: facility 7 with the top bit set.
constexpr HRESULT hresultFromWin32(std::uint32_t err)
{
    return err == 0 ? 0 : static_cast<HRESULT>((err & 0xFFFF) | 0x80070000u);
}
constexpr HRESULT hr(std::uint32_t v) { return static_cast<HRESULT>(v); }

// --- Status codes -------------------------------------------------------------------------
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT S_ADS_ERRORSOCCURRED = 0x00005011;
constexpr HRESULT S_ADS_NOMORE_ROWS = 0x00005012;
constexpr HRESULT S_ADS_NOMORE_COLUMNS = 0x00005013;

constexpr HRESULT E_NOTIMPL = hr(0x80004001);
constexpr HRESULT E_NOINTERFACE = hr(0x80004002);
constexpr HRESULT E_POINTER = hr(0x80004003);
constexpr HRESULT E_ABORT = hr(0x80004004);
constexpr HRESULT E_FAIL = hr(0x80004005);
constexpr HRESULT E_UNEXPECTED = hr(0x8000FFFF);
constexpr HRESULT E_ACCESSDENIED = hr(0x80070005);
constexpr HRESULT E_OUTOFMEMORY = hr(0x8007000E);
constexpr HRESULT E_INVALIDARG = hr(0x80070057);
constexpr HRESULT DISP_E_TYPEMISMATCH = hr(0x80020005);

constexpr HRESULT E_ADS_BAD_PATHNAME = hr(0x80005000);
constexpr HRESULT E_ADS_INVALID_DOMAIN_OBJECT = hr(0x80005001);
constexpr HRESULT E_ADS_INVALID_USER_OBJECT = hr(0x80005002);
constexpr HRESULT E_ADS_INVALID_COMPUTER_OBJECT = hr(0x80005003);
constexpr HRESULT E_ADS_UNKNOWN_OBJECT = hr(0x80005004);
constexpr HRESULT E_ADS_PROPERTY_NOT_SET = hr(0x80005005);
constexpr HRESULT E_ADS_PROPERTY_NOT_SUPPORTED = hr(0x80005006);
constexpr HRESULT E_ADS_PROPERTY_INVALID = hr(0x80005007);
constexpr HRESULT E_ADS_BAD_PARAMETER = hr(0x80005008);
constexpr HRESULT E_ADS_OBJECT_UNBOUND = hr(0x80005009);
constexpr HRESULT E_ADS_PROPERTY_NOT_MODIFIED = hr(0x8000500A);
constexpr HRESULT E_ADS_PROPERTY_MODIFIED = hr(0x8000500B);
constexpr HRESULT E_ADS_CANT_CONVERT_DATATYPE = hr(0x8000500C);
constexpr HRESULT E_ADS_PROPERTY_NOT_FOUND = hr(0x8000500D);
constexpr HRESULT E_ADS_OBJECT_EXISTS = hr(0x8000500E);
constexpr HRESULT E_ADS_SCHEMA_VIOLATION = hr(0x8000500F);
constexpr HRESULT E_ADS_COLUMN_NOT_SET = hr(0x80005010);
constexpr HRESULT E_ADS_INVALID_FILTER = hr(0x80005014);

// Win32 directory errors as HRESULTs (the ones the LDAP result codes map to; see adserror.h).
constexpr HRESULT HR_ACCESS_DENIED = hr(0x80070005);      // insufficientAccessRights
constexpr HRESULT HR_LOGON_FAILURE = hr(0x8007052E);      // invalidCredentials
constexpr HRESULT HR_OBJECT_ALREADY_EXISTS = hr(0x80071392);
constexpr HRESULT HR_DS_SIZELIMIT_EXCEEDED = hr(0x80072023);
constexpr HRESULT HR_DS_CONSTRAINT_VIOLATION = hr(0x8007202F);
constexpr HRESULT HR_DS_NO_SUCH_OBJECT = hr(0x80072030);
constexpr HRESULT HR_DS_SERVER_DOWN = hr(0x8007203A);
constexpr HRESULT HR_DS_FILTER_UNKNOWN = hr(0x8007203E);

// --- A write whose outcome is not known ------------------------------------------------------
// SetInfo, Delete and SetPassword return this when the request went out and no answer came
// back: the server did not answer within the operation timeout (ARV_LDAP_TIMEOUT), the wait
// was stopped, or the connection broke while the answer was awaited. The server may have
// applied the change or not. failed() is true for it, but callers report it as not known
// ("may have been applied"), never as failed or as succeeded; test it with
// writeOutcomeUnknown() before treating a failure as a refusal. The value is COM's
// XACT_E_INDOUBT ("the outcome is in doubt"); the extended error names the server and why.
constexpr HRESULT E_ADS_WRITE_OUTCOME_UNKNOWN = hr(0x8004D016);
constexpr bool writeOutcomeUnknown(HRESULT h) { return h == E_ADS_WRITE_OUTCOME_UNKNOWN; }

// --- Authentication flags (ADS_AUTHENTICATION_ENUM) ----------------------------------------
enum AuthFlag : std::uint32_t {
    ADS_SECURE_AUTHENTICATION = 0x1,  // Kerberos (SASL GSSAPI)
    ADS_USE_ENCRYPTION = 0x2,         // LDAPS (636 unless a port is given)
    ADS_USE_SSL = 0x2,
    ADS_READONLY_SERVER = 0x4,
    ADS_NO_AUTHENTICATION = 0x10,     // anonymous bind
    ADS_FAST_BIND = 0x20,             // bind without reading the object: no existence check
    ADS_USE_SIGNING = 0x40,
    ADS_USE_SEALING = 0x80,           // SASL confidentiality layer
    ADS_SERVER_BIND = 0x200,          // the named server is used as is
};

// --- ADSI value types (ADSTYPEENUM) ---------------------------------------------------------
enum AdsType : int {
    ADSTYPE_INVALID = 0,
    ADSTYPE_DN_STRING = 1,
    ADSTYPE_CASE_EXACT_STRING = 2,
    ADSTYPE_CASE_IGNORE_STRING = 3,
    ADSTYPE_PRINTABLE_STRING = 4,
    ADSTYPE_NUMERIC_STRING = 5,
    ADSTYPE_BOOLEAN = 6,
    ADSTYPE_INTEGER = 7,
    ADSTYPE_OCTET_STRING = 8,
    ADSTYPE_UTC_TIME = 9,
    ADSTYPE_LARGE_INTEGER = 10,
    ADSTYPE_PROV_SPECIFIC = 11,
    ADSTYPE_OBJECT_CLASS = 12,
    ADSTYPE_CASEIGNORE_LIST = 13,
    ADSTYPE_OCTET_LIST = 14,
    ADSTYPE_PATH = 15,
    ADSTYPE_POSTALADDRESS = 16,
    ADSTYPE_TIMESTAMP = 17,
    ADSTYPE_BACKLINK = 18,
    ADSTYPE_TYPEDNAME = 19,
    ADSTYPE_HOLD = 20,
    ADSTYPE_NETADDRESS = 21,
    ADSTYPE_REPLICAPOINTER = 22,
    ADSTYPE_FAXNUMBER = 23,
    ADSTYPE_EMAIL = 24,
    ADSTYPE_NT_SECURITY_DESCRIPTOR = 25,
    ADSTYPE_UNKNOWN = 26,
    ADSTYPE_DN_WITH_BINARY = 27,
    ADSTYPE_DN_WITH_STRING = 28,
};

// --- PutEx control codes (ADS_PROPERTY_OPERATION_ENUM) -------------------------------------
enum PropertyOperation : int {
    ADS_PROPERTY_CLEAR = 1,
    ADS_PROPERTY_UPDATE = 2,
    ADS_PROPERTY_APPEND = 3,
    ADS_PROPERTY_DELETE = 4,
};

// --- Object options (IADsObjectOptions) -----------------------------------------------------
enum ObjectOption : int {
    ADS_OPTION_SERVERNAME = 0,
    ADS_OPTION_REFERRALS = 1,
    ADS_OPTION_PAGE_SIZE = 2,
    ADS_OPTION_SECURITY_MASK = 3,
};
// Security information mask (SD flags control): owner 1, group 2, DACL 4, SACL 8.
enum SecurityInfo : int {
    ADS_SECURITY_INFO_OWNER = 0x1,
    ADS_SECURITY_INFO_GROUP = 0x2,
    ADS_SECURITY_INFO_DACL = 0x4,
    ADS_SECURITY_INFO_SACL = 0x8,
};

// --- Search preferences (ADS_SEARCHPREF_ENUM) and their values ------------------------------
enum SearchPref : int {
    ADS_SEARCHPREF_ASYNCHRONOUS = 0,
    ADS_SEARCHPREF_DEREF_ALIASES = 1,
    ADS_SEARCHPREF_SIZE_LIMIT = 2,
    ADS_SEARCHPREF_TIME_LIMIT = 3,
    ADS_SEARCHPREF_ATTRIBTYPES_ONLY = 4,
    ADS_SEARCHPREF_SEARCH_SCOPE = 5,
    ADS_SEARCHPREF_TIMEOUT = 6,
    ADS_SEARCHPREF_PAGESIZE = 7,
    ADS_SEARCHPREF_PAGED_TIME_LIMIT = 8,
    ADS_SEARCHPREF_CHASE_REFERRALS = 9,
    ADS_SEARCHPREF_SORT_ON = 10,
    ADS_SEARCHPREF_CACHE_RESULTS = 11,
    ADS_SEARCHPREF_DIRSYNC = 12,
    ADS_SEARCHPREF_TOMBSTONE = 13,
    ADS_SEARCHPREF_VLV = 14,
    ADS_SEARCHPREF_ATTRIBUTE_QUERY = 15,
    ADS_SEARCHPREF_SECURITY_MASK = 16,
};
enum SearchScope : int { ADS_SCOPE_BASE = 0, ADS_SCOPE_ONELEVEL = 1, ADS_SCOPE_SUBTREE = 2 };
enum ChaseReferrals : int {
    ADS_CHASE_REFERRALS_NEVER = 0,
    ADS_CHASE_REFERRALS_SUBORDINATE = 0x20,
    ADS_CHASE_REFERRALS_EXTERNAL = 0x40,
    ADS_CHASE_REFERRALS_ALWAYS = 0x60,
};

// --- Values ------------------------------------------------------------------------------

// COM's VT_DATE: days since 30 December 1899 00:00, the fraction is the time of day. The
// value carries no time zone: whoever builds it decides whether it is local or UTC time.
// Day 0 (the zero date-time) means "no date" throughout the program.
struct AdsDate {
    double value = 0.0;

    AdsDate() = default;
    explicit AdsDate(double v) : value(v) {}

    bool isZero() const { return value == 0.0; }

    // From calendar fields as they stand (no zone conversion). Returns the zero date-time
    // when the fields do not form a valid date and time.
    static AdsDate fromFields(int year, int month, int day, int hour = 0, int minute = 0,
                              int second = 0, int msec = 0);
    // From the date and time shown by dt in its own time timeSpec (no zone conversion);
    // an invalid dt gives the zero date-time.
    static AdsDate fromDateTime(const QDateTime &dt);
    // The calendar fields of this value as a QDateTime of the given timeSpec (local time by
    // default). Milliseconds are rounded to the nearest.
    QDateTime toDateTime(Qt::TimeSpec timeSpec = Qt::LocalTime) const;

    friend bool operator==(const AdsDate &a, const AdsDate &b) { return a.value == b.value; }
    friend bool operator!=(const AdsDate &a, const AdsDate &b) { return a.value != b.value; }
};

// Windows file time helpers: 100-ns units since 1 January 1601 UTC. 0 and
// 0x7FFFFFFFFFFFFFFF mean "never" to the callers that care; these helpers do not decide.
constexpr qint64 kFileTimeNever = 0x7FFFFFFFFFFFFFFFLL;
// UTC QDateTime for a file time; invalid QDateTime when out of range (negative or beyond
// year 9999).
QDateTime fileTimeToDateTime(qint64 fileTime);
// File time for an instant; 0 for an invalid dt.
qint64 dateTimeToFileTime(const QDateTime &dt);

// DN-With-Binary (Object(DN-Binary), syntax 2.5.5.7): "B:<hex length>:<hex>:<dn>".
struct DnWithBinary {
    QByteArray binary;
    QString dn;
    friend bool operator==(const DnWithBinary &a, const DnWithBinary &b)
    {
        return a.binary == b.binary && a.dn == b.dn;
    }
};
// DN-With-String (Object(DN-String), syntax 2.5.5.14): "S:<char count>:<text>:<dn>".
struct DnWithString {
    QString string;
    QString dn;
    friend bool operator==(const DnWithString &a, const DnWithString &b)
    {
        return a.string == b.string && a.dn == b.dn;
    }
};

// Interface ids the program passes when it binds objects (the object supports them all,
// except the search interface on RootDSE).
inline constexpr const char *IID_IADs = "{FD8256D0-FD15-11CE-ABC4-02608C9E7553}";
inline constexpr const char *IID_IADsContainer = "{001677D0-FD16-11CE-ABC4-02608C9E7553}";
inline constexpr const char *IID_IADsUser = "{3E37E320-17E2-11CF-ABC4-02608C9E7553}";
inline constexpr const char *IID_IDirectorySearch = "{109BA8EC-92F0-11D0-A790-00C04FD8D5A8}";
inline constexpr const char *IID_IADsLargeInteger = "{9068270B-0939-11D1-8BE1-00C04FD8D503}";

} // namespace ads

Q_DECLARE_METATYPE(ads::AdsDate)
Q_DECLARE_METATYPE(ads::DnWithBinary)
Q_DECLARE_METATYPE(ads::DnWithString)
