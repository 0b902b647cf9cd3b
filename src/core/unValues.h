#pragma once
// Attribute values and conversions shared by every window: times (unValuesTime.h), small
// texts (unValuesText.h), and here the operations on directory values and objects: large
// integers, octet strings, joined values, group membership, the "user cannot change
// password" rule, the process-wide name caches and the schema-presence checks.
#include "core/unValuesText.h"
#include "core/unValuesTime.h"
#include "platform/adsi/adsobject.h"
#include "platform/adsi/adstypes.h"
#include "platform/security/descriptor.h"

#include <QByteArray>
#include <QHash>
#include <QIODevice>
#include <QList>
#include <QRecursiveMutex>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <optional>

// --- Directory access of the connection ----------------------------------------------------

// What the value operations need of the connection context: they bind prefix + DN with its
// credentials and flags. The connection code publishes it at connect and clears it at
// disconnect.
struct TDirectoryAccess {
    QString ServerPrefix;          // "LDAP://server:port/" or "LDAP://"
    QString DefaultNamingContext;  // "DC=corp,DC=example"
    QString DcShortName;           // the domain controller's short name
    QString DomainNetbiosName;     // for DOMAIN\name account names; read from the directory
                                   // (the domain's crossRef) when empty
    QString UserName;
    QString Password;
    std::uint32_t AuthFlags = ads::ADS_SECURE_AUTHENTICATION;
    bool UseCredentials = false;
};
void SetDirectoryAccess(const TDirectoryAccess &access);
TDirectoryAccess DirectoryAccess();
// Binds ServerPrefix + dn ("/" in the DN escaped), or a full path when it starts with
// "LDAP://", with the connection's credentials; raises EADSIException on failure.
ads::ObjectPtr BindWithDirectoryAccess(const QString &dnOrPath);

// --- Values --------------------------------------------------------------------------------

// A date-time value (ads::AdsDate) for a local date-time, and the day count of one.
inline ads::AdsDate ToAdsDate(double dateTime) { return ads::AdsDate(dateTime); }

// A file time given as two 32-bit halves: the integer 0 for "never" (0, or the low half all
// ones), else the local date-time (ads::AdsDate), else (out of range) an empty value.
QVariant FileTimeToValue(quint32 low, quint32 high);

// A 64-bit attribute value as read with Get: empty gives 0; integers as they are; a text of
// digits its number; anything else raises EADSIException "Not Int64".
qint64 LargeIntegerToInt64(const QVariant &value);

// A text value without "-", "{" and "}" (a GUID text becomes its 32 digits); an octet string
// by BytesToHexText; anything else empty text.
QString ValueToHex(const QVariant &value);

// Every value of the attribute as text followed by CR LF; empty text on any error.
QString JoinValuesLines(const ads::ObjectPtr &object, const QString &attribute);
// Every value as "[text]", concatenated and trimmed; empty text on any error.
QString JoinValuesBracketed(const ads::ObjectPtr &object, const QString &attribute);
// Adds every element of a value (one scalar or an array) upper-cased to list.
void AddValuesUpper(QStringList &list, const QVariant &values);

// Copies a byte array whole into a stream (size set, position 0), and a stream whole into a
// byte array value. A value that is not a byte array is a programming error.
void BytesToStream(const QVariant &byteArray, QIODevice &stream);
QVariant StreamToBytes(QIODevice &stream);

// --- Groups ------------------------------------------------------------------------------

// Adds or removes memberDN in the group's member list; true when the group changed, false
// when there was nothing to do. A bind failure raises EADSIException, as does a refused write.
bool AddGroupMember(const QString &groupPath, const QString &memberDN);
bool RemoveGroupMember(const QString &groupPath, const QString &memberDN);

// Name, primary group token (negated for groups that are not security groups) and the
// canonical name of the group's parent container. A bind failure raises EADSIException.
void GetGroupInfo(const QString &prefix, const QString &dn, QString &name, int &token,
                  QString &parentCanonicalName);

// The canonical name of the parent container: the text before the last "/" that is not
// escaped as "\/" (a "/" inside a name); the whole text when there is none.
QString ParentCanonicalName(const QString &canonicalName);

// True when a user below base has attribute = value exactly (case-sensitive). Errors give false.
bool IsValueTaken(const QString &base, const QString &attribute, const QString &value,
                  const QString &userName, const QString &password, std::uint32_t authFlags,
                  bool useCredentials);

// --- Account rule: user cannot change password ---------------------------------------------

// The extended right "change password".
inline const QString kChangePasswordGuid = QStringLiteral("{AB721A53-1E2F-11D0-9819-00AA0040529B}");

// True only when the DACL holds an access-denied object entry for the change-password right
// for both Everyone and SELF (the first such entry of each decides).
bool GetCannotChangePassword(const security::SecurityDescriptor &sd);
bool GetCannotChangePassword(const QByteArray &securityDescriptor);
// Sets both entries to denied (deny) or allowed, adding the missing ones, writes the
// descriptor back in canonical order. False when the descriptor could not be read or
// parsed; a refused write raises EADSIException.
bool SetCannotChangePassword(const ads::ObjectPtr &userObject, bool deny);

// --- Account names of SIDs ---------------------------------------------------------------

