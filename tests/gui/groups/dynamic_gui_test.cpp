// The query-based group windows: the list, the member preview (its rows, stopping, a refused
// filter, closing while it runs) and what the view writes.
#include "../../integration/groups/groups_domain_support.h"

#include "groups/unDynamicGroupView.h"
#include "groups/unSelectGroup.h"
#include "groups/unGroupsWiring.h"
#include "options/unOptions.h"
#include "platform/office/workbook.h"
#include "ui/prompt.h"

#include <QApplication>
#include <QAtomicInt>
#include <QElapsedTimer>
#include <QProcess>
#include <QSet>
#include <functional>

using namespace groups;
using namespace groupstest;

namespace {

// A query-based group in the scratch OU; its DN.
QString createDynamicGroup(const QString &what, const QString &base, const QString &filter)
{
    static QAtomicInt counter;
    const QString cn = QStringLiteral("dyn-%1-%2-%3").arg(what, adsitest::uniqueTag()).arg(counter.fetchAndAddOrdered(1));
    const QString dn = QStringLiteral("CN=%1,%2").arg(cn, scratch());
    QString ldif = QStringLiteral("dn: %1\nchangetype: add\nobjectClass: msExchDynamicDistributionList\ndisplayName: %2\n"
                                  "msExchDynamicDLFilter: %3\n")
                       .arg(dn, cn, filter);
    if (!base.isEmpty())
        ldif += QStringLiteral("msExchDynamicDLBaseDN: %1\n").arg(base);
    const auto r = testsupport::ldapModify(ldif.toUtf8());
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    return dn;
}

// Every attribute of dn as ldapsearch reads it, without those a write always changes.
QMap<QString, QList<QByteArray>> attributesOf(const QString &dn)
{
    QMap<QString, QList<QByteArray>> out;
    const auto e = testsupport::ldapSearch(dn, QStringLiteral("(objectClass=*)"), {QStringLiteral("*")},
                                           testsupport::Account::admin(), {QStringLiteral("-s"), QStringLiteral("base")});
    for (const auto &kv : e.value(0).attributes) {
        const QString name = kv.first.toLower();
        if (name == QLatin1String("whenchanged") || name == QLatin1String("usnchanged"))
            continue;
        out[name].append(kv.second);
    }
    return out;
}

class DynamicGui : public GroupsDomain {
protected:
    void SetUp() override
    {
        GroupsDomain::SetUp();
        options::setConfirmWrites(false);
    }
};

} // namespace

TEST_F(DynamicGui, ListHoldsTheQueryBasedGroupsAndThePreviewEqualsLdapsearch)
{
    ui::ScriptedPrompts prompts;
    TfrmQueryBasedDistributionList list;
    list.LoadList();
    EXPECT_EQ(list.windowTitle(), QStringLiteral(" Select Query-Based Distribution Group"));
    QStringList names;
    for (int i = 0; i < list.ListViewGroups->topLevelItemCount(); ++i)
        names << list.ListViewGroups->topLevelItem(i)->text(0);
    EXPECT_TRUE(names.contains(QStringLiteral("All Mailbox Users")));
    EXPECT_TRUE(names.contains(QStringLiteral("Sales Mail Users")));

    const QString dn = QStringLiteral("CN=All Mailbox Users,OU=Distribution Lists,OU=Groups,") + fact("SEED_OU");
    TfrmDistributionDynamicGroupView view(dn, QStringLiteral("All Mailbox Users"));
    EXPECT_FALSE(view.TntMemoLDAPquery->toPlainText().isEmpty());
    EXPECT_TRUE(view.TntMemoLDAPquery->isEnabled());
    view.pcGroup->setCurrentWidget(view.tsMembers);
    ASSERT_TRUE(waitFor([&] { return view.enumerationFinished(); }));
    QSet<QString> shown;
    for (int i = 0; i < view.lvMembers->topLevelItemCount(); ++i)
        shown.insert(view.lvMembers->topLevelItem(i)->text(2).toLower());
    QSet<QString> expected;
    for (const auto &e : testsupport::ldapSearch(view.ebmsExchDynamicDLBaseDN->text(), view.TntMemoLDAPquery->toPlainText(), {QStringLiteral("dn")}))
        expected.insert(e.dn.toLower());
    EXPECT_FALSE(expected.isEmpty());
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(view.lbTotalMembers->text(), QStringLiteral("Total items: %1").arg(expected.size()));
    EXPECT_TRUE(view.btStart->isEnabled());
    EXPECT_FALSE(view.btStop->isEnabled());
}

