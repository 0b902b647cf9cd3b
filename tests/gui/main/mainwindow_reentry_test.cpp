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

#include <functional>
#include <memory>

using namespace mwtest;

namespace {

QTreeWidgetItem *childNamed(QTreeWidgetItem *parent, const QString &text)
{
    for (int i = 0; i < parent->childCount(); ++i)
        if (parent->child(i)->text(0) == text)
            return parent->child(i);
    return nullptr;
}

// A window connected through a relay that, once asked, lets the answers trickle: a listing
// then waits between rows and processes the window's events there. The window opens the
// seeded OU and finds Bulk (the large group's members) with the listing limited to forty
// rows: plenty, and they keep the trickle short.
class ListingThroughRelay : public ::testing::Test {
protected:
    void SetUp() override
    {
        ARV_REQUIRE_DOMAIN();
        relay = std::make_unique<ugtest::DroppingRelay>(testsupport::fact("ADDR"), 389, QByteArray("no such marker"));
        // The settings are stored before the window is made, which reads them when it is made.
        TConnectionSettings settings = domainSettings();
        settings.ServerName = QStringLiteral("127.0.0.1");
        settings.Port = QString::number(relay->port());
        ASSERT_TRUE(SaveConnectionSettings(settings));
        w = std::make_unique<TfrmMain>();
    }

    void connectAndFindBulk()
    {
        w->acConnectExecute();
        ASSERT_TRUE(waitFor([&] { return !w->schemaThreadsRunning(); }, 120000));
        QTreeWidgetItem *root = w->tree()->topLevelItem(0);
        ASSERT_NE(root, nullptr);
        QTreeWidgetItem *seed = childNamed(root, QStringLiteral("Arvendel"));
        ASSERT_NE(seed, nullptr);
        w->tree()->setCurrentItem(seed);  // loads its containers
        ASSERT_TRUE(waitFor([&] { return !w->Busy(); }, 60000));
        bulk = childNamed(seed, QStringLiteral("Bulk"));
        ASSERT_NE(bulk, nullptr);
        auto *howMany = w->findChild<QSpinBox *>(QStringLiteral("ebHowMany"));
        ASSERT_NE(howMany, nullptr);
        howMany->setValue(40);
    }

    // Lists Bulk through the trickling relay; once rows are being read, the events the
    // listing processes run meddle (once). Waits until done holds; the listings that ended.
    QList<userlist::ListingResult> listBulkMeddling(const std::function<void()> &meddle,
                                                    const std::function<bool()> &done)
    {
        relay->trickle(true);
        QTimer meddler;
        QObject::connect(&meddler, &QTimer::timeout, [&] {
            if (meddled || !w->Busy() || w->userList()->rows().size() == 0)
                return;
            meddled = true;
            meddle();
        });
        meddler.start(0);
        QList<userlist::ListingResult> finished;
        QObject::connect(w->userList(), &userlist::TUserList::listingFinished,
                         [&](const userlist::ListingResult &r) { finished << r; });
        w->tree()->setCurrentItem(bulk);
        ended = waitFor(done, 60000);
        relay->trickle(false);
        meddler.stop();
        return finished;
    }

    std::unique_ptr<ugtest::DroppingRelay> relay;
    TempSettings store;
    ui::ScriptedPrompts script;
    std::unique_ptr<TfrmMain> w;
    QTreeWidgetItem *bulk = nullptr;
    bool meddled = false, ended = false;
};

} // namespace

TEST_F(ListingThroughRelay, RootSelectedDuringAListingLeavesItsRowsAlone)
{
    ASSERT_NO_FATAL_FAILURE(connectAndFindBulk());
    QTreeWidgetItem *root = w->tree()->topLevelItem(0);
    // The events select the root and ask for a reconnect and the options.
    const QList<userlist::ListingResult> finished = listBulkMeddling(
        [&] {
            w->tree()->setCurrentItem(root);
            w->acConnectExecute();
            w->acOptionsExecute();
        },
        [&] { return !w->Busy(); });
    ASSERT_TRUE(ended);
    ASSERT_TRUE(meddled) << finished.size() << " " << (finished.isEmpty() ? 0 : finished.first().read) << " "
                         << (finished.isEmpty() ? std::string() : finished.first().error.toStdString())
                         << script.messages().join("|").toStdString();
    ASSERT_EQ(finished.count(), 1);
    const userlist::ListingResult result = finished.first();
    EXPECT_TRUE(result.error.isEmpty()) << result.error.toStdString();
    EXPECT_GT(result.kept, 0);
    EXPECT_EQ(w->userList()->rows().size(), result.kept);
    EXPECT_EQ(w->grid()->model()->rowCount(), result.kept);
    EXPECT_TRUE(script.messages().isEmpty()) << script.messages().join("|").toStdString();
}

TEST_F(ListingThroughRelay, ClosingTheWindowDuringAListingStopsItAndClosesAfterwards)
{
    w->show();
    ASSERT_NO_FATAL_FAILURE(connectAndFindBulk());
    // The events close the window: it must not go while the listing runs below that call,
    // and must go once the listing returned.
    bool closeRefused = false;
    const QList<userlist::ListingResult> finished =
        listBulkMeddling([&] { closeRefused = !w->close(); }, [&] { return !w->Busy() && !w->isVisible(); });
    ASSERT_TRUE(ended) << "busy " << w->Busy() << " visible " << w->isVisible();
    ASSERT_TRUE(meddled);
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
