// Every window that writes to the directory leaves its writes in the change journal (read back
// by Python) with the values ldapsearch saw before and after, and the Change History window
// undoes them: the property dialog's tabs and sub-dialogs, the other-values editor, the mail
// dialogs, group membership from the user's and the group's window, the quick panel and its
// picture tab, and a find-and-replace run. A journal that cannot be written is reported before
// the write, which the user can cancel. The options keep the journal's days; the main window
// opens Change History from its menu.
#include "../../integration/bulk/replace_fixture.h"
#include "../main/quickpanel_support.h"
#include "../userprop/userprop_support.h"
#include "bulk/unFindAndReplace.h"
#include "groups/unGroupView.h"
#include "journal/window/journalwiring.h"
#include "journal/recorder.h"
#include "journal/window/unChangeHistory.h"
#include "main/unMain.h"
#include "main/unPicture.h"
#include "options/unFormOptions.h"
#include "support/journalread.h"
#include "support/modal.h"
#include "userprop/unBussPhone.h"
#include "userprop/unExchangeDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeWidget>

using namespace uptest;

namespace {


// The journal's modify entries of one object, as Python read them (the test's own creation of
// the object is journaled too).
QList<QJsonObject> entriesOf(const QString &folder, const QString &dn)
{
    QList<QJsonObject> out;
    for (const QJsonValue &v : testsupport::journalEntriesByPython(folder))
        if (v.toObject()[QStringLiteral("dn")].toString().compare(dn, Qt::CaseInsensitive) == 0
            && v.toObject()[QStringLiteral("kind")].toString() == QLatin1String("modify"))
            out.append(v.toObject());
    return out;
}

// Before or after values of an attribute over an object's entries: the first entry's
// "before" that names it, the last entry's "after".
QList<QByteArray> journaled(const QList<QJsonObject> &entries, const QString &attr, const char *side)
{
    QList<QByteArray> found;
    bool seen = false;
    for (const QJsonObject &e : entries) {
        bool names = false;
        for (const QJsonValue &c : e[QStringLiteral("changes")].toArray())
            names = names || c.toObject()[QStringLiteral("attribute")].toString().compare(attr, Qt::CaseInsensitive) == 0;
        if (!names)
            continue;
        if (QByteArray(side) == "after" || !seen)
            found = testsupport::changeValues(e, attr, side);
        seen = true;
    }
    std::sort(found.begin(), found.end());
    return found;
}

QList<QByteArray> ldapValues(const QString &dn, const QString &attr)
{
    QList<QByteArray> v = entry(dn, {attr}).values(attr);
    std::sort(v.begin(), v.end());
    return v;
}

// Every attribute's values as ldapsearch sees them.
QMap<QString, QList<QByteArray>> snapshot(const QString &dn, const QStringList &attrs)
{
    QMap<QString, QList<QByteArray>> out;
    for (const QString &a : attrs)
        out.insert(a, ldapValues(dn, a));
    return out;
}

class JournalGui : public DialogTest {
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        folder = dir.filePath(QStringLiteral("journal"));
        journal::install(folder);
    }
    void TearDown() override
    {
        journal::uninstall();
        DialogTest::TearDown();
    }
    // The journal's before and after of every attribute equal ldapsearch's before and after.
    void expectJournaled(const QString &dn, const QMap<QString, QList<QByteArray>> &before,
                         const QMap<QString, QList<QByteArray>> &after)
    {
        const QList<QJsonObject> entries = entriesOf(folder, dn);
        ASSERT_FALSE(entries.isEmpty()) << dn.toStdString();
        for (const QJsonObject &e : entries)
            EXPECT_EQ(e[QStringLiteral("outcome")].toString(), QStringLiteral("written"));
        for (auto it = before.begin(); it != before.end(); ++it) {
            EXPECT_EQ(journaled(entries, it.key(), "before"), it.value()) << it.key().toStdString();
            EXPECT_EQ(journaled(entries, it.key(), "after"), after.value(it.key())) << it.key().toStdString();
        }
    }
    // Undoes the entries of dn (selected in the window) through the preview page.
    journal::UndoSummary undoInWindow(const QString &objectFilter, bool wholeRun = false, const QString &run = {})
    {
        journal::ChangeHistoryWindow w(nullptr, replacetest::adminContext(), folder);
        w.ebObject->setText(objectFilter);
        w.ebRun->setText(run);
        w.btRefreshClick();
        EXPECT_GT(w.lvEntries->topLevelItemCount(), 0);
        // Newest first.
        for (int i = 1; i < static_cast<int>(w.shownEntries().size()); ++i)
            EXPECT_GE(w.shownEntries()[i - 1].time, w.shownEntries()[i].time);
        if (wholeRun) {
            w.lvEntries->setCurrentItem(w.lvEntries->topLevelItem(0));
            w.btUndoRunClick();
        } else {
            w.lvEntries->selectAll();
            EXPECT_TRUE(w.btUndoSelected->isEnabled());
            w.btUndoSelectedClick();
        }
        EXPECT_TRUE(w.btApplyUndo->isEnabled());
        for (int i = 0; i < w.lvPreview->topLevelItemCount(); ++i)
            EXPECT_NE(w.lvPreview->topLevelItem(i)->text(0), QStringLiteral("changed since"));
        w.btApplyUndoClick();
        EXPECT_FALSE(w.busy());
        return w.lastSummary();
    }