TEST_F(DynamicGui, LeavingTheTabStopsThePreviewAndReturningDoesNotRestartIt)
{
    ui::ScriptedPrompts prompts;
    const QString dn = createDynamicGroup(QStringLiteral("long"), QStringLiteral("OU=Bulk,") + fact("SEED_OU"),
                                          QStringLiteral("(objectClass=user)"));
    TfrmDistributionDynamicGroupView view(dn, QStringLiteral("long"));
    view.pcGroup->setCurrentWidget(view.tsMembers);
    EXPECT_TRUE(view.enumerationRunning());
    view.pcGroup->setCurrentWidget(view.tsGeneral);
    ASSERT_TRUE(waitFor([&] { return view.enumerationFinished(); }, 30000));
    const int rows = view.lvMembers->topLevelItemCount();
    view.pcGroup->setCurrentWidget(view.tsMembers);
    EXPECT_FALSE(view.enumerationRunning());
    EXPECT_EQ(view.lvMembers->topLevelItemCount(), rows);
    // "Start..." runs it again, to the end.
    view.btStartClick();
    ASSERT_TRUE(waitFor([&] { return !view.enumerationRunning(); }, 60000));
    EXPECT_EQ(view.lvMembers->topLevelItemCount(), 1600);
}

TEST_F(DynamicGui, RefusedFilterShowsTheDirectorysReasonAndNoBaseSearchesTheServer)
{
    ui::ScriptedPrompts prompts;
    // The directory keeps a base only when it exists; a filter it refuses is stored as typed.
    const QString badFilter = createDynamicGroup(QStringLiteral("badfilter"), fact("SEED_OU"),
                                                 QStringLiteral("(&(objectClass=user)(cn=x"));
    TfrmDistributionDynamicGroupView view(badFilter, QStringLiteral("badfilter"));
    view.show();
    view.pcGroup->setCurrentWidget(view.tsMembers);
    ASSERT_TRUE(waitFor([&] { return view.enumerationFinished(); }));
    EXPECT_TRUE(view.lbMembersError->isVisible());
    EXPECT_FALSE(view.lbMembersError->text().isEmpty());
    EXPECT_EQ(view.lvMembers->topLevelItemCount(), 0);

    // No base at all: the whole server is searched.
    const QString noBase = createDynamicGroup(QStringLiteral("bare"), QString(),
                                              QStringLiteral("(&(objectClass=user)(sAMAccountName=ada.full))"));
    TfrmDistributionDynamicGroupView bare(noBase, QStringLiteral("bare"));
    bare.pcGroup->setCurrentWidget(bare.tsMembers);
    ASSERT_TRUE(waitFor([&] { return bare.enumerationFinished(); }));
    EXPECT_EQ(bare.lvMembers->topLevelItemCount(), 1);
}

TEST_F(DynamicGui, ClosingTheWindowWhileThePreviewRunsNeitherHangsNorCrashes)
{
    ui::ScriptedPrompts prompts;
    const QString dn = createDynamicGroup(QStringLiteral("close"), QStringLiteral("OU=Bulk,") + fact("SEED_OU"),
                                          QStringLiteral("(objectClass=user)"));
    for (int round = 0; round < 3; ++round) {
        auto *view = new TfrmDistributionDynamicGroupView(dn, QStringLiteral("close"));
        view->pcGroup->setCurrentWidget(view->tsMembers);
        ASSERT_TRUE(view->enumerationRunning());
        QCoreApplication::processEvents();
        QElapsedTimer t;
        t.start();
        delete view;
        EXPECT_LT(t.elapsed(), 5000);
    }
    // The workers end on their own and take their rows with them.
    waitFor([] { return false; }, 1500);
}

TEST_F(DynamicGui, OkWritesOnlyDescriptionMailAndManager)
{
    ui::ScriptedPrompts prompts;
    const QString dn = createDynamicGroup(QStringLiteral("write"), fact("SEED_OU"), QStringLiteral("(mailNickname=*)"));
    const QString chief = QStringLiteral("CN=Clara Chief,OU=Staff,") + fact("SEED_OU");
    ASSERT_EQ(testsupport::ldapModify(QStringLiteral("dn: %1\nchangetype: modify\nreplace: managedBy\nmanagedBy: %2\n-\n")
                                          .arg(dn, chief).toUtf8()).exitCode, 0);
    auto before = attributesOf(dn);
    ASSERT_EQ(before.take(QStringLiteral("managedby")).size(), 1);
    TfrmDistributionDynamicGroupView view(dn, QStringLiteral("write"));
    view.show();
    ASSERT_TRUE(view.ebDescription->isEnabled());
    view.ebDescription->setText(QStringLiteral("  Described  "));
    emit view.ebDescription->textEdited(view.ebDescription->text());
    view.ebEMail->setText(QStringLiteral("  dyn@arvendel.test "));
    emit view.ebEMail->textEdited(view.ebEMail->text());
    view.pcGroup->setCurrentWidget(view.tsManagedBy);
    EXPECT_EQ(view.tsManagedBy->ebManagerName->text(), fact("DNS_DOMAIN") + QStringLiteral("/Arvendel/Staff/Clara Chief"));
    EXPECT_EQ(view.tsManagedBy->lbManagedByCN->text(), QStringLiteral("Clara Chief"));
    view.tsManagedBy->btClearClick();
    view.btOKClick();
    EXPECT_FALSE(view.isVisible());
    auto after = attributesOf(dn);
    EXPECT_EQ(after.take(QStringLiteral("description")), QList<QByteArray>{"  Described  "});
    EXPECT_EQ(after.take(QStringLiteral("mail")), QList<QByteArray>{"dyn@arvendel.test"});
    EXPECT_EQ(after, before);
}

