// What the window's event processing during a listing or a waiting connect may reach: a
// click on the domain root never clears the rows under the running listing, closing the
// window stops the listing and closes once it has returned, and a connect asked for again
// while one waits does not connect a second time.
#include "mainwindow_support.h"

#include "../../integration/main/usergrid_proxy.h"

#include "main/unMain.h"
#include "main/unSchemaThreads.h"
#include "main/unUserGrid.h"
#include "main/unUserListing.h"
#include "platform/adsi/adsconnection.h"
#include "support/testdomain.h"
#include "ui/prompt.h"

#include <QLabel>
#include <QSpinBox>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace mwtest;

namespace {

QTreeWidgetItem *childNamed(QTreeWidgetItem *parent, const QString &text)
{
    for (int i = 0; i < parent->childCount(); ++i)
        if (parent->child(i)->text(0) == text)
            return parent->child(i);
    return nullptr;
}

// Connects through the relay, opens the seeded OU and finds Bulk (the large group's members)
// with the listing limited to forty rows: plenty, and they keep the trickle short.
// The settings are stored before the window is made, which reads them when it is made.
void storeRelaySettings(const ugtest::DroppingRelay &relay)
{
    TConnectionSettings settings = domainSettings();
    settings.ServerName = QStringLiteral("127.0.0.1");
    settings.Port = QString::number(relay.port());
    ASSERT_TRUE(SaveConnectionSettings(settings));
}

void connectThroughRelay(TfrmMain &w, QTreeWidgetItem **bulk)
{
    w.acConnectExecute();
    ASSERT_TRUE(waitFor([&] { return !w.schemaThreadsRunning(); }, 120000));
    QTreeWidgetItem *root = w.tree()->topLevelItem(0);
    ASSERT_NE(root, nullptr);
    QTreeWidgetItem *seed = childNamed(root, QStringLiteral("Arvendel"));
    ASSERT_NE(seed, nullptr);
    w.tree()->setCurrentItem(seed);  // loads its containers
    ASSERT_TRUE(waitFor([&] { return !w.Busy(); }, 60000));
    *bulk = childNamed(seed, QStringLiteral("Bulk"));
    ASSERT_NE(*bulk, nullptr);
    auto *howMany = w.findChild<QSpinBox *>(QStringLiteral("ebHowMany"));
    ASSERT_NE(howMany, nullptr);
    howMany->setValue(40);
}

} // namespace

TEST(MainWindowReentry, RootSelectedDuringAListingLeavesItsRowsAlone)
{
    ARV_REQUIRE_DOMAIN();
    // Through a relay that, once asked, lets the answers trickle: the listing then waits
    // between rows and processes the window's events there.
    ugtest::DroppingRelay relay(testsupport::fact("ADDR"), 389, QByteArray("no such marker"));
    TempSettings store;
    ASSERT_NO_FATAL_FAILURE(storeRelaySettings(relay));
    ui::ScriptedPrompts script;
    TfrmMain w;
    QTreeWidgetItem *bulk = nullptr;
    ASSERT_NO_FATAL_FAILURE(connectThroughRelay(w, &bulk));
    QTreeWidgetItem *root = w.tree()->topLevelItem(0);
    relay.trickle(true);

    // Once rows are being read, the events the listing processes select the root and ask
    // for a reconnect and the options.
    bool tried = false;
    QTimer meddler;
    QObject::connect(&meddler, &QTimer::timeout, [&] {
        if (tried || !w.Busy() || w.userList()->rows().size() == 0)
            return;
        tried = true;
        w.tree()->setCurrentItem(root);
        w.acConnectExecute();
        w.acOptionsExecute();
    });
    meddler.start(0);
    QList<userlist::ListingResult> finished;
    QObject::connect(w.userList(), &userlist::TUserList::listingFinished,
                     [&](const userlist::ListingResult &r) { finished << r; });
    w.tree()->setCurrentItem(bulk);
    ASSERT_TRUE(waitFor([&] { return !w.Busy(); }, 60000));
    relay.trickle(false);
    meddler.stop();
    ASSERT_TRUE(tried) << finished.size() << " " << (finished.isEmpty() ? 0 : finished.first().read) << " "
                       << (finished.isEmpty() ? std::string() : finished.first().error.toStdString())
                       << script.messages().join("|").toStdString();
    ASSERT_EQ(finished.count(), 1);
    const userlist::ListingResult result = finished.first();
    EXPECT_TRUE(result.error.isEmpty()) << result.error.toStdString();
    EXPECT_GT(result.kept, 0);
    EXPECT_EQ(w.userList()->rows().size(), result.kept);
    EXPECT_EQ(w.grid()->model()->rowCount(), result.kept);
    EXPECT_TRUE(script.messages().isEmpty()) << script.messages().join("|").toStdString();
}

