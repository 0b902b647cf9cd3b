#include "mainwindow_support.h"

#include "core/unValues.h"
#include "main/unConnectionDlg.h"
#include "main/unCredentials.h"
#include "main/unDomainTree.h"
#include "main/unMain.h"
#include "main/unSchemaThreads.h"
#include "main/unSingleInstance.h"
#include "main/unUserGrid.h"
#include "platform/registry/registry.h"
#include "support/testdomain.h"
#include "ui/objectbus.h"
#include "ui/prompt.h"

#include <QCheckBox>
#include <QDialog>
#include <QTemporaryDir>
#include <QFile>
#include <QLocalSocket>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <limits>

using namespace mwtest;

namespace {

template <typename T> T *child(QWidget *w, const char *name)
{
    T *c = w->findChild<T *>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

QTreeWidgetItem *childNamed(QTreeWidgetItem *parent, const QString &text)
{
    for (int i = 0; i < parent->childCount(); ++i)
        if (parent->child(i)->text(0) == text)
            return parent->child(i);
    return nullptr;
}

QStringList childTexts(QTreeWidgetItem *parent)
{
    QStringList l;
    for (int i = 0; i < parent->childCount(); ++i)
        l << parent->child(i)->text(0);
    return l;
}

// Connects the window and waits until both schema readers have ended.
void connectAndWait(TfrmMain &w)
{
    w.acConnectExecute();
    ASSERT_TRUE(waitFor([&] { return !w.schemaThreadsRunning(); }, 120000));
    QCoreApplication::processEvents();
}

// A port on which nothing listens.
int closedPort()
{
    StubLdapServer probe; // takes a free port...
    return probe.port() + 0;
}

} // namespace

// ---- texts and values of the tree ----------------------------------------------------------

TEST(DomainTree, RootTextAndPasswordAge)
{
    EXPECT_EQ(mainwin::rootNodeText("arvendel.test/"), "arvendel.test");
    EXPECT_EQ(mainwin::rootNodeText("arvendel.test"), "arvendel.test");
    EXPECT_EQ(mainwin::rootNodeText("x//"), "x/"); // only one trailing slash goes
    constexpr qint64 day = 864000000000LL;
    EXPECT_EQ(MaxPasswordAgeDays(QVariant(-42 * day)), 42);
    EXPECT_EQ(MaxPasswordAgeDays(QVariant(-30 * day - 1)), 30); // truncated
    EXPECT_EQ(MaxPasswordAgeDays(QVariant(-day + 1)), 0);
    EXPECT_EQ(MaxPasswordAgeDays(QVariant(qint64(0))), 0);
    EXPECT_EQ(MaxPasswordAgeDays(QVariant(std::numeric_limits<qint64>::min())), 10675199);
    // Unreadable values give the default.
    EXPECT_EQ(MaxPasswordAgeDays(QVariant()), 42);
    EXPECT_EQ(MaxPasswordAgeDays(QVariant(QStringLiteral("abc"))), 42);
}

// ---- the dialogs -------------------------------------------------------------------------------

TEST(ConnectionDialog, PortTakesOnlyDigitsAndEncryptionSwitchesThePort)
{
    TempSettings store;
    TConnectionSettings s;
    s.UseDefaultServer = false;
    TfrmConnection dlg(s);
    auto *port = child<QLineEdit>(&dlg, "ebPort");
    auto *apply = child<QPushButton>(&dlg, "btApplay");
    EXPECT_FALSE(apply->isEnabled());
    EXPECT_EQ(dlg.windowTitle(), "   Connection");
    EXPECT_FALSE(child<QToolButton>(&dlg, "sbSelect")->isEnabled());
    EXPECT_EQ(child<QToolButton>(&dlg, "sbSelect")->text(), "  ...");

    port->clear();
    QTest::keyClicks(port, "6a3-6 9");
    EXPECT_EQ(port->text(), "6369");
    QTest::keyClick(port, Qt::Key_Backspace);
    EXPECT_EQ(port->text(), "636");
    EXPECT_TRUE(apply->isEnabled());
    EXPECT_EQ(dlg.settings().Port, "636");

    auto *enc = child<QCheckBox>(&dlg, "cbUseEncryption");
    enc->click();
    EXPECT_EQ(port->text(), "636");
    EXPECT_TRUE(dlg.settings().UseEncryption);
    enc->click();
    EXPECT_EQ(port->text(), "389");
    EXPECT_EQ(dlg.settings().Port, "389");
    EXPECT_FALSE(dlg.settings().UseEncryption);

    // The server name field follows the server choice.
    child<QRadioButton>(&dlg, "rbDefaultPC")->click();
    EXPECT_FALSE(child<QLineEdit>(&dlg, "ebServerName")->isEnabled());
    EXPECT_TRUE(dlg.settings().UseDefaultServer);
}

TEST(ConnectionDialog, FailedTestSavesNothingAndCancelRejects)
{
    TempSettings store;
    ui::ScriptedPrompts script;
    TConnectionSettings s;
    s.UseDefaultServer = false;
    s.ServerName = QStringLiteral("127.0.0.1");
    s.Port = QString::number(closedPort());
    s.SecureAuthentication = false;
    TfrmConnection dlg(s);
    child<QLineEdit>(&dlg, "ebServerName")->setText("127.0.0.1");
    QTest::keyClicks(child<QLineEdit>(&dlg, "ebServerName"), " "); // an edit
    QTest::keyClick(child<QLineEdit>(&dlg, "ebServerName"), Qt::Key_Backspace);
    EXPECT_FALSE(dlg.btApplayClick());
    ASSERT_EQ(script.messages().size(), 1);
    EXPECT_TRUE(script.messages()[0].contains("could not be reached")) << script.messages()[0].toStdString();
    EXPECT_EQ(script.asked()[0].icon, ui::Icon::Error);
    // Nothing was written.
    registry::Key key;
    EXPECT_FALSE(key.open(kConnectionKey, registry::Access::Read, false) &&
                 key.valueExists(QStringLiteral("{0D0F7DEB-E5CE-4367-8E05-D23791676DBD}")));
    // OK with settings that cannot bind keeps the dialog open.
    dlg.btOKClick();
    EXPECT_EQ(dlg.result(), 0);
    dlg.btCancelClick();
    EXPECT_EQ(dlg.result(), int(QDialog::Rejected));
}

TEST(CredentialsDialog, EnablingFollowsUseCredentialsAndSecureAuthentication)
{
    TConnectionSettings s;
    s.UseCredentials = false;
    s.SecureAuthentication = true;
    TfrmCredentials dlg(s);
    EXPECT_EQ(dlg.windowTitle(), "  Credentials");
    auto *use = child<QCheckBox>(&dlg, "cbUseCredentials");
    auto *secure = child<QCheckBox>(&dlg, "cbUseSecureAuthentication");
    auto *kerberos = child<QCheckBox>(&dlg, "cbUseKerberos");
    auto *user = child<QLineEdit>(&dlg, "ebUserName");
    auto *password = child<QLineEdit>(&dlg, "ebPassword");
    EXPECT_FALSE(user->isEnabled());
    EXPECT_FALSE(secure->isEnabled());
    EXPECT_FALSE(kerberos->isEnabled());
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    // Remember Me is offered, off unless the settings say otherwise, and followed.
    auto *remember = child<QCheckBox>(&dlg, "cbRemember");
    EXPECT_FALSE(remember->isHidden());
    EXPECT_FALSE(remember->isChecked());

    use->click();
    remember->click();
    EXPECT_TRUE(dlg.settings().RememberMe);
    remember->click();
    EXPECT_FALSE(dlg.settings().RememberMe);
    EXPECT_TRUE(user->isEnabled());
    EXPECT_TRUE(secure->isEnabled());
    EXPECT_TRUE(kerberos->isEnabled());
    EXPECT_TRUE(child<QPushButton>(&dlg, "btApplay")->isEnabled());
    secure->click();
    EXPECT_FALSE(kerberos->isEnabled());
    EXPECT_FALSE(dlg.settings().SecureAuthentication);
    EXPECT_TRUE(dlg.settings().UseCredentials);
}

// ---- against the test domain ---------------------------------------------------------------------

TEST(ConnectionDialogDomain, ApplyTestsThenSavesAndCancelKeepsTheSave)
{
    ARV_REQUIRE_DOMAIN();
    TempSettings store;
    ui::ScriptedPrompts script;
    TConnectionSettings s = domainSettings();
    TfrmConnection dlg(s);
    dlg.btTestClick();
    ASSERT_EQ(script.messages(), QStringList{"Connection is OK"});
    ASSERT_TRUE(dlg.btApplayClick());
    EXPECT_FALSE(child<QPushButton>(&dlg, "btApplay")->isEnabled());
    TConnectionSettings stored;
    ASSERT_TRUE(LoadConnectionSettings(stored));
    EXPECT_EQ(stored.ServerName, s.ServerName);
    EXPECT_EQ(stored.UserName, s.UserName);
    dlg.btCancelClick();
    EXPECT_EQ(dlg.result(), int(QDialog::Accepted)); // Apply saved: the caller reconnects
}

TEST(MainWindowDomain, ConnectsWithStoredSettingsAndShowsTheTree)
{
    ARV_REQUIRE_DOMAIN();
    TempSettings store;
    ASSERT_TRUE(SaveConnectionSettings(domainSettings()));
    ui::ScriptedPrompts script;
    TfrmMain w;
    // Disconnected: only the connection-level actions act.
    EXPECT_TRUE(w.acConnect->isEnabled());
    EXPECT_TRUE(w.acOptions->isEnabled());
    for (QAction *a : {w.ActionFilter, w.ActionReports, w.actBulkExport, w.ActionGroups, w.actFindAndReplace,
                       w.ActionQueryBasedDL, w.actFindFast, w.actServerInformation})
        EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();

    connectAndWait(w);
    EXPECT_TRUE(script.messages().isEmpty()) << script.messages().join("|").toStdString();
    EXPECT_EQ(w.windowTitle().toLower(), ("Arvendel  [Server:" + testsupport::fact("DNS_HOST") + "] [Domain:" +
                                          testsupport::fact("BASE_DN") + "]")
                                             .toLower());
    EXPECT_EQ(w.statusPanel(1), "  Ready for actions!");
    EXPECT_TRUE(w.acConnect->isEnabled());
    for (QAction *a : {w.ActionFilter, w.ActionReports, w.actBulkExport, w.ActionGroups, w.actFindAndReplace,
                       w.ActionQueryBasedDL, w.actFindFast, w.actServerInformation})
        EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();

    ASSERT_EQ(w.tree()->topLevelItemCount(), 1);
    QTreeWidgetItem *root = w.tree()->topLevelItem(0);
    EXPECT_EQ(root->text(0), testsupport::fact("DNS_DOMAIN"));
    EXPECT_EQ(TfrmMain::nodePath(root), ConnectionContext().DomainPath);
    const QStringList top = childTexts(root);
    EXPECT_TRUE(top.contains("Users")) << top.join(",").toStdString();
    EXPECT_TRUE(top.contains("Arvendel")) << top.join(",").toStdString();
    EXPECT_TRUE(top.contains("Domain Controllers"));
    EXPECT_FALSE(top.contains("Administrator")); // users are not nodes

    // The schema lists are complete and published.
    EXPECT_TRUE(SchemaLoaded());
    EXPECT_TRUE(AttributeInList(SchemaAttributeNames(), "sAMAccountName"));
    EXPECT_TRUE(DomainFacts().GuidMapLoaded);
    EXPECT_TRUE(DomainFacts().ExchangePresent); // the test domain carries the Exchange attributes
    EXPECT_FALSE(SchemaGuidName("{BF967A0F-0DE6-11D0-A285-00AA003049E2}").isEmpty()); // description
    EXPECT_FALSE(DomainFacts().NetBiosDomains.isEmpty());
    EXPECT_TRUE(DomainFacts().NetBiosDomains.first().startsWith(testsupport::fact("NETBIOS") + "|qel|"));
}

TEST(MainWindowDomain, TreeLoadsChildrenOnDemandAndTheRootListsNothing)
{
    ARV_REQUIRE_DOMAIN();
    TempSettings store;
    ASSERT_TRUE(SaveConnectionSettings(domainSettings()));
    ui::ScriptedPrompts script;
    TfrmMain w;
    connectAndWait(w);
    QTreeWidgetItem *root = w.tree()->topLevelItem(0);
    ASSERT_NE(root, nullptr);
    QTreeWidgetItem *seed = childNamed(root, "Arvendel");
    ASSERT_NE(seed, nullptr);
    EXPECT_EQ(seed->childCount(), 0);

    w.tree()->setCurrentItem(seed);
    ASSERT_TRUE(waitFor([&] { return !w.Busy(); }, 30000));
    const QStringList below = childTexts(seed);
    EXPECT_TRUE(below.contains("Staff")) << below.join(",").toStdString();
    EXPECT_TRUE(below.contains("Service Accounts"));
    QTreeWidgetItem *staff = childNamed(seed, "Staff");
    ASSERT_NE(staff, nullptr);
    EXPECT_EQ(TfrmMain::nodePath(staff), ConnectionContext().ServerPrefix + "OU=Staff," + testsupport::fact("SEED_OU"));

    // Keyboard: from "Staff" Right opens it and Down reaches its first container, which is
    // listed and gets its own containers loaded. Staff holds seeded containers only; other
    // tests add and remove their scratch units elsewhere (below the root or beside Staff),
    // so the key can never land on a unit that vanishes while it is listed.
    static const QStringList seededBelowStaff = {"Engineering", "Sales", "Finance, Legal", "Zürich Büro",
                                                  "Helpdesk Managed"};
    w.tree()->setCurrentItem(staff);
    ASSERT_TRUE(waitFor([&] { return !w.Busy(); }, 30000));
    EXPECT_TRUE(childTexts(staff).contains("Helpdesk Managed"));
    w.show();
    w.activateWindow();
    w.tree()->setFocus();
    QTest::keyClick(w.tree(), Qt::Key_Right);
    QTest::keyClick(w.tree(), Qt::Key_Down);
    ASSERT_TRUE(waitFor([&] { return !w.Busy(); }, 30000));
    QTreeWidgetItem *first = w.tree()->currentItem();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->parent(), staff);
    EXPECT_TRUE(seededBelowStaff.contains(first->text(0))) << first->text(0).toStdString();
    ASSERT_TRUE(w.userList()->listingNode().has_value());
    EXPECT_EQ(w.userList()->listingNode()->path, TfrmMain::nodePath(first));
    // F6 moves the focus from the tree to the grid.
    w.tree()->setFocus();
    QTest::keyClick(&w, Qt::Key_F6);
    EXPECT_EQ(QApplication::focusWidget(), static_cast<QWidget *>(w.grid()));

