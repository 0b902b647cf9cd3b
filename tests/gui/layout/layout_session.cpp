#include "layout_session.h"

#include "bulk/unBatchExport.h"
#include "bulk/unFindAndReplaceWiring.h"
#include "core/unConnection.h"
#include "groups/unGroupsWiring.h"
#include "main/unGridOutput.h"
#include "main/unMain.h"
#include "main/unQuickPanel.h"
#include "main/unUserGrid.h"
#include "main/unUserListing.h"
#include "network/unNetworkWiring.h"
#include "options/unOptions.h"
#include "platform/registry/registry.h"
#include "query/wiremain.h"
#include "reports/unReports.h"
#include "support/testdomain.h"
#include "userprop/unUserPropWiring.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace layouttest {

RunMode &runMode()
{
    static RunMode mode;
    return mode;
}

Session::Session() : dir_(std::make_unique<QTemporaryDir>())
{
    registry::setStoreFile(dir_->filePath(QStringLiteral("registry.ini")));
    TConnectionSettings s;
    s.UseDefaultServer = false;
    s.ServerName = testsupport::fact("ADDR");
    s.Port = testsupport::fact("LDAP_PORT");
    s.SecureAuthentication = false;
    s.UseCredentials = true;
    s.UserName = testsupport::fact("ADMIN_USER");
    s.Password = testsupport::fact("ADMIN_PASSWORD");
    EXPECT_TRUE(SaveConnectionSettings(s));
    options::TOptions o;
    o.ShowWarning = false;
    o.UnicodeFont = runMode().unicodeFont;
    EXPECT_TRUE(options::SaveOptions(o));
    options::LoadOptions(o);

    main_ = std::make_unique<TfrmMain>();
    query::wireMainWindow(*main_);
    bulk::wireExport(*main_);
    findreplace::wireMainWindow(*main_);
    reports::wireMainWindow(*main_);
    groups::wireMainWindow(*main_);
    network::wireMainWindow(*main_);
    userprop::wireMainWindow(*main_);
    gridoutput::wireMainWindow(*main_);
    main_->show();
    main_->acConnectExecute();
    EXPECT_TRUE(waitFor([this] { return !main_->schemaThreadsRunning(); }, 120000));
    EXPECT_NE(main_->tree()->topLevelItem(0), nullptr) << "the main window did not connect";
}

Session::~Session()
{
    main_.reset();
    registry::setStoreFile(QString());
}

TfrmMain &Session::main() { return *main_; }

bool Session::waitFor(const std::function<bool()> &pred, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > ms) {
            const bool held = pred();
            if (!held) // the test goes on; the reason is in what it finds next
                qWarning("layout test: waited %d ms in vain", ms);
            return held;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

QTreeWidgetItem *Session::openNode(const QStringList &path)
{
    QTreeWidgetItem *node = main_->tree()->topLevelItem(0);
    for (const QString &name : path) {
        if (!node)
            break;
        main_->tree()->setCurrentItem(node); // loads its children
        waitFor([this] { return !main_->Busy(); });
        QTreeWidgetItem *next = nullptr;
        for (int i = 0; i < node->childCount(); ++i)
            if (node->child(i)->text(0) == name)
                next = node->child(i);
        node = next;
    }
    if (!node) {
        failures << QStringLiteral("the tree has no node %1").arg(path.join(QLatin1Char('/')));
        return nullptr;
    }
    main_->tree()->setCurrentItem(node);
    waitFor([this] { return !main_->Busy(); });
    QCoreApplication::processEvents();
    return node;
}

bool Session::selectUser(const QString &commonName)
{
    TUserGrid *grid = main_->grid();
    const int cn = TUserGrid::columnOfTag(userlist::CnTag);
    for (int r = 0; r < grid->model()->rowCount(); ++r) {
        const QModelIndex cell = grid->model()->index(r, cn);
        if (cell.data().toString() == commonName) {
            grid->setCurrentIndex(cell);
            return waitFor([this] { return main_->quickPanel()->currentUser() != nullptr; }, 20000);
        }
    }
    failures << QStringLiteral("the grid does not list %1").arg(commonName);
    return false;
}

void Session::check(QWidget *window, const WindowRules &rules)
{
    waitFor([window] { return window->isVisible(); }, 5000);
    QCoreApplication::processEvents();
    const QSize size = window->frameGeometry().size();
    opened << QStringLiteral("%1 (%2) %3x%4")
                  .arg(window->objectName(), QString::fromLatin1(window->metaObject()->className()))
                  .arg(size.width())
                  .arg(size.height());
    // A developer may ask for a picture of every window checked, as it opened.
    if (const QString folder = qEnvironmentVariable("ARV_LAYOUT_PICTURES"); !folder.isEmpty())
        window->grab().save(QStringLiteral("%1/%2-%3.png").arg(folder).arg(opened.size(), 2, 10, QLatin1Char('0')).arg(window->objectName()));
    failures << checkWindow(window, rules);
}

std::shared_ptr<bool> Session::watch(const QString &name, const std::function<void(QDialog *)> &inside,
                                     const WindowRules &rules)
{
    auto seen = std::make_shared<bool>(false);
    auto *timer = new QTimer;
    auto elapsed = std::make_shared<QElapsedTimer>();
    elapsed->start();
    QObject::connect(timer, &QTimer::timeout, [this, timer, seen, elapsed, name, inside, rules] {
        auto *dlg = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (dlg && dlg->objectName() == name) {
            timer->stop();
            timer->deleteLater();
            *seen = true;
            check(dlg, rules);
            if (inside)
                inside(dlg);
            if (dlg->isVisible())
                dlg->reject();
        } else if (elapsed->elapsed() > 60000) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(20);
    return seen;
}

void Session::modal(const QString &name, const std::function<void()> &trigger,
                    const std::function<void(QDialog *)> &inside, const WindowRules &rules)
{
    const std::shared_ptr<bool> seen = watch(name, inside, rules);
    if (qEnvironmentVariableIsSet("ARV_LAYOUT_DEBUG"))
        qInfo("opening %s", qPrintable(name));
    trigger();
    // A modeless trigger returns at once: wait for the window.
    waitFor([&] { return *seen; });
    if (!*seen)
        failures << QStringLiteral("%1 did not open (modal window now: %2)")
                        .arg(name, QApplication::activeModalWidget() ? QApplication::activeModalWidget()->objectName()
                                                                     : QStringLiteral("none"));
}

void report(const Session &s, const QString &group)
{
    std::printf("[%s, %s] opened %d windows:\n", qPrintable(group), qPrintable(runMode().name),
                int(s.opened.size()));
    for (const QString &o : s.opened)
        std::printf("  %s\n", qPrintable(o));
    std::fflush(stdout);
    for (const QString &f : s.failures)
        ADD_FAILURE() << f.toStdString();
}

} // namespace layouttest
