// The property dialog against the test domain: what it shows, what Apply writes, what it
// refuses, and one window per user.
#include "userprop_support.h"
#include "support/modal.h"
#include "support/modifyrelay.h"
#include "userprop/unBussPhone.h"

#include "main/unCatalogue.h"
#include "platform/adsi/adsconnection.h"
#include "userprop/unAccountLogic.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

using namespace uptest;

namespace {

void typeInto(QPlainTextEdit *m, const QString &text)
{
    m->selectAll();
    m->insertPlainText(text); // sets the document's Modified state as typing does
}

QString ada()
{
    return QStringLiteral("CN=Ada Fullprofile,OU=Showcase,") + testsupport::fact("SEED_OU");
}

// Every edit and memo of the first tabs and the attribute it shows.
const QList<QPair<const char *, const char *>> kCoupled = {
    {"ebFirstName", "givenName"}, {"ebInitials", "initials"}, {"ebLastName", "sn"}, {"ebDisplayName", "displayName"},
    {"ebDescription", "description"}, {"ebOffice", "physicalDeliveryOfficeName"},
    {"ebTelephoneBusiness", "telephoneNumber"}, {"ebEmail", "mail"}, {"ebWWW", "wwwHomePage"},
    {"memoStreet", "streetAddress"}, {"ebPOBox", "postOfficeBox"}, {"ebCity", "l"}, {"ebStateProvince", "st"},
    {"ebZip", "postalCode"}, {"ebHomePhone", "homePhone"}, {"ebPagerPhone", "pager"}, {"ebMobilePhone", "mobile"},
    {"ebFacsimileTelephoneNumber", "facsimileTelephoneNumber"}, {"ebIPPhone", "ipPhone"}, {"memoNotes", "info"},
    {"ebTitle", "title"}, {"ebDepartment", "department"}, {"ebCompany", "company"},
    {"ebProfilePath", "profilePath"}, {"ebLogonScript", "scriptPath"}, {"ebExchangeAlias", "mailNickname"},
    {"ebSimpleDisplayName", "displayNamePrintable"}};

QString shownText(QWidget *w)
{
    if (auto *e = qobject_cast<QLineEdit *>(w))
        return e->text();
    if (auto *m = qobject_cast<QPlainTextEdit *>(w))
        return m->toPlainText();
    return {};
}

} // namespace

class UserProp : public DialogTest {};

