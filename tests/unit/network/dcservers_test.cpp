// Server information without a directory: which path binds a clicked controller, the mode
// texts, the viewer's lines and the workbook of the property list (read back with openpyxl).
#include "network/unDcServers.h"
#include "core/unValues.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TDcServer dc(const QString &name, const QString &dns)
{
    TDcServer s;
    s.ServerName = name;
    s.DnsHostName = dns;
    return s;
}

} // namespace

TEST(ServerRootDsePath, ConnectedControllerKeepsThePrefixOthersGoByDnsNameWithThePort)
{
    const QString prefix = QStringLiteral("LDAP://dc1:389/");
    EXPECT_EQ(ServerRootDsePath(prefix, "DC1", dc("dc1", "dc1.example.com"), false), "LDAP://dc1:389/RootDSE");
    EXPECT_EQ(ServerRootDsePath(prefix, "DC1", dc("DC2", "dc2.example.com"), false),
              "LDAP://dc2.example.com:389/RootDSE");
    // The connection named an address or no server at all: the clicked name still counts.
    EXPECT_EQ(ServerRootDsePath("LDAP://10.0.0.1:3268/", "DC1", dc("DC2", "dc2.example.com"), false),
              "LDAP://dc2.example.com:3268/RootDSE");
    EXPECT_EQ(ServerRootDsePath("LDAP://", "DC1", dc("DC2", "dc2.example.com"), false),
              "LDAP://dc2.example.com:389/RootDSE");
    EXPECT_EQ(ServerRootDsePath("LDAP://", "DC1", dc("DC2", "dc2.example.com"), true),
              "LDAP://dc2.example.com:636/RootDSE");
    EXPECT_EQ(ServerRootDsePath("LDAP://", "DC1", dc("DC1", "dc1.example.com"), true), "LDAP://RootDSE");
    // No DNS host name: the server name; a resolver's address replaces the name.
    EXPECT_EQ(ServerRootDsePath(prefix, "DC1", dc("DC3", ""), false), "LDAP://DC3:389/RootDSE");
    auto resolver = [](const QString &h) { return h == "dc2.example.com" ? QStringLiteral("127.0.0.50") : QString(); };
    EXPECT_EQ(ServerRootDsePath(prefix, "DC1", dc("DC2", "dc2.example.com"), false, resolver),
              "LDAP://127.0.0.50:389/RootDSE");
    EXPECT_EQ(ServerRootDsePath(prefix, "DC1", dc("DC4", "dc4.example.com"), false, resolver),
              "LDAP://dc4.example.com:389/RootDSE");
    auto v6 = [](const QString &) { return QStringLiteral("fd00::5"); };
    EXPECT_EQ(ServerRootDsePath(prefix, "DC1", dc("DC2", "dc2.example.com"), false, v6), "LDAP://[fd00::5]:389/RootDSE");
}

TEST(ServerProperties, FunctionalityTexts)
{
    EXPECT_EQ(DomainFunctionalityText("2"), "[Windows Server 2003 Domain Mode]");
    EXPECT_EQ(DomainFunctionalityText("1"), "[Windows Server 2003 Interim Domain Mode]");
    EXPECT_EQ(DomainFunctionalityText("0"), "[Windows 2000 Domain Mode]");
    EXPECT_EQ(DomainFunctionalityText("7"), "[Unknown Mode] 7");
    EXPECT_EQ(DcFunctionalityText("3"), "[Unknown Mode] 3");
    EXPECT_EQ(DcFunctionalityText("2"), "[Windows Server 2003 Mode]");
    EXPECT_EQ(DcFunctionalityText("0"), "[Windows 2000 Mode]");
    EXPECT_EQ(DcFunctionalityText("x"), "[Unknown Mode] -1");
    EXPECT_EQ(DcFunctionalityText(""), "[Unknown Mode] -1");
}

TEST(ServerProperties, ViewerLinesSplitBracketedValues)
{
    TServerProperty single;
    single.Value = QStringLiteral("dc1.example.com");
    EXPECT_EQ(ViewerLines(single), QStringList{"dc1.example.com"});
    TServerProperty multi;
    multi.MultiValued = true;
    multi.Value = QStringLiteral("[DC=example,DC=com][CN=Configuration,DC=example,DC=com][3]");
    EXPECT_EQ(ViewerLines(multi),
              (QStringList{"DC=example,DC=com", "CN=Configuration,DC=example,DC=com", "3"}));
    multi.Value.clear();
    EXPECT_TRUE(ViewerLines(multi).isEmpty());
}

TEST(ServerProperties, WorkbookHoldsTitleCaptionsRowsAndCredit)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("server.xlsx"));
    TServerProperty a;
    a.Caption = QStringLiteral("Dns Host Name");
    a.Value = QStringLiteral("dc1.example.com");
    a.Values = {a.Value};
    TServerProperty b;
    b.Caption = QStringLiteral("Supported LDAP Version");
    b.MultiValued = true;
    b.Values = {QStringLiteral("3"), QStringLiteral("2")};
    b.Value = QStringLiteral("[3][2]");
    QString error;
    ASSERT_TRUE(WriteServerPropertiesWorkbook(path, QStringLiteral("DC1"), QStringLiteral(" Server Info"), {a, b}, &error))
        << error.toStdString();
    const char *script = R"(
import sys, openpyxl
ws = openpyxl.load_workbook(sys.argv[1]).active
for r in range(1, ws.max_row + 1):
    for c in (1, 2):
        v = ws.cell(r, c).value
        if isinstance(v, str):
            v = v.replace('_x000D_', '\r')  # the file format's escape of CR; this reader keeps it
        if v is not None:
            print(repr((r, c, v, bool(ws.cell(r, c).font.b), ws.cell(r, c).font.name)))
)";
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromLatin1(script), path});
    ASSERT_TRUE(p.waitForFinished(60000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 8) << lines.join('\n').toStdString();
    EXPECT_EQ(lines[0], "(1, 1, 'DC1  Server Info', True, 'Arial')");
    EXPECT_EQ(lines[1], "(2, 1, 'Attribute Name', True, 'Arial')");
    EXPECT_EQ(lines[2], "(2, 2, 'Attribute Value', True, 'Arial')");
    EXPECT_TRUE(lines[3].startsWith("(3, 1, 'Dns Host Name', False"));
    EXPECT_TRUE(lines[4].startsWith("(3, 2, 'dc1.example.com', False"));
    EXPECT_TRUE(lines[6].startsWith("(4, 2, '3\\r\\n2', False")) << lines[6].toStdString();
    EXPECT_TRUE(lines[7].startsWith(QStringLiteral("(7, 1, 'Created with \"Arvendel - %1\"").arg(GetFileVersionText())))
        << lines[7].toStdString();
}
