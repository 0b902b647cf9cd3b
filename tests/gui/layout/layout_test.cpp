// Every window of the program, opened as the user opens it (from the main window, connected
// to the test domain, with the domain's real data) at its default size, and checked: nothing
// cut, no scroll bar over fixed content, within a 1366x768 screen, every column resizable and
// name columns as wide as their names, an accessible name for every input, and a Tab order
// that reaches every control in reading order. CTest runs it with the pinned font, with the
// Unicode-font option and at QT_SCALE_FACTOR 1.25.
//
// A window added to the program gets one line in the list of its group below (kWindowClasses
// names every window class, so that EveryWindowIsListed notices a class that is missing).
#include "layout_session.h"

#include "bulk/unBatchExport.h"
#include "bulk/unColumnSets.h"
#include "bulk/unExportColumn.h"
#include "bulk/unFindAndReplace.h"
#include "groups/unDynamicGroupView.h"
#include "groups/unGroupPages.h"
#include "userprop/unRawDataView.h"
#include "groups/unGroupView.h"
#include "groups/unSelectGroup.h"
#include "main/unConnectionDlg.h"
#include "main/unCredentials.h"
#include "main/unMain.h"
#include "main/unPictureTab.h"
#include "main/unQuickPanel.h"
#include "main/unUserGrid.h"
#include "query/savedqueries.h"
#include "query/unFilter.h"
#include "query/unFind.h"
#include "query/unLoadSaveLDAPQ.h"
#include "network/unNetOpenEnum.h"
#include "network/unServerInfo.h"
#include "platform/netenum/netenum.h"
#include "reports/unReports.h"
#include "reports/unReportsStore.h"
#include "support/testdomain.h"
#include "ui/prompt.h"

#include <QAction>
#include <QComboBox>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>
#include <QApplication>
#include <QDialog>
#include <QDirIterator>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace layouttest;

namespace {

// Every window class of the program, with the group whose test opens it.
const QList<QPair<QString, QString>> kWindowClasses = {
    {"TfrmMain", "MainWindow"},
    {"TfrmConnection", "MainWindow"},
    {"TfrmCredentials", "MainWindow"},
    {"TfrmFormOptions", "MainWindow"},
    {"TfrmModifyColumns", "MainWindow"},
    {"TfrmPictureDetail", "MainWindow"},
    {"TfrmFilter", "Queries"},
    {"TfrmLoadSaveLDAPQ", "Queries"},
    {"TfrmRenameTo", "Queries"},
    {"TfrmFind", "Queries"},
    {"TfrmFindAndReplace", "Bulk"},
    {"TfrmQueryShow", "Bulk"},
    {"TfrmBatchExport", "Bulk"},
    {"TfrmExportColumn", "Bulk"},
    {"TfrmSavedColumn", "Bulk"},
    {"TfrmRenameColumnSet", "Bulk"},
    {"TfrmExportFormat", "Bulk"},
    {"TfrmReports", "Reports"},
    {"TfrmReportsStore", "Reports"},
    {"TfrmDaysNumber", "Reports"},
    {"TfrmDynamicgroupSelect", "Reports"},
    {"TfrmSelectGroup", "Groups"},
    {"TfrmGroupView", "Groups"},
    {"TfrmQueryBasedDistributionList", "Groups"},
    {"TfrmDistributionDynamicGroupView", "Groups"},
    {"TfrmAdvancedAttributes", "Groups"},
    {"TfrmMVADSI", "Groups"},
    {"TfrmUserProp", "UserProperties"},
    {"TfrmHours", "UserProperties"},
    {"TfrmLogonWorkstations", "UserProperties"},
    {"TfrmSelectGroups", "UserProperties"},
    {"TfrmBussPhone", "UserProperties"},
    {"TfrmPermitions", "UserProperties"},
    {"TfrmDeliveryRestrictions", "UserProperties"},
    {"TfrmDeliveryOptions", "UserProperties"},
    {"TfrmStorageLimits", "UserProperties"},
    {"TfrmExchangeExtAtt", "UserProperties"},
    {"TfrmILSSetings", "UserProperties"},
    {"TfrmManager", "UserProperties"},
    {"TfrmNetOpenEnum", "Network"},
    {"TfrmServerInfo", "Network"},
    {"TfrmServerCredential", "Network"},
};

template <class T> T *child(QWidget *w, const char *name)
{
    return w->findChild<T *>(QLatin1String(name));
}

// Makes the pages holding w current in the tab widgets around it.
void bringIntoView(QWidget *w)
{
    for (QWidget *p = w; p; p = p->parentWidget())
        if (auto *tabs = qobject_cast<QTabWidget *>(p->parentWidget() ? p->parentWidget()->parentWidget() : nullptr);
            tabs && tabs->indexOf(p) >= 0)
            tabs->setCurrentWidget(p);
    QCoreApplication::processEvents();
}

void click(QWidget *w, const char *name)
{
    if (auto *b = child<QAbstractButton>(w, name)) {
        bringIntoView(b);
        b->click();
    }
    else
        ADD_FAILURE() << "no button " << name << " in " << w->objectName().toStdString();
}

} // namespace

