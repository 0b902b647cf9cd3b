#include "network/unNetServer.h"

#include "platform/netenum/netenum.h"
#include "platform/netenum/netlogon.h"

ENTException::ENTException(int code)
    : Exception([code] {
          const QString text = netenum::systemMessage(code);
          return text.isEmpty() ? QStringLiteral("Error %1").arg(code)
                                : QStringLiteral("Error %1 : %2").arg(code).arg(text);
      }()),
      m_code(code)
{
}

QString PlatformTag(std::uint32_t platformId)
{
    switch (platformId) {
    case 300: return QStringLiteral("[DOS] ");
    case 400: return QStringLiteral("[OS2] ");
    case 500: return QStringLiteral("[NT] ");
    case 600: return QStringLiteral("[OSF] ");
    case 700: return QStringLiteral("[VMS] ");
    default: return QStringLiteral("[UNKNOWN] ");
    }
}

QString SystemName(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor)
{
    if (platformId != 500)
        return QString();
    switch (major) {
    case 3: return QStringLiteral("Windows NT 3");
    case 4:
        if (minor == 0)
            return QStringLiteral("Windows NT 4");
        if (minor >= 1 && minor <= 9)
            return QStringLiteral("Windows 95");
        if (minor == 10)
            return QStringLiteral("Windows 98");
        if (minor == 90)
            return QStringLiteral("Windows ME");
        return QString();
    case 5:
        if (minor == 0)
            return QStringLiteral("Windows 2000");
        if (minor == 1)
            return QStringLiteral("Windows XP");
        if (minor == 2)
            return QStringLiteral("Windows 2003");
        return QString();
    default: return QString();
    }
}

QString RoleTags(std::uint32_t type)
{
    static const char *const tags[] = {"[WKS]", "[SVR]", "[SQL]", "[PDC]", "[BDC]", "[TS]", "[AFP]", "[NOV]",
                                       "[MEM]", "[PQS]", "[RAS]", "[UNX]", "[NT]", "[WFW]", "[MFPN]", "[SNT]",
                                       "[PB]", "[BB]", "[MB]", "[MAS]", "[OSF]", "[VMS]", "[WIN]", "[DFS]"};
    QString out;
    for (int bit = 0; bit < 24; ++bit)
        if (type & (1u << bit))
            out += QLatin1String(tags[bit]);
    return out;
}

QString ServerDescription(const TServerInfo101 &info)
{
    return QStringLiteral("OS Version: ") + PlatformTag(info.PlatformId) +
           SystemName(info.PlatformId, info.VersionMajor, info.VersionMinor) + QStringLiteral(" (") +
           QString::number(info.VersionMajor) + QLatin1Char('.') + QString::number(info.VersionMinor) +
           QStringLiteral(") \r\nSupport:") + RoleTags(info.Type);
}

TNetServer::TNetServer(QObject *parent) : QObject(parent) {}

void TNetServer::setServerName(const QString &name)
{
    if (name == m_serverName)
        return;
    m_serverName = name;
    m_info.reset();
}

const TServerInfo101 &TNetServer::info()
{
    if (m_info)
        return *m_info;
    std::uint8_t *buf = nullptr;
    const int rc = netenum::NetServerGetInfo(m_serverName.toUtf8().constData(), 101, &buf);
    if (rc != netenum::NO_ERROR) {
        if (buf)
            netenum::NetApiBufferFree(buf);
        throw ENTException(rc);
    }
    const auto *r = reinterpret_cast<const netenum::SERVER_INFO_101 *>(buf);
    TServerInfo101 i;
    i.PlatformId = r->sv101_platform_id;
    i.Name = QString::fromUtf8(r->sv101_name ? r->sv101_name : "");
    i.VersionMajor = r->sv101_version_major;
    i.VersionMinor = r->sv101_version_minor;
    i.Type = r->sv101_type;
    i.Comment = QString::fromUtf8(r->sv101_comment ? r->sv101_comment : "");
    netenum::NetApiBufferFree(buf);
    m_info = i;
    return *m_info;
}

QString TNetServer::GetComment() { return info().Comment; }

QString TNetServer::GetDescription() { return ServerDescription(info()); }

void ConnectionValuesOfPickedServer(QString *server, QString *domain)
{
    netenum::NetlogonInfo info;
    if (netenum::pingServer(*server, &info) && !info.netbiosDomainName.isEmpty())
        *domain = info.netbiosDomainName;
    // A name the system resolves stays: the controller's certificate and Kerberos service
    // names name it, not its address.
    const QString address = netenum::addressForBind(*server);
    if (!address.isEmpty())
        *server = address;
}