    QString folder;
};

} // namespace

TEST_F(JournalGui, PropertyDialogTabsSubDialogsAndAccountAreJournaledAndUndoneFromChangeHistory)
{
    const QString dn = createUser("jg-prop", {{"givenName", "Old"}, {"title", "Clerk"},
                                             {"otherTelephone", QVariantList{"+1 111", "+1 222"}}});
    const QStringList attrs{QStringLiteral("givenName"), QStringLiteral("title"), QStringLiteral("otherTelephone"),
                            QStringLiteral("accountExpires")};
    const auto before = snapshot(dn, attrs);
    const QByteArray sdBefore = entry(dn, {"nTSecurityDescriptor"}).values("nTSecurityDescriptor").value(0);

    TfrmUserProp *d = open(dn);
    typeInto(child<QLineEdit>(d, "ebFirstName"), "New");
    d->showTab(TfrmUserProp::Organization);
    typeInto(child<QLineEdit>(d, "ebTitle"), "Head");
    d->showTab(TfrmUserProp::Account);
    child<QRadioButton>(d, "rbEndOf")->click();
    child<QDateEdit>(d, "dtpAccountExpires")->setDate(QDate(2031, 7, 14));
    child<QCheckBox>(d, "cbUserCannotChangePassword")->click();
    ASSERT_TRUE(d->Apply());
    {
        // The other-values editor writes through its own binding.
        userprop::TfrmBussPhone ed(d->userObject(), "otherTelephone", 6, true, adminConnection());
        ed.ebNewValue->setText("+1 333");
        ed.btAdd->click();
        ed.btOKClick();
        ASSERT_TRUE(ed.wrote());
    }
    const auto after = snapshot(dn, attrs);
    expectJournaled(dn, before, after);
    const QList<QJsonObject> entries = entriesOf(folder, dn);
    bool sdJournaled = false;
    for (const QJsonObject &e : entries)
        if (!testsupport::changeValues(e, QStringLiteral("nTSecurityDescriptor"), "before").isEmpty()) {
            sdJournaled = true;
            EXPECT_EQ(testsupport::decodeAclWithSamba(testsupport::changeValues(e, QStringLiteral("nTSecurityDescriptor"), "before").value(0)).size(),
                      testsupport::decodeAclWithSamba(sdBefore).size());
        }
    EXPECT_TRUE(sdJournaled);

    const journal::UndoSummary s = undoInWindow(dn);
    EXPECT_EQ(s.undone, 1);
    EXPECT_EQ(snapshot(dn, attrs), before);
    EXPECT_EQ(testsupport::decodeAclWithSamba(entry(dn, {"nTSecurityDescriptor"}).values("nTSecurityDescriptor").value(0)).size(),
              testsupport::decodeAclWithSamba(sdBefore).size());
    EXPECT_FALSE(GetCannotChangePassword(entry(dn, {"nTSecurityDescriptor"}).values("nTSecurityDescriptor").value(0)));
}

