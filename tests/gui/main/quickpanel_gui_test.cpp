#include "quickpanel_support.h"

#include "support/ldaptools.h"
#include "ui/objectbus.h"
#include "ui/texts.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

using namespace qptest;

namespace {

void typeInto(QLineEdit *e, const QString &text)
{
    e->setFocus();
    e->selectAll();
    QTest::keyClicks(e, text);
}

struct NoticeLog {
    QObject window;
    QStringList notices;
    NoticeLog()
    {
        ui::ObjectBus::instance().registerWindow(&window, [this](int code, const QString &dn) {
            notices << QStringLiteral("%1 %2").arg(code).arg(dn);
        });
    }
    ~NoticeLog() { ui::ObjectBus::instance().unregisterWindow(&window); }
};

} // namespace

class QuickPanel : public PanelTest {};

TEST_F(QuickPanel, LoadShowsWhatTheDirectoryHolds)
{
    const QString manager = createUser("qp-mgr", {{"givenName", "Mona"}});
    const QList<std::pair<QString, QVariant>> attrs = {
        {"givenName", "Zoë"}, {"initials", "ZQ"}, {"sn", "O'Brien, Jr."}, {"displayName", "Zoë O'Brien"},
        {"description", "Line one"}, {"physicalDeliveryOfficeName", "B-12"},
        {"streetAddress", "Main Street 1\r\nBuilding C"}, {"postOfficeBox", "PO 77"}, {"l", "Springfield"},
        {"st", "IL"}, {"postalCode", "62701"}, {"c", "us"}, {"co", "United States"}, {"countryCode", 840},
        {"telephoneNumber", "+1 555 0100"}, {"homePhone", "+1 555 0101"}, {"pager", "0102"},
        {"mobile", "+1 555 0103"}, {"facsimileTelephoneNumber", "+1 555 0104"}, {"ipPhone", "10.0.0.5"},
        {"title", "Engineer"}, {"department", "R&D"}, {"company", "Vastrel"}, {"manager", manager},
        {"mail", "zoe@example.test"}, {"wwwHomePage", "https://example.test/zoe"}, {"info", "Notes\r\nsecond line"}};
    const QString dn = createUser("qp-load", attrs);
    const QString report1 = createUser("qp-rep1", {{"manager", dn}});
    const QString report2 = createUser("qp-rep2", {{"manager", dn}});

    load(dn);
    for (const auto &[attr, value] : attrs) {
        const int i = quickpanel::fieldIndex(attr);
        if (i < 0)
            continue;
        const char *name = quickpanel::fields()[static_cast<std::size_t>(i)].control;
        QWidget *w = panel.findChild<QWidget *>(QLatin1String(name));
        ASSERT_NE(w, nullptr) << name;
        const QString shown = qobject_cast<QLineEdit *>(w) ? qobject_cast<QLineEdit *>(w)->text()
                                                            : qobject_cast<QPlainTextEdit *>(w)->toPlainText();
        // The editor shows the value as the directory gives it back (line breaks as LF).
        EXPECT_EQ(shown, ui::displayText(read(dn, attr).toString())) << name;
        EXPECT_TRUE(w->isEnabled()) << name;
    }
    EXPECT_EQ(child<QLineEdit>("ebInitials")->maxLength(), 6);
    EXPECT_EQ(child<QComboBox>("cbCountry")->currentText(), "United States");
    EXPECT_EQ(child<QLineEdit>("ebManager")->text(), ads::firstRdn(manager).mid(3));
    EXPECT_EQ(child<QLabel>("lbManagerDN")->text(), manager);
    EXPECT_TRUE(child<QLineEdit>("ebManager")->isReadOnly());
    auto *reports = child<QTreeWidget>("lvDirectReports");
    ASSERT_EQ(reports->topLevelItemCount(), 2);
    QStringList dns = {reports->topLevelItem(0)->text(1), reports->topLevelItem(1)->text(1)};
    dns.sort();
    QStringList want = {report1, report2};
    want.sort();
    EXPECT_EQ(dns.join('|').toLower(), want.join('|').toLower());
    EXPECT_EQ(child<QLabel>("lbFastUserDN")->text(), dn);
    EXPECT_TRUE(child<QLabel>("lbUserADPath")->text().startsWith(" LDAP://"));
    EXPECT_FALSE(panel.applyEnabled());
    EXPECT_TRUE(child<QTabWidget>("pcFastUser")->isVisible());
    EXPECT_EQ(child<QTabWidget>("pcFastUser")->currentIndex(), 0);

    // An edited several-line value goes back with CR LF line breaks.
    options::setConfirmWrites(false);
    auto *notes = child<QPlainTextEdit>("memoNotes");
    notes->moveCursor(QTextCursor::End);
    QTest::keyClick(notes, Qt::Key_Return);
    QTest::keyClicks(notes, "third");
    panel.ActionApplayExecute();
    EXPECT_EQ(read(dn, "info").toString(), "Notes\r\nsecond line\r\nthird");
    EXPECT_EQ(read(dn, "streetAddress").toString(), "Main Street 1\r\nBuilding C"); // untouched
}

