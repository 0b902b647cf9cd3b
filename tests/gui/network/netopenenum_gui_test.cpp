// "Browse for Server" on the network domain: the tree from real SRV records, rescanning,
// the server's texts read off the window's thread (a stopped and a silent controller), the
// busy rules, and the connection dialog's "  ..." filling the server name and the domain.
#include "main/unConnectionDlg.h"
#include "network/unNetOpenEnum.h"
#include "network_gui_support.h"
#include "platform/registry/registry.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

using namespace nettest;
using testsupport::fact;

namespace {

class BrowseForServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        ARV_REQUIRE_DOMAIN();
        ASSERT_FALSE(fact("DC2_ADDR").isEmpty()) << "the network domain has no second controller";
        useDomainDns();
    }
    void TearDown() override { netenum::setSource(nullptr); }

    static QTreeWidgetItem *domainNode(TfrmNetOpenEnum &f)
    {
        return child(f.tree()->topLevelItem(0), fact("DNS_DOMAIN"));
    }
    static QString dc1() { return fact("DNS_HOST").toLower(); }
    static QString dc2() { return fact("DC2_DNS_HOST").toLower(); }
};

} // namespace

TEST_F(BrowseForServer, ScanListsTheDomainAndBothControllersAndRescanAddsNothingTwice)
{
    TfrmNetOpenEnum f(nullptr, false);
    EXPECT_EQ(f.windowTitle(), " Browse for Server...");
    f.ScanNetwork(nullptr);
    EXPECT_TRUE(f.Busy());
    EXPECT_EQ(f.windowTitle(), " Scaning for Servers...");
    EXPECT_TRUE(f.findChild<QProgressBar *>("pbScan")->isVisibleTo(&f));
    ASSERT_TRUE(waitFor([&] { return !f.Busy(); }, 30000));
    EXPECT_EQ(f.windowTitle(), " Browse for Server...");
    EXPECT_FALSE(f.findChild<QProgressBar *>("pbScan")->isVisibleTo(&f));
    ASSERT_EQ(f.tree()->topLevelItemCount(), 1);
    QTreeWidgetItem *domain = domainNode(f);
    ASSERT_NE(domain, nullptr);
    EXPECT_EQ(childTexts(domain), (QStringList{dc1(), dc2()}));

    // The network selected: ReScan Selected is offered; after a walk only for a domain.
    auto *rescan = f.findChild<QPushButton *>("btReScan");
    auto *ok = f.findChild<QPushButton *>("btOK");
    f.tree()->setCurrentItem(f.tree()->topLevelItem(0));
    EXPECT_TRUE(rescan->isVisibleTo(&f));
    f.ScanNetwork(nullptr);
    ASSERT_TRUE(waitFor([&] { return !f.Busy(); }, 30000));
    EXPECT_EQ(f.tree()->currentItem(), f.tree()->topLevelItem(0));
    EXPECT_FALSE(rescan->isVisibleTo(&f));
    domain = domainNode(f);
    ASSERT_NE(domain, nullptr);
    // The domain selected: ReScan Selected is offered, OK is not.
    f.tree()->setCurrentItem(domain);
    EXPECT_TRUE(rescan->isVisibleTo(&f));
    EXPECT_FALSE(ok->isEnabled());
    f.btReScanClick();
    EXPECT_EQ(f.windowTitle(), "Scaning for Servers...");
    EXPECT_FALSE(rescan->isVisibleTo(&f));
    ASSERT_TRUE(waitFor([&] { return !f.Busy(); }, 30000));
    EXPECT_EQ(childTexts(domain), (QStringList{dc1(), dc2()}));
    EXPECT_TRUE(rescan->isVisibleTo(&f));
    // Scanning the whole network again keeps one node per name.
    f.ScanNetwork(nullptr);
    ASSERT_TRUE(waitFor([&] { return !f.Busy(); }, 30000));
    EXPECT_EQ(f.tree()->topLevelItemCount(), 1);
    EXPECT_EQ(childTexts(domainNode(f)), (QStringList{dc1(), dc2()}));

    // A server: OK is enabled and the label describes it; its descriptor names it.
    QTreeWidgetItem *server = child(domainNode(f), dc1());
    f.tree()->setCurrentItem(server);
    EXPECT_TRUE(ok->isEnabled());
    EXPECT_FALSE(rescan->isVisibleTo(&f));
    auto *label = f.findChild<QLabel *>("lbServerType");
    EXPECT_TRUE(label->isVisibleTo(&f));
    EXPECT_TRUE(waitFor([&] { return !label->text().isEmpty(); }, 30000));
    EXPECT_TRUE(label->text().startsWith("OS Version: [NT] ")) << label->text().toStdString();
    EXPECT_TRUE(label->text().contains("\r\nSupport:[WKS][SVR]")) << label->text().toStdString();
    EXPECT_EQ(f.NetServer()->ServerName(), "\\\\" + dc1());
    ASSERT_NE(f.descriptorOf(server), nullptr);
    EXPECT_EQ(f.descriptorOf(server)->remoteName, "\\\\" + dc1());
    f.btOKClick();
    EXPECT_EQ(f.result(), QDialog::Accepted);
    EXPECT_EQ(f.SelectedServer(), dc1());
    EXPECT_EQ(f.SelectedDomain(), fact("DNS_DOMAIN"));
}

