// Listing users against the test domain: exactly the users of a container, the account
// states, hide options, size limit, Stop, Find User, the filter, errors, a connection that
// drops in the middle of a listing, and rewriting a row after the object-changed notice.
#include "main/unUserGrid.h"
#include "main/unUserListing.h"
#include "platform/adsi/adsconnection.h"
#include "platform/adsi/adstypes.h"
#include "support/testdomain.h"
#include "usergrid_ldaptool.h"
#include "usergrid_proxy.h"

#include <QApplication>
#include <QMetaObject>
#include <QSignalSpy>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

using namespace userlist;

namespace {

QString b64(const QString &s)
{
    return QString::fromLatin1(s.toUtf8().toBase64());
}

class UserGridDomain : public ::testing::Test {
protected:
    static inline QString ouDn;
    static inline QString ouName;
    static inline QString setupError;
    static inline std::unique_ptr<ugtest::LdapTool> tool;

    static void SetUpTestSuite()
    {
        if (!testsupport::domainAvailable())
            return;
        tool = std::make_unique<ugtest::LdapTool>();
        ouName = ugtest::uniqueName(QStringLiteral("ug"));
        ouDn = QStringLiteral("OU=%1,%2").arg(ouName, testsupport::fact("BASE_DN"));
        const QString lastLogon = QString::number(ugtest::fileTimeOf(QDateTime(QDate(2024, 3, 1), QTime(10, 0), Qt::UTC)));
        const QString now = QString::number(ugtest::fileTimeOf(QDateTime::currentDateTimeUtc()));
        const QString tag = ouName.section(QLatin1Char('-'), 1).remove(QLatin1Char('-')).right(10);
        QString ldif = QStringLiteral("dn: %1\nobjectClass: organizationalUnit\n\n").arg(ouDn);
        ldif += QStringLiteral("dn: OU=Inner,%1\nobjectClass: organizationalUnit\n\n").arg(ouDn);
        ldif += QStringLiteral("dn: OU=Empty,%1\nobjectClass: organizationalUnit\n\n").arg(ouDn);
        ldif += ugtest::userLdif(QStringLiteral("Ann Normal"), ouDn, QStringLiteral("a") + tag, 0x220,
                                 {QStringLiteral("sn: Zeta"), QStringLiteral("givenName: Ann"),
                                  QStringLiteral("mail: ann@arvendel.test"), QStringLiteral("lastLogon: ") + lastLogon});
        ldif += ugtest::userLdif(QStringLiteral("Ben Disabled"), ouDn, QStringLiteral("b") + tag, 0x222);
        ldif += ugtest::userLdif(QStringLiteral("Cid Expired"), ouDn, QStringLiteral("c") + tag, 0x220);
        ldif += ugtest::userLdif(QStringLiteral("Dee Locked"), ouDn, QStringLiteral("d") + tag, 0x220,
                                 {QStringLiteral("lockoutTime: ") + now});
        ldif += ugtest::userLdif(QStringLiteral("Doe\\, Jane (Smith)"), ouDn, QStringLiteral("e") + tag, 0x220,
                                 {QStringLiteral("description:: ") + b64(QStringLiteral("first line\nsecond, \"quoted\""))});
        ldif += QStringLiteral("dn:: %1\nobjectClass: user\nsAMAccountName: f%2\nuserAccountControl: 544\n\n")
                    .arg(b64(QStringLiteral("CN=Ünïcødé Ωmega,") + ouDn), tag);
        ldif += ugtest::userLdif(QStringLiteral("Notice Target"), ouDn, QStringLiteral("g") + tag, 0x220,
                                 {QStringLiteral("mail: before@arvendel.test")});
        ldif += ugtest::userLdif(QStringLiteral("Inner User"), QStringLiteral("OU=Inner,") + ouDn,
                                 QStringLiteral("h") + tag, 0x220);
        ldif += QStringLiteral("dn: CN=Some Contact,%1\nobjectClass: contact\n\n").arg(ouDn);
        ldif += QStringLiteral("dn: CN=Some Group,%1\nobjectClass: group\nsAMAccountName: i%2\n\n").arg(ouDn, tag);
        // Everyone but Cid has set a password just now (not expired).
        for (const QString &cn : {QStringLiteral("Ann Normal"), QStringLiteral("Ben Disabled"), QStringLiteral("Dee Locked"),
                                  QStringLiteral("Doe\\, Jane (Smith)"), QStringLiteral("Notice Target")})
            ldif += QStringLiteral("dn: CN=%1,%2\nchangetype: modify\nreplace: pwdLastSet\npwdLastSet: -1\n\n").arg(cn, ouDn);
        ldif += QStringLiteral("dn:: %1\nchangetype: modify\nreplace: pwdLastSet\npwdLastSet: -1\n\n")
                    .arg(b64(QStringLiteral("CN=Ünïcødé Ωmega,") + ouDn));
        ldif += QStringLiteral("dn: CN=Inner User,OU=Inner,%1\nchangetype: modify\nreplace: pwdLastSet\npwdLastSet: -1\n\n")
                    .arg(ouDn);
        setupError = tool->modify(ldif);
    }

