// The account rules without a directory: logon hours between local hours and the stored UTC
// bytes, userAccountControl composition, expiry dates and the workstation list text.
#include "core/unValuesTime.h"
#include "userprop/unAccountLogic.h"

#include <QRandomGenerator>
#include <QTimeZone>
#include <gtest/gtest.h>

using namespace userprop;

namespace {
int localIndexOfFirstBit(int bias)
{
    QByteArray stored(21, '\0');
    stored[0] = 1; // Sunday 00:00-01:00 UTC
    const auto hours = decodeLogonHours(stored, bias);
    EXPECT_TRUE(hours.has_value());
    for (int i = 0; i < 168; ++i)
        if ((*hours)[static_cast<std::size_t>(i)])
            return i;
    return -1;
}
} // namespace

TEST(LogonHours, FirstStoredBitLandsOnTheLocalHourOfTheZone)
{
    EXPECT_EQ(localIndexOfFirstBit(0), 0);
    EXPECT_EQ(localIndexOfFirstBit(-120), 2);   // UTC+2: Sunday 02:00
    EXPECT_EQ(localIndexOfFirstBit(300), 163);  // UTC-5: Saturday 19:00
    EXPECT_EQ(localIndexOfFirstBit(-330), 6);   // UTC+5:30: -5.5 rounds to the even -6
    EXPECT_EQ(localIndexOfFirstBit(-210), 4);   // UTC+3:30: -3.5 rounds to -4
    EXPECT_EQ(localIndexOfFirstBit(570), 158);  // UTC-9:30: 9.5 rounds to 10
}

TEST(LogonHours, StoredBytesSurviveDecodeAndEncodeInEveryZone)
{
    for (int bias : {0, -60, -120, 300, -330, 570, -765, 720}) {
        QByteArray stored(21, '\0');
        for (int i = 0; i < 21; ++i)
            stored[i] = static_cast<char>(QRandomGenerator::global()->bounded(256));
        const auto hours = decodeLogonHours(stored, bias);
        ASSERT_TRUE(hours.has_value());
        EXPECT_EQ(encodeLogonHours(*hours, bias), stored) << bias;
    }
}

TEST(LogonHours, WeekdayOfficeHoursInUtcPlusTwo)
{
    // Monday to Friday 08:00-18:00 local in UTC+2 are 06:00-16:00 UTC.
    HoursArray local = allHours(0);
    for (int day = 1; day <= 5; ++day)
        for (int h = 8; h < 18; ++h)
            local[static_cast<std::size_t>(day * 24 + h)] = 1;
    const QByteArray stored = encodeLogonHours(local, -120);
    ASSERT_EQ(stored.size(), 21);
    for (int utcHour = 0; utcHour < 168; ++utcHour) {
        const bool set = (static_cast<quint8>(stored[utcHour / 8]) >> (utcHour % 8)) & 1;
        const int day = utcHour / 24, h = utcHour % 24;
        EXPECT_EQ(set, day >= 1 && day <= 5 && h >= 6 && h < 16) << utcHour;
    }
}

TEST(LogonHours, ValuesOfAnotherLengthAreNotUnderstood)
{
    EXPECT_FALSE(decodeLogonHours(QByteArray(20, '\xff'), 0).has_value());
    EXPECT_FALSE(decodeLogonHours(QByteArray(22, '\xff'), 0).has_value());
    EXPECT_FALSE(decodeLogonHours(QByteArray(), 0).has_value());
}

TEST(LogonHours, RowsFollowTheLocalesFirstDay)
{
    EXPECT_EQ(dayOfRow(0, 0), 1); // week starting Monday
    EXPECT_EQ(dayOfRow(6, 0), 0); // ... ends on Sunday
    EXPECT_EQ(dayOfRow(0, 6), 0); // week starting Sunday
    EXPECT_EQ(hoursSelectionText("Monday", "Monday", true, 9, 9), "Monday from 8:00 to 9:00");
    EXPECT_EQ(hoursSelectionText("Monday", "Friday", false, 1, 24), "Monday through Friday from 0:00 to 24:00");
}