// The main window over the 1,600 users of OU=Bulk and over a user with every attribute,
// and the dialogs of its own menus.
TEST(WindowLayout, MainWindow)
{
    ARV_REQUIRE_DOMAIN();
    ui::ScriptedPrompts script;
    Session s;
    TfrmMain &w = s.main();
    const WindowRules grid{{QStringLiteral("NextGrid"), QStringLiteral("NextGridFixedColumns")}, {}};
    s.openNode({QStringLiteral("Arvendel"), QStringLiteral("Bulk")});
    EXPECT_EQ(w.grid()->model()->rowCount(), 1600);
    s.check(&w, grid);
    s.openNode({QStringLiteral("Arvendel"), QStringLiteral("Showcase")});
    if (s.selectUser(QStringLiteral("Ada Fullprofile")))
        s.check(&w, grid);

    s.modal(QStringLiteral("frmConnection"), [&] { w.acOptionsExecute(); });
    {
        TfrmCredentials dlg(w.settings(), &w);
        dlg.show();
        s.check(&dlg);
    }
    s.modal(QStringLiteral("frmFormOptions"), [&] { w.ActionGeneral->trigger(); });
    s.modal(QStringLiteral("frmModifyColumns"), [&] { w.actSelectVisibleColumns->trigger(); });
    if (TPictureTab *picture = w.quickPanel()->pictureTab()) {
        w.quickPanel()->tabs()->setCurrentWidget(picture);
        s.waitFor([&] { return !picture->findChildren<QWidget *>().isEmpty(); }, 5000);
        s.modal(QStringLiteral("frmPictureDetail"), [&] { picture->ContactImageClick(); });
    }
    report(s, QStringLiteral("MainWindow"));
}

// The filter builder with its saved queries, and Find User with results.
TEST(WindowLayout, Queries)
{
    ARV_REQUIRE_DOMAIN();
    ui::ScriptedPrompts script;
    Session s;
    TfrmMain &w = s.main();
    ASSERT_TRUE(query::SaveAllQueries({{QStringLiteral("Engineering staff with a mailbox"),
                                        QStringLiteral("(&(department=Engineering)(homeMDB=*))"), false},
                                       {QStringLiteral("Disabled"), QStringLiteral("(userAccountControl:1.2.840.113556.1.4.803:=2)"),
                                        true}}));
    s.openNode({QStringLiteral("Arvendel"), QStringLiteral("Staff")});
    s.modal(QStringLiteral("frmFilter"), [&] { w.ActionFilter->trigger(); }, [&](QDialog *filter) {
        s.modal(QStringLiteral("frmLoadSaveLDAPQ"), [&] { click(filter, "btLoad"); }, [&](QDialog *d) {
            auto *list = static_cast<query::TfrmLoadSaveLDAPQ *>(d);
            list->ListViewQ->setCurrentItem(list->ListViewQ->topLevelItem(0));
            s.modal(QStringLiteral("frmRenameTo"), [&] { list->btRenameClick(); });
        });
    });
    s.modal(QStringLiteral("frmFind"), [&] { w.actFindFast->trigger(); }, [&](QDialog *d) {
        auto *find = static_cast<query::TfrmFind *>(d);
        find->ebName->setText(QStringLiteral("a"));
        find->btFindClick();
        s.waitFor([&] { return !find->searching() && find->lvResult->topLevelItemCount() > 0; });
        s.check(find);
    });
    report(s, QStringLiteral("Queries"));
}