TEST_F(UserProp, EveryTabShowsWhatTheDirectoryHolds)
{
    TfrmUserProp *d = open(ada());
    for (int t = 0; t < TfrmUserProp::TabCount; ++t)
        d->showTab(static_cast<TfrmUserProp::Tab>(t));
    QStringList attrs;
    for (const auto &[control, attr] : kCoupled)
        attrs << QLatin1String(attr);
    attrs << "cn" << "c" << "manager" << "directReports" << "homeDirectory" << "homeDrive" << "userPrincipalName"
          << "sAMAccountName" << "accountExpires" << "homeMDB";
    const testsupport::LdifEntry e = entry(ada(), attrs);
    for (const auto &[control, attr] : kCoupled) {
        QWidget *w = child<QWidget>(d, control);
        // Several values (her two P.O. boxes) show joined, in the directory's order.
        QStringList values;
        for (const QByteArray &v : e.values(QLatin1String(attr)))
            values << QString::fromUtf8(v);
        QString expected = values.join(QStringLiteral("; "));
        expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        EXPECT_EQ(shownText(w), expected) << control;
    }
    EXPECT_EQ(d->windowTitle(), QStringLiteral(" Ada Fullprofile Properties - Arvendel"));
    EXPECT_EQ(child<QLabel>(d, "lbContainerName")->text(), e.text("cn"));
    EXPECT_EQ(child<QComboBox>(d, "cbCountry")->currentIndex(), catalogue::countryIndexByAlpha2(e.text("c")));
    EXPECT_TRUE(d->hasMailbox());
    EXPECT_TRUE(d->pages()->isTabVisible(TfrmUserProp::ExchangeGeneral));
    EXPECT_EQ(child<QLineEdit>(d, "ebMailboxstore")->text(), e.text("homeMDB"));
    EXPECT_EQ(child<QLabel>(d, "lbManagerDN")->text(), e.text("manager"));
    EXPECT_EQ(child<QLineEdit>(d, "ebManager")->text(), ads::firstRdn(e.text("manager")).mid(3));
    EXPECT_EQ(child<QTreeWidget>(d, "lvDirectReports")->topLevelItemCount(), e.values("directReports").size());
    EXPECT_EQ(child<QComboBox>(d, "cbConnectTo")->currentText(), e.text("homeDrive"));
    EXPECT_EQ(child<QLineEdit>(d, "ebConnectTo")->text(), e.text("homeDirectory"));
    EXPECT_TRUE(child<QRadioButton>(d, "rbConnect")->isChecked());
    // Account: the logon names and the expiry day.
    EXPECT_EQ(child<QLineEdit>(d, "ebUserLogonName")->text() + child<QComboBox>(d, "cbebUserLogonNameDomain")->currentText(),
              e.text("userPrincipalName"));
    EXPECT_EQ(child<QLineEdit>(d, "ebUserLogonNamePreWindows")->text(), e.text("sAMAccountName"));
    EXPECT_EQ(child<QLineEdit>(d, "ebUserLogonNamePreWindowsDomain")->text(), testsupport::fact("NETBIOS") + "\\");
    EXPECT_TRUE(child<QRadioButton>(d, "rbEndOf")->isChecked());
    const auto expiry = userprop::expiryDateOfFileTime(e.text("accountExpires").toLongLong());
    ASSERT_TRUE(expiry.has_value());
    EXPECT_EQ(child<QDateEdit>(d, "dtpAccountExpires")->date(), *expiry);
    // Member Of: her two groups and the primary group.
    QStringList names;
    for (const auto &r : d->memberRows())
        names << r.name;
    EXPECT_TRUE(names.contains("GG Engineering")) << names.join(", ").toStdString();
    EXPECT_TRUE(names.contains("UG Managers")) << names.join(", ").toStdString();
    EXPECT_EQ(child<QLabel>(d, "lbPrimaryGroupDisplayName")->text(), "Domain Users");
    // Nothing of this counts as a change.
    EXPECT_FALSE(d->applyEnabled());
}