    // The root clears the grid and lists nothing.
    w.tree()->setCurrentItem(root);
    EXPECT_EQ(w.userList()->rows().size(), 0);
    EXPECT_EQ(w.grid()->model()->rowCount(), 0);
    EXPECT_TRUE(w.statusPanel(0).isEmpty());
    EXPECT_TRUE(script.messages().isEmpty()) << script.messages().join("|").toStdString();
}

TEST(MainWindowDomain, MissingPasswordIsAskedForBeforeConnecting)
{
    ARV_REQUIRE_DOMAIN();
    TempSettings store;
    TConnectionSettings s = domainSettings();
    s.Password.clear();
    ASSERT_TRUE(SaveConnectionSettings(s));
    ui::ScriptedPrompts script;
    TfrmMain w;
    bool asked = false;
    whenModal<TfrmCredentials>([&](TfrmCredentials *d) {
        asked = true;
        EXPECT_EQ(d->findChild<QLineEdit *>("ebUserName")->text(), testsupport::fact("ADMIN_USER"));
        d->findChild<QLineEdit *>("ebPassword")->setText(testsupport::fact("ADMIN_PASSWORD"));
        d->findChild<QPushButton *>("btOK")->click();
    });
    connectAndWait(w);
    EXPECT_TRUE(asked);
    EXPECT_EQ(w.tree()->topLevelItemCount(), 1);
    EXPECT_EQ(ConnectionContext().UserName, testsupport::fact("ADMIN_USER"));
    EXPECT_EQ(ConnectionContext().AuthFlags, 0x200u);
}