    static void TearDownTestSuite()
    {
        if (tool && !ouDn.isEmpty())
            tool->removeTree(ouDn);
        tool.reset();
    }

    void SetUp() override
    {
        ARV_REQUIRE_DOMAIN();
        ASSERT_TRUE(setupError.isEmpty()) << setupError.toStdString();
        list = std::make_unique<TUserList>();
        list->setConnection(connection(testsupport::fact("ADDR")));
        list->setHideOptions(false, false);
    }

    static ListingConnection connection(const QString &hostPort)
    {
        ListingConnection c;
        c.serverPrefix = QStringLiteral("LDAP://%1/").arg(hostPort);
        c.userName = testsupport::fact("ADMIN_UPN");
        c.password = testsupport::fact("ADMIN_PASSWORD");
        c.useCredentials = true;
        c.authFlags = 0x200;   // simple bind (the test domain allows it without TLS)
        return c;
    }

    ListingNode node(const QString &dn, const QString &text) const
    {
        return ListingNode{list->connection().serverPrefix + dn, text, true};
    }
    ListingNode ouNode() const { return node(ouDn, ouName); }

    QSet<QString> listedDns() const
    {
        QSet<QString> out;
        for (int i = 0; i < list->rows().size(); ++i)
            out.insert(list->rows().at(i).text(Field::DistinguishedName).toLower());
        return out;
    }
    const TShellItem *byCn(const QString &cn) const
    {
        for (int i = 0; i < list->rows().size(); ++i)
            if (list->rows().at(i).text(Field::Cn) == cn)
                return &list->rows().at(i);
        return nullptr;
    }

    std::unique_ptr<TUserList> list;
};

} // namespace

TEST_F(UserGridDomain, ListsExactlyTheUsersOfTheContainer)
{
    const ListingResult r = list->listUsers(ouNode());
    ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    const QSet<QString> expected =
        tool->dns(ouDn, QStringLiteral("one"), QStringLiteral("(&(objectCategory=person)(objectClass=user))"));
    EXPECT_EQ(expected.size(), 7);
    EXPECT_EQ(listedDns(), expected);
    EXPECT_EQ(r.read, 7);
    EXPECT_EQ(r.kept, 7);
    EXPECT_EQ(list->statusText(), QStringLiteral("  7 items listed in \"%1\" container").arg(ouName));
    EXPECT_FALSE(list->busy());
    ASSERT_TRUE(list->listingNode().has_value());
    EXPECT_EQ(list->listingNode()->path, ouNode().path);

    // Account states from the stored and the computed control values.
    ASSERT_NE(byCn(QStringLiteral("Ann Normal")), nullptr);
    EXPECT_EQ(byCn(QStringLiteral("Ann Normal"))->state(), StateNormal);
    EXPECT_EQ(byCn(QStringLiteral("Ben Disabled"))->state(), StateDisabled);
    EXPECT_EQ(byCn(QStringLiteral("Cid Expired"))->state(), StatePasswordExpired);
    EXPECT_EQ(byCn(QStringLiteral("Dee Locked"))->state(), StateLockedOut);

    // Values as stored: dates, commas, quotes, line breaks, Unicode.
    const TShellItem *ann = byCn(QStringLiteral("Ann Normal"));
    EXPECT_EQ(ann->text(Field::Mail), QStringLiteral("ann@arvendel.test"));
    EXPECT_EQ(ann->text(Field::Sn), QStringLiteral("Zeta"));
    EXPECT_EQ(ads::AdsDate(ann->lastLogon).toDateTime().toUTC().date(), QDate(2024, 3, 1));
    EXPECT_EQ(byCn(QStringLiteral("Cid Expired"))->lastLogon, 0);
    const TShellItem *doe = byCn(QStringLiteral("Doe, Jane (Smith)"));
    ASSERT_NE(doe, nullptr);
    EXPECT_EQ(doe->text(Field::Description), QStringLiteral("first line\nsecond, \"quoted\""));
    EXPECT_NE(byCn(QStringLiteral("Ünïcødé Ωmega")), nullptr);
}

