// The user document of a seeded user against the test domain, read back with python-docx.
#include "core/unValues.h"
#include "core/unConnection.h"
#include "main/unGridOutput.h"
#include "quickpanel_support.h"
#include "export_support.h"
#include "support/ldaptools.h"
#include "support/testdomain.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>

#include <algorithm>
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

namespace {

class PanelDocument : public qptest::PanelTest {
protected:
    void SetUp() override
    {
        qptest::PanelTest::SetUp();
        exporttest::connectAsAdmin();
    }
};

} // namespace

TEST_F(PanelDocument, ThePanelsUserWithThePanelsOwnLabels)
{
    const QString dn = QStringLiteral("CN=Ada Fullprofile,OU=Showcase,") + fact("SEED_OU");
    load(dn);
    ASSERT_EQ(panel.currentDn(), dn);
    // Every caption the document takes from the panel, made recognisable here.
    const QStringList labels = {"lbFirstName", "lbInitials", "lbLastName", "lbDisplayName", "lbDescription", "lbOffice",
                                "lbStreet", "lbPOBox", "lbCity", "lbZip", "lbStateProvince", "lbPhoneBusiness",
                                "lbhomePhone", "lbPagerPhone", "lbMobilePhone", "lbFacsimileTelephoneNumber", "lbIPPhone",
                                "lbTitle", "lbDepartment", "lbCompany", "lbManager", "lbEMail", "lbWebPage", "lbNotes"};
    QStringList captions;
    for (const QString &name : labels) {
        auto *l = panel.findChild<QLabel *>(name);
        ASSERT_NE(l, nullptr) << name.toStdString();
        l->setText(QStringLiteral("[%1]").arg(name));
        captions << l->text();
    }
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("panel.docx"));
    const gridoutput::WriteResult r = gridoutput::WritePanelUserDocument(panel, file);
    ASSERT_TRUE(r.ok) << r.error.toStdString();

    QStringList paragraphs;
    for (const auto &v : exporttest::readBack({QStringLiteral("docx"), file}).value(QStringLiteral("paragraphs")).toArray())
        paragraphs << v.toString();
    EXPECT_TRUE(paragraphs.contains(QStringLiteral("DN:  ") + dn));
    for (const QString &caption : captions) {
        const bool found = std::any_of(paragraphs.begin(), paragraphs.end(),
                                       [&](const QString &p) { return p.startsWith(caption); });
        EXPECT_TRUE(found) << caption.toStdString();
    }
    const auto e = testsupport::ldapSearch(dn, QStringLiteral("(objectClass=*)"), {QStringLiteral("mail"), QStringLiteral("homePhone")},
                                           testsupport::Account::admin(), {QStringLiteral("-s"), QStringLiteral("base")});
    ASSERT_EQ(e.size(), 1);
    EXPECT_TRUE(paragraphs.contains(QStringLiteral("[lbEMail] ") + e.first().text(QStringLiteral("mail"))));
    EXPECT_TRUE(paragraphs.contains(QStringLiteral("[lbhomePhone] ") + e.first().text(QStringLiteral("homePhone"))));

    // No user shown: nothing is written.
    panel.hidePanel();
    EXPECT_FALSE(gridoutput::WritePanelUserDocument(panel, dir.filePath(QStringLiteral("none.docx"))).ok);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("none.docx"))));
}