TEST(MainWindowDomain, FailedRootDseBindOffersTheConnectionDialog)
{
    ARV_REQUIRE_DOMAIN();
    TempSettings store;
    TConnectionSettings s = domainSettings();
    s.Password = QStringLiteral("not-the-password");
    ASSERT_TRUE(SaveConnectionSettings(s));
    ui::ScriptedPrompts script;
    TfrmMain w;
    bool offered = false;
    whenModal<TfrmConnection>([&](TfrmConnection *d) {
        offered = true;
        d->findChild<QPushButton *>("btCancel")->click();
    });
    w.acConnectExecute();
    EXPECT_TRUE(offered);
    EXPECT_TRUE(script.messages().isEmpty()); // the bind error itself is not shown
    EXPECT_EQ(w.tree()->topLevelItemCount(), 0);
    EXPECT_TRUE(w.acConnect->isEnabled());
}

TEST(MainWindowDomain, WrongPasswordIsExplainedInPlainWords)
{
    ARV_REQUIRE_DOMAIN();
    TConnectionSettings s = domainSettings();
    s.Password = QStringLiteral("not-the-password");
    QString error;
    EXPECT_FALSE(mainwin::testBind(s, &error));
    EXPECT_TRUE(error.contains("rejected the user name or the password")) << error.toStdString();
    EXPECT_FALSE(error.contains("not-the-password"));
}