TEST_F(UserProp, ApplyWritesEveryChangedTabAndTellsTheOtherWindows)
{
    const QString dn = createUser("up-edit", {{"givenName", "Old"}, {"physicalDeliveryOfficeName", "Room 1"},
                                              {"title", "Clerk"}, {"l", "Bonn"}});
    TfrmUserProp *d = open(dn);
    typeInto(child<QLineEdit>(d, "ebFirstName"), "  Neu  ");
    typeInto(child<QLineEdit>(d, "ebOffice"), "   ");
    d->showTab(TfrmUserProp::Address);
    typeInto(child<QPlainTextEdit>(d, "memoStreet"), "Line 1\nLine 2");
    typeInto(child<QLineEdit>(d, "ebCity"), "Zürich");
    child<QComboBox>(d, "cbCountry")->setCurrentIndex(catalogue::countryIndexByAlpha2("CH"));
    d->showTab(TfrmUserProp::Telephones);
    typeInto(child<QLineEdit>(d, "ebHomePhone"), "+41 44 000");
    typeInto(child<QPlainTextEdit>(d, "memoNotes"), "Note\nsecond");
    d->showTab(TfrmUserProp::Organization);
    typeInto(child<QLineEdit>(d, "ebTitle"), "Head");
    d->showTab(TfrmUserProp::Profile);
    typeInto(child<QLineEdit>(d, "ebLogonScript"), "logon.cmd");
    ASSERT_TRUE(d->applyEnabled());

    NoticeLog log;
    options::setConfirmWrites(true);
    prompts.answer(ui::Button::Yes);
    ASSERT_TRUE(d->Apply());
    options::setConfirmWrites(false);
    EXPECT_EQ(prompts.asked().value(0).caption, "Do you want to save...");

    const auto e = entry(dn, {"givenName", "physicalDeliveryOfficeName", "streetAddress", "l", "c", "co", "countryCode",
                              "homePhone", "info", "title", "scriptPath"});
    EXPECT_EQ(e.text("givenName"), "  Neu  ");              // written as typed
    EXPECT_TRUE(e.values("physicalDeliveryOfficeName").isEmpty()); // blanks clear
    EXPECT_EQ(e.text("streetAddress"), "Line 1\r\nLine 2");
    EXPECT_EQ(e.text("l"), "Zürich");
    EXPECT_EQ(e.text("c"), "CH");
    EXPECT_EQ(e.text("co"), "Switzerland");
    EXPECT_EQ(e.text("countryCode"), "756");
    EXPECT_EQ(e.text("homePhone"), "+41 44 000");
    EXPECT_EQ(e.text("info"), "Note\r\nsecond");
    EXPECT_EQ(e.text("title"), "Head");
    EXPECT_EQ(e.text("scriptPath"), "logon.cmd");
    EXPECT_FALSE(d->applyEnabled());
    EXPECT_TRUE(log.notices.contains("0 " + dn.toLower())) << log.notices.join("|").toStdString();

    // An unchanged country writes nothing of the three; a second Apply has nothing to do.
    modify(QStringLiteral("dn: %1\nchangetype: modify\nreplace: co\nco: Elsewhere\n").arg(dn));
    typeInto(child<QLineEdit>(d, "ebCity"), "Basel");
    ASSERT_TRUE(d->Apply());
    EXPECT_EQ(ldapText(dn, "co"), "Elsewhere");
    EXPECT_EQ(ldapText(dn, "l"), "Basel");
}

TEST_F(UserProp, TheDelegateSeesAndWritesOnlyItsAttributes)
{
    const QString delegateDn = testsupport::fact("DELEGATE_DN");
    const auto c = connectionAs(testsupport::fact("DELEGATE_UPN"), testsupport::fact("DELEGATE_PASSWORD"));
    const QString cityBefore = ldapText(delegateDn, "l");
    TfrmUserProp *d = open(delegateDn, c);
    d->showTab(TfrmUserProp::Address);
    d->showTab(TfrmUserProp::Organization);
    EXPECT_TRUE(child<QLineEdit>(d, "ebCity")->isEnabled());
    EXPECT_TRUE(child<QComboBox>(d, "cbCountry")->isEnabled());
    EXPECT_FALSE(child<QLineEdit>(d, "ebTitle")->isEnabled());
    EXPECT_FALSE(child<QLineEdit>(d, "ebFirstName")->isEnabled());
    EXPECT_EQ(child<QLineEdit>(d, "ebTitle")->palette().color(QPalette::Disabled, QPalette::Base), QColor(0xF7, 0xFF, 0xFF));
    EXPECT_FALSE(child<QPushButton>(d, "btManagerChange")->isEnabled());

    // A writable set that no longer matches the server's rights: the refused tab is written
    // not at all, the tab before it stays written, Apply stays enabled and the reason shows.
    const QString titleBefore = ldapText(delegateDn, "title");
    const QString city = uniqueName("City");
    typeInto(child<QLineEdit>(d, "ebCity"), city);
    for (const char *name : {"ebTitle", "ebDepartment"}) {
        auto *e = child<QLineEdit>(d, name);
        e->setEnabled(true);
        typeInto(e, "Not allowed");
    }
    EXPECT_FALSE(d->Apply());
    EXPECT_TRUE(d->applyEnabled());
    EXPECT_EQ(ldapText(delegateDn, "l"), city);
    EXPECT_EQ(ldapText(delegateDn, "title"), titleBefore);
    EXPECT_NE(ldapText(delegateDn, "department"), "Not allowed");
    ASSERT_FALSE(prompts.messages().isEmpty());
    const QString message = prompts.messages().last();
    EXPECT_TRUE(message.contains("\"Organization\"")) << message.toStdString();
    EXPECT_TRUE(message.contains("title")) << message.toStdString();
    EXPECT_EQ(d->pages()->currentIndex(), int(TfrmUserProp::Organization));

    // Put the seeded value back.
    modify(cityBefore.isEmpty() ? QStringLiteral("dn: %1\nchangetype: modify\ndelete: l\n").arg(delegateDn)
                                : QStringLiteral("dn: %1\nchangetype: modify\nreplace: l\nl: %2\n").arg(delegateDn, cityBefore));

    // Somebody else's object: nothing is editable.
    TfrmUserProp *other = open(createUser("up-del"), c);
    other->showTab(TfrmUserProp::Address);
    other->showTab(TfrmUserProp::Account);
    EXPECT_FALSE(child<QLineEdit>(other, "ebCity")->isEnabled());
    EXPECT_FALSE(child<QLineEdit>(other, "ebUserLogonName")->isEnabled());
    EXPECT_FALSE(child<QCheckBox>(other, "cbAccountIsDisabled")->isEnabled());
    QTest::keyClicks(child<QLineEdit>(other, "ebFirstName"), "x");
    EXPECT_FALSE(other->applyEnabled());
}