TEST_F(JournalGui, MailDialogAndGroupMembershipFromBothWindowsAreJournaledAndUndone)
{
    const auto m = entry(QStringLiteral("CN=Mia Mailbox,OU=Showcase,") + testsupport::fact("SEED_OU"),
                         {"homeMDB", "msExchHomeServerName"});
    const QString dn = createUser("jg-mail", {{"homeMDB", m.text("homeMDB")},
                                             {"msExchHomeServerName", m.text("msExchHomeServerName")},
                                             {"mailNickname", uniqueName("jmbx")},
                                             {"extensionAttribute2", "two"}});
    const QString viaUser = createGroup("jg-g1"), viaGroup = createGroup("jg-g2");
    const QString other = createUser("jg-member");
    const auto before = snapshot(dn, {QStringLiteral("extensionAttribute1"), QStringLiteral("extensionAttribute2")});

    TfrmUserProp *d = open(dn);
    TfrmUserProp::setMailDialogRunner([](QDialog *dlg) {
        auto *x = dynamic_cast<userprop::TfrmExchangeExtAtt *>(dlg);
        ASSERT_NE(x, nullptr);
        typeInto(x->edit(1), "one");
        typeInto(x->edit(2), "");
        x->btOKClick();
    });
    d->openMailDialog(QStringLiteral("btAttributes"));
    TfrmUserProp::setMailDialogRunner({});
    expectJournaled(dn, before, snapshot(dn, {QStringLiteral("extensionAttribute1"), QStringLiteral("extensionAttribute2")}));

    // Member Of of the user's window, and the group's own window.
    TfrmUserProp::setGroupPicker([&](QWidget *, const userprop::UserPropConnection &, const QStringList &, const QString &,
                                     QStringList &chosen) {
        chosen = {viaUser};
        return true;
    });
    d->showTab(TfrmUserProp::MemberOf);
    child<QPushButton>(d, "btAddGroup")->click();
    ASSERT_TRUE(d->Apply());
    {
        PublishConnectionContext(replacetest::adminContext());  // the group window binds through it
        groups::TfrmGroupView view(viaGroup, QStringLiteral("x"));
        ASSERT_TRUE(view.addMember(other));
        ASSERT_TRUE(view.btApplyClick());
    }
    for (const auto &[group, member] : {std::pair{viaUser, dn}, std::pair{viaGroup, other}}) {
        EXPECT_EQ(ldapValues(group, QStringLiteral("member")), QList<QByteArray>{member.toUtf8()});
        const QList<QJsonObject> entries = entriesOf(folder, group);
        ASSERT_EQ(entries.size(), 1) << group.toStdString();
        EXPECT_EQ(testsupport::changeValues(entries[0], QStringLiteral("member"), "after"), QList<QByteArray>{member.toUtf8()});
        EXPECT_TRUE(testsupport::changeValues(entries[0], QStringLiteral("member"), "before").isEmpty());
    }

    // Everything of the three objects at once: one modify each.
    const journal::UndoSummary s = undoInWindow(QStringLiteral("jg-"));
    EXPECT_GE(s.undone, 3);
    EXPECT_EQ(snapshot(dn, {QStringLiteral("extensionAttribute1"), QStringLiteral("extensionAttribute2")}), before);
    EXPECT_TRUE(ldapValues(viaUser, QStringLiteral("member")).isEmpty());
    EXPECT_TRUE(ldapValues(viaGroup, QStringLiteral("member")).isEmpty());
}

namespace {
class JournalPanel : public qptest::PanelTest {
protected:
    void SetUp() override
    {
        qptest::PanelTest::SetUp();
        folder = dir.filePath(QStringLiteral("journal"));
        journal::install(folder);
    }
    void TearDown() override
    {
        journal::uninstall();
        qptest::PanelTest::TearDown();
    }
    QString folder;
};
} // namespace