TEST(MainWindowStub, RootDseWithoutNamingContextGivesTheExactError)
{
    StubLdapServer stub;
    TempSettings store;
    TConnectionSettings s;
    s.UseDefaultServer = false;
    s.ServerName = QStringLiteral("127.0.0.1");
    s.Port = QString::number(stub.port());
    s.SecureAuthentication = false;
    s.UseCredentials = true;
    s.UserName = QStringLiteral("STUB\\someone");
    s.Password = QStringLiteral("anything");
    ASSERT_TRUE(SaveConnectionSettings(s));
    ui::ScriptedPrompts script;
    TfrmMain w;
    w.acConnectExecute();
    EXPECT_GE(stub.searches(), 1);
    ASSERT_EQ(script.messages().size(), 1) << script.messages().join("|").toStdString();
    EXPECT_EQ(script.messages()[0], "Could not bind to default Domain Controler");
    EXPECT_EQ(w.tree()->topLevelItemCount(), 0);
    EXPECT_TRUE(w.acConnect->isEnabled());
    EXPECT_EQ(w.windowTitle(), "Arvendel");
}

TEST(MainWindowDomain, NoticeRewritesTheListedUserAndIgnoresOthers)
{
    ARV_REQUIRE_DOMAIN();
    TempSettings store;
    ASSERT_TRUE(SaveConnectionSettings(domainSettings()));
    ui::ScriptedPrompts script;
    TfrmMain w;
    connectAndWait(w);
    QTreeWidgetItem *users = childNamed(w.tree()->topLevelItem(0), "Users");
    ASSERT_NE(users, nullptr);
    w.tree()->setCurrentItem(users);
    ASSERT_TRUE(waitFor([&] { return !w.Busy(); }, 30000));
    const QString adminDn = testsupport::fact("ADMIN_DN");
    const int record = w.userList()->rows().findRecordByDn(adminDn);
    ASSERT_GE(record, 0);
    const QString before = w.userList()->rows().at(record).text(userlist::Field::Description);

    // Another window writes the description and sends the notice.
    ads::ObjectPtr admin;
    ASSERT_EQ(OpenWithContext(adminDn, &admin), ads::S_OK);
    const QString marker = QStringLiteral("notice test %1").arg(QDateTime::currentMSecsSinceEpoch());
    ASSERT_EQ(admin->Put("description", marker), ads::S_OK);
    ASSERT_EQ(admin->SetInfo(), ads::S_OK);
    QObject otherWindow;
    ui::notifyOtherWindows(0, adminDn.toLower(), &otherWindow);
    EXPECT_EQ(w.userList()->rows().at(record).text(userlist::Field::Description), marker);
    const int row = w.grid()->gridModel()->findRowByDn(adminDn);
    ASSERT_GE(row, 0);
    const int col = userlist::columnOfTag(3);
    EXPECT_EQ(w.grid()->model()->index(row, col).data().toString(), marker);

    // A notice for someone not listed changes nothing.
    const int count = w.userList()->rows().size();
    ui::notifyOtherWindows(0, "CN=Nobody," + testsupport::fact("BASE_DN"), &otherWindow);
    EXPECT_EQ(w.userList()->rows().size(), count);

    // Restore.
    if (before.isEmpty())
        admin->PutEx(1, "description", QVariant());
    else
        admin->Put("description", before);
    EXPECT_EQ(admin->SetInfo(), ads::S_OK);
}