TEST_F(UserGridDomain, HideOptionsDropDisabledAndExpiredButNeverLocked)
{
    list->setHideOptions(true, true);
    const ListingResult r = list->listUsers(ouNode());
    ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    EXPECT_EQ(r.read, 7);
    EXPECT_EQ(r.kept, 5);
    EXPECT_EQ(byCn(QStringLiteral("Ben Disabled")), nullptr);
    EXPECT_EQ(byCn(QStringLiteral("Cid Expired")), nullptr);
    EXPECT_NE(byCn(QStringLiteral("Dee Locked")), nullptr);

    list->setHideOptions(true, false);
    list->listUsers(ouNode());
    EXPECT_EQ(list->rows().size(), 6);
    EXPECT_NE(byCn(QStringLiteral("Cid Expired")), nullptr);
}

TEST_F(UserGridDomain, SizeLimitCountsRowsRead)
{
    list->setHowMany(2);
    ListingResult r = list->listUsers(ouNode());
    ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    EXPECT_EQ(r.read, 2);
    EXPECT_EQ(list->rows().size(), 2);

    // With hiding on, the limit still counts rows read: fewer users may appear.
    list->setHideOptions(true, true);
    list->setHowMany(7);
    r = list->listUsers(ouNode());
    EXPECT_EQ(r.read, 7);
    EXPECT_EQ(list->rows().size(), 5);

    // A limit above 1000 pages (100 a page) and still stops at the limit or the end.
    list->setHideOptions(false, false);
    list->setHowMany(1500);
    r = list->listUsers(ouNode());
    ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    EXPECT_EQ(list->rows().size(), 7);
}

TEST_F(UserGridDomain, StopKeepsTheRowsReadSoFar)
{
    // Stop arrives with the first pending events the listing processes: while it waits for
    // the server's first answer, or after the first row at the latest.
    QMetaObject::invokeMethod(list.get(), [this] { list->stop(); }, Qt::QueuedConnection);
    const ListingResult r = list->listUsers(ouNode());
    EXPECT_TRUE(r.stopped);
    EXPECT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    EXPECT_LE(r.read, 1);
    EXPECT_EQ(list->rows().size(), r.read);
    EXPECT_FALSE(list->busy());
    // The next listing is not stopped by the old request.
    EXPECT_EQ(list->listUsers(ouNode()).read, 7);
}

TEST_F(UserGridDomain, FindUserSearchesTheWholeDomainAndLeavesNoNodeSelected)
{
    QSignalSpy removed(list.get(), &TUserList::treeSelectionRemoved);
    const ListingNode root{list->connection().serverPrefix + testsupport::fact("BASE_DN"), QStringLiteral("arvendel.test"),
                           false};
    ListingResult r = list->findUser(QStringLiteral("CN=Inner User,OU=Inner,") + ouDn, root);
    ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    ASSERT_EQ(list->rows().size(), 1);
    EXPECT_EQ(list->rows().at(0).text(Field::Cn), QStringLiteral("Inner User"));
    EXPECT_EQ(removed.count(), 1);
    EXPECT_FALSE(list->listingNode().has_value());
    EXPECT_EQ(list->statusText(), QStringLiteral("   1 [Filter Activated]"));

    // A DN with an escaped comma and parentheses is found, not misread as filter syntax.
    r = list->findUser(QStringLiteral("CN=Doe\\, Jane (Smith),") + ouDn, root);
    ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    ASSERT_EQ(list->rows().size(), 1);
    EXPECT_EQ(list->rows().at(0).text(Field::Cn), QStringLiteral("Doe, Jane (Smith)"));
}