TEST(MainWindowReentry, ClosingTheWindowDuringAListingStopsItAndClosesAfterwards)
{
    ARV_REQUIRE_DOMAIN();
    ugtest::DroppingRelay relay(testsupport::fact("ADDR"), 389, QByteArray("no such marker"));
    TempSettings store;
    ASSERT_NO_FATAL_FAILURE(storeRelaySettings(relay));
    ui::ScriptedPrompts script;
    TfrmMain w;
    w.show();
    QTreeWidgetItem *bulk = nullptr;
    ASSERT_NO_FATAL_FAILURE(connectThroughRelay(w, &bulk));
    relay.trickle(true);

    // Once rows are being read, the events the listing processes close the window: it must
    // not go while the listing runs below that call, and must go once the listing returned.
    bool closeRefused = false;
    bool tried = false;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (tried || !w.Busy() || w.userList()->rows().size() == 0)
            return;
        tried = true;
        closeRefused = !w.close();
    });
    closer.start(0);
    QList<userlist::ListingResult> finished;
    QObject::connect(w.userList(), &userlist::TUserList::listingFinished,
                     [&](const userlist::ListingResult &r) { finished << r; });
    w.tree()->setCurrentItem(bulk);
    ASSERT_TRUE(waitFor([&] { return !w.Busy() && !w.isVisible(); }, 60000))
        << "busy " << w.Busy() << " visible " << w.isVisible();
    relay.trickle(false);
    closer.stop();
    ASSERT_TRUE(tried);
    EXPECT_TRUE(closeRefused);
    ASSERT_EQ(finished.count(), 1);
    // Stopped early: fewer than the forty rows asked for, and no error to show.
    EXPECT_TRUE(finished.first().stopped);
    EXPECT_LT(finished.first().read, 40);
    EXPECT_TRUE(finished.first().error.isEmpty()) << finished.first().error.toStdString();
    EXPECT_TRUE(script.messages().isEmpty()) << script.messages().join("|").toStdString();
}

TEST(MainWindowReentry, ConnectAskedForAgainWhileOneWaitsConnectsOnce)
{
    ARV_REQUIRE_DOMAIN();
    TempSettings store;
    ASSERT_TRUE(SaveConnectionSettings(domainSettings()));
    ui::ScriptedPrompts script;
    TfrmMain w;
    TfrmMain::setConnectWaitForTests(50, 151);
    TSchemaThreadBase::setRowDelayForTests(2); // the schema readers take a few seconds
    w.acConnectExecute();
    ASSERT_TRUE(w.schemaThreadsRunning());

    // The second connect waits for the readers; meanwhile (as OK in the connection dialog
    // does) a third is asked for. It must not open connections of its own.
    int openedByThird = -1;
    QTimer::singleShot(100, &w, [&] {
        const int before = ads::connectionsOpened();
        w.acConnectExecute();
        openedByThird = ads::connectionsOpened() - before;
        TSchemaThreadBase::setRowDelayForTests(0);
    });
    w.acConnectExecute();
    ASSERT_TRUE(waitFor([&] { return !w.schemaThreadsRunning(); }, 120000));
    TfrmMain::setConnectWaitForTests(500, 151);
    EXPECT_EQ(openedByThird, 0);
    EXPECT_EQ(w.tree()->topLevelItemCount(), 1);
    // The status bar says the simple bind of these settings is not protected.
    auto *protection = w.findChild<QLabel *>(QStringLiteral("StatusProtection"));
    ASSERT_NE(protection, nullptr);
    EXPECT_TRUE(protection->text().startsWith(QStringLiteral("Not protected"))) << protection->text().toStdString();
    EXPECT_TRUE(w.acConnect->isEnabled());
    EXPECT_TRUE(script.messages().isEmpty()) << script.messages().join("|").toStdString();
}
