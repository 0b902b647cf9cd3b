#include "support/testdomain.h"

#include <QFile>
#include <QHash>
#include <QTcpSocket>
#include <QTextStream>
#include <cstdlib>
#include <mutex>

namespace testsupport {

namespace {

const QHash<QString, QString> &facts()
{
    static QHash<QString, QString> values;
    static std::once_flag once;
    std::call_once(once, [] {
        QFile file(domainDir() + QStringLiteral("/facts.env"));
        if (domainDir().isEmpty() || !file.open(QIODevice::ReadOnly | QIODevice::Text))
            return;
        QTextStream in(&file);
        in.setEncoding(QStringConverter::Utf8);
        while (!in.atEnd()) {
            const QString line = in.readLine();
            const qsizetype eq = line.indexOf(QLatin1Char('='));
            if (eq <= 0 || line.startsWith(QLatin1Char('#')))
                continue;
            QString value = line.mid(eq + 1);
            if (value.size() >= 2 && value.startsWith(QLatin1Char('\'')) && value.endsWith(QLatin1Char('\'')))
                value = value.mid(1, value.size() - 2);
            values.insert(line.left(eq).trimmed(), value);
        }
    });
    return values;
}

} // namespace

QString domainDir()
{
    return QString::fromLocal8Bit(qgetenv("ARV_TEST_DOMAIN"));
}

QString fact(const char *key)
{
    return facts().value(QString::fromLatin1(key));
}

bool domainAvailable()
{
    const QString addr = fact("ADDR");
    if (addr.isEmpty())
        return false;
    QTcpSocket socket;
    socket.connectToHost(addr, fact("LDAP_PORT").isEmpty() ? 389 : fact("LDAP_PORT").toUShort());
    return socket.waitForConnected(3000);
}

void useDomainEnvironment()
{
    static std::once_flag once;
    std::call_once(once, [] {
        if (!fact("KRB5_CONFIG").isEmpty())
            qputenv("KRB5_CONFIG", fact("KRB5_CONFIG").toLocal8Bit());
        if (!fact("CA_FILE").isEmpty())
            qputenv("LDAPTLS_CACERT", fact("CA_FILE").toLocal8Bit());
        // Never the developer's own ticket cache: tests obtain their tickets themselves.
        if (qEnvironmentVariableIsEmpty("KRB5CCNAME"))
            qputenv("KRB5CCNAME", QByteArray("MEMORY:arvendel-tests"));
    });
}

} // namespace testsupport