TEST_F(UserGridDomain, FilterNarrowsAndCancellingRestores)
{
    list->setSelectedNodeProvider([this] { return std::optional<ListingNode>(ouNode()); });
    EXPECT_TRUE(list->applyFilterResult(true, QStringLiteral("(sn=Zeta)"), true));
    ASSERT_EQ(list->rows().size(), 1);
    EXPECT_EQ(list->rows().at(0).text(Field::Cn), QStringLiteral("Ann Normal"));
    EXPECT_TRUE(list->statusText().endsWith(QStringLiteral(" [Filter Activated]")));
    EXPECT_TRUE(list->filterFromBuilder());
    // The same filter in other case does not list again.
    EXPECT_FALSE(list->applyFilterResult(true, QStringLiteral("(SN=zeta)"), true));
    // Cancelling the builder removes the filter and lists everything again.
    EXPECT_TRUE(list->applyFilterResult(false, {}, false));
    EXPECT_EQ(list->rows().size(), 7);
    EXPECT_FALSE(list->statusText().contains(QStringLiteral("[Filter Activated]")));

    // Leaving ebHowMany relists only with a changed value.
    list->setLastHowMany(0);
    EXPECT_TRUE(list->howManyLeft(3));
    EXPECT_EQ(list->rows().size(), 3);
    EXPECT_FALSE(list->howManyLeft(3));
    list->setSelectedNodeProvider([] { return std::optional<ListingNode>(); });
    EXPECT_FALSE(list->howManyLeft(5));
    EXPECT_EQ(list->rows().size(), 3);
}

TEST_F(UserGridDomain, EmptyContainerAndSearchErrors)
{
    ListingResult r = list->listUsers(node(QStringLiteral("OU=Empty,") + ouDn, QStringLiteral("Empty")));
    ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    EXPECT_EQ(list->statusText(), QStringLiteral(" None"));
    list->setCurrentFilter(QStringLiteral("(sn=*)"), false);
    list->listUsers(node(QStringLiteral("OU=Empty,") + ouDn, QStringLiteral("Empty")));
    EXPECT_EQ(list->statusText(), QStringLiteral(" None [Filter Activated]"));
    list->setCurrentFilter({}, false);

    QSignalSpy errors(list.get(), &TUserList::listingError);
    QSignalSpy busy(list.get(), &TUserList::busyChanged);
    r = list->listUsers(node(QStringLiteral("OU=Not There,") + ouDn, QStringLiteral("Not There")));
    EXPECT_FALSE(r.error.isEmpty());
    EXPECT_EQ(errors.count(), 1);
    EXPECT_FALSE(list->busy());
    ASSERT_EQ(busy.count(), 2);
    EXPECT_FALSE(busy.last().at(0).toBool());
    EXPECT_EQ(list->rows().size(), 0);
}

// 150 users: more than one page of 100; made once for the tests that cut a listing short.
static QString manyUsersOu(ugtest::LdapTool &tool, const QString &parent)
{
    static QString made;
    if (!made.isEmpty())
        return made;
    const QString many = QStringLiteral("OU=Many,") + parent;
    QString ldif = QStringLiteral("dn: %1\nobjectClass: organizationalUnit\n\n").arg(many);
    const QString tag = QString::number(QRandomGenerator::global()->bounded(100000));
    for (int i = 0; i < 150; ++i)
        ldif += ugtest::userLdif(QStringLiteral("Many %1").arg(i, 3, 10, QLatin1Char('0')), many,
                                 QStringLiteral("m%1x%2").arg(tag).arg(i), 0x220);
    if (tool.modify(ldif).isEmpty())
        made = many;
    return made;
}

TEST_F(UserGridDomain, DroppedConnectionEndsTheListingAndKeepsTheRowsRead)
{
    const QString many = manyUsersOu(*tool, ouDn);
    ASSERT_FALSE(many.isEmpty());

    ugtest::DroppingRelay relay(testsupport::fact("ADDR"), 389, QByteArray("person"));
    ASSERT_GT(relay.port(), 0);
    list->setConnection(connection(QStringLiteral("127.0.0.1:%1").arg(relay.port())));
    const ListingResult r = list->listUsers(node(many, QStringLiteral("Many")));
    EXPECT_GE(relay.drops(), 1);
    EXPECT_TRUE(r.error.contains(QStringLiteral("connection to the directory server was lost"))) << r.error.toStdString();
    EXPECT_EQ(r.read, 100) << r.error.toStdString();
    EXPECT_EQ(list->rows().size(), 100);
    EXPECT_FALSE(list->busy());

    // Directly, the same container lists completely.
    list->setConnection(connection(testsupport::fact("ADDR")));
    EXPECT_EQ(list->listUsers(node(many, QStringLiteral("Many"))).read, 150);
}