// Find and replace with a preview, and the batch export with its column and format windows.
TEST(WindowLayout, Bulk)
{
    ARV_REQUIRE_DOMAIN();
    ui::ScriptedPrompts script;
    Session s;
    TfrmMain &w = s.main();
    ASSERT_GE(bulk::saveColumnSet(QStringLiteral("Names and mail"), TfrmBatchExport::defaultColumns().mid(0, 6)), 0);
    s.openNode({QStringLiteral("Arvendel"), QStringLiteral("Staff"), QStringLiteral("Sales"), QStringLiteral("Americas")});
    s.modal(QStringLiteral("TfrmFindAndReplace"), [&] { w.actFindAndReplace->trigger(); }, [&](QDialog *d) {
        auto *replace = static_cast<TfrmFindAndReplace *>(d);
        replace->findChild<QLineEdit *>(QStringLiteral("ebFind"))->setText(QStringLiteral("a"));
        if (auto *contains = replace->findChild<QAbstractButton *>(QStringLiteral("rbContains")))
            contains->click();
        replace->sbPreviewClick();
        s.waitFor([&] { return replace->findChild<QTreeWidget *>(QStringLiteral("ListView"))->topLevelItemCount() > 0; });
        s.check(replace);
        s.modal(QStringLiteral("TfrmQueryShow"), [&] { replace->btSeeClick(); });
    });
    s.openNode({QStringLiteral("Arvendel"), QStringLiteral("Showcase")});
    const WindowRules sample{{QStringLiteral("NextGrid")}, {}};
    s.modal(QStringLiteral("frmBatchExport"), [&] { w.actBulkExport->trigger(); }, [&](QDialog *batch) {
        s.check(batch, sample);
        s.modal(QStringLiteral("frmExportColumn"), [&] { click(batch, "btColums"); }, [&](QDialog *columns) {
            s.modal(QStringLiteral("frmSavedColumn"), [&] { click(columns, "sbLoadSaved"); }, [&](QDialog *saved) {
                static_cast<TfrmSavedColumn *>(saved)->selectSet(0);
                s.check(saved);
            });
        });
        s.modal(QStringLiteral("frmExportFormat"), [&] { click(batch, "btExport"); });
    }, sample);
    {
        TfrmRenameColumnSet dlg(QStringLiteral("Names and mail"), &w);
        dlg.show();
        s.check(&dlg);
    }
    report(s, QStringLiteral("Bulk"));
}

