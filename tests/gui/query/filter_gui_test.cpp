// The filter builder: conditions through its controls, the preview against ldapsearch, typed
// filters, and saving and loading queries through the saved-query dialog and the CLI.
#include "mainwindow_support.h"
#include "query_gui_support.h"

#include "main/unCatalogue.h"
#include "platform/registry/registry.h"
#include "query/unFilter.h"
#include "query/unLastLogonBox.h"
#include "query/unLoadSaveLDAPQ.h"
#include "ui/prompt.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace querytest;
using query::TfrmFilter;
using query::TfrmLoadSaveLDAPQ;

namespace {

const QString kUac2 = QStringLiteral("(userAccountControl:1.2.840.113556.1.4.803:=2)");

QString cli()
{
    return qEnvironmentVariable("ARV_BINARY_DIR") + QStringLiteral("/src/cli/arvendel-cli");
}

QString runCli(const QStringList &args, int *exitCode = nullptr)
{
    QProcess p;
    p.start(cli(), args);
    p.waitForFinished(60000);
    if (exitCode)
        *exitCode = p.exitCode();
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

TEST(FilterBuilder, ConditionsFromTheControlsComposeTheFragment)
{
    TfrmFilter f;
    ui::ScriptedPrompts prompts;
    f.show();
    // A group header cannot be chosen.
    f.cbFields->setCurrentIndex(0);
    f.cbFieldsChange(0);
    EXPECT_EQ(f.cbFields->currentIndex(), -1);
    EXPECT_FALSE(f.btAdd->isEnabled());

    addCondition(f, "sn", "Starts with", QStringLiteral("Smi"));
    addCondition(f, "mail", "Present");
    f.HideDisabled->setChecked(true);
    EXPECT_EQ(f.filterText(), QStringLiteral("(sn=Smi*)(mail=*)") + kUac2);
    EXPECT_TRUE(f.modeFlag());
    f.HideLocked->setChecked(true);
    EXPECT_EQ(f.filterText(), QStringLiteral("(sn=Smi*)(mail=*)(|") + kUac2 + QStringLiteral("(lockoutTime>=1))"));
    EXPECT_EQ(f.lvCond->topLevelItemCount(), 4);
    EXPECT_EQ(f.lvCond->topLevelItem(0)->text(1), QStringLiteral("Starts with"));

    // An empty value focuses the value box and adds nothing; a second sn is refused by name.
    addCondition(f, "department", "Is not", QStringLiteral("  "));
    EXPECT_EQ(f.lvCond->topLevelItemCount(), 4);
    addCondition(f, "sn", "Is (exactly)", QStringLiteral("x"));
    ASSERT_EQ(prompts.asked().size(), 1);
    EXPECT_EQ(prompts.asked().at(0).text,
              QStringLiteral("The \"%1\" is already in the list and cannot be added a second time.")
                  .arg(CaptionByLdapName(u"sn")));
    EXPECT_EQ(f.lvCond->currentItem(), f.lvCond->topLevelItem(0));

    // Removing the locked row clears its box; clearing the disabled box removes its row.
    f.lvCond->setCurrentItem(f.lvCond->topLevelItem(3));
    f.btRemoveClick();
    EXPECT_FALSE(f.HideLocked->isChecked());
    f.HideDisabled->setChecked(false);
    EXPECT_EQ(f.filterText(), QStringLiteral("(sn=Smi*)(mail=*)"));

    // With six conditions the preview stays off.
    addCondition(f, "department", "Is not", QStringLiteral("Sales"));
    addCondition(f, "l", "Containing", QStringLiteral("a(b"));
    addCondition(f, "company", "Not present");
    EXPECT_TRUE(f.btApplay->isEnabled());
    addCondition(f, "givenName", "Ends with", QStringLiteral("e"));
    EXPECT_FALSE(f.btApplay->isEnabled());
    EXPECT_EQ(f.filterText(), QStringLiteral("(sn=Smi*)(mail=*)(!(department=Sales))(l=*a\\28b*)(!(company=*))(givenName=*e)"));

    // The last-logon age adds its row and term.
    f.gbLastLogon->setDays(30);
    EXPECT_TRUE(f.filterText().contains(QLatin1Char('(') + f.gbLastLogon->rule().attribute + QStringLiteral(">=")));
    EXPECT_EQ(f.lvCond->topLevelItem(f.lvCond->topLevelItemCount() - 1)->text(1), QStringLiteral(">="));

    // Clear empties everything; typing by hand turns the conditions off.
    f.btClearClick();
    EXPECT_EQ(f.lvCond->topLevelItemCount(), 0);
    EXPECT_TRUE(f.filterText().isEmpty());
    EXPECT_TRUE(f.gbLastLogon->cbDays->currentText().isEmpty());
    QTest::keyClicks(f.memoQuery, QStringLiteral("(cn=a*)"));
    EXPECT_FALSE(f.modeFlag());
}

TEST(FilterBuilder, ParsesTheGivenFragmentBackIntoTheControls)
{
    TfrmFilter f;
    query::FilterRequest r;
    r.filter = QStringLiteral("(!department=Sales)(sn=M\\c3\\bcller*)(|") + kUac2 +
               QStringLiteral("(userAccountControl:1.2.840.113556.1.4.803:=16))");
    r.fromBuilder = true;
    f.setRequest(r);
    f.show();
    EXPECT_EQ(f.pcFilter->currentWidget(), f.tsQuery); // the memo holds text
    EXPECT_TRUE(f.HideDisabled->isChecked());
    EXPECT_TRUE(f.HideLocked->isChecked());
    EXPECT_FALSE(f.HideExpired->isChecked());
    ASSERT_EQ(f.lvCond->topLevelItemCount(), 4);
    EXPECT_EQ(f.lvCond->topLevelItem(1)->text(2), QStringLiteral("Müller"));
    // The old forms load; the next change writes the forms the server answers.
    f.HideExpired->setChecked(true);
    EXPECT_TRUE(f.filterText().startsWith(QStringLiteral("(!(department=Sales))(sn=M\u00fcller*)(|") + kUac2 +
                                          QStringLiteral("(lockoutTime>=1)(&(pwdLastSet<=")));
    // A typed fragment (flag false) is not parsed.
    TfrmFilter typed;
    r.fromBuilder = false;
    typed.setRequest(r);
    EXPECT_EQ(typed.lvCond->topLevelItemCount(), 0);
    EXPECT_EQ(typed.filterText(), r.filter);
}

TEST(FilterBuilder, PreviewListsWhatLdapsearchLists)
{
    ARV_REQUIRE_DOMAIN();
    ASSERT_TRUE(connectDomain());
    const QString emea = QStringLiteral("OU=EMEA,OU=Sales,OU=Staff,") + seedOu();
    TfrmFilter f;
    f.setContainer(pathOf(emea), QStringLiteral("EMEA"), true);
    f.show();
    EXPECT_EQ(f.statusPanel(0), QStringLiteral(" Container: EMEA"));
    addCondition(f, "mail", "Present");
    addCondition(f, "givenName", "Not present");
    f.btApplayClick();
    const QSet<QString> dns = ldapDns(emea, query::userFilter(f.filterText()), true);
    EXPECT_EQ(f.lvFilterOpt->topLevelItemCount(), dns.size());
    EXPECT_FALSE(f.btApplay->isEnabled());
    // Names against names: the listing's "User Name" is the RDN value.
    QSet<QString> names;
    for (const QString &dn : dns)
        names.insert(dn.section(QStringLiteral(",ou="), 0, 0).mid(3).remove(u'\\'));
    EXPECT_EQ(columnTexts(f.lvFilterOpt, 0), names);

    // The last-logon age against the stored logon times, compared here without the program.
    f.btClearClick();
    f.gbLastLogon->setToggled(true);
    f.gbLastLogon->setDays(90);
    f.btApplayClick();
    const qint64 threshold =
        QDateTime(QDate::currentDate().addDays(-90), QTime(0, 0)).toMSecsSinceEpoch() * 10000 + 116444736000000000LL;
    QSet<QString> notRecently;
    for (const testsupport::LdifEntry &e :
         testsupport::ldapSearch(emea, query::userFilter(QString()), {QStringLiteral("name"), QStringLiteral("lastLogonTimestamp")},
                                 testsupport::Account::admin(), {QStringLiteral("-s"), QStringLiteral("one")})) {
        const QByteArray v = e.values(QStringLiteral("lastLogonTimestamp")).value(0);
        if (!v.isEmpty() && v.toLongLong() <= threshold)
            notRecently.insert(e.text(QStringLiteral("name")).toLower());
    }
    EXPECT_FALSE(notRecently.isEmpty());
    EXPECT_EQ(columnTexts(f.lvFilterOpt, 0), notRecently);

    // A typed filter; the domain root is searched as a subtree and stops at 50.
    f.btClearClick();
    QTest::keyClicks(f.memoQuery, QStringLiteral("(sn=*)"));
    f.setContainer(ConnectionContext().DomainPath, QStringLiteral("arvendel.test"), false);
    f.btApplayClick();
    EXPECT_EQ(f.lvFilterOpt->topLevelItemCount(), 50);
    EXPECT_EQ(f.lbCount->text(), QStringLiteral("The first 50 accounts"));
    // An invalid typed filter previews nothing (and is never sent).
    f.memoQuery->clear();
    QTest::keyClicks(f.memoQuery, QStringLiteral("(!sn=x)"));
    f.btApplayClick();
    EXPECT_EQ(f.lvFilterOpt->topLevelItemCount(), 0);
    EXPECT_EQ(f.lbCount->text(), QStringLiteral("No items"));
}

TEST(FilterBuilder, TypedFilterThatIsNotValidLdapIsRefused)
{
    ui::ScriptedPrompts prompts;
    mwtest::whenModal<TfrmFilter>([](TfrmFilter *f) {
        QTest::keyClicks(f->memoQuery, QStringLiteral("(!department=Sales)"));
        f->btOKClick();
        EXPECT_TRUE(f->isVisible());
        EXPECT_EQ(f->pcFilter->currentWidget(), f->tsQuery);
        f->memoQuery->clear();
        QTest::keyClicks(f->memoQuery, QStringLiteral("(!(department=Sales)) "));
        f->btOKClick();
    });
    query::FilterResult res;
    ASSERT_TRUE(query::BuildFilter(nullptr, {}, &res));
    ASSERT_EQ(prompts.asked().size(), 1);
    EXPECT_EQ(prompts.asked().at(0).text, QStringLiteral("The specified search filter is invalid."));
    EXPECT_EQ(res.filter, QStringLiteral("(!(department=Sales))"));
    EXPECT_FALSE(res.fromBuilder);

    // Cancel gives nothing back.
    mwtest::whenModal<TfrmFilter>([](TfrmFilter *f) { f->btCancelClick(); });
    EXPECT_FALSE(query::BuildFilter(nullptr, {}, &res));
}

// Saved in the window, read by the command-line tool in another process, and the other way
// round; the records stay across a restart of either.
TEST(SavedQueries, SharedBetweenTheWindowsAndTheCli)
{
    mwtest::TempSettings store;
    qputenv("ARV_SETTINGS_FILE", store.file().toUtf8());
    ui::ScriptedPrompts prompts;
    {
        TfrmFilter f;
        addCondition(f, "department", "Is (exactly)", QStringLiteral("R&D (Lab)"));
        f.HideDisabled->setChecked(true);
        mwtest::whenModal<TfrmLoadSaveLDAPQ>([](TfrmLoadSaveLDAPQ *d) {
            EXPECT_TRUE(d->ebLDAPName->isEnabled());
            // OK waits for a saved query or a selected row.
            EXPECT_FALSE(d->btOK->isEnabled());
            d->ebLDAPName->setText(QStringLiteral("  Lab disabled "));
            EXPECT_TRUE(d->btSaveAs->isEnabled());
            d->btSaveAsClick();
            EXPECT_FALSE(d->btSaveAs->isEnabled());
            EXPECT_TRUE(d->btOK->isEnabled());
            d->btOKClick();
        });
        f.SaveAsClick();
    }
    int rc = -1;
    EXPECT_EQ(runCli({QStringLiteral("query"), QStringLiteral("list")}, &rc),
              QStringLiteral("Lab disabled\tconditions\t(department=R&D \\28Lab\\29)") + kUac2 + QStringLiteral("\n"));
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(runCli({QStringLiteral("query"), QStringLiteral("show"), QStringLiteral("LAB DISABLED"),
                      QStringLiteral("--conditions")}),
              CaptionByLdapName(u"department") + QStringLiteral("\tIs (exactly)\tR&D (Lab)\n") +
                  CaptionByKey(88) + QStringLiteral("\t\t\n"));
    runCli({QStringLiteral("query"), QStringLiteral("save"), QStringLiteral("Typed"), QStringLiteral("(cn=a*)(sn=b*)")}, &rc);
    EXPECT_EQ(rc, 0);

    // Loading: a query built from conditions comes back as conditions, a typed one as text.
    TfrmFilter f;
    f.show();
    mwtest::whenModal<TfrmLoadSaveLDAPQ>([](TfrmLoadSaveLDAPQ *d) {
        ASSERT_EQ(d->ListViewQ->topLevelItemCount(), 2);
        EXPECT_FALSE(d->ebLDAPName->isEnabled());
        d->ListViewQ->setCurrentItem(d->ListViewQ->topLevelItem(0));
        EXPECT_TRUE(d->rbSelected->isChecked());
        d->btOKClick();
    });
    f.LoadSavedClick();
    EXPECT_EQ(f.lvCond->topLevelItemCount(), 2);
    EXPECT_TRUE(f.HideDisabled->isChecked());
    EXPECT_TRUE(f.modeFlag());
    EXPECT_EQ(f.pcFilter->currentWidget(), f.tsFilter);
    mwtest::whenModal<TfrmLoadSaveLDAPQ>([](TfrmLoadSaveLDAPQ *d) {
        d->ListViewQ->setCurrentItem(d->ListViewQ->topLevelItem(1));
        d->btOKClick();
    });
    f.LoadSavedClick();
    EXPECT_EQ(f.lvCond->topLevelItemCount(), 0);
    EXPECT_FALSE(f.HideDisabled->isChecked());
    EXPECT_FALSE(f.modeFlag());
    EXPECT_EQ(f.filterText(), QStringLiteral("(cn=a*)(sn=b*)"));
    EXPECT_EQ(f.pcFilter->currentWidget(), f.tsQuery);
    EXPECT_EQ(prompts.unscripted(), 0);
    qunsetenv("ARV_SETTINGS_FILE");
}

TEST(SavedQueries, RenameDeleteAndTextFiles)
{
    mwtest::TempSettings store;
    for (const char *n : {"Alpha", "Beta", "Gamma"})
        query::SaveQuery(QStringLiteral("-1"), {QString::fromLatin1(n), QStringLiteral("(cn=%1)").arg(QLatin1String(n)), false});
    ui::ScriptedPrompts prompts;
    QTemporaryDir dir;
    {
        TfrmLoadSaveLDAPQ d;
        d.show();
        // Nothing selected: "Selected" is off and the whole list is written.
        EXPECT_FALSE(d.rbSelected->isEnabled());
        ui::ScriptedAnswer file = ui::ScriptedAnswer::file(dir.filePath(QStringLiteral("all")));
        file.selectedFilter = QStringLiteral("UNICODE Text files (*.txt)");
        prompts.answer(file).answer(ui::Button::Ok);
        d.btSaveTxtClick();
        ASSERT_EQ(prompts.asked().size(), 2);
        EXPECT_EQ(prompts.asked().at(1).text, QStringLiteral("Saved."));
        QFile written(dir.filePath(QStringLiteral("all.TXT")));
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        const QByteArray bytes = written.readAll();
        EXPECT_TRUE(bytes.startsWith("\xFF\xFE"));
        EXPECT_EQ(QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData() + 2), (bytes.size() - 2) / 2),
                  QStringLiteral("[Alpha]\r\n(cn=Alpha)\r\n\r\n\r\n\r\n[Beta]\r\n(cn=Beta)\r\n\r\n\r\n\r\n[Gamma]\r\n(cn=Gamma)\r\n"));

        // Renaming to another row's name (in other case) is refused.
        d.ListViewQ->setCurrentItem(d.ListViewQ->topLevelItem(0));
        prompts.answer(ui::Button::Ok);
        mwtest::whenModal<query::TfrmRenameTo>([](query::TfrmRenameTo *r) {
            EXPECT_EQ(r->lbOldName->text(), QStringLiteral("Alpha"));
            r->ebRenameTo->setText(QStringLiteral("GAMMA"));
            r->btOK->click();
        });
        d.btRenameClick();
        EXPECT_EQ(prompts.asked().last().text, QStringLiteral("The \"GAMMA\" is already in the list."));
        EXPECT_EQ(d.ListViewQ->topLevelItem(0)->text(0), QStringLiteral("Alpha"));
        mwtest::whenModal<query::TfrmRenameTo>([](query::TfrmRenameTo *r) {
            r->ebRenameTo->setText(QStringLiteral(" Omega "));
            r->btOK->click();
        });
        d.btRenameClick();
        // Delete the middle one; only OK writes the list, renumbered from 0.
        d.ListViewQ->setCurrentItem(d.ListViewQ->topLevelItem(1));
        d.btDeleteClick();
        EXPECT_FALSE(d.btDelete->isEnabled());
        EXPECT_FALSE(d.btOK->isEnabled());
        EXPECT_EQ(query::LoadSavedQueries().queries.size(), 3);
        d.btOKClick();
    }
    const query::SavedQueryList after = query::LoadSavedQueries();
    ASSERT_EQ(after.queries.size(), 2);
    EXPECT_EQ(after.queries.at(0).valueName, QStringLiteral("0"));
    EXPECT_EQ(after.queries.at(0).query.name, QStringLiteral("Omega"));
    EXPECT_EQ(after.queries.at(1).valueName, QStringLiteral("1"));
    EXPECT_EQ(after.queries.at(1).query.name, QStringLiteral("Gamma"));
}

TEST(SavedQueries, UnreadableRecordIsReportedOnceAndTheOthersLoad)
{
    mwtest::TempSettings store;
    query::SaveQuery(QStringLiteral("-1"), {QStringLiteral("Good"), QStringLiteral("(cn=g)"), false});
    {
        registry::Key key;
        ASSERT_TRUE(key.open(query::savedQueriesKey(), registry::Access::ReadWrite));
        key.writeBinary(QStringLiteral("1"), QByteArray("\xff\xff\x00\x00\x02\x00\x00\x00zz\x01", 11));
    }
    ui::ScriptedPrompts prompts;
    TfrmLoadSaveLDAPQ d;
    d.show();
    ASSERT_TRUE(mwtest::waitFor([&] { return prompts.asked().size() == 1; }, 5000));
    EXPECT_TRUE(prompts.asked().at(0).text.contains(QStringLiteral("(1)")));
    EXPECT_EQ(d.ListViewQ->topLevelItemCount(), 1);
    d.hide();
    d.show();
    QTest::qWait(50);
    EXPECT_EQ(prompts.asked().size(), 1);
}