TEST_F(JournalPanel, QuickPanelApplyAndPictureAreJournaledWithTheirBytes)
{
    const QString dn = qptest::createUser("jp-panel", {{"l", "Bonn"}});
    const QStringList attrs{QStringLiteral("l"), QStringLiteral("title"), QStringLiteral("thumbnailPhoto")};
    const auto before = snapshot(dn, attrs);
    load(dn);
    options::setConfirmWrites(false);
    typeInto(child<QLineEdit>("ebCity"), "Bern");
    typeInto(child<QLineEdit>("ebTitle"), "Chief");
    panel.ActionApplayExecute();
    ASSERT_EQ(panel.lastApplyResult().setInfoCalls, 2);
    child<QTabWidget>("pcFastUser")->setCurrentIndex(5);
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    const QByteArray jpeg = picture::encodeJpeg(image);
    const QString file = dir.filePath(QStringLiteral("face.jpg"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(jpeg);
    f.close();
    prompts.answer(ui::ScriptedAnswer::file(file));
    child<QPushButton>("btnPicUpload")->click();
    const auto after = snapshot(dn, attrs);
    ASSERT_EQ(after.value(QStringLiteral("thumbnailPhoto")), QList<QByteArray>{jpeg});

    const QList<QJsonObject> entries = entriesOf(folder, dn);
    ASSERT_EQ(entries.size(), 3);  // two tabs, one picture
    for (const QJsonObject &e : entries)
        EXPECT_EQ(e[QStringLiteral("outcome")].toString(), QStringLiteral("written"));
    for (const QString &a : attrs) {
        EXPECT_EQ(journaled(entries, a, "before"), before.value(a)) << a.toStdString();
        EXPECT_EQ(journaled(entries, a, "after"), after.value(a)) << a.toStdString();
    }

    journal::UndoPlan plan = journal::planUndo(journal::readJournal(folder).entries);
    journal::UndoRun run(replacetest::adminContext());
    EXPECT_EQ(run.apply(plan).undone, 1);
    EXPECT_EQ(snapshot(dn, attrs), before);
}

namespace {
class JournalReplace : public replacetest::ScratchOuTest<JournalReplace> {
public:
    static constexpr const char *kOuPrefix = "jrepl";
};
} // namespace

TEST_F(JournalReplace, FindAndReplaceRunIsJournaledRowByRowAndUndoneAsARunFromTheWindow)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("journal"));
    journal::install(folder);
    ui::ScriptedPrompts script;
    const TConnectionContext ctx = replacetest::adminContext();
    QStringList users;
    for (const QString &cn : {QStringLiteral("Rep Ann"), QStringLiteral("Rep Ben"), QStringLiteral("Rep Cid")})
        users << ou.user(cn);
    QMap<QString, QList<QByteArray>> before;
    for (const QString &u : users)
        before.insert(u, ldapValues(u, QStringLiteral("title")));

    TfrmFindAndReplace w(nullptr, ctx);
    w.fillAttributes(false, {});
    w.setContainer(ctx.ServerPrefix + ou.dn, ou.dn, false);
    w.cbAttributes->setCurrentIndex(w.cbAttributes->findText(QStringLiteral("Title")));
    w.ebFind->setText(QStringLiteral("Engineer"));
    w.ebReplace->setText(QStringLiteral("Z-<%CURRENT%>"));
    w.rbContains->click();
    w.sbPreviewClick();
    ASSERT_EQ(w.rows().size(), 3u) << script.messages().join(QLatin1Char('|')).toStdString();
    script.answer(ui::Button::Yes);
    w.sbApplyClick();
    ASSERT_EQ(w.lastApply().succeeded, 3);
    const QString run = w.lastApply().journalRun;
    ASSERT_FALSE(run.isEmpty());
    for (const QString &u : users) {
        const QList<QJsonObject> entries = entriesOf(folder, u);
        ASSERT_EQ(entries.size(), 1) << u.toStdString();
        EXPECT_EQ(entries[0][QStringLiteral("run")].toString(), run);
        EXPECT_EQ(entries[0][QStringLiteral("runKind")].toString(), QStringLiteral("replace"));
        EXPECT_EQ(journaled(entries, QStringLiteral("title"), "before"), before.value(u));
        EXPECT_EQ(journaled(entries, QStringLiteral("title"), "after"), ldapValues(u, QStringLiteral("title")));
    }

    journal::ChangeHistoryWindow h(nullptr, ctx, folder);
    h.ebRun->setText(run.left(8));
    h.btRefreshClick();
    ASSERT_EQ(h.lvEntries->topLevelItemCount(), 3);
    h.lvEntries->setCurrentItem(h.lvEntries->topLevelItem(0));
    h.btUndoRunClick();
    ASSERT_EQ(h.lvPreview->topLevelItemCount(), 3);
    h.btApplyUndoClick();
    EXPECT_EQ(h.lastSummary().undone, 3);
    for (const QString &u : users)
        EXPECT_EQ(ldapValues(u, QStringLiteral("title")), before.value(u)) << u.toStdString();
    journal::uninstall();
}

