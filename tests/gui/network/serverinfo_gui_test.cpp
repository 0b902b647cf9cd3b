// " Server Info" on the network domain: both controllers listed, the clicked one's RootDSE
// rows as ldapsearch reads them, a refused bind answered in "  Credentials", the values viewer.
#include "core/unConnection.h"
#include "network/unServerInfo.h"
#include "network_gui_support.h"
#include "support/ldaptools.h"
#include "platform/office/workbook.h"
#include "ui/prompt.h"
#include "ui/unMVADSI.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QToolButton>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>

using namespace nettest;
using testsupport::fact;

namespace {

class ServerInfo : public ::testing::Test {
protected:
    void SetUp() override
    {
        ARV_REQUIRE_DOMAIN();
        ASSERT_FALSE(fact("DC2_ADDR").isEmpty()) << "the network domain has no second controller";
        useDomainDns();
        TConnectionSettings s = mwtest::domainSettings();
        ConnectWithSettings(s);
        cred = ServerInfoCredentialsFromContext();
    }
    void TearDown() override { DisconnectContext(); }

    // The RootDSE of a controller as ldapsearch reads it (anonymously).
    static testsupport::LdifEntry rootDseOf(const QString &addr)
    {
        const auto r = testsupport::runTool(QStringLiteral("ldapsearch"),
                                            {"-x", "-LLL", "-H", "ldap://" + addr, "-b", "", "-s", "base",
                                             "dnsHostName", "namingContexts", "supportedLDAPVersion",
                                             "isSynchronized", "configurationNamingContext"},
                                            {}, testsupport::toolEnvironment());
        const auto entries = testsupport::parseLdif(r.out);
        return entries.isEmpty() ? testsupport::LdifEntry() : entries.first();
    }

    static const TServerProperty *row(const TfrmServerInfo &d, const QString &attribute)
    {
        for (const TServerProperty &p : d.properties())
            if (p.Attribute == attribute)
                return &p;
        return nullptr;
    }

    static int indexOf(const TfrmServerInfo &d, const QString &name)
    {
        for (int i = 0; i < d.servers().size(); ++i)
            if (d.servers()[i].ServerName.compare(name, Qt::CaseInsensitive) == 0)
                return i;
        return -1;
    }

    TServerInfoCredentials cred;
};

} // namespace

TEST_F(ServerInfo, ListsBothControllersAndShowsEachOnesRootDse)
{
    TfrmServerInfo d(cred);
    d.ListServers();
    auto *list = d.findChild<QTreeWidget *>("lvDCServers");
    ASSERT_EQ(list->topLevelItemCount(), 2);
    const int i1 = indexOf(d, fact("HOST")), i2 = indexOf(d, "DC2");
    ASSERT_GE(i1, 0);
    ASSERT_GE(i2, 0);
    EXPECT_EQ(list->topLevelItem(i2)->text(1), fact("DC2_DNS_HOST"));
    EXPECT_TRUE(list->topLevelItem(i2)->text(2).startsWith("CN=DC2,CN=Servers,"));
    EXPECT_TRUE(list->isColumnHidden(2));

    ui::ScriptedPrompts prompts;
    for (const auto &[index, addr] : {std::pair{i2, fact("DC2_ADDR")}, std::pair{i1, fact("ADDR")}}) {
        d.lvDCServersClick(list->topLevelItem(index));
        const testsupport::LdifEntry expected = rootDseOf(addr);
        ASSERT_FALSE(expected.dn.isNull() && expected.attributes.isEmpty());
        const TServerProperty *host = row(d, "dnsHostName");
        ASSERT_NE(host, nullptr) << d.lastPath().toStdString();
        EXPECT_EQ(host->Value, expected.text("dnsHostName"));
        EXPECT_EQ(row(d, "isSynchronized")->Value, expected.text("isSynchronized"));
        const TServerProperty *ncs = row(d, "namingContexts");
        ASSERT_NE(ncs, nullptr);
        EXPECT_TRUE(ncs->MultiValued);
        QSet<QString> want, got;
        for (const QByteArray &v : expected.values("namingContexts")) {
            want << QString::fromUtf8(v);
            EXPECT_TRUE(ncs->Value.contains("[" + QString::fromUtf8(v) + "]"));
        }
        for (const QString &v : ViewerLines(*ncs))
            got << v;
        EXPECT_EQ(got, want);
        auto *props = d.findChild<QTreeWidget *>("lvServerProperies");
        ASSERT_EQ(props->topLevelItemCount(), d.properties().size());
        EXPECT_EQ(props->topLevelItem(0)->text(0), "Configuration Naming Context");
        EXPECT_EQ(props->topLevelItem(0)->text(2), "0");
    }
    // The connected controller keeps the connection's path; the other is bound by its host
    // name, which the system's resolver knows (as a domain member's does).
    EXPECT_EQ(d.lastPath(), cred.Prefix + "RootDSE");
    d.lvDCServersClick(list->topLevelItem(i2));
    EXPECT_EQ(d.lastPath(), "LDAP://" + fact("DC2_DNS_HOST") + ":389/RootDSE");
    EXPECT_EQ(prompts.asked().size(), 0);

    // A multi-valued row opens in the viewer, one line per value.
    auto *props = d.findChild<QTreeWidget *>("lvServerProperies");
    int ncsRow = -1;
    for (int i = 0; i < d.properties().size(); ++i)
        if (d.properties()[i].Attribute == "namingContexts")
            ncsRow = i;
    ASSERT_GE(ncsRow, 0);
    EXPECT_EQ(props->topLevelItem(ncsRow)->text(2), "1");
    QStringList shown;
    QString title;
    whenModal<ui::TfrmMVADSI>([&](ui::TfrmMVADSI *v) {
        shown = v->lines();
        title = v->windowTitle();
        v->accept();
    });
    d.lvServerProperiesDblClick(props->topLevelItem(ncsRow));
    EXPECT_EQ(title, " \"Naming Contexts\" for [DC2]");
    // The viewer holds exactly the values the controller returns, whatever their order.
    QStringList expected;
    for (const QByteArray &v : rootDseOf(fact("DC2_ADDR")).values(QStringLiteral("namingContexts")))
        expected << QString::fromUtf8(v);
    ASSERT_GE(expected.size(), 3);
    expected.sort(Qt::CaseInsensitive);
    shown.sort(Qt::CaseInsensitive);
    EXPECT_EQ(shown, expected);
}