TEST(MainWindowDomain, ReconnectWaitsForTheGuidThreadOfThePreviousConnection)
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
    EXPECT_FALSE(w.acConnect->isEnabled());

    // Watch panel 1 while the second connect waits.
    QStringList seen;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const QString t = w.statusPanel(1);
        if (seen.isEmpty() || seen.last() != t)
            seen << t;
    });
    watch.start(10);
    w.acConnectExecute();
    TSchemaThreadBase::setRowDelayForTests(0);
    EXPECT_TRUE(seen.contains("Closing the current connection. Please wait... 0")) << seen.join("|").toStdString();
    ASSERT_TRUE(waitFor([&] { return !w.schemaThreadsRunning(); }, 120000));
    watch.stop();
    EXPECT_EQ(w.tree()->topLevelItemCount(), 1);
    EXPECT_EQ(w.statusPanel(1), "  Ready for actions!");
    EXPECT_TRUE(w.acConnect->isEnabled());
    EXPECT_TRUE(script.messages().isEmpty()) << script.messages().join("|").toStdString();

    // When the threads outlast every attempt, Connect gives up with an empty panel 1.
    TSchemaThreadBase::setRowDelayForTests(5);
    TfrmMain::setConnectWaitForTests(10, 3);
    w.acConnectExecute(); // reconnect: starts slow threads
    ASSERT_TRUE(w.schemaThreadsRunning());
    w.acConnectExecute();
    EXPECT_TRUE(w.statusPanel(1).isEmpty());
    EXPECT_FALSE(w.acConnect->isEnabled());
    TSchemaThreadBase::setRowDelayForTests(0);
    ASSERT_TRUE(waitFor([&] { return !w.schemaThreadsRunning(); }, 120000));
    EXPECT_TRUE(w.acConnect->isEnabled()); // the end handlers bring it back
    TfrmMain::setConnectWaitForTests(500, 151);
}