TEST_F(UserGridDomain, HangingServerEndsWithDidNotAnswerAndStopEndsTheWait)
{
    const QString many = manyUsersOu(*tool, ouDn);
    ASSERT_FALSE(many.isEmpty());
    struct TimeoutBack {
        ~TimeoutBack() { ads::setOperationTimeout(60); }
    } timeoutBack;

    // Stop while the second page never comes: the window runs (the timer fires) and the
    // listing ends as stopped, long before the generous timeout. Stop is pressed once the
    // relay has swallowed the request for the second page, so the first page is in however
    // slowly the machine runs (a fixed delay stopped a listing under the sanitizer before
    // its first page had come).
    ads::setOperationTimeout(120);
    {
        ugtest::DroppingRelay relay(testsupport::fact("ADDR"), 389, QByteArray("person"),
                                    ugtest::DroppingRelay::Mode::Silence);
        list->setConnection(connection(QStringLiteral("127.0.0.1:%1").arg(relay.port())));
        QTimer stopper;
        stopper.setInterval(20);
        QObject::connect(&stopper, &QTimer::timeout, list.get(), [&] {
            if (relay.drops() >= 1) {
                stopper.stop();
                list->stop();
            }
        });
        stopper.start();
        const ListingResult r = list->listUsers(node(many, QStringLiteral("Many")));
        EXPECT_TRUE(r.stopped);
        EXPECT_TRUE(r.error.isEmpty()) << r.error.toStdString();
        EXPECT_EQ(relay.drops(), 1);
        EXPECT_EQ(r.read, 100);
        EXPECT_FALSE(list->busy());
    }

    // Nobody stops it: the wait ends after the operation timeout with words that say what
    // happened, and the rows read are kept.
    ads::setOperationTimeout(2);
    {
        ugtest::DroppingRelay relay(testsupport::fact("ADDR"), 389, QByteArray("person"),
                                    ugtest::DroppingRelay::Mode::Silence);
        list->setConnection(connection(QStringLiteral("127.0.0.1:%1").arg(relay.port())));
        const ListingResult r = list->listUsers(node(many, QStringLiteral("Many")));
        EXPECT_FALSE(r.stopped);
        EXPECT_TRUE(r.error.contains(QStringLiteral("did not answer within 2 seconds"))) << r.error.toStdString();
        EXPECT_EQ(r.read, 100);
        EXPECT_EQ(list->rows().size(), 100);
    }

    // The next listing on the real server works.
    ads::setOperationTimeout(60);
    list->setConnection(connection(testsupport::fact("ADDR")));
    EXPECT_EQ(list->listUsers(node(many, QStringLiteral("Many"))).read, 150);
}

TEST_F(UserGridDomain, NoticeRewritesTheListedUsersRowOnly)
{
    TUserGrid grid(list.get());
    list->listUsers(ouNode());
    ASSERT_EQ(grid.model()->rowCount(), 7);
    const QString target = QStringLiteral("CN=Notice Target,") + ouDn;
    const int row = grid.gridModel()->findRowByDn(target.toUpper());
    ASSERT_GE(row, 0);
    const int mailColumn = columnOfTag(7);
    EXPECT_EQ(grid.model()->index(row, mailColumn).data().toString(), QStringLiteral("before@arvendel.test"));

    ASSERT_EQ(tool->modify(QStringLiteral("dn: %1\nchangetype: modify\nreplace: mail\nmail: after@arvendel.test\n-\n"
                                          "replace: userAccountControl\nuserAccountControl: 546\n\n")
                               .arg(target)),
              QString());
    QSignalSpy changed(grid.model(), &QAbstractItemModel::dataChanged);
    QString error;
    EXPECT_EQ(list->refreshUser(target, &error), grid.gridModel()->recordOfRow(row));
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_EQ(grid.model()->index(row, mailColumn).data().toString(), QStringLiteral("after@arvendel.test"));
    EXPECT_EQ(grid.model()->index(row, 0).data(UserGridModel::StateRole).toInt(), StateDisabled);
    EXPECT_EQ(changed.count(), 1);

    // A user who is not listed changes nothing.
    changed.clear();
    EXPECT_EQ(list->refreshUser(QStringLiteral("CN=Inner User,OU=Inner,") + ouDn), -1);
    EXPECT_EQ(changed.count(), 0);
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