// The report chooser, a report's result window with its rows, its parameter dialogs and its
// export window.
TEST(WindowLayout, Reports)
{
    ARV_REQUIRE_DOMAIN();
    ui::ScriptedPrompts script;
    Session s;
    TfrmMain &w = s.main();
    const WindowRules results{{QStringLiteral("sgReport")}, {}};
    auto openReport = [&](QDialog *chooser, const char *radio, const std::function<void(QDialog *)> &inStore) {
        auto *rb = chooser->findChild<QAbstractButton *>(QLatin1String(radio));
        if (!rb) {
            s.failures << QStringLiteral("the report chooser has no %1").arg(QLatin1String(radio));
            return;
        }
        auto *tabs = chooser->findChild<QTabWidget *>(QStringLiteral("pcReports"));
        for (QWidget *p = rb->parentWidget(); p; p = p->parentWidget())
            if (tabs->indexOf(p) >= 0)
                tabs->setCurrentWidget(p);
        rb->click();
        s.modal(QStringLiteral("TfrmReportsStore"), [&] { click(chooser, "btOpenReport"); }, inStore, results);
    };
    s.modal(QStringLiteral("TfrmReports"), [&] { w.ActionReports->trigger(); }, [&](QDialog *chooser) {
        // Disabled Users: no parameter; executed, its rows in view.
        openReport(chooser, "rbReport14", [&](QDialog *store) {
            store->findChild<QToolButton *>(QStringLiteral("tbExecute"))->click();
            auto *grid = store->findChild<QTableView *>(QStringLiteral("sgReport"));
            s.waitFor([&] { return grid->model()->rowCount() > 0 && store->findChild<QToolButton *>(QStringLiteral("tbExecute"))->isEnabled(); });
            s.check(store, results);
            s.modal(QStringLiteral("frmExportFormat"), [&] { static_cast<reports::TfrmReportsStore *>(store)->tbExportClick(); });
        });
    });
    // The parameter dialogs open with the result window; each is checked, then cancelled.
    for (const auto &[radio, dialog] : {std::pair{"rbReport23", "TfrmDaysNumber"}, std::pair{"rbReport18", "TfrmDaysNumber"},
                                        std::pair{"rbReport33", "TfrmDynamicgroupSelect"}}) {
        s.modal(QStringLiteral("TfrmReports"), [&] { w.ActionReports->trigger(); }, [&](QDialog *chooser) {
            auto *rb = chooser->findChild<QAbstractButton *>(QLatin1String(radio));
            if (!rb) {
                s.failures << QStringLiteral("the report chooser has no %1").arg(QLatin1String(radio));
                return;
            }
            auto *tabs = chooser->findChild<QTabWidget *>(QStringLiteral("pcReports"));
            for (QWidget *p = rb->parentWidget(); p; p = p->parentWidget())
                if (tabs->indexOf(p) >= 0)
                    tabs->setCurrentWidget(p);
            rb->click();
            // The result window opens when the parameter dialog closes.
            const auto store = s.watch(QStringLiteral("TfrmReportsStore"), {}, results);
            s.modal(QLatin1String(dialog), [&] { click(chooser, "btOpenReport"); });
            s.waitFor([&] { return *store; });
        });
    }
    report(s, QStringLiteral("Reports"));
}

// The group lists, a group's window with every tab, a query-based group's window with its
// member preview, the advanced security view and the value viewer of the RAW data.
TEST(WindowLayout, Groups)
{
    ARV_REQUIRE_DOMAIN();
    ui::ScriptedPrompts script;
    Session s;
    TfrmMain &w = s.main();
    auto pick = [&](QTreeWidget *list, const QString &name) {
        s.waitFor([&] { return list->topLevelItemCount() > 0; });
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            if (list->topLevelItem(i)->text(0) == name)
                list->setCurrentItem(list->topLevelItem(i));
        if (!list->currentItem())
            s.failures << QStringLiteral("%1 does not list %2").arg(controlPath(list), name);
    };
    s.modal(QStringLiteral("TfrmSelectGroup"), [&] { w.ActionGroups->trigger(); }, [&](QDialog *d) {
        auto *list = static_cast<groups::TfrmSelectGroup *>(d);
        pick(list->ListViewGroups, QStringLiteral("GG Engineering"));
        s.check(list);
        s.modal(QStringLiteral("TfrmGroupView"), [&] { list->btViewClick(); }, [&](QDialog *view) {
            auto *security = view->findChild<groups::TSecurityPage *>();
            auto *tabs = view->findChild<QTabWidget *>(QStringLiteral("pcGroup"));
            if (security && tabs) {
                tabs->setCurrentWidget(security);
                s.modal(QStringLiteral("frmAdvancedAttributes"), [&] { security->btAdvancedClick(); });
            }
            if (auto *raw = view->findChild<userprop::TRawDataPage *>(); raw && tabs) {
                tabs->setCurrentWidget(raw);
                QTreeWidgetItem *multi = nullptr;
                for (int i = 0; i < raw->lvRAW->topLevelItemCount(); ++i)
                    if (raw->lvRAW->topLevelItem(i)->text(0) == QLatin1String("member"))
                        multi = raw->lvRAW->topLevelItem(i);
                if (multi)
                    s.modal(QStringLiteral("frmMVADSI"), [&] { raw->lvRAWDblClick(multi); });
                else
                    s.failures << QStringLiteral("the RAW data of GG Engineering has no member row");
            }
        });
    });
    s.modal(QStringLiteral("TfrmQueryBasedDistributionList"), [&] { w.ActionQueryBasedDL->trigger(); }, [&](QDialog *d) {
        auto *list = static_cast<groups::TfrmQueryBasedDistributionList *>(d);
        pick(list->ListViewGroups, QStringLiteral("All Mailbox Users"));
        s.check(list);
        s.modal(QStringLiteral("TfrmDistributionDynamicGroupView"), [&] { list->btViewClick(); }, [&](QDialog *view) {
            auto *dyn = static_cast<groups::TfrmDistributionDynamicGroupView *>(view);
            if (auto *tabs = view->findChild<QTabWidget *>(QStringLiteral("pcGroup")))
                tabs->setCurrentIndex(1);
            dyn->btStartClick();
            // The preview's end, whatever it found: its list is laid out the same either way.
            s.waitFor([&] { return !dyn->enumerationRunning(); });
            s.check(view);
        });
    });
    report(s, QStringLiteral("Groups"));
}

