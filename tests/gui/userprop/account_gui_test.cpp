// The Account and Member Of tabs against the test domain: options, unlocking, expiry, logon
// hours and workstations byte for byte, the password rules, the primary group and
// membership of a large group.
#include "userprop_support.h"

#include "core/unValuesTime.h"
#include "platform/security/descriptor.h"
#include "userprop/unAccountLogic.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimeZone>
#include <QTreeWidget>

#include <cstdlib>
#include <optional>
#include <string>

using namespace uptest;

namespace {

const QString kPassword = QStringLiteral("Up-Test-Pw1!");

// A user with a password, enabled, that can bind.
QString createLogonUser(const QString &prefix)
{
    const QString dn = createUser(prefix);
    ads::ObjectPtr u = adsitest::bindAdmin(dn, ads::ADS_USE_ENCRYPTION);
    EXPECT_EQ(u->SetPassword(kPassword), ads::S_OK);
    modify(QStringLiteral("dn: %1\nchangetype: modify\nreplace: userAccountControl\nuserAccountControl: 512\n").arg(dn));
    return dn;
}

int bindExitCode(const QString &dn, const QString &password)
{
    testsupport::Account who{dn, password.toUtf8()};
    int rc = -1;
    testsupport::ldapSearch(dn, QStringLiteral("(objectClass=*)"), {QStringLiteral("cn")}, who,
                            {QStringLiteral("-s"), QStringLiteral("base")}, &rc);
    return rc;
}

// The process's zone set for one test (as a user's environment names it) and put back after.
class ZoneForTest {
public:
    explicit ZoneForTest(const char *zoneFile)
    {
        if (const char *tz = std::getenv("TZ"))
            old_ = tz;
        setenv("TZ", (std::string(":") + zoneFile).c_str(), 1);
    }
    ~ZoneForTest()
    {
        if (old_)
            setenv("TZ", old_->c_str(), 1);
        else
            unsetenv("TZ");
    }

private:
    std::optional<std::string> old_;
};

} // namespace

class Account : public DialogTest {};

TEST_F(Account, OptionsMustChangeAndExpiryRoundTrip)
{
    // New York: "end of 14 July 2031" is midnight there, 04:00 UTC on the 15th (summer time).
    ASSERT_TRUE(QFile::exists(QStringLiteral("/usr/share/zoneinfo/America/New_York")));
    const ZoneForTest zone("/usr/share/zoneinfo/America/New_York");
    const QString dn = createLogonUser("up-opt");
    TfrmUserProp *d = open(dn);
    d->showTab(TfrmUserProp::Account);
    EXPECT_FALSE(child<QCheckBox>(d, "cbAccountIsLockedOut")->isEnabled());
    child<QCheckBox>(d, "cbAccountIsDisabled")->click();
    child<QCheckBox>(d, "cbUserMustChangePasswordAtNextLogon")->click();
    child<QRadioButton>(d, "rbEndOf")->click();
    const QDate day(2031, 7, 14);
    child<QDateEdit>(d, "dtpAccountExpires")->setDate(day);
    ASSERT_TRUE(d->Apply());
    auto e = entry(dn, {"userAccountControl", "pwdLastSet", "accountExpires"});
    EXPECT_EQ(e.text("userAccountControl").toUInt(), 0x202u);
    EXPECT_EQ(e.text("pwdLastSet"), "0");
    // 100-nanosecond steps since 1601-01-01 UTC: 11,644,473,600 seconds before the Unix epoch.
    const qint64 unixSeconds = QDateTime(QDate(2031, 7, 15), QTime(4, 0), Qt::UTC).toSecsSinceEpoch();
    EXPECT_EQ(e.text("accountExpires").toLongLong(), (unixSeconds + 11644473600LL) * 10000000LL);
    // Read back by a fresh window: the same day.
    delete d;
    d = open(dn);
    EXPECT_TRUE(child<QRadioButton>(d, "rbEndOf")->isChecked());
    EXPECT_EQ(child<QDateEdit>(d, "dtpAccountExpires")->date(), day);
    EXPECT_TRUE(child<QCheckBox>(d, "cbAccountIsDisabled")->isChecked());
    EXPECT_TRUE(child<QCheckBox>(d, "cbUserMustChangePasswordAtNextLogon")->isChecked());

    // Enable again, take the demand back, never expire.
    child<QCheckBox>(d, "cbAccountIsDisabled")->click();
    child<QCheckBox>(d, "cbUserMustChangePasswordAtNextLogon")->click();
    child<QRadioButton>(d, "rbNever")->click();
    ASSERT_TRUE(d->Apply());
    e = entry(dn, {"userAccountControl", "pwdLastSet", "accountExpires"});
    EXPECT_EQ(e.text("userAccountControl").toUInt(), 0x200u);
    EXPECT_GT(e.text("pwdLastSet").toLongLong(), 0);
    EXPECT_EQ(e.text("accountExpires"), "0");
    EXPECT_EQ(bindExitCode(dn, kPassword), 0);
}

