#pragma once
// TNetServer: one server's information record (NetServerGetInfo level 101) and its texts for
// the network browser: the comment and the "OS Version: ... Support:..." description.
#include "core/unSearch.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <optional>

// A failure of a network service, carrying its code; the message is "Error %d : %s" with the
// system's text for the code, or "Error %d" when there is none.
class ENTException : public Exception {
public:
    explicit ENTException(int code);
    int Code() const { return m_code; }

private:
    int m_code;
};

// The server information record the texts are made from.
struct TServerInfo101 {
    std::uint32_t PlatformId = 0;
    QString Name;
    std::uint32_t VersionMajor = 0;
    std::uint32_t VersionMinor = 0;
    std::uint32_t Type = 0;
    QString Comment;
};

// "[NT] " and its siblings for a platform id.
QString PlatformTag(std::uint32_t platformId);
// "Windows 2003" and its siblings (platform 500 only), else empty.
QString SystemName(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor);
// "[WKS][SVR]..." for the set bits of the type flags, in bit order.
QString RoleTags(std::uint32_t type);
// "OS Version: " + platform tag + system name + " (" major "." minor ") " CR LF "Support:" + roles.
QString ServerDescription(const TServerInfo101 &info);

class TNetServer : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString ServerName READ ServerName WRITE setServerName)
public:
    explicit TNetServer(QObject *parent = nullptr);

    QString ServerName() const { return m_serverName; }
    // A different name forgets the record read for the previous one.
    void setServerName(const QString &name);

    // Raise ENTException when the record cannot be read.
    QString GetComment();
    QString GetDescription();

private:
    const TServerInfo101 &info();
    QString m_serverName;
    std::optional<TServerInfo101> m_info;
};

// What the connection dialog takes from a server picked in the browser: the server as the
// program can reach it (its name when the system resolves it, else its address when only the
// configured DNS server knows the name) and
// the domain as a user name prefix (the NetBIOS domain name the controller answers the ping
// with; the browser's domain text when it does not answer).
void ConnectionValuesOfPickedServer(QString *server, QString *domain);