TEST_F(QuickPanel, EveryFieldsCaptionIsFoundByItsNameAndLabelsItsControl)
{
    // The document of one user names its fields by these labels.
    const QList<std::pair<const char *, const char *>> labels = {
        {"lbFirstName", "ebFirstName"}, {"lbLastName", "ebLastName"}, {"lbStreet", "memoStreet"},
        {"lbCity", "ebCity"}, {"lbPhoneBusiness", "ebTelephoneBusiness"}, {"lbhomePhone", "ebHomePhone"},
        {"lbManager", "ebManager"}, {"lbEMail", "ebEmail"}, {"lbWebPage", "ebWWW"}, {"lbNotes", "memoNotes"}};
    for (const auto &[label, control] : labels) {
        auto *l = panel.findChild<QLabel *>(QLatin1String(label));
        ASSERT_NE(l, nullptr) << label;
        ASSERT_NE(l->buddy(), nullptr) << label;
        EXPECT_EQ(l->buddy()->objectName(), QLatin1String(control)) << label;
        EXPECT_FALSE(l->text().isEmpty()) << label;
    }
}

TEST_F(QuickPanel, CountryFromCountryCodeAndWritingAllThreeValues)
{
    const QString dn = createUser("qp-cc", {{"countryCode", 276}});
    load(dn);
    auto *box = child<QComboBox>("cbCountry");
    EXPECT_EQ(box->currentText(), "Germany");
    options::setConfirmWrites(false);
    box->setCurrentIndex(box->findText("France"));
    EXPECT_TRUE(panel.applyEnabled());
    panel.ActionApplayExecute();
    EXPECT_TRUE(prompts.messages().isEmpty()) << prompts.messages().join('\n').toStdString();
    EXPECT_EQ(read(dn, "c").toString(), "FR");
    EXPECT_EQ(read(dn, "co").toString(), "France");
    EXPECT_EQ(read(dn, "countryCode").toInt(), 250);
    EXPECT_EQ(record().text(userlist::Field::Co), "France");
    EXPECT_FALSE(panel.applyEnabled());
}

TEST_F(QuickPanel, OnlyInitialsWritesOneAttributeAndLeavesTheGrid)
{
    const QString dn = createUser("qp-ini", {{"givenName", "Ann"}, {"initials", "A"}});
    load(dn);
    QSignalSpy changed(&list, &userlist::TUserList::recordChanged);
    NoticeLog log;
    options::setConfirmWrites(true);
    prompts.answer(ui::Button::Yes);
    typeInto(child<QLineEdit>("ebInitials"), "AB");
    ASSERT_TRUE(panel.applyEnabled());
    panel.ActionApplayExecute();
    ASSERT_EQ(prompts.asked().size(), 1);
    EXPECT_EQ(prompts.asked().at(0).caption, "Do you want to save...");
    EXPECT_TRUE(prompts.asked().at(0).text.startsWith("Do you want to save the changes you have made?"));
    EXPECT_EQ(panel.lastApplyResult().setInfoCalls, 1);
    EXPECT_EQ(read(dn, "initials").toString(), "AB");
    EXPECT_EQ(read(dn, "givenName").toString(), "Ann");
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(log.notices, QStringList{"0 " + dn});
    EXPECT_FALSE(panel.applyEnabled());
}