TEST_F(Account, PasswordRulesStopApplyWithTheirMessages)
{
    const QString dn = createLogonUser("up-pwr");
    TfrmUserProp *d = open(dn);
    child<QCheckBox>(d, "cbUserMustChangePasswordAtNextLogon")->click();
    child<QCheckBox>(d, "cbUserCannotChangePassword")->click();
    EXPECT_FALSE(d->Apply());
    EXPECT_TRUE(prompts.messages().value(0).startsWith("You cannot select both"));
    EXPECT_FALSE(child<QCheckBox>(d, "cbUserCannotChangePassword")->isChecked());
    child<QCheckBox>(d, "cbPasswordNeverExpires")->click();
    EXPECT_FALSE(d->Apply());
    EXPECT_TRUE(prompts.messages().value(1).startsWith("You have selected 'Password never expires'."));
    EXPECT_FALSE(child<QCheckBox>(d, "cbUserMustChangePasswordAtNextLogon")->isChecked());
    EXPECT_EQ(entry(dn, {"userAccountControl"}).text("userAccountControl").toUInt(), 0x200u);
    ASSERT_TRUE(d->Apply()); // the boxes unchecked by the messages let the next Apply through
    EXPECT_EQ(entry(dn, {"userAccountControl"}).text("userAccountControl").toUInt(), 0x10200u);
}

TEST_F(Account, CannotChangePasswordWritesBothDenyEntriesInCanonicalOrder)
{
    const QString dn = createLogonUser("up-ccp");
    TfrmUserProp *d = open(dn);
    ASSERT_FALSE(child<QCheckBox>(d, "cbUserCannotChangePassword")->isChecked());
    child<QCheckBox>(d, "cbUserCannotChangePassword")->click();
    ASSERT_TRUE(d->Apply());
    const QByteArray sd = entry(dn, {"nTSecurityDescriptor"}).values("nTSecurityDescriptor").value(0);
    auto parsed = security::SecurityDescriptor::parse(sd);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_TRUE(GetCannotChangePassword(*parsed));
    EXPECT_TRUE(parsed->daclIsCanonical());
    // A fresh window shows it checked; unchecking allows it again.
    delete d;
    d = open(dn);
    ASSERT_TRUE(child<QCheckBox>(d, "cbUserCannotChangePassword")->isChecked());
    child<QCheckBox>(d, "cbUserCannotChangePassword")->click();
    ASSERT_TRUE(d->Apply());
    parsed = security::SecurityDescriptor::parse(entry(dn, {"nTSecurityDescriptor"}).values("nTSecurityDescriptor").value(0));
    ASSERT_TRUE(parsed.has_value());
    EXPECT_FALSE(GetCannotChangePassword(*parsed));
}

