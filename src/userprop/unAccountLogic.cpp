#include "userprop/unAccountLogic.h"

#include "core/unValuesTime.h"

#include <QDateTime>
#include <QSet>

#include <cmath>

namespace userprop {

int logonHoursShift(int biasMinutes)
{
    // Halves go to the even neighbour, so UTC+5:30 (-330) moves by 6 hours and UTC-3:30 by 4.
    const long r = std::lrint(std::nearbyint(static_cast<double>(biasMinutes) / 60.0));
    return static_cast<int>(((-r) % 168 + 168) % 168);
}

std::optional<HoursArray> decodeLogonHours(const QByteArray &stored, int biasMinutes)
{
    if (stored.size() != 21)
        return std::nullopt;
    const int s = logonHoursShift(biasMinutes);
    HoursArray out{};
    for (int j = 0; j < 21; ++j)
        for (int k = 0; k < 8; ++k)
            out[static_cast<std::size_t>((s + 8 * j + k) % 168)] = (static_cast<quint8>(stored[j]) >> k) & 1;
    return out;
}

QByteArray encodeLogonHours(const HoursArray &hours, int biasMinutes)
{
    const int s = logonHoursShift(biasMinutes);
    QByteArray out(21, '\0');
    for (int j = 0; j < 21; ++j) {
        quint8 b = 0;
        for (int k = 0; k < 8; ++k)
            if (hours[static_cast<std::size_t>((s + 8 * j + k) % 168)])
                b |= static_cast<quint8>(1u << k);
        out[j] = static_cast<char>(b);
    }
    return out;
}

int dayOfRow(int row, int firstDay)
{
    // firstDay 0 = Monday: Monday is Sunday-first day 1.
    return (firstDay + 1 + row) % 7;
}

QString hoursSelectionText(const QString &firstDayName, const QString &lastDayName, bool oneRow, int firstColumn,
                           int lastColumn)
{
    const QString hours = QStringLiteral(" from %1:00 to %2:00").arg(firstColumn - 1).arg(lastColumn);
    if (oneRow)
        return firstDayName + hours;
    return firstDayName + QStringLiteral(" through ") + lastDayName + hours;
}

quint32 composeUserAccountControl(quint32 loaded, quint32 checkedBits)
{
    return (loaded & ~uac::kOptionBits & ~uac::kComputedBits) | (checkedBits & uac::kOptionBits);
}

bool expiryIsNever(qint64 fileTime)
{
    return fileTime <= 0 || (fileTime & 0xFFFFFFFFLL) == 0xFFFFFFFFLL;
}

qint64 expiryFileTimeForDate(const QDate &date)
{
    const QDate next = date.addDays(1);
    return DateTimeToFileTime(EncodeDateTime(next.year(), next.month(), next.day()));
}

std::optional<QDate> expiryDateOfFileTime(qint64 fileTime)
{
    if (expiryIsNever(fileTime))
        return std::nullopt;
    const std::optional<double> local = FileTimeToLocalDateTime(fileTime - 1);
    if (!local)
        return std::nullopt;
    const TDateTimeParts p = DecodeDateTime(*local);
    const QDate d(p.year, p.month, p.day);
    if (!d.isValid())
        return std::nullopt;
    return d;
}

QStringList splitCommaText(const QString &text)
{
    QStringList out;
    int i = 0;
    const int n = int(text.size());
    auto isSep = [](QChar c) { return c == QLatin1Char(',') || c.isSpace(); };
    while (i < n) {
        while (i < n && text[i].isSpace())
            ++i;
        if (i >= n)
            break;
        QString item;
        if (text[i] == QLatin1Char('"')) {
            ++i;
            while (i < n) {
                if (text[i] == QLatin1Char('"')) {
                    if (i + 1 < n && text[i + 1] == QLatin1Char('"')) {
                        item += QLatin1Char('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += text[i++];
            }
            while (i < n && !isSep(text[i]))
                item += text[i++];
        } else {
            while (i < n && !isSep(text[i]))
                item += text[i++];
        }
        out << item;
        while (i < n && text[i].isSpace())
            ++i;
        if (i < n && text[i] == QLatin1Char(','))
            ++i;
    }
    return out;
}

QString joinWorkstations(const QStringList &names)
{
    QString t = names.join(QLatin1Char(',')).trimmed();
    if (t.endsWith(QLatin1Char(',')))
        t.chop(1);
    return t;
}

bool hasDuplicateNames(const QStringList &names)
{
    QSet<QString> seen;
    for (const QString &n : names) {
        const QString key = n.toLower();
        if (seen.contains(key))
            return true;
        seen.insert(key);
    }
    return false;
}

WellKnownAccount wellKnownAccountOf(const QString &sidText)
{
    if (!sidText.startsWith(QLatin1String("S-1-5"), Qt::CaseInsensitive))
        return WellKnownAccount::None;
    const QString last = sidText.section(QLatin1Char('-'), -1);
    if (last == QLatin1String("500"))
        return WellKnownAccount::Administrator;
    if (last == QLatin1String("502"))
        return WellKnownAccount::KeyDistribution;
    return WellKnownAccount::None;
}

QStringList homeDrives()
{
    QStringList d;
    for (char c = 'D'; c <= 'Z'; ++c)
        d << QStringLiteral("%1:").arg(QLatin1Char(c));
    return d;
}

} // namespace userprop