TEST_F(QuickPanel, NoInTheConfirmationKeepsTheEdits)
{
    const QString dn = createUser("qp-no", {{"title", "Old"}});
    load(dn);
    options::setConfirmWrites(true);
    prompts.answer(ui::Button::No);
    typeInto(child<QLineEdit>("ebTitle"), "New");
    panel.ActionApplayExecute();
    EXPECT_EQ(read(dn, "title").toString(), "Old");
    EXPECT_TRUE(panel.applyEnabled());
    EXPECT_EQ(child<QLineEdit>("ebTitle")->text(), "New");
}

TEST_F(QuickPanel, BlankOfficeClearsTheAttributeAndKeepsTheBlanksInTheGrid)
{
    const QString dn = createUser("qp-off", {{"physicalDeliveryOfficeName", "Room 1"}});
    load(dn);
    options::setConfirmWrites(false);
    QSignalSpy changed(&list, &userlist::TUserList::recordChanged);
    typeInto(child<QLineEdit>("ebOffice"), "   ");
    panel.ActionApplayExecute();
    EXPECT_FALSE(read(dn, "physicalDeliveryOfficeName").isValid());
    EXPECT_EQ(record().text(userlist::Field::PhysicalDeliveryOfficeName), "   ");
    EXPECT_EQ(changed.count(), 1);
}

TEST_F(QuickPanel, CityAndTitleAreTwoWritesAndUpdateTheRecord)
{
    const QString dn = createUser("qp-two");
    load(dn);
    options::setConfirmWrites(false);
    typeInto(child<QLineEdit>("ebCity"), "Bern");
    typeInto(child<QLineEdit>("ebTitle"), "Chief");
    panel.ActionApplayExecute();
    EXPECT_EQ(panel.lastApplyResult().setInfoCalls, 2);
    const std::vector<quickpanel::Tab> want = {quickpanel::Address, quickpanel::Organization};
    EXPECT_EQ(panel.lastApplyResult().written, want);
    EXPECT_EQ(read(dn, "l").toString(), "Bern");
    EXPECT_EQ(read(dn, "title").toString(), "Chief");
    EXPECT_EQ(record().text(userlist::Field::L), "Bern");
    EXPECT_EQ(record().text(userlist::Field::Title), "Chief");
}

TEST_F(QuickPanel, RefusalInTheSecondTabKeepsTheFirstWrittenAndApplyEnabled)
{
    const QString dn = createUser("qp-ref", {{"streetAddress", "Old street"}, {"givenName", "Old"}});
    load(dn);
    options::setConfirmWrites(false);
    typeInto(child<QLineEdit>("ebFirstName"), "New");
    auto *street = child<QPlainTextEdit>("memoStreet");
    street->setFocus();
    street->selectAll();
    QTest::keyClicks(street, QString(1100, 'x')); // longer than the schema allows
    typeInto(child<QLineEdit>("ebTitle"), "Never");
    panel.ActionApplayExecute();

    EXPECT_EQ(read(dn, "givenName").toString(), "New");
    EXPECT_EQ(read(dn, "streetAddress").toString(), "Old street");
    EXPECT_FALSE(read(dn, "title").isValid()); // tabs after the failure are not written
    EXPECT_TRUE(panel.applyEnabled());
    ASSERT_EQ(prompts.messages().size(), 1);
    EXPECT_TRUE(prompts.messages().at(0).contains("streetAddress")) << prompts.messages().at(0).toStdString();
    EXPECT_TRUE(prompts.messages().at(0).contains("Address"));
    EXPECT_EQ(record().text(userlist::Field::GivenName), "New");

    // Fixing the street and applying again writes the rest, and nothing twice.
    street->selectAll();
    QTest::keyClicks(street, "New street");
    panel.ActionApplayExecute();
    EXPECT_EQ(read(dn, "streetAddress").toString(), "New street");
    EXPECT_EQ(read(dn, "title").toString(), "Never");
    EXPECT_EQ(panel.lastApplyResult().setInfoCalls, 2);
    EXPECT_FALSE(panel.applyEnabled());
}