// A modify the server applies without answering in time: Apply does not report success, and
// its message says the change may have been applied, not that it failed.
TEST_F(UserProp, AWriteWithoutAnAnswerSaysItMayHaveBeenApplied)
{
    const QString dn = createUser(QStringLiteral("up-held"));
    testsupport::CuttingRelay relay(adsitest::server(), 389, 1, testsupport::CuttingRelay::Mode::HoldAnswer);
    auto c = adminConnection();
    c.pathPrefix = QStringLiteral("LDAP://127.0.0.1:%1/").arg(relay.port());
    c.searchRoot = c.pathPrefix + adsitest::baseDn();
    TfrmUserProp *d = open(dn, c);
    typeInto(child<QLineEdit>(d, "ebDescription"), "held description");
    ads::setOperationTimeout(2);
    const bool applied = d->Apply();
    ads::setOperationTimeout(60);
    EXPECT_FALSE(applied);
    ASSERT_FALSE(prompts.messages().isEmpty());
    const QString message = prompts.messages().last();
    EXPECT_TRUE(message.contains("may have been applied")) << message.toStdString();
    EXPECT_FALSE(message.contains("were not saved")) << message.toStdString();
    EXPECT_EQ(ldapText(dn, "description"), "held description");
}

// Every field of the dialog whose attribute the schema lets hold several values: both values
// show, the field cannot be typed into, Apply of the tab keeps both, and a double click opens
// the other-values editor with all of them, after which the field shows what it wrote.
TEST_F(UserProp, AFieldWithSeveralValuesShowsThemAllAndNeverDropsThem)
{
    // Two values of each.
    const QString dn = createUser(QStringLiteral("up-multi"));
    QStringList attributes;
    for (const auto &[control, attr] : kCoupled)
        attributes << QLatin1String(attr);
    const QStringList multi = testsupport::storeTwoValuesOfEach(dn, attributes);
    ASSERT_TRUE(multi.contains(QStringLiteral("postOfficeBox"))) << multi.join(QLatin1Char(' ')).toStdString();
    auto shown = [](const QLineEdit *e) {
        QStringList values = e->text().split(QStringLiteral("; "));
        values.sort();
        return values;
    };

    TfrmUserProp *d = open(dn);
    for (int t : {TfrmUserProp::General, TfrmUserProp::Address, TfrmUserProp::Telephones, TfrmUserProp::Organization})
        d->showTab(static_cast<TfrmUserProp::Tab>(t));
    for (const QString &attr : multi) {
        const char *control = nullptr;
        for (const auto &[c, a] : kCoupled)
            if (attr == QLatin1String(a))
                control = c;
        ASSERT_NE(control, nullptr) << attr.toStdString();
        auto *edit = child<QLineEdit>(d, control);
        ASSERT_NE(edit, nullptr) << control;
        EXPECT_EQ(shown(edit), (QStringList{attr + " one", attr + " two"})) << control;
        EXPECT_TRUE(edit->isReadOnly()) << control;
        typeInto(edit, QStringLiteral("typed"));
        EXPECT_FALSE(edit->text().contains(QStringLiteral("typed"))) << control;
    }
    typeInto(child<QLineEdit>(d, "ebTitle"), QStringLiteral("After"));
    typeInto(child<QLineEdit>(d, "ebCity"), QStringLiteral("Aftertown"));
    ASSERT_TRUE(d->Apply()) << prompts.messages().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(ldapText(dn, "title"), "After");
    EXPECT_EQ(ldapText(dn, "l"), "Aftertown");
    for (const QString &attr : multi)
        EXPECT_EQ(testsupport::sortedValues(dn, attr), (QStringList{attr + " one", attr + " two"})) << attr.toStdString();

    // The other-values editor holds both and adds a third.
    int listed = -1;
    testsupport::whenModal<userprop::TfrmBussPhone>([&](userprop::TfrmBussPhone *editor) {
        listed = editor->lvOtherPhone->topLevelItemCount();
        editor->ebNewValue->setText(QStringLiteral("postOfficeBox three"));
        editor->btAddClick();
        editor->btOKClick();
    });
    d->showTab(TfrmUserProp::Address);
    auto *poBox = child<QLineEdit>(d, "ebPOBox");
    QTest::mouseDClick(poBox, Qt::LeftButton);
    EXPECT_EQ(listed, 2);
    EXPECT_EQ(testsupport::sortedValues(dn, "postOfficeBox"),
              (QStringList{"postOfficeBox one", "postOfficeBox three", "postOfficeBox two"}));
    EXPECT_EQ(shown(poBox), testsupport::sortedValues(dn, "postOfficeBox"));
    EXPECT_FALSE(d->applyEnabled());
}

