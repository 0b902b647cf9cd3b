#pragma once
// The account rules of the user property dialog that need no window: logon hours between the
// 168 local hours and the directory's 21-byte UTC value, userAccountControl composition,
// account expiry dates, the workstation list text, the network-path test and the
// well-known accounts.
#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

namespace userprop {

// --- logon hours ---------------------------------------------------------------------------

// One byte per hour (1 permitted, 0 denied), index = day * 24 + hour, day 0 = Sunday, local.
using HoursArray = std::array<quint8, 168>;

inline HoursArray allHours(quint8 value)
{
    HoursArray a;
    a.fill(value);
    return a;
}

// The local hour index of byte 0 bit 0 (Sunday 00:00 UTC) for a zone whose Bias (UTC = local
// + Bias, minutes) is given: (-round(Bias / 60)) mod 168, rounding halves to even.
int logonHoursShift(int biasMinutes);

// The 21 stored bytes as local hours; empty when the value does not have exactly 21 bytes.
std::optional<HoursArray> decodeLogonHours(const QByteArray &stored, int biasMinutes);
// The local hours as the 21 bytes to store.
QByteArray encodeLogonHours(const HoursArray &hours, int biasMinutes);

// The hours grid's rows start at the locale's first day of the week: the Sunday-first day
// (0..6) shown in row r (0..6) when the week starts on firstDay (0 Monday .. 6 Sunday).
int dayOfRow(int row, int firstDay);
// The text under the grid for a selection of rows and hour columns (1..24).
QString hoursSelectionText(const QString &firstDayName, const QString &lastDayName, bool oneRow,
                           int firstColumn, int lastColumn);

// --- userAccountControl --------------------------------------------------------------------

namespace uac {
enum : quint32 {
    AccountDisable = 0x2,
    Lockout = 0x10,
    EncryptedTextPasswordAllowed = 0x80,
    DontExpirePassword = 0x10000,
    SmartcardRequired = 0x40000,
    NotDelegated = 0x100000,
    UseDesKeyOnly = 0x200000,
    DontRequirePreauth = 0x400000,
    PasswordExpired = 0x800000,
    TrustedToAuthForDelegation = 0x1000000,
};
// The bits the option boxes edit (not the lock-out bit).
inline constexpr quint32 kOptionBits = AccountDisable | EncryptedTextPasswordAllowed | DontExpirePassword
    | SmartcardRequired | NotDelegated | UseDesKeyOnly | DontRequirePreauth | TrustedToAuthForDelegation;
// Bits the directory computes; they are never written back.
inline constexpr quint32 kComputedBits = Lockout | PasswordExpired;
} // namespace uac

// The value to write: the loaded value with the option bits replaced by checkedBits and the
// computed bits removed.
quint32 composeUserAccountControl(quint32 loaded, quint32 checkedBits);

// --- account expiry ------------------------------------------------------------------------

// accountExpires values meaning "never": 0 and the largest value (low 32 bits all ones);
// negative values too.
bool expiryIsNever(qint64 fileTime);
// The stored value for "End of: date": the first instant after that day, local time.
qint64 expiryFileTimeForDate(const QDate &date);
// The day whose end the stored value is (the local day of the instant just before it);
// empty for "never" and for values that cannot be converted.
std::optional<QDate> expiryDateOfFileTime(qint64 fileTime);

// --- logon workstations --------------------------------------------------------------------

// Splits a comma text: commas separate entries, blanks separate unquoted entries, double
// quotes group (a doubled quote inside quotes is one quote).
QStringList splitCommaText(const QString &text);
// The text to store for a list: names joined with ",", trimmed, one trailing "," removed.
QString joinWorkstations(const QStringList &names);
// True when the list holds two names equal without regard to case.
bool hasDuplicateNames(const QStringList &names);

// --- other rules ---------------------------------------------------------------------------

// The built-in administrator (relative identifier 500) and the key-distribution account
// (502) of a domain: "S-1-5-..." SIDs only.
enum class WellKnownAccount { None, Administrator, KeyDistribution };
WellKnownAccount wellKnownAccountOf(const QString &sidText);

// The network home folder's drive letters "D:" .. "Z:".
QStringList homeDrives();

} // namespace userprop