// The network browser and the server information of the network domain (its own DNS and a
// second controller), with the server credentials dialog and the value viewer.
TEST(WindowLayout, Network)
{
    ARV_REQUIRE_DOMAIN();
    ui::ScriptedPrompts script;
    netenum::Options o;
    o.systemDomains = false;
    o.domains = {testsupport::fact("DNS_DOMAIN")};
    netenum::parseDnsServer(testsupport::fact("DNS_SERVER"), &o.dns);
    netenum::setOptions(o);
    netenum::setKnownDomains({});
    netenum::clearCredentials();
    Session s;
    TfrmMain &w = s.main();
    TfrmNetOpenEnum *browser = TfrmNetOpenEnum::instance();
    ASSERT_NE(browser, nullptr);
    s.waitFor([&] { return !browser->Busy(); });
    s.modal(QStringLiteral("frmNetOpenEnum"), [&] {
        QString server, domain;
        TfrmNetOpenEnum::BrowseForServer(&w, &server, &domain);
    }, [&](QDialog *) {
        // Open the domain's branch: its controllers with what they publish.
        QTreeWidget *tree = browser->tree();
        QTreeWidgetItem *item = tree->topLevelItem(0);
        for (int depth = 0; item && depth < 3; ++depth) {
            tree->setCurrentItem(item);
            item->setExpanded(true);
            s.waitFor([&] { return !browser->Busy(); });
            item = item->childCount() > 0 ? item->child(0) : nullptr;
        }
        if (item)
            browser->tvNetworkClick(item);
        s.waitFor([&] { return !browser->Busy(); });
        s.check(browser);
    });
    s.modal(QStringLiteral("frmServerInfo"), [&] { w.actServerInformation->trigger(); }, [&](QDialog *d) {
        auto *info = static_cast<TfrmServerInfo *>(d);
        auto *servers = info->findChild<QTreeWidget *>(QStringLiteral("lvDCServers"));
        if (servers && servers->topLevelItemCount() > 0) {
            servers->setCurrentItem(servers->topLevelItem(0));
            info->lvDCServersClick(servers->topLevelItem(0));
        }
        s.check(info);
        auto *props = info->findChild<QTreeWidget *>(QStringLiteral("lvServerProperies"));
        QTreeWidgetItem *multi = nullptr;
        for (int i = 0; props && i < props->topLevelItemCount(); ++i)
            if (props->topLevelItem(i)->text(2) == QLatin1String("1"))
                multi = props->topLevelItem(i);
        if (multi)
            s.modal(QStringLiteral("frmMVADSI"), [&] { info->lvServerProperiesDblClick(multi); });
        else
            s.failures << QStringLiteral("the server information lists no multi-valued property");
    });
    {
        TfrmServerCredential dlg(&w);
        dlg.show();
        s.check(&dlg);
    }
    report(s, QStringLiteral("Network"));
}