TEST(MainWindow, HowManyBoxLeavesToTheGridAndAnEmptyBoxMeansNoLimit)
{
    TempSettings store;
    ui::ScriptedPrompts script;
    TfrmMain w;
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    auto *box = child<QSpinBox>(&w, "ebHowMany");
    for (const Qt::Key leave : {Qt::Key_Tab, Qt::Key_Return}) {
        box->setFocus();
        box->selectAll();
        QTest::keyClicks(box, "25");
        QTest::keyClick(box, leave);
        EXPECT_EQ(QApplication::focusWidget(), w.grid()) << int(leave);
        EXPECT_EQ(box->value(), 25);
    }
    box->setFocus();
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClick(box, Qt::Key_Tab);
    EXPECT_EQ(box->value(), 0);
    EXPECT_EQ(box->text(), "0");
    EXPECT_TRUE(script.messages().isEmpty());
}

TEST(MainWindow, OtherOpenWindowsRefuseConnect)
{
    TempSettings store;
    ui::ScriptedPrompts script;
    TfrmMain w;
    w.show();
    QDialog other;
    other.setWindowTitle("some property page");
    other.show();
    w.acConnectExecute();
    ASSERT_EQ(script.messages().size(), 1);
    EXPECT_EQ(script.messages()[0], "Please, close all opened property pages \rbefore this action!");
    EXPECT_TRUE(w.acConnect->isEnabled());
    other.close();
}

