// The network windows in the program: the hidden browser made at start (not counted as an
// open window), "Server(s) Information" of the main window listing both controllers.
#include "main/unMain.h"
#include "network/unNetOpenEnum.h"
#include "network/unNetworkWiring.h"
#include "network/unServerInfo.h"
#include "network_gui_support.h"
#include "ui/prompt.h"

#include <QAction>

using namespace nettest;
using testsupport::fact;

TEST(NetworkWiring, BrowserMadeAtStartAndServerInformationListsBothControllers)
{
    ARV_REQUIRE_DOMAIN();
    ASSERT_FALSE(fact("DC2_ADDR").isEmpty()) << "the network domain has no second controller";
    useDomainDns();
    mwtest::TempSettings store;
    ASSERT_TRUE(SaveConnectionSettings(mwtest::domainSettings()));
    ui::ScriptedPrompts script;
    TfrmMain w;
    network::wireMainWindow(w);
    TfrmNetOpenEnum *browser = TfrmNetOpenEnum::instance();
    ASSERT_NE(browser, nullptr);
    EXPECT_EQ(browser->objectName(), "frmNetOpenEnum");
    EXPECT_FALSE(browser->isVisible());
    EXPECT_TRUE(browser->Busy() || browser->tree()->topLevelItemCount() == 1);  // scanning from the start
    ASSERT_TRUE(waitFor([&] { return !browser->Busy(); }, 30000));
    w.show();
    EXPECT_TRUE(w.openWindowsCheck());  // the hidden browser does not count

    w.acConnectExecute();
    ASSERT_TRUE(waitFor([&] { return !w.schemaThreadsRunning(); }, 120000));
    ASSERT_TRUE(w.actServerInformation->isEnabled());
    QStringList listed;
    whenModal<TfrmServerInfo>([&](TfrmServerInfo *d) {
        for (const TDcServer &s : d->servers())
            listed << s.DnsHostName.toLower();
        d->accept();
    });
    w.actServerInformation->trigger();
    listed.sort();
    EXPECT_EQ(listed, (QStringList{fact("DNS_HOST").toLower(), fact("DC2_DNS_HOST").toLower()}));
    EXPECT_TRUE(script.messages().isEmpty()) << script.messages().join("|").toStdString();
    delete browser;
    EXPECT_EQ(TfrmNetOpenEnum::instance(), nullptr);
}