// The property dialog of a user with every attribute, each of its tabs, and the dialogs its
// buttons open; the manager dialog of the main window's panel.
TEST(WindowLayout, UserProperties)
{
    ARV_REQUIRE_DOMAIN();
    ui::ScriptedPrompts script;
    Session s;
    TfrmMain &w = s.main();
    s.openNode({QStringLiteral("Arvendel"), QStringLiteral("Showcase")});
    ASSERT_TRUE(s.selectUser(QStringLiteral("Ada Fullprofile")));
    s.modal(QStringLiteral("frmManager"), [&] { click(w.quickPanel(), "btManager"); });
    emit w.grid()->doubleClicked(w.grid()->currentIndex());
    QWidget *dlg = nullptr;
    s.waitFor([&] {
        for (QWidget *t : QApplication::topLevelWidgets())
            if (t->objectName() == QLatin1String("frmUserProp") && t->isVisible())
                dlg = t;
        return dlg != nullptr;
    });
    ASSERT_NE(dlg, nullptr) << "the property dialog did not open";
    s.check(dlg);
    for (const auto &[button, window] : {std::pair{"btLogonHours", "frmHours"}, std::pair{"btLogOnTo", "frmLogonWorkstations"},
                                         std::pair{"btAddGroup", "frmSelectGroups"},
                                         std::pair{"btTelephoneNumberOther", "frmBussPhone"},
                                         std::pair{"btRestrictions", "frmDeliveryRestrictions"},
                                         std::pair{"btOptions", "frmDeliveryOptions"}, std::pair{"btLimits", "frmStorageLimits"},
                                         std::pair{"btAttributes", "frmExchangeExtAtt"}, std::pair{"btSettings", "frmILSSetings"},
                                         std::pair{"btRights", "frmPermitions"}}) {
        const WindowRules rules = QLatin1String(window) == QLatin1String("frmHours")
                                      ? WindowRules{{}, {QStringLiteral("grid")}}
                                      : WindowRules{};
        s.modal(QLatin1String(window), [&] { click(dlg, button); }, {}, rules);
    }
    if (auto *security = dlg->findChild<QWidget *>(QStringLiteral("tsSecurity"))) {
        s.modal(QStringLiteral("frmAdvancedAttributes"), [&] { click(security, "btAdvanced"); });
    }
    if (auto *raw = dlg->findChild<userprop::TRawDataPage *>()) {
        bringIntoView(raw);
        s.waitFor([&] { return raw->lvRAW->topLevelItemCount() > 0; });
        QTreeWidgetItem *multi = nullptr;
        for (int i = 0; i < raw->lvRAW->topLevelItemCount(); ++i)
            if (raw->lvRAW->topLevelItem(i)->text(0) == QLatin1String("otherTelephone"))
                multi = raw->lvRAW->topLevelItem(i);
        if (multi)
            s.modal(QStringLiteral("frmMVADSI"), [&] { raw->lvRAWDblClick(multi); });
    }
    dlg->close();
    report(s, QStringLiteral("UserProperties"));
}