TEST_F(UserProp, OneWindowPerUserFoundByItsDistinguishedName)
{
    // Two users with the same name in two containers get two windows.
    const QString ou2 = QStringLiteral("OU=") + uniqueName("up-ou") + QLatin1Char(',') + adsitest::scratchOu();
    modify(QStringLiteral("dn: %1\nchangetype: add\nobjectClass: organizationalUnit\n").arg(ou2));
    const QString a = createUser("up-twin");
    const QString b = ads::firstRdn(a) + QLatin1Char(',') + ou2;
    modify(QStringLiteral("dn: %1\nchangetype: add\nobjectClass: user\nsAMAccountName: %2\n")
               .arg(b, uniqueName("twin").right(20)));
    TfrmUserProp *da = open(a);
    TfrmUserProp *db = open(b);
    EXPECT_NE(da, db);
    EXPECT_EQ(da->windowTitle(), db->windowTitle());
    EXPECT_EQ(userprop::openDialogs().size(), 2);
    // Asking again, in another letter case or as a full path, brings the open one.
    EXPECT_EQ(open(a.toUpper()), da);
    EXPECT_EQ(open(adminConnection().pathPrefix + b), db);
    EXPECT_EQ(userprop::openDialogs().size(), 2);

    // The notice for this user reloads the tabs already read; another user's is ignored.
    modify(QStringLiteral("dn: %1\nchangetype: modify\nreplace: givenName\ngivenName: Fresh\n").arg(a));
    da->handleNotice(ui::ObjectChanged, b);
    EXPECT_TRUE(child<QLineEdit>(da, "ebFirstName")->text().isEmpty());
    da->handleNotice(ui::ObjectChanged, a.toUpper());
    EXPECT_EQ(child<QLineEdit>(da, "ebFirstName")->text(), "Fresh");
    EXPECT_FALSE(da->tabLoaded(TfrmUserProp::Telephones));
}

