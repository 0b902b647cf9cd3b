#include "export_support.h"

#include "core/unConnection.h"
#include "support/testdomain.h"

#include <QJsonDocument>
#include <QProcess>
#include <gtest/gtest.h>

namespace exporttest {

void connectAsAdmin()
{
    if (!ConnectionContext().DomainPath.isEmpty())
        return;
    TConnectionSettings s;
    s.UseDefaultServer = false;
    s.ServerName = testsupport::fact("ADDR");
    s.Port = testsupport::fact("LDAP_PORT");
    s.SecureAuthentication = false;
    s.UseCredentials = true;
    s.UserName = testsupport::fact("ADMIN_USER");
    s.Password = testsupport::fact("ADMIN_PASSWORD");
    ConnectWithSettings(s);
}

QJsonObject readBack(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            QStringList{qEnvironmentVariable("ARV_SOURCE_DIR") + QStringLiteral("/tests/unit/bulk/readback.py")} + args);
    EXPECT_TRUE(p.waitForFinished(120000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

}  // namespace exporttest