TEST_F(BrowseForServer, ServerFactsAreReadOffTheWindowsThreadAndDroppedWhenTheSelectionMoves)
{
    TfrmNetOpenEnum f(nullptr, true);
    ASSERT_TRUE(waitFor([&] { return !f.Busy(); }, 30000));
    QTreeWidgetItem *first = child(domainNode(f), dc1());
    QTreeWidgetItem *second = child(domainNode(f), dc2());
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    auto *label = f.findChild<QLabel *>("lbServerType");
    const auto describesDc1 = [&] { return label->text().contains("[PDC]"); };
    ASSERT_EQ(runDomainScript({QStringLiteral("stop-dc2")}), 0);

    // A stopped controller shows "Unknown", and the component forgets its name.
    f.tree()->setCurrentItem(second);
    const bool unknown = waitFor([&] { return label->text() == "Unknown"; }, 30000);
    const QString forgotten = f.NetServer()->ServerName();

    // A host that takes the connection and then never answers (nothing accepts it).
    const int silent = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(silent, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(389);
    ::inet_pton(AF_INET, fact("DC2_ADDR").toLatin1().constData(), &a.sin_addr);
    const bool listening = ::bind(silent, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 && ::listen(silent, 8) == 0;
    f.tree()->setCurrentItem(first);
    const bool firstShown = waitFor(describesDc1, 30000);
    // Its read waits on another thread: the window has not given up on it yet, and the next
    // selection is taken at once; the silent host's answer, when its wait ends, is dropped.
    f.tree()->setCurrentItem(second);
    const QString whileWaiting = label->text();
    f.tree()->setCurrentItem(first);
    const bool back = waitFor(describesDc1, 30000);
    const bool ended = waitFor([&] { return f.serverReadsRunning() == 0; }, 30000);
    QApplication::processEvents();
    const QString afterwards = label->text();
    // Closing the window cancels a read that waits; nothing arrives afterwards.
    f.tree()->setCurrentItem(second);
    f.reject();
    const bool closedEnded = waitFor([&] { return f.serverReadsRunning() == 0; }, 30000);
    QApplication::processEvents();
    const QString afterClose = label->text();
    ::close(silent);

    EXPECT_EQ(runDomainScript({QStringLiteral("join-dc")}), 0);  // starts it again
    EXPECT_TRUE(unknown) << label->text().toStdString();
    EXPECT_TRUE(forgotten.isEmpty());
    ASSERT_TRUE(listening);
    EXPECT_TRUE(firstShown);
    EXPECT_NE(whileWaiting, "Unknown");
    EXPECT_TRUE(back);
    EXPECT_TRUE(ended);
    EXPECT_TRUE(afterwards.contains("[PDC]")) << afterwards.toStdString();
    EXPECT_TRUE(closedEnded);
    EXPECT_NE(afterClose, "Unknown");
}

TEST_F(BrowseForServer, WhileBusyTheSelectionStaysAndNodesDoNotOpen)
{
    // A source that answers the domain level only after a pause, so the walk is still busy.
    std::atomic<bool> release{false};
    netenum::setSource([&](const netenum::Resource *start, QString *, int *status) {
        *status = netenum::NO_ERROR;
        netenum::Resource r;
        if (!start) {
            r.displayType = netenum::RESOURCEDISPLAYTYPE_NETWORK;
            r.remoteName = QStringLiteral("Net");
            return QList<netenum::Resource>{r};
        }
        if (start->displayType == netenum::RESOURCEDISPLAYTYPE_NETWORK) {
            QList<netenum::Resource> l;
            for (const char *d : {"one.test", "two.test"}) {
                r.displayType = netenum::RESOURCEDISPLAYTYPE_DOMAIN;
                r.remoteName = QString::fromLatin1(d);
                l << r;
            }
            return l;
        }
        if (start->displayType == netenum::RESOURCEDISPLAYTYPE_DOMAIN) {
            while (!release)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            r.displayType = netenum::RESOURCEDISPLAYTYPE_SERVER;
            r.remoteName = QStringLiteral("\\\\srv.") + start->remoteName;
            return QList<netenum::Resource>{r, r};  // the same server twice
        }
        *status = netenum::ERROR_NOT_CONTAINER;
        return QList<netenum::Resource>{};
    });
    TfrmNetOpenEnum f(nullptr, true);
    ASSERT_TRUE(waitFor([&] { return f.tree()->topLevelItemCount() == 1 && f.tree()->topLevelItem(0)->childCount() >= 1; },
                        10000));
    QTreeWidgetItem *net = f.tree()->topLevelItem(0);
    f.tree()->setCurrentItem(net);
    QTreeWidgetItem *first = net->child(0);
    f.tree()->setCurrentItem(first);
    EXPECT_EQ(f.tree()->currentItem(), net);  // refused while busy
    net->setExpanded(false);
    first->setExpanded(true);
    EXPECT_FALSE(first->isExpanded());
    EXPECT_FALSE(f.findChild<QPushButton *>("btOK")->isEnabled());
    release = true;
    ASSERT_TRUE(waitFor([&] { return !f.Busy(); }, 10000));
    // Each domain got its server once, though the source named it twice.
    EXPECT_EQ(childTexts(child(net, "one.test")), QStringList{"srv.one.test"});
    EXPECT_EQ(childTexts(child(net, "two.test")), QStringList{"srv.two.test"});
    f.tree()->setCurrentItem(child(net, "two.test"));
    EXPECT_EQ(f.tree()->currentItem()->text(0), "two.test");
}

TEST_F(BrowseForServer, ConnectionDialogTakesThePickedServerAndItsDomain)
{
    QTemporaryDir dir;
    registry::setStoreFile(dir.filePath("settings.ini"));
    TfrmNetOpenEnum browser(nullptr, true);
    ASSERT_TRUE(waitFor([&] { return !browser.Busy(); }, 30000));
    TfrmNetOpenEnum::setInstance(&browser);
    TfrmConnection::setServerBrowser(
        [](QWidget *parent, QString *server, QString *domain) { return TfrmNetOpenEnum::BrowseForServer(parent, server, domain); });
    TConnectionSettings s;  // the default server
    TfrmConnection dlg(s);
    auto *select = dlg.findChild<QWidget *>("sbSelect");
    ASSERT_NE(select, nullptr);
    EXPECT_TRUE(select->isEnabled());
    whenModal<TfrmNetOpenEnum>([&](TfrmNetOpenEnum *b) {
        b->tree()->setCurrentItem(child(domainNode(*b), dc2()));
        b->btOKClick();
    });
    dlg.sbSelectClick();
    EXPECT_EQ(dlg.findChild<QLineEdit *>("ebServerName")->text(), dc2());
    EXPECT_TRUE(dlg.findChild<QRadioButton *>("rbSelectPC")->isChecked());
    EXPECT_EQ(dlg.browsedDomain(), fact("DNS_DOMAIN"));
    EXPECT_EQ(dlg.settings().ServerName, dc2());
    EXPECT_FALSE(dlg.settings().UseDefaultServer);

    // Cancel changes nothing.
    whenModal<TfrmNetOpenEnum>([](TfrmNetOpenEnum *b) { b->reject(); });
    dlg.findChild<QLineEdit *>("ebServerName")->setText("other");
    dlg.sbSelectClick();
    EXPECT_EQ(dlg.findChild<QLineEdit *>("ebServerName")->text(), "other");
    TfrmConnection::setServerBrowser(nullptr);
    TfrmNetOpenEnum::setInstance(nullptr);
    registry::setStoreFile(QString());
}

TEST_F(BrowseForServer, ClosingWhileScanningStopsTheWalk)
{
    std::atomic<int> calls{0};
    netenum::setSource([&](const netenum::Resource *start, QString *, int *status) {
        *status = netenum::NO_ERROR;
        ++calls;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        netenum::Resource r;
        r.displayType = start ? netenum::RESOURCEDISPLAYTYPE_DOMAIN : netenum::RESOURCEDISPLAYTYPE_NETWORK;
        QList<netenum::Resource> l;
        for (int i = 0; i < 20; ++i) {
            r.remoteName = QStringLiteral("d%1").arg(i);
            l << r;  // every level has twenty containers: a walk that would take very long
        }
        return l;
    });
    auto *f = new TfrmNetOpenEnum(nullptr, true);
    ASSERT_TRUE(waitFor([&] { return calls >= 3; }, 10000));
    delete f;  // waits for the walk, which stops at the next entry instead of finishing
    const int after = calls;
    EXPECT_LT(after, 20);
    QApplication::processEvents();  // queued nodes for the deleted window go nowhere
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(calls, after);
}