TEST_F(Account, UnlockingWritesOnlyTheLockoutTimeAndTheUserCanBindAgain)
{
    const QString dn = createLogonUser("up-lock");
    for (int i = 0; i < 12; ++i)
        bindExitCode(dn, QStringLiteral("wrong-password"));
    ASSERT_NE(bindExitCode(dn, kPassword), 0) << "the account did not lock";
    const QString uacBefore = ldapText(dn, "userAccountControl");
    TfrmUserProp *d = open(dn);
    auto *locked = child<QCheckBox>(d, "cbAccountIsLockedOut");
    ASSERT_TRUE(locked->isChecked());
    ASSERT_TRUE(locked->isEnabled());
    locked->click();
    ASSERT_TRUE(d->Apply());
    const auto e = entry(dn, {"lockoutTime", "userAccountControl"});
    EXPECT_EQ(e.text("lockoutTime"), "0");
    EXPECT_EQ(e.text("userAccountControl"), uacBefore); // no computed bit written back
    EXPECT_EQ(bindExitCode(dn, kPassword), 0);
    EXPECT_FALSE(locked->isChecked());
    EXPECT_FALSE(locked->isEnabled());
}

TEST_F(Account, LogonHoursAndWorkstationsRoundTripByteExact)
{
    const QString dn = createUser("up-hours", {{"userWorkstations", "WS-1,WS-2"}});
    userprop::HoursArray wanted = userprop::allHours(0);
    for (int day = 1; day <= 5; ++day)
        for (int h = 7; h < 19; ++h)
            wanted[static_cast<std::size_t>(day * 24 + h)] = 1;
    bool sawAllPermitted = false;
    TfrmUserProp::setHoursEditor([&](QWidget *, userprop::HoursArray &hours, bool writable) {
        EXPECT_TRUE(writable);
        sawAllPermitted = hours == userprop::allHours(1); // nothing stored: every hour permitted
        hours = wanted;
        return true;
    });
    QStringList shownNames;
    TfrmUserProp::setWorkstationsEditor([&](QWidget *, QStringList &names, bool) {
        shownNames = names;
        names << "LAPTOP-9";
        return true;
    });
    TfrmUserProp *d = open(dn);
    d->btLogonHoursClick();
    d->btLogOnToClick();
    EXPECT_TRUE(sawAllPermitted);
    EXPECT_EQ(shownNames, (QStringList{"WS-1", "WS-2"}));
    ASSERT_TRUE(d->Apply());
    const auto e = entry(dn, {"logonHours", "userWorkstations"});
    EXPECT_EQ(e.values("logonHours").value(0), userprop::encodeLogonHours(wanted, GetTimeZoneBias()));
    EXPECT_EQ(e.text("userWorkstations"), "WS-1,WS-2,LAPTOP-9");

    // A fresh window reads the same hours; "All Computers" clears the list.
    delete d;
    d = open(dn);
    TfrmUserProp::setHoursEditor([&](QWidget *, userprop::HoursArray &hours, bool) {
        EXPECT_EQ(hours, wanted);
        return false;
    });
    TfrmUserProp::setWorkstationsEditor([](QWidget *, QStringList &names, bool) {
        names.clear();
        return true;
    });
    d->btLogonHoursClick();
    EXPECT_FALSE(d->applyEnabled());
    d->btLogOnToClick();
    ASSERT_TRUE(d->Apply());
    EXPECT_TRUE(entry(dn, {"userWorkstations"}).values("userWorkstations").isEmpty());
    EXPECT_EQ(entry(dn, {"logonHours"}).values("logonHours").value(0), userprop::encodeLogonHours(wanted, GetTimeZoneBias()));
}