TEST_F(JournalGui, AJournalThatCannotBeWrittenIsReportedBeforeTheWriteAndNoLeavesTheObjectAlone)
{
    const QString dn = createUser("jg-blocked", {{"title", "Clerk"}});
    QFile blocker(dir.filePath(QStringLiteral("blocked")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    journal::install(dir.filePath(QStringLiteral("blocked/journal")))->setUnrecordedWritePolicy(journal::askToWriteUnrecorded);
    TfrmUserProp *d = open(dn);
    d->showTab(TfrmUserProp::Organization);
    typeInto(child<QLineEdit>(d, "ebTitle"), "Head");
    prompts.answer(ui::Button::No);
    EXPECT_FALSE(d->Apply());
    ASSERT_FALSE(prompts.asked().isEmpty());
    EXPECT_TRUE(prompts.asked().first().text.contains(QStringLiteral("change journal cannot be written")))
        << prompts.asked().first().text.toStdString();
    EXPECT_EQ(ldapText(dn, "title"), QStringLiteral("Clerk"));
    prompts.answer(ui::Button::Yes);
    EXPECT_TRUE(d->Apply());
    EXPECT_EQ(ldapText(dn, "title"), QStringLiteral("Head"));
}

TEST_F(JournalGui, OptionsKeepTheJournalsDaysAndTheMainWindowOpensChangeHistory)
{
    const QByteArray stateHome = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", dir.path().toUtf8() + "/state");
    options::TOptions opts;
    options::LoadOptions(opts);
    QWidget mainWindow;
    testsupport::whenModal<options::TfrmFormOptions>([](options::TfrmFormOptions *o) {
        auto *days = o->findChild<QSpinBox *>(QStringLiteral("ebJournalDays"));
        ASSERT_NE(days, nullptr);
        EXPECT_EQ(days->value(), journal::kDefaultRetentionDays);
        days->setValue(30);
        o->findChild<QPushButton *>(QStringLiteral("btOK"))->click();
    });
    const QString defaultOld = journal::defaultFolder() + QLatin1Char('/') + journal::dayFileName(QDate::currentDate().addDays(-40));
    QDir().mkpath(journal::defaultFolder());
    QFile(defaultOld).open(QIODevice::WriteOnly);
    ASSERT_TRUE(options::ActionGeneralExecute(&mainWindow, opts));
    EXPECT_EQ(journal::retentionDays(), 30);
    EXPECT_FALSE(QFile::exists(defaultOld));  // removed at once

    TfrmMain main;
    journal::wireMainWindow(main);
    auto *extras = main.findChild<QMenu *>(QStringLiteral("mnuExtras"));
    ASSERT_NE(extras, nullptr);
    QAction *action = main.findChild<QAction *>(QStringLiteral("actChangeHistory"));
    ASSERT_NE(action, nullptr);
    EXPECT_TRUE(extras->actions().contains(action));
    EXPECT_EQ(journal::installedRecorder()->folder(), journal::defaultFolder());
    bool opened = false;
    testsupport::whenModal<journal::ChangeHistoryWindow>([&](journal::ChangeHistoryWindow *w) {
        opened = true;
        EXPECT_EQ(w->windowTitle(), QStringLiteral("Change History"));
        EXPECT_FALSE(w->btUndoSelected->isEnabled());  // not connected
        w->btClose->click();
    });
    action->trigger();
    EXPECT_TRUE(opened);
    qputenv("XDG_STATE_HOME", stateHome);
}
