#pragma once
// Directory objects with ADSI's property cache (IADs, IADsContainer, IADsUser's few
// calls, IADsObjectOptions, IADsPropertyList) and ADsOpenObject.
//
// Values follow the conventions of adstypes.h. Get of a large integer gives qint64 (where
// ADSI gives an IADsLargeInteger), of a security descriptor the raw QByteArray, of a UTC
// time an AdsDate holding the UTC fields.
#include "platform/adsi/adstypes.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <vector>

namespace ads {

class Connection;
class DirectorySearch;
class Object;
using ObjectPtr = std::shared_ptr<Object>;

// One attribute of the property list (IADsPropertyEntry): name, ADSI type, values
// (each converted as Get converts a single value).
struct PropertyEntry {
    QString name;
    AdsType type = ADSTYPE_INVALID;
    QVariantList values;
};

class Object : public std::enable_shared_from_this<Object> {
public:
    ~Object();

    // --- IADs ---
    QString ADsPath() const;       // the path the object was opened with, normalised
    QString Name() const;          // the RDN ("CN=Jane Doe"), "RootDSE" for RootDSE
    QString Parent() const;        // the parent's ADsPath (same server part)
    QString Class() const;         // most specific objectClass ("user"); read on demand
    QString GUID() const;          // objectGUID as 32 hex digits in stored byte order
    QString distinguishedName() const;
    bool isRootDse() const;

    // Loads every attribute the server returns for "*" into the cache (replacing it).
    HRESULT GetInfo();
    // Loads the named attributes (constructed ones too: they are asked for by name with a
    // base-scope search) into the cache, replacing those names' cached values. Ranged
    // values (member;range=0-1499) are fetched whole.
    HRESULT GetInfoEx(const QStringList &names);
    // One attribute from the cache (an implicit GetInfo first when the cache was never
    // loaded): a scalar for one value, a QVariantList for several. E_ADS_PROPERTY_NOT_FOUND
    // when the cache has no such attribute.
    HRESULT Get(const QString &name, QVariant *value);
    // Like Get, but always a QVariantList.
    HRESULT GetEx(const QString &name, QVariant *value);
    // Stages a replacement (ADS_PROPERTY_UPDATE) of the attribute with value (a scalar or
    // a QVariantList) and updates the cache.
    HRESULT Put(const QString &name, const QVariant &value);
    // Stages clear (1, value ignored), update (2), append (3) or delete (4) of the values
    // (a QVariantList or a scalar).
    HRESULT PutEx(int controlCode, const QString &name, const QVariant &values);
    // PutEx with values already in their wire form (the bytes sent and read), used where the
    // exact bytes once read must go back (undoing a change).
    HRESULT PutExWire(int controlCode, const QString &name, const QList<QByteArray> &values);
    // The objectGUID (16 bytes) a caller read with a search, so that a write recorder learns
    // it without reading the object again.
    void setKnownGuid(const QByteArray &objectGuid);
    // Sends every staged change in one modify request (an add request for an object made
    // with Create). The security descriptor is written with the SD-flags control for the
    // current security mask (DACL only unless SetOption changed it). Staged changes stay
    // staged after a failure; they are dropped after success. The process's write recorder
    // (adswrites.h) hears of the write before it is sent and of its outcome; so do
    // SetPassword and Delete.
    HRESULT SetInfo();

    // --- IADsPropertyList (after GetInfo / GetInfoEx) ---
    int PropertyCount() const;
    HRESULT Item(int index, PropertyEntry *entry) const;
    HRESULT GetPropertyItem(const QString &name, PropertyEntry *entry) const;

    // --- IADsObjectOptions ---
    // ADS_OPTION_SECURITY_MASK (3): the SD flags used to read and write
    // ntSecurityDescriptor (default: owner, group and DACL for reading, DACL for writing).
    HRESULT SetOption(int option, const QVariant &value);
    HRESULT GetOption(int option, QVariant *value) const;

    // --- IADsContainer ---
    void put_Filter(const QStringList &classes);   // enumerate only these classes
    void put_Hints(const QStringList &attributes); // preload these attributes per child;
                                                   // items may hold several comma-separated names
    QStringList get_Filter() const;
    QStringList get_Hints() const;
    // Creates a child not yet in the directory; SetInfo adds it. rdn: "CN=name".
    HRESULT Create(const QString &className, const QString &rdn, ObjectPtr *child);
    // Deletes the child rdn of this container.
    HRESULT Delete(const QString &className, const QString &rdn);
    // Binds a child by its relative name, with this object's credentials.
    HRESULT GetObject(const QString &className, const QString &rdn, ObjectPtr *child);

    // --- IADsUser (the calls the program makes) ---
    // Sets the password (unicodePwd; needs an encrypted connection).
    HRESULT SetPassword(const QString &newPassword);
    // Stages accountExpires from a date-time whose fields are taken as UTC (callers add the
    // zone bias themselves); the zero date-time stages 0 (never).
    HRESULT put_AccountExpirationDate(const AdsDate &utcDate);

    // --- the search interface (QueryInterface for IDirectorySearch) ---
    // E_NOINTERFACE for RootDSE.
    HRESULT QueryDirectorySearch(std::shared_ptr<DirectorySearch> *out);
    // S_OK when the object offers the interface with this id (IADs, IADsContainer,
    // IADsUser, IDirectorySearch, IADsObjectOptions, IADsPropertyList), else E_NOINTERFACE.
    HRESULT QueryInterface(const QString &iid) const;

    std::shared_ptr<Connection> connection() const { return m_conn; }

    struct Private;
private:
    friend HRESULT ADsOpenObject(const QString &, const QString &, const QString &,
                                 std::uint32_t, ObjectPtr *);
    friend class Enumerator;
    Object();
    std::unique_ptr<Private> d;
    std::shared_ptr<Connection> m_conn;
};

// Binds the object at path (user and password may be empty: then the current logon for
// secure authentication, anonymous otherwise). Returns S_OK and the object, or the failure
// status (E_ADS_BAD_PATHNAME for a malformed path; the directory's status otherwise; the
// extended error says why). The object is checked to exist (a base read of objectClass),
// except RootDSE which is read whole.
HRESULT ADsOpenObject(const QString &path, const QString &user, const QString &password,
                      std::uint32_t flags, ObjectPtr *out);

// Container enumeration (ADsBuildEnumerator / ADsEnumerateNext): the children of the
// container (one level), restricted to the container's Filter classes, each bound with the
// container's connection and carrying its Hints attributes already cached.
class Enumerator {
public:
    ~Enumerator();
    // Next child; S_FALSE and a null pointer at the end; a failure status on errors.
    HRESULT Next(ObjectPtr *child);
    struct Private;
private:
    friend HRESULT ADsBuildEnumerator(const ObjectPtr &, std::unique_ptr<Enumerator> *);
    Enumerator();
    std::unique_ptr<Private> d;
};
HRESULT ADsBuildEnumerator(const ObjectPtr &container, std::unique_ptr<Enumerator> *out);
// Fetches up to count children into out (fetched says how many); S_FALSE when fewer than
// count remained.
HRESULT ADsEnumerateNext(Enumerator *e, int count, QList<ObjectPtr> *out, int *fetched);

} // namespace ads