TEST_F(QuickPanel, DelegateSeesOnlyWhatItMayWrite)
{
    // The delegate's object: the DN the facts give, else its account name as the cn.
    QString delegateDn = testsupport::fact("DELEGATE_DN");
    ads::ObjectPtr probe;
    if (ads::failed(ads::ADsOpenObject(adsitest::path(delegateDn), adsitest::adminUpn(), adsitest::adminPassword(), 0, &probe)))
        delegateDn = QStringLiteral("CN=%1,OU=Service Accounts,%2")
                         .arg(testsupport::fact("DELEGATE_NAME"), testsupport::fact("SEED_OU"));
    const QString user = testsupport::fact("DELEGATE_UPN");
    const QString password = testsupport::fact("DELEGATE_PASSWORD");
    // Its own object: the personal attributes only.
    load(delegateDn, user, password);
    EXPECT_TRUE(child<QLineEdit>("ebCity")->isEnabled());
    EXPECT_TRUE(child<QLineEdit>("ebHomePhone")->isEnabled());
    EXPECT_TRUE(child<QComboBox>("cbCountry")->isEnabled());
    EXPECT_FALSE(child<QLineEdit>("ebTitle")->isEnabled());
    EXPECT_FALSE(child<QLineEdit>("ebFirstName")->isEnabled());
    EXPECT_EQ(child<QLineEdit>("ebTitle")->palette().color(QPalette::Disabled, QPalette::Base), QColor(0xF7, 0xFF, 0xFF));
    EXPECT_EQ(child<QLineEdit>("ebCity")->palette().color(QPalette::Base),
              panel.palette().color(QPalette::Base));

    // Somebody else's object: nothing, and typing cannot enable Apply.
    const QString other = createUser("qp-del");
    load(other, user, password);
    for (const auto &f : quickpanel::fields())
        EXPECT_FALSE(panel.findChild<QWidget *>(QLatin1String(f.control))->isEnabled()) << f.control;
    EXPECT_FALSE(child<QComboBox>("cbCountry")->isEnabled());
    EXPECT_FALSE(child<QPushButton>("btManager")->isEnabled());
    QTest::keyClicks(child<QLineEdit>("ebCity"), "x");
    EXPECT_FALSE(panel.applyEnabled());
}

TEST_F(QuickPanel, ManagerIsWrittenAtOnceAndEveryoneConcernedIsTold)
{
    const QString oldManager = createUser("qp-old");
    const QString newManager = createUser("qp-new");
    const QString dn = createUser("qp-mu", {{"manager", oldManager}});
    QString picked = newManager;
    panel.setManagerPicker([&](QWidget *, QString &name, QString &mdn) {
        EXPECT_EQ(mdn, picked == newManager ? oldManager : newManager);
        name = picked.isEmpty() ? QString() : ads::firstRdn(picked).mid(3);
        mdn = picked;
        return true;
    });
    load(dn);
    NoticeLog log;
    ASSERT_TRUE(child<QPushButton>("btManager")->isEnabled());
    child<QPushButton>("btManager")->click();
    EXPECT_EQ(read(dn, "manager").toString().toLower(), newManager.toLower());
    EXPECT_EQ(child<QLineEdit>("ebManager")->text(), ads::firstRdn(newManager).mid(3));
    EXPECT_EQ(log.notices, (QStringList{"0 " + dn, "0 " + oldManager, "0 " + newManager}));
    EXPECT_FALSE(panel.applyEnabled()); // no Apply needed

    picked.clear();
    log.notices.clear();
    child<QPushButton>("btManager")->click();
    EXPECT_FALSE(read(dn, "manager").isValid());
    EXPECT_TRUE(child<QLabel>("lbManagerDN")->text().isEmpty());
    EXPECT_EQ(log.notices, (QStringList{"0 " + dn, "0 " + newManager}));
}