// "DOMAIN\name" (or just the name for Everyone and the like) of a SID: the well-known table
// first, then an objectSid search of the domain (the domain's NetBIOS name as the domain
// part). Empty when neither knows it.
QString LookupAccountSid(const security::Sid &sid);
// The distinguished name of a user's primary group: the group of the user's domain whose
// relative id is primaryGroupId (userSid: the user's objectSid bytes). Empty when unknown.
QString PrimaryGroupDn(const QByteArray &userSid, int primaryGroupId);
// The SID of "DOMAIN\name", "name" or a SID text; empty when not found.
std::optional<security::Sid> LookupAccountName(const QString &name);
// The NetBIOS name of the connected domain (DomainNetbiosName, else read once per connection
// from the domain's crossRef in the configuration partition); empty when unreadable.
QString DomainNetbiosName();

// --- Readable summary of a descriptor ------------------------------------------------------

struct TAceSummary {
    QString Type;                 // "Allow", "Deny (object)", ...
    QString Trustee;              // DOMAIN\name, or the SID text when no name is known
    QString TrusteeSid;
    QString Rights;               // accessMaskText
    QString ObjectType;           // name of the right, property or class, or the GUID text
    QString InheritedObjectType;
    bool Inherited = false;
};

struct TSecuritySummary {
    QString Owner, OwnerSid, Group, GroupSid;
    bool HasDacl = false;
    bool DaclCanonical = true;
    QList<TAceSummary> Dacl;
    bool CannotChangePassword = false;
};

// Names a GUID by the extended-right and schema caches (when loaded); else the GUID text.
QString GuidDisplayName(const QString &guidText);
// The owner, group and DACL entries with trustee names (LookupAccountSid), and the
// cannot-change-password rule.
TSecuritySummary SummarizeSecurityDescriptor(const security::SecurityDescriptor &sd);

// --- Caches --------------------------------------------------------------------------------

// One cached group.
struct TGroupListRec {
    QString DistinguishedName;
    QString CommonName;
    int PrimaryGroupToken = 0;
};

// The process-wide lock: held while the caches are cleared and while the listed users are
// freed. Recursive, so a holder may call the cache functions.
QRecursiveMutex &ProcessLock();

// Schema attribute names keyed by schemaIDGUID text (upper case, in braces; lookups accept
// the GUID text with or without braces, in any case). Loads once; later calls do
// nothing while the cache exists. A failure to read RootDSE raises EADSIException; a search
// error leaves the cache empty.
void LoadSchemaGuidNames();
// Adds one entry (the schema reader thread fills the cache this way); duplicates ignored.
void AddSchemaGuidName(const QString &guidText, const QString &name);
// The name for a GUID text (braces and case as they come); empty when unknown.
QString SchemaGuidName(const QString &guidText);
bool SchemaGuidNamesLoaded();
void ClearSchemaGuidNames();

// Extended-right display names keyed by rightsGuid in braces (upper case). Loads once; an
// error empties the cache and raises EADSIException.
void LoadExtendedRightNames();
QString ExtendedRightName(const QString &guidText);
bool ExtendedRightNamesLoaded();
void ClearExtendedRightNames();

// Groups below base keyed by their SID as hexadecimal text. Errors end the load silently.
void LoadGroupList(const QString &base);
// The distinguished name of the first group with this primary group token (the list is
// loaded under base when missing); empty when none.
QString GroupDnByToken(int token, const QString &base);
// A copy of the cached groups (empty when not loaded).
QList<TGroupListRec> GroupListSnapshot();
std::optional<TGroupListRec> GroupBySidHex(const QString &sidHex);
bool GroupListLoaded();
void ClearGroupList();

// The key of a group in the group list: ValueToHex of its objectSid, a key of exactly 32
// characters cut to its 12 characters from position 20.
QString GroupListKey(const QVariant &objectSid);

// --- Schema presence -----------------------------------------------------------------------

// The upper-cased attribute names the schema offers, set at connect time; cleared (does not
// exist) before that.
void SetSchemaAttributeNames(const QStringList &names);
void ClearSchemaAttributeNames();
void SetSchemaLoaded(bool loaded);
bool SchemaLoaded();
QStringList SchemaAttributeNames();

// True when the names do not exist or are not loaded yet; else whether the trimmed,
// upper-cased name is among them.
bool AttributeInSchema(const QString &name);
// Whether the trimmed, upper-cased name is in list.
bool AttributeInList(const QStringList &list, const QString &name);
// "HOMEMDB" in the object's property list (after GetInfo / GetInfoEx), or, without an
// object, in the schema attribute names.
bool HasMailbox(const ads::ObjectPtr &object);

// Background of a disabled edit field (red F7, green FF, blue FF) for EnableForAttribute.
constexpr unsigned kDisabledEditRgb = 0xF7FFFF;

// --- Other shared operations -----------------------------------------------------------------

// The program's version text ("0.1.0").
QString GetFileVersionText();
// The credit line of every office output (workbooks, documents): "Created with "Arvendel -
// <version>"", followed by " - " and the product's web address when the build names one
// (ARV_WEB_ADDRESS).
QString CreatedWithText();
// True when a desktop application opens the file type of "Excel.Application" (workbooks) or
// "Word.Application" (documents).
bool OfficeAppAvailable(const QString &progId);

// The object-changed notice. The window bus registers itself here (the core does not know
// windows); without it the notice goes nowhere.
using TNotifyOtherWindowsHook = std::function<void(const void *sender, int code, const QString &text)>;
void SetNotifyOtherWindowsHook(TNotifyOtherWindowsHook hook);
void NotifyOtherWindows(const void *sender, int code, const QString &text);
