#pragma once
// Connecting and the domain tree without widgets: the test bind of the connection dialogs
// with plain-word errors, the steps of OpenDomain, the NetBIOS names of the forest's
// partitions, the Exchange test of the schema, the tree's root and containers, and the
// containers below a node. TfrmMain and the tests call these; directory failures raise
// EADSIException / EADSISearchException with the text the user sees.
#include "core/unConnection.h"
#include "core/unSearch.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace mainwin {

// --- the connection dialogs' binds ----------------------------------------------------------

// What a failed connection attempt means in plain words (from the extended error of the
// calling thread), followed by a blank line and the directory's own text; the directory's
// text alone when there is nothing to add.
QString explainConnectError(const QString &directoryText);
// Test Connection: binds RootDSE with the settings. False with the explained error.
bool testBind(const TConnectionSettings &settings, QString *error);
// Apply: the test bind, then saving. False with the explained error when nothing was saved.
bool applySettings(const TConnectionSettings &settings, QString *error);

// --- the tree ------------------------------------------------------------------------------

// Images of tree nodes (the data module's tree images).
inline constexpr int kRootImage = 0;
inline constexpr int kContainerImage = 6;

struct TreeNodeInfo {
    QString text;
    QString path;   // full ADSI path, "LDAP://..."
    int image = kContainerImage;
};

struct DomainTree {
    TreeNodeInfo root;
    QList<TreeNodeInfo> children;          // containers and OUs directly below the domain
};

// "Arvendel  [Server:<dnsHostName>] [Domain:<naming context>]"
QString connectedCaption(const TConnectionContext &ctx);

// The root node's text: the canonical name without one trailing "/".
QString rootNodeText(const QString &canonicalName);

// Binds RootDSE for the settings (step 6 of connecting). Null with the explained error.
ads::ObjectPtr bindRootDse(const TConnectionSettings &settings, QString *error);

// All directory calls below bind with the connection context (ConnectionContext()).

// Partitions of the forest: "<NetBIOS name>|qel|<naming context>" per partition that has
// both; partitions where either read fails are left out. Raises on a failed bind.
QStringList loadNetBiosDomains();

// The lDAPDisplayName of the Exchange home-MDB attribute when the schema has it (the quick
// test made before the full attribute list is read). Raises on a failed bind or search.
QStringList exchangeSchemaTest();
// True when the list holds "homeMDB" (case ignored).
bool hasHomeMdb(const QStringList &attributeNames);

// Binds the domain object (OpenDomain step 7); raises EADSIException.
ads::ObjectPtr bindDomain();

// LoadDomainTree: the root node (canonical name) and the containers, OUs and Exchange
// system-objects containers directly below the domain. Raises EADSIException.
DomainTree loadDomainTree(const ads::ObjectPtr &domainObject);

// LoadChildContainers: the containers and OUs one level below nodePath. Raises
// EADSISearchException.
QList<TreeNodeInfo> loadChildContainers(const QString &nodePath);

// --- the demo --------------------------------------------------------------------------------

// Reads <folder>/facts.env (KEY=VALUE lines) into a map; false with an error when missing.
bool readDomainFacts(const QString &folder, QHash<QString, QString> *facts, QString *error);
// Points the settings store at <folder>/settings.ini and stores connection settings for the
// test domain described there: its address and LDAP port, the administrator's account and
// password, a simple bind. Also names the domain's CA and Kerberos configuration for this
// process. False with an error when the facts are missing or the settings cannot be stored.
bool prepareDemo(const QString &folder, QString *error);

} // namespace mainwin