TEST_F(ServerInfo, RefusedBindAsksForCredentialsAndCancelShowsTheFirstError)
{
    TfrmServerInfo d(cred);
    d.ListServers();
    TServerInfoCredentials wrong = cred;
    wrong.Password = QStringLiteral("not the password");
    d.setCredentials(wrong);
    auto *list = d.findChild<QTreeWidget *>("lvDCServers");
    const int i2 = indexOf(d, "DC2");
    ASSERT_GE(i2, 0);

    // A correct answer shows the details.
    bool asked = false;
    whenModal<TfrmServerCredential>([&](TfrmServerCredential *c) {
        asked = true;
        EXPECT_EQ(c->windowTitle(), "  Credentials");
        EXPECT_TRUE(c->cbUseSecureAuthentication->isChecked());
        EXPECT_EQ(c->ebPassword->echoMode(), QLineEdit::Password);
        c->ebUserName->setText(fact("ADMIN_USER"));
        c->ebPassword->setText(fact("ADMIN_PASSWORD"));
        c->cbUseSecureAuthentication->setChecked(false);  // a simple bind
        c->btOK->click();
    });
    ui::ScriptedPrompts prompts;
    d.lvDCServersClick(list->topLevelItem(i2));
    EXPECT_TRUE(asked);
    EXPECT_EQ(prompts.asked().size(), 0);
    ASSERT_NE(row(d, "dnsHostName"), nullptr);
    EXPECT_EQ(row(d, "dnsHostName")->Value, fact("DC2_DNS_HOST"));

    // Cancel: the first bind's error is shown, the list stays empty, the dialog stays usable.
    whenModal<TfrmServerCredential>([&](TfrmServerCredential *c) { c->btCancel->click(); });
    d.lvDCServersClick(list->topLevelItem(i2));
    ASSERT_EQ(prompts.asked().size(), 1);
    EXPECT_FALSE(prompts.asked().at(0).text.isEmpty());
    EXPECT_TRUE(d.properties().isEmpty());
    d.setCredentials(cred);
    d.lvDCServersClick(list->topLevelItem(i2));
    EXPECT_FALSE(d.properties().isEmpty());
}

TEST_F(ServerInfo, ListingWithoutAConfigurationContextOrBindFails)
{
    TServerInfoCredentials bad = cred;
    bad.Prefix = QStringLiteral("LDAP://127.0.0.254:389/");
    TfrmServerInfo d(bad);
    EXPECT_THROW(d.ListServers(), EADSIException);
    EXPECT_EQ(d.findChild<QTreeWidget *>("lvDCServers")->topLevelItemCount(), 0);
}

TEST_F(ServerInfo, ExcelButtonWithAnOfficeApplicationWritesTheListAsAWorkbook)
{
    // A desktop whose only application opens workbooks; opening is caught, not done.
    QTemporaryDir desk;
    for (const char *v : {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME"})
        qputenv(v, (desk.path() + "/none").toLocal8Bit());
    qputenv("XDG_DATA_DIRS", (desk.path() + "/share").toLocal8Bit());
    QDir().mkpath(desk.path() + "/share/applications");
    QFile entry(desk.path() + "/share/applications/calc.desktop");
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nName=Calc\nMimeType=application/vnd.openxmlformats-officedocument.spreadsheetml.sheet;\n");
    entry.close();
    QString opened;
    office::setOpenWithDesktopHook([&](const QString &path) {
        opened = path;
        return true;
    });

    TfrmServerInfo d(cred);
    d.ListServers();
    auto *button = d.findChild<QToolButton *>("sbRawToExcel");
    EXPECT_FALSE(button->isVisibleTo(&d));  // no rows yet
    const int i2 = indexOf(d, "DC2");
    ASSERT_GE(i2, 0);
    ui::ScriptedPrompts prompts;
    d.lvDCServersClick(d.findChild<QTreeWidget *>("lvDCServers")->topLevelItem(i2));
    EXPECT_TRUE(button->isVisibleTo(&d));
    d.sbRawToExcelClick();
    office::setOpenWithDesktopHook(nullptr);
    EXPECT_EQ(prompts.asked().size(), 0);
    ASSERT_FALSE(opened.isEmpty());
    EXPECT_EQ(QFile(QFileInfo(opened).path()).permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup), 0);
    QProcess p;
    p.start("/usr/bin/python3", {"-c",
                                 "import sys, openpyxl\n"
                                 "ws = openpyxl.load_workbook(sys.argv[1]).active\n"
                                 "print(ws.cell(1, 1).value)\n"
                                 "print(ws.cell(3, 1).value)\n"
                                 "print(ws.max_row)\n",
                                 opened});
    ASSERT_TRUE(p.waitForFinished(60000));
    const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << p.readAllStandardError().toStdString();
    EXPECT_EQ(lines[0], "DC2  Server Info");
    EXPECT_EQ(lines[1], d.properties().first().Caption);
    EXPECT_EQ(lines[2].toInt(), d.properties().size() + 5);
    QDir(QFileInfo(opened).path()).removeRecursively();
}