TEST(SingleInstance, SecondStartActivatesTheFirstAndEnds)
{
    const QString name = QStringLiteral("arvendel-test-%1").arg(QCoreApplication::applicationPid());
    TSingleInstance first(name);
    ASSERT_TRUE(first.claim());
    QWidget window;
    window.showMinimized();
    ASSERT_TRUE(window.isMinimized());
    first.setWindow(&window);
    QSignalSpy activated(&first, &TSingleInstance::activationRequested);

    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ARV_INSTANCE_NAME", name);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    env.insert("ARV_SETTINGS_FILE", dir.filePath("settings.ini"));
    second.setProcessEnvironment(env);
    second.start(qEnvironmentVariable("ARV_BINARY_DIR") + "/src/app/arvendel", {});
    ASSERT_TRUE(second.waitForStarted(10000));
    ASSERT_TRUE(waitFor([&] { return second.state() == QProcess::NotRunning; }, 20000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(waitFor([&] { return activated.count() == 1; }, 5000));
    EXPECT_FALSE(window.isMinimized());

    // A guard left behind by a crashed instance does not block the next start.
    TSingleInstance again(name + "-stale");
    {
        QFile leftover(again.serverName());
        ASSERT_TRUE(leftover.open(QIODevice::WriteOnly));
    }
    EXPECT_TRUE(again.claim());
    QLocalSocket probe;
    probe.connectToServer(again.serverName());
    EXPECT_TRUE(probe.waitForConnected(2000));
}

TEST(DemoDomain, StoredDemoSettingsConnectWithoutQuestions)
{
    ARV_REQUIRE_DOMAIN();
    QTemporaryDir folder;
    ASSERT_TRUE(QFile::copy(testsupport::domainDir() + "/facts.env", folder.filePath("facts.env")));
    QString error;
    ASSERT_TRUE(mainwin::prepareDemo(folder.path(), &error)) << error.toStdString();
    EXPECT_EQ(registry::storeFile(), folder.filePath("settings.ini"));
    EXPECT_EQ(QFile::permissions(folder.filePath("settings.ini")) & (QFile::ReadGroup | QFile::ReadOther), 0);
    {
        ui::ScriptedPrompts script;
        TfrmMain w;
        connectAndWait(w);
        EXPECT_TRUE(script.asked().isEmpty());
        ASSERT_EQ(w.tree()->topLevelItemCount(), 1);
        EXPECT_EQ(w.tree()->topLevelItem(0)->text(0), testsupport::fact("DNS_DOMAIN"));
        // The demo's password goes over LDAPS, and the stored settings remember it.
        EXPECT_EQ(w.findChild<QLabel *>("StatusProtection")->text(), "Protected by TLS (LDAPS)");
        QFile stored(folder.filePath("settings.ini"));
        ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
        EXPECT_TRUE(stored.readAll().toUpper().contains("1A15F19F"));
    }
    registry::setStoreFile(QString());

    QTemporaryDir empty;
    EXPECT_FALSE(mainwin::prepareDemo(empty.path(), &error));
    EXPECT_TRUE(error.contains(empty.path())) << error.toStdString();
}
