#pragma once
// What the server information dialog and `arvendel-cli servers` share, without widgets: the
// forest's domain controllers, the path that binds one of them, the rows of its RootDSE in
// readable form and the workbook of those rows.
#include "platform/adsi/adsobject.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

// The credentials every bind of the dialog uses.
struct TServerInfoCredentials {
    QString Prefix;        // the connection's ServerPrefix ("LDAP://" [server:port "/"])
    QString DomainPath;
    std::uint32_t AuthFlags = 0;
    QString Password;
    QString UserName;
    QString DefaultNamingContext;
    bool UseCredentials = true;
};

// The connection context's values (what "Server(s) Information" is handed).
TServerInfoCredentials ServerInfoCredentialsFromContext();

// One domain controller: the server object's cn and dNSHostName, and the distinguished name
// of its server object.
struct TDcServer {
    QString ServerName;
    QString DnsHostName;
    QString DistinguishedName;
};

// The controllers of the forest: the nTDSDSA objects below the configuration naming context,
// each one's parent (the server object) read for cn and dNSHostName. Raises EADSIException
// with the directory's text when RootDSE cannot be bound, "Cannot enumerate DC servers." when
// it names no configuration context; a server object that cannot be read is left out.
QList<TDcServer> ListDcServers(const TServerInfoCredentials &c);

// The RootDSE path of a clicked controller. The connected one (its cn equal to
// dcShortName, case ignored) keeps the connection's prefix. Any other is bound by its DNS
// host name (its cn when it has none) with the prefix's port; resolve, when given, turns the
// name into the address to bind (empty: the name is used as it is, for the system to resolve;
// the program passes netenum::addressForBind).
QString ServerRootDsePath(const QString &prefix, const QString &dcShortName, const TDcServer &server,
                          bool encrypted, const std::function<QString(const QString &host)> &resolve = {});

// The text of a failed bind of a controller's RootDSE path (ServerRootDsePath). When the
// controller was bound by its address because only the configured DNS server knows its name,
// and TLS or Kerberos refused it, the text adds why (its certificate and its Kerberos service
// name name the host, not the address) and how to make the name resolvable.
QString ServerBindErrorText(const TDcServer &server, const QString &path, std::uint32_t authFlags,
                            ads::HRESULT status);

// One row of the property list.
struct TServerProperty {
    QString Attribute;
    QString Caption;
    QString Value;        // as shown: text, a mode text, or "[v1][v2]..." for a multi-valued row
    bool MultiValued = false;
    QStringList Values;   // every value of a multi-valued row (one for the others)
};

// "[Windows 2000 Mode]" and its siblings.
QString DcFunctionalityText(const QString &value);
QString DomainFunctionalityText(const QString &value);

// The rows of a bound RootDSE, in the fixed order, leaving out what cannot be read.
QList<TServerProperty> ServerPropertyRows(const ads::ObjectPtr &rootDse);

// The viewer's lines of a row's shown value: one line for a single value; for a
// multi-valued row the first character is dropped and the text is cut at each "]",
// skipping the "][" between values.
QStringList ViewerLines(const TServerProperty &row);

// The property list as a workbook: (1,1) server + " " + caption, bold Arial 10; row 2 the
// column captions, bold Arial 10; from row 3 caption and value (a multi-valued value as its
// values joined by CR LF); the credit line in bold at row (rows + 5). False with the reason.
bool WriteServerPropertiesWorkbook(const QString &path, const QString &serverName, const QString &caption,
                                   const QList<TServerProperty> &rows, QString *error);

// Hands the connection context to the network browsing stand-in: the connection (its server
// and credentials, through which the servers' computer objects are read) and the DNS names of
// the forest's domains (from the partitions container). Not connected: the stand-in forgets
// any earlier connection. A failing read leaves the domains out.
void ShareConnectionWithNetwork();
