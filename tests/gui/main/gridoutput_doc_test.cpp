// The user document of a seeded user against the test domain, read back with python-docx.
#include "core/unValues.h"
#include "core/unConnection.h"
#include "main/unGridOutput.h"
#include "export_support.h"
#include "support/ldaptools.h"
#include "support/testdomain.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using testsupport::fact;

TEST(GridOutputDocument, SectionsFieldsPictureAndFooter)
{
    ARV_REQUIRE_DOMAIN();
    exporttest::connectAsAdmin();
    // A seeded user with a title, a telephone and a picture.
    const auto users = testsupport::ldapSearch(fact("SEED_OU"), QStringLiteral("(&(objectClass=user)(title=*)(telephoneNumber=*)(thumbnailPhoto=*))"),
                                               {QStringLiteral("title"), QStringLiteral("givenName"), QStringLiteral("telephoneNumber")});
    ASSERT_FALSE(users.isEmpty());
    const auto &u = users.first();
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("user.docx"));
    const gridoutput::WriteResult r = gridoutput::WriteUserDocument(u.dn, gridoutput::UserDocumentSections(), file);
    ASSERT_TRUE(r.ok) << r.error.toStdString();

    const QJsonObject j = exporttest::readBack({QStringLiteral("docx"), file});
    QStringList paragraphs;
    for (const auto &v : j.value(QStringLiteral("paragraphs")).toArray())
        paragraphs << v.toString();
    const QString all = paragraphs.join(QLatin1Char('\n'));
    EXPECT_TRUE(paragraphs.contains(QStringLiteral("Short Information for:")));
    EXPECT_TRUE(paragraphs.contains(QStringLiteral("DN:  ") + u.dn));
    int last = -1;
    for (const char *h : {"General Section", "Address Section", "Telephones Section", "Organization Section", "Others Section"}) {
        const int at = int(paragraphs.indexOf(QString::fromLatin1(h)));
        EXPECT_GT(at, last) << h;
        last = at;
    }
    EXPECT_TRUE(all.contains(QLatin1Char(' ') + u.text(QStringLiteral("title")))) << all.toStdString();
    EXPECT_TRUE(all.contains(QLatin1Char(' ') + u.text(QStringLiteral("telephoneNumber"))));
    QStringList bold;
    for (const auto &v : j.value(QStringLiteral("bold")).toArray())
        bold << v.toString();
    EXPECT_TRUE(bold.contains(QLatin1Char(' ') + u.text(QStringLiteral("title"))));
    EXPECT_EQ(j.value(QStringLiteral("footer")).toArray().at(0).toString(), CreatedWithText());
    EXPECT_GE(j.value(QStringLiteral("pictures")).toInt(), 1);
}
