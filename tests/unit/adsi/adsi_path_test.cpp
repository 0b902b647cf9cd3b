// ADsPath parsing and composing, and DN escaping.
#include "platform/adsi/adspath.h"

#include <gtest/gtest.h>

using namespace ads;

TEST(AdsPath, ParsesServerPortDnAndRootDse)
{
    AdsPath p;
    ASSERT_TRUE(AdsPath::parse(QStringLiteral("LDAP://dc1.example.com:636/CN=Users,DC=example,DC=com"), &p));
    EXPECT_EQ(p.server, QStringLiteral("dc1.example.com"));
    EXPECT_EQ(p.port, 636);
    EXPECT_EQ(p.dn, QStringLiteral("CN=Users,DC=example,DC=com"));
    EXPECT_FALSE(p.rootDse);

    ASSERT_TRUE(AdsPath::parse(QStringLiteral("LDAP://CN=Users,DC=example,DC=com"), &p));
    EXPECT_TRUE(p.server.isEmpty());
    EXPECT_EQ(p.port, 0);
    EXPECT_EQ(p.dn, QStringLiteral("CN=Users,DC=example,DC=com"));

    ASSERT_TRUE(AdsPath::parse(QStringLiteral("ldap://RootDSE"), &p));
    EXPECT_TRUE(p.rootDse);
    EXPECT_TRUE(p.server.isEmpty());
    ASSERT_TRUE(AdsPath::parse(QStringLiteral("LDAP://dc1:389/RootDSE"), &p));
    EXPECT_TRUE(p.rootDse);
    EXPECT_EQ(p.server, QStringLiteral("dc1"));
    EXPECT_EQ(p.toString(), QStringLiteral("LDAP://dc1:389/RootDSE"));
    EXPECT_EQ(p.prefix(), QStringLiteral("LDAP://dc1:389/"));

    ASSERT_TRUE(AdsPath::parse(QStringLiteral("LDAP://[::1]:389/DC=x"), &p));
    EXPECT_EQ(p.server, QStringLiteral("::1"));
    EXPECT_EQ(p.toString(), QStringLiteral("LDAP://[::1]:389/DC=x"));
}

TEST(AdsPath, RejectsOtherNamespacesAndBadPorts)
{
    AdsPath p;
    EXPECT_FALSE(AdsPath::parse(QStringLiteral("WinNT://dom/user"), &p));
    EXPECT_FALSE(AdsPath::parse(QStringLiteral("LDAP:/x"), &p));
    EXPECT_FALSE(AdsPath::parse(QStringLiteral("LDAP://dc1:99999/DC=x"), &p));
    EXPECT_FALSE(AdsPath::parse(QStringLiteral("LDAP://dc1:abc/DC=x"), &p));
    EXPECT_FALSE(AdsPath::parse(QStringLiteral("LDAP://:389/DC=x"), &p));
}

TEST(AdsPath, EscapedDistinguishedNamesSurviveARoundTrip)
{
    const QStringList dns = {
        QStringLiteral("CN=Smith\\, John,OU=Sales/Marketing,DC=example,DC=com"),
        QStringLiteral("CN=a\\\\b\\+c\\\"d\\<e\\>f\\;g,DC=x"),
        QStringLiteral("CN=\\#hash\\ ,DC=x"),
        QStringLiteral("CN=Ren\u00e9e \u4e2d\u6587,DC=x"),
        QStringLiteral("CN=slash\\/already,DC=x"),
    };
    for (const QString &dn : dns) {
        for (const QString &server : {QString(), QStringLiteral("dc1:389")}) {
            AdsPath p;
            p.server = server.section(QLatin1Char(':'), 0, 0);
            p.port = server.section(QLatin1Char(':'), 1, 1).toInt();
            p.dn = dn;
            const QString text = p.toString();
            AdsPath back;
            ASSERT_TRUE(AdsPath::parse(text, &back)) << text.toStdString();
            EXPECT_EQ(back.dn, dn.contains(QLatin1String("\\/")) ? QString(dn).replace(QLatin1String("\\/"), QLatin1String("/")) : dn)
                << text.toStdString();
            EXPECT_EQ(back.server, p.server);
        }
    }
    // A "/" in the DN is escaped in the path, so the path is not cut there.
    AdsPath p;
    p.dn = QStringLiteral("OU=Sales/Marketing,DC=x");
    EXPECT_EQ(p.toString(), QStringLiteral("LDAP://OU=Sales\\/Marketing,DC=x"));
}

TEST(DnText, EscapeSplitAndParent)
{
    EXPECT_EQ(escapeRdnValue(QStringLiteral("Smith, John")), QStringLiteral("Smith\\, John"));
    EXPECT_EQ(escapeRdnValue(QStringLiteral("#1 ")), QStringLiteral("\\#1\\ "));
    EXPECT_EQ(escapeRdnValue(QStringLiteral("a+b=c\"<>;\\")), QStringLiteral("a\\+b\\=c\\\"\\<\\>\\;\\\\"));
    EXPECT_EQ(escapeRdnValue(QStringLiteral("two\nlines")), QStringLiteral("two\\0Alines"));
    for (const QString &v : {QStringLiteral("Smith, John"), QStringLiteral(" lead and trail "),
                             QStringLiteral("x\\y\"z"), QStringLiteral("\u00e9t\u00e9\nhiver")})
        EXPECT_EQ(unescapeRdnValue(escapeRdnValue(v)), v);
    EXPECT_EQ(unescapeRdnValue(QStringLiteral("Caf\\C3\\A9")), QStringLiteral("Caf\u00e9"));

    const QString dn = QStringLiteral("CN=Smith\\, John , OU=a\\ ,DC=x");
    EXPECT_EQ(splitDn(dn), (QStringList{QStringLiteral("CN=Smith\\, John"), QStringLiteral("OU=a\\ "),
                                        QStringLiteral("DC=x")}));
    EXPECT_EQ(firstRdn(dn), QStringLiteral("CN=Smith\\, John"));
    EXPECT_EQ(parentDn(dn), QStringLiteral("OU=a\\ ,DC=x"));
    EXPECT_EQ(parentDn(QStringLiteral("DC=x")), QString());
    EXPECT_TRUE(splitDn(QString()).isEmpty());
}