TEST_F(QuickPanel, OtherButtonsOpenTheEditorForTheirAttribute)
{
    struct Call { QString attr; bool writable; int key; };
    QList<Call> calls;
    panel.setOtherValuesEditor([&](QWidget *, const ads::ObjectPtr &user, const QString &attr, bool writable, int key) {
        EXPECT_TRUE(user != nullptr);
        calls.append({attr, writable, key});
    });
    load(createUser("qp-other"));
    child<QPushButton>("btOtherMobile")->click();
    child<QPushButton>("btOtherURLs")->click();
    ASSERT_EQ(calls.size(), 2);
    EXPECT_EQ(calls[0].attr, "otherMobile");
    EXPECT_EQ(calls[0].key, 36);
    EXPECT_TRUE(calls[0].writable);
    EXPECT_EQ(calls[1].attr, "url");
    EXPECT_EQ(calls[1].key, 9);
    EXPECT_FALSE(panel.applyEnabled()); // the panel does nothing after the editor closes
}

// Every field of the panel whose attribute the schema lets hold several values: a user with
// two such values sees both, the field cannot be typed into, Apply of the tab leaves both
// stored, and a double click opens the other-values editor for that attribute, after which
// the field shows what the directory holds.
TEST_F(QuickPanel, AFieldWithSeveralValuesShowsThemAllAndNeverDropsThem)
{
    // Two values of each.
    const QString dn = createUser("qp-multi", {{"title", "Before"}});
    QStringList attributes;
    for (const quickpanel::FieldDef &f : quickpanel::fields())
        attributes << QLatin1String(f.attribute);
    const QStringList multi = testsupport::storeTwoValuesOfEach(dn, attributes);
    ASSERT_TRUE(multi.contains(QStringLiteral("postOfficeBox"))) << multi.join(QLatin1Char(' ')).toStdString();
    // The values a field shows (in the directory's order), sorted.
    auto shown = [](const QLineEdit *e) {
        QStringList values = e->text().split(QStringLiteral("; "));
        values.sort();
        return values;
    };

    QStringList edited;
    panel.setOtherValuesEditor([&](QWidget *, const ads::ObjectPtr &, const QString &attr, bool, int) {
        edited << attr;
        testsupport::ldapModify(QStringLiteral("dn: %1\nchangetype: modify\nadd: %2\n%2: %2 three\n").arg(dn, attr).toUtf8());
    });
    load(dn);
    options::setConfirmWrites(false);
    for (const QString &attr : multi) {
        const int i = quickpanel::fieldIndex(attr);
        ASSERT_GE(i, 0);
        const quickpanel::FieldDef &f = quickpanel::fields()[std::size_t(i)];
        panel.tabs()->setCurrentIndex(f.tab);
        auto *edit = child<QLineEdit>(f.control);
        ASSERT_NE(edit, nullptr) << f.control;
        EXPECT_EQ(shown(edit), (QStringList{attr + " one", attr + " two"})) << f.control;
        EXPECT_TRUE(edit->isReadOnly()) << f.control;
        typeInto(edit, QStringLiteral("typed"));
        EXPECT_EQ(shown(edit), (QStringList{attr + " one", attr + " two"})) << f.control;
    }
    typeInto(child<QLineEdit>("ebTitle"), "After");
    panel.ActionApplayExecute();
    EXPECT_EQ(read(dn, "title").toString(), "After");
    for (const QString &attr : multi)
        EXPECT_EQ(testsupport::sortedValues(dn, attr), (QStringList{attr + " one", attr + " two"})) << attr.toStdString();

    // The values are edited one by one in the other-values editor.
    const quickpanel::FieldDef &box = quickpanel::fields()[std::size_t(quickpanel::fieldIndex("postOfficeBox"))];
    panel.tabs()->setCurrentIndex(box.tab);
    auto *poBox = child<QLineEdit>(box.control);
    QTest::mouseDClick(poBox, Qt::LeftButton);
    EXPECT_EQ(edited, QStringList{"postOfficeBox"});
    EXPECT_EQ(shown(poBox), (QStringList{"postOfficeBox one", "postOfficeBox three", "postOfficeBox two"}));
    EXPECT_FALSE(panel.applyEnabled());
}