// Pictures of the windows that were cramped, for a reviewer: written to
// <build>/layout-screens/ by a run under xvfb-run (a real X server, see CMakeLists.txt).
TEST(WindowLayoutScreenshots, CrampedWindowsAsTheyOpenNow)
{
    ARV_REQUIRE_DOMAIN();
    const QString folder = qEnvironmentVariable("ARV_BINARY_DIR") + QStringLiteral("/layout-screens");
    ASSERT_TRUE(QDir().mkpath(folder));
    QStringList written;
    auto shot = [&](QWidget *window, const QString &name) {
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        const QString file = folder + QLatin1Char('/') + name + QStringLiteral(".png");
        if (window->grab().save(file))
            written << file;
        else
            ADD_FAILURE() << "could not write " << file.toStdString();
    };
    ui::ScriptedPrompts script;
    Session s;
    TfrmMain &w = s.main();
    s.openNode({QStringLiteral("Arvendel"), QStringLiteral("Bulk")});
    shot(&w, QStringLiteral("main-bulk"));

    s.modal(QStringLiteral("TfrmReports"), [&] { w.ActionReports->trigger(); }, [&](QDialog *chooser) {
        shot(chooser, QStringLiteral("reports"));
        click(chooser, "rbReport14");
        s.modal(QStringLiteral("TfrmReportsStore"), [&] { click(chooser, "btOpenReport"); }, [&](QDialog *store) {
            store->findChild<QToolButton *>(QStringLiteral("tbExecute"))->click();
            auto *grid = store->findChild<QTableView *>(QStringLiteral("sgReport"));
            s.waitFor([&] { return grid->model()->rowCount() > 0 && store->findChild<QToolButton *>(QStringLiteral("tbExecute"))->isEnabled(); });
            shot(store, QStringLiteral("report-disabled-users"));
        });
    });

    s.openNode({QStringLiteral("Arvendel"), QStringLiteral("Staff"), QStringLiteral("Sales"), QStringLiteral("Americas")});
    s.modal(QStringLiteral("TfrmFindAndReplace"), [&] { w.actFindAndReplace->trigger(); }, [&](QDialog *d) {
        auto *replace = static_cast<TfrmFindAndReplace *>(d);
        replace->findChild<QLineEdit *>(QStringLiteral("ebFind"))->setText(QStringLiteral("a"));
        if (auto *contains = replace->findChild<QAbstractButton *>(QStringLiteral("rbContains")))
            contains->click();
        replace->sbPreviewClick();
        s.waitFor([&] { return replace->findChild<QTreeWidget *>(QStringLiteral("ListView"))->topLevelItemCount() > 0; });
        shot(replace, QStringLiteral("find-and-replace-preview"));
    });

    s.openNode({QStringLiteral("Arvendel"), QStringLiteral("Showcase")});
    ASSERT_TRUE(s.selectUser(QStringLiteral("Ada Fullprofile")));
    emit w.grid()->doubleClicked(w.grid()->currentIndex());
    QWidget *dlg = nullptr;
    s.waitFor([&] {
        for (QWidget *t : QApplication::topLevelWidgets())
            if (t->objectName() == QLatin1String("frmUserProp") && t->isVisible())
                dlg = t;
        return dlg != nullptr;
    });
    ASSERT_NE(dlg, nullptr);
    if (auto *security = dlg->findChild<QWidget *>(QStringLiteral("tsSecurity"))) {
        bringIntoView(security);
        shot(dlg, QStringLiteral("user-security-tab"));
        s.modal(QStringLiteral("frmAdvancedAttributes"), [&] { click(security, "btAdvanced"); },
                [&](QDialog *adv) { shot(adv, QStringLiteral("advanced-security")); });
    }
    s.modal(QStringLiteral("frmHours"), [&] { click(dlg, "btLogonHours"); },
            [&](QDialog *hours) { shot(hours, QStringLiteral("logon-hours")); }, WindowRules{{}, {QStringLiteral("grid")}});
    dlg->close();
    for (const QString &f : written)
        std::printf("screenshot: %s\n", qPrintable(f));
    EXPECT_EQ(written.size(), 7);
}

// Every window class declared in the program's sources is in kWindowClasses.
TEST(WindowLayout, EveryWindowIsListed)
{
    const QString src = qEnvironmentVariable("ARV_SOURCE_DIR") + QStringLiteral("/src");
    static const QRegularExpression decl(
        QStringLiteral(R"(class\s+(T\w+)\s*(?:final\s*)?:\s*public\s+(QDialog|QMainWindow|TGroupDialogBase|TExchangeDialog|TGroupListDialog)\b)"));
    QStringList listed;
    for (const auto &[cls, group] : kWindowClasses)
        listed << cls;
    QStringList missing;
    int found = 0;
    QDirIterator it(src, {QStringLiteral("*.h")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << f.fileName().toStdString();
        const QString text = QString::fromUtf8(f.readAll());
        for (auto m = decl.globalMatch(text); m.hasNext();) {
            const QString cls = m.next().captured(1);
            if (cls == QLatin1String("TGroupDialogBase") || cls == QLatin1String("TExchangeDialog") ||
                cls == QLatin1String("TGroupListDialog"))
                continue; // bases, opened through their window classes
            ++found;
            if (!listed.contains(cls))
                missing << cls;
        }
    }
    EXPECT_GT(found, 30);
    EXPECT_TRUE(missing.isEmpty()) << "window classes the layout test does not open: "
                                   << missing.join(QStringLiteral(", ")).toStdString();
}