TEST(UserAccountControl, ComputedBitsAreNeverWrittenBack)
{
    // Locked out and password expired as the directory computes them; the option boxes say
    // "disabled, password never expires".
    const quint32 loaded = 0x200 | uac::Lockout | uac::PasswordExpired;
    const quint32 value = composeUserAccountControl(loaded, uac::AccountDisable | uac::DontExpirePassword);
    EXPECT_EQ(value, 0x200u | uac::AccountDisable | uac::DontExpirePassword);
    // Bits no box edits stay as loaded.
    EXPECT_EQ(composeUserAccountControl(0x200 | 0x20, 0), 0x220u);
    // Unchecking every box clears them all.
    EXPECT_EQ(composeUserAccountControl(0x200 | uac::kOptionBits, 0), 0x200u);
    EXPECT_EQ(uac::TrustedToAuthForDelegation, 0x1000000u);
}

class Expiry : public ::testing::TestWithParam<const char *> {
protected:
    void TearDown() override { SetTimeZoneOverride(QTimeZone()); }
};

TEST_P(Expiry, EndOfADayComesBackAsTheSameDay)
{
    SetTimeZoneOverride(QTimeZone(QByteArray(GetParam())));
    for (const QDate d : {QDate(2026, 1, 15), QDate(2026, 3, 29), QDate(2026, 10, 25), QDate(2030, 12, 31)}) {
        const qint64 stored = expiryFileTimeForDate(d);
        EXPECT_FALSE(expiryIsNever(stored));
        EXPECT_EQ(expiryDateOfFileTime(stored), d) << GetParam() << " " << d.toString().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Zones, Expiry,
                         ::testing::Values("UTC", "Europe/Berlin", "America/New_York", "Asia/Kolkata",
                                           "Pacific/Auckland"));

TEST(ExpiryNever, ZeroAndTheLargestValueMeanNever)
{
    EXPECT_TRUE(expiryIsNever(0));
    EXPECT_TRUE(expiryIsNever(0x7FFFFFFFFFFFFFFFLL));
    EXPECT_TRUE(expiryIsNever(-1));
    EXPECT_FALSE(expiryDateOfFileTime(0).has_value());
    EXPECT_FALSE(expiryDateOfFileTime(0x7FFFFFFFFFFFFFFFLL).has_value());
}

TEST(Workstations, CommaTextSplitsAndJoins)
{
    EXPECT_EQ(splitCommaText("WS-1,WS-2,LAPTOP-7"), (QStringList{"WS-1", "WS-2", "LAPTOP-7"}));
    EXPECT_EQ(splitCommaText(" WS-1 , WS-2 "), (QStringList{"WS-1", "WS-2"}));
    EXPECT_EQ(splitCommaText("A B"), (QStringList{"A", "B"}));
    EXPECT_EQ(splitCommaText("\"A B\",C"), (QStringList{"A B", "C"}));
    EXPECT_TRUE(splitCommaText("").isEmpty());
    EXPECT_EQ(joinWorkstations({"WS-1", "WS-2"}), "WS-1,WS-2");
    EXPECT_EQ(joinWorkstations({"WS-1", ""}), "WS-1");
    EXPECT_TRUE(hasDuplicateNames({"ws-1", "WS-1"}));
    EXPECT_FALSE(hasDuplicateNames({"ws-1", "WS-2"}));
}

TEST(WellKnown, OnlyDomainRids500And502)
{
    EXPECT_EQ(wellKnownAccountOf("S-1-5-21-1-2-3-500"), WellKnownAccount::Administrator);
    EXPECT_EQ(wellKnownAccountOf("S-1-5-21-1-2-3-502"), WellKnownAccount::KeyDistribution);
    EXPECT_EQ(wellKnownAccountOf("S-1-5-21-1-2-3-1500"), WellKnownAccount::None);
    EXPECT_EQ(wellKnownAccountOf("S-1-1-0"), WellKnownAccount::None);
}