TEST_F(UserProp, CancelAsksBeforeDroppingEditsAndOkApplies)
{
    const QString dn = createUser("up-close");
    TfrmUserProp *d = open(dn);
    typeInto(child<QLineEdit>(d, "ebInitials"), "QQ");
    prompts.answer(ui::Button::No);
    d->btCancelClick();
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(prompts.messages().value(0), "You have made changes. Do you want to discard them?");
    EXPECT_EQ(prompts.asked().value(0).shown, "You have made changes. Do you want to \rdiscard them?");
    d->btOKClick();
    EXPECT_EQ(ldapText(dn, "initials"), "QQ");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(userprop::openDialogs().isEmpty());
}

TEST_F(UserProp, ProfilePathsAreCheckedBeforeAnythingOfTheTabIsWritten)
{
    const QString dn = createUser("up-prof");
    TfrmUserProp *d = open(dn);
    d->showTab(TfrmUserProp::Profile);
    typeInto(child<QLineEdit>(d, "ebProfilePath"), "profiles");
    typeInto(child<QLineEdit>(d, "ebLogonScript"), "run.cmd");
    EXPECT_FALSE(d->Apply());
    EXPECT_TRUE(prompts.messages().value(0).startsWith("The specified path is not valid."));
    // This message is wrapped at 45 columns, the others at 40.
    const QStringList lines = prompts.asked().value(0).shown.split(QLatin1Char('\r'));
    EXPECT_GT(lines.size(), 2);
    for (const QString &line : lines)
        EXPECT_LE(line.size(), 45) << line.toStdString();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const QString &l) { return l.size() > 40; }));
    EXPECT_TRUE(ldapText(dn, "scriptPath").isEmpty());
    // The network home folder needs a path and a drive.
    typeInto(child<QLineEdit>(d, "ebProfilePath"), "\\\\srv\\profiles\\u");
    child<QRadioButton>(d, "rbConnect")->click();
    EXPECT_EQ(child<QComboBox>(d, "cbConnectTo")->currentText(), "Z:");
    EXPECT_FALSE(d->Apply());
    typeInto(child<QLineEdit>(d, "ebConnectTo"), "\\\\srv\\home\\u");
    ASSERT_TRUE(d->Apply());
    const auto e = entry(dn, {"profilePath", "scriptPath", "homeDirectory", "homeDrive"});
    EXPECT_EQ(e.text("profilePath"), "\\\\srv\\profiles\\u");
    EXPECT_EQ(e.text("scriptPath"), "run.cmd");
    EXPECT_EQ(e.text("homeDirectory"), "\\\\srv\\home\\u");
    EXPECT_EQ(e.text("homeDrive"), "Z:");
}

TEST_F(UserProp, ManagerChangeIsWrittenByApplyAndBothManagersAreTold)
{
    const QString oldManager = createUser("up-mold");
    const QString newManager = createUser("up-mnew");
    const QString dn = createUser("up-mgd", {{"manager", oldManager}});
    TfrmUserProp::setUserPicker([&](QWidget *, const userprop::UserPropConnection &, QString &name, QString &mdn) {
        name = ads::firstRdn(newManager).mid(3);
        mdn = newManager;
        return true;
    });
    TfrmUserProp *d = open(dn);
    d->showTab(TfrmUserProp::Organization);
    child<QPushButton>(d, "btManagerChange")->click();
    EXPECT_TRUE(d->applyEnabled());
    EXPECT_EQ(ldapText(dn, "manager").toLower(), oldManager.toLower()); // not before Apply
    NoticeLog log;
    ASSERT_TRUE(d->Apply());
    EXPECT_EQ(ldapText(dn, "manager").toLower(), newManager.toLower());
    EXPECT_TRUE(log.notices.contains("0 " + oldManager.toLower()));
    EXPECT_TRUE(log.notices.contains("0 " + newManager.toLower()));
    // The manager's own dialog opens next to this one.
    child<QPushButton>(d, "btManagerProperties")->click();
    EXPECT_NE(userprop::findDialog(newManager), nullptr);
    child<QPushButton>(d, "btManagerClear")->click();
    ASSERT_TRUE(d->Apply());
    EXPECT_TRUE(entry(dn, {"manager"}).values("manager").isEmpty());
}