TEST_F(Account, LogonHoursOfAWrongLengthStayUntouched)
{
    const QString dn = createUser("up-badh");
    modify(QStringLiteral("dn: %1\nchangetype: modify\nreplace: logonHours\nlogonHours:: %2\n")
               .arg(dn, QString::fromLatin1(QByteArray(20, '\x0f').toBase64())));
    TfrmUserProp::setHoursEditor([](QWidget *, userprop::HoursArray &, bool) { return true; });
    TfrmUserProp *d = open(dn);
    d->btLogonHoursClick();
    EXPECT_FALSE(d->hoursKnown());
    typeInto(child<QLineEdit>(d, "ebInitials"), "X");
    ASSERT_TRUE(d->Apply());
    EXPECT_EQ(entry(dn, {"logonHours"}).values("logonHours").value(0), QByteArray(20, '\x0f'));
}

TEST_F(Account, LogonNamesMustBeUniqueAndPresent)
{
    const QString taken = createUser("up-taken");
    const QString dn = createUser("up-names");
    TfrmUserProp *d = open(dn);
    d->showTab(TfrmUserProp::Account);
    auto *sam = child<QLineEdit>(d, "ebUserLogonNamePreWindows");
    sam->setFocus();
    sam->selectAll();
    QTest::keyClick(sam, Qt::Key_Delete);
    EXPECT_FALSE(d->Apply());
    EXPECT_TRUE(prompts.messages().value(0).startsWith("The pre-Windows 2000 account name field cannot be empty."));
    QTest::keyClicks(sam, ldapText(taken, "sAMAccountName"));
    EXPECT_FALSE(d->Apply());
    EXPECT_TRUE(prompts.messages().value(1).startsWith("The specified pre-Windows 2000 account name already exists"));
    sam->selectAll();
    const QString fresh = uniqueName("fresh").right(20);
    QTest::keyClicks(sam, fresh);
    auto *upn = child<QLineEdit>(d, "ebUserLogonName");
    upn->selectAll();
    QTest::keyClicks(upn, fresh);
    ASSERT_TRUE(d->Apply());
    const auto e = entry(dn, {"sAMAccountName", "userPrincipalName"});
    EXPECT_EQ(e.text("sAMAccountName"), fresh);
    EXPECT_EQ(e.text("userPrincipalName"), fresh + "@arvendel.test");
}

TEST_F(Account, LogonHoursInAHalfHourZoneAreStoredShiftedBySixHours)
{
    // UTC+5:30: the local hours move by six (5.5 rounds to the even 6); a fresh window in the
    // same zone reads them back unchanged.
    SetTimeZoneOverride(QTimeZone(QByteArrayLiteral("Asia/Kolkata")));
    const QString dn = createUser("up-ist");
    userprop::HoursArray wanted = userprop::allHours(0);
    for (int h = 9; h < 17; ++h)
        wanted[static_cast<std::size_t>(24 + h)] = 1; // Monday 09:00-17:00 local
    TfrmUserProp::setHoursEditor([&](QWidget *, userprop::HoursArray &hours, bool) {
        hours = wanted;
        return true;
    });
    TfrmUserProp *d = open(dn);
    d->btLogonHoursClick();
    const bool applied = d->Apply();
    const QByteArray stored = entry(dn, {"logonHours"}).values("logonHours").value(0);
    delete d;
    d = open(dn);
    userprop::HoursArray reread{};
    TfrmUserProp::setHoursEditor([&](QWidget *, userprop::HoursArray &hours, bool) {
        reread = hours;
        return false;
    });
    d->btLogonHoursClick();
    SetTimeZoneOverride(QTimeZone());
    ASSERT_TRUE(applied);
    // Monday 09:00 local is Monday 03:00 UTC (bit 24 + 3 = 27) in the six-hour reading.
    ASSERT_EQ(stored.size(), 21);
    for (int utc = 0; utc < 168; ++utc)
        EXPECT_EQ((static_cast<quint8>(stored[utc / 8]) >> (utc % 8)) & 1, (utc >= 27 && utc < 35) ? 1 : 0) << utc;
    EXPECT_EQ(reread, wanted);
}