TEST_F(DynamicGui, SecurityTabListsTheGroupsTrusteesAndOffersTheAdvancedView)
{
    ui::ScriptedPrompts prompts;
    wireDialogs();
    const QString dn = createDynamicGroup(QStringLiteral("sec"), fact("SEED_OU"), QStringLiteral("(mailNickname=*)"));
    TfrmDistributionDynamicGroupView view(dn, QStringLiteral("sec"));
    view.pcGroup->setCurrentWidget(view.tsSecurity);
    ASSERT_TRUE(view.tsSecurity->readable());
    // One row per distinct trustee of the DACL as Samba decodes it.
    const QByteArray bytes = testsupport::ldapSearch(dn, QStringLiteral("(objectClass=*)"), {QStringLiteral("nTSecurityDescriptor")},
                                                     testsupport::Account::admin(), {QStringLiteral("-s"), QStringLiteral("base")})
                                 .value(0)
                                 .values(QStringLiteral("nTSecurityDescriptor"))
                                 .value(0);
    QSet<QString> trustees;
    for (const testsupport::DecodedAce &a : testsupport::decodeAclWithSamba(bytes))
        if (a.type < 7)
            trustees.insert(a.sid);
    ASSERT_FALSE(trustees.isEmpty());
    EXPECT_EQ(view.tsSecurity->lvSecurity->topLevelItemCount(), trustees.size());
    EXPECT_EQ(view.tsSecurity->lvPermitions->topLevelItemCount(), 7);
    EXPECT_TRUE(view.tsSecurity->btAdvanced->isEnabled());
    EXPECT_EQ(prompts.asked().size(), 0);
}

TEST_F(DynamicGui, MembersWorkbookHoldsCaptionHeadersAndEveryPreviewedMember)
{
    ui::ScriptedPrompts prompts;
    QString opened;
    office::setOpenWithDesktopHook([&](const QString &path) {
        opened = path;
        return true;
    });
    const QString dn = QStringLiteral("CN=All Mailbox Users,OU=Distribution Lists,OU=Groups,") + fact("SEED_OU");
    TfrmDistributionDynamicGroupView view(dn, QStringLiteral("All Mailbox Users"));
    view.pcGroup->setCurrentWidget(view.tsMembers);
    ASSERT_TRUE(waitFor([&] { return view.enumerationFinished(); }));
    view.sbMembersToExcelClick();
    office::setOpenWithDesktopHook({});
    ASSERT_FALSE(opened.isEmpty());
    EXPECT_EQ(opened, view.lastWorkbook());

    // Read back with openpyxl: one line per row, cells joined by tabs.
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"), QStringLiteral("import sys, openpyxl\n"
                                                  "ws = openpyxl.load_workbook(sys.argv[1]).active\n"
                                                  "for r in ws.iter_rows(values_only=True):\n"
                                                  "    print('\\t'.join('' if v is None else str(v) for v in r))\n"),
             opened});
    ASSERT_TRUE(p.waitForFinished(60000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'));
    const int n = view.lvMembers->topLevelItemCount();
    ASSERT_GE(lines.size(), n + 5);
    EXPECT_TRUE(lines[0].startsWith(view.windowTitle())) << lines[0].toStdString();
    EXPECT_EQ(lines[1], QStringLiteral("Name\tActive Directory Folder\tDistinguished Name"));
    for (int i = 0; i < n; ++i) {
        const QTreeWidgetItem *item = view.lvMembers->topLevelItem(i);
        EXPECT_EQ(lines[i + 2], item->text(0) + QLatin1Char('\t') + item->text(1) + QLatin1Char('\t') + item->text(2));
    }
    EXPECT_TRUE(lines[n + 4].startsWith(QStringLiteral("Created with \"Arvendel - "))) << lines[n + 4].toStdString();
}
