#include "core/datetimetext.h"

#include "core/unValuesTime.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <algorithm>

namespace {

constexpr int kMaxCachedDays = 20000;

// A quoted part of a format as QLocale reads it: 'text', '' for a quote.
QString readQuoted(const QString &format, int *at)
{
    int &i = *at;
    ++i;
    if (i == format.size())
        return {};
    if (format.at(i) == u'\'') {
        ++i;
        return QStringLiteral("'");
    }
    QString out;
    while (i < format.size()) {
        if (format.at(i) == u'\'') {
            if (i + 1 < format.size() && format.at(i + 1) == u'\'') {
                out += u'\'';
                i += 2;
                continue;
            }
            break;
        }
        out += format.at(i++);
    }
    if (i < format.size())
        ++i;
    return out;
}

void appendNumber(QString &out, int value, int width)
{
    if (width == 2 && value < 10)
        out += u'0';
    if (value >= 10)
        out += QChar(u'0' + value / 10);
    out += QChar(u'0' + value % 10);
}

} // namespace

TDateTimeTexts::TDateTimeTexts(const QLocale &locale)
    : locale_(locale), dateFormat_(locale.dateFormat(QLocale::ShortFormat)),
      timeFormat_(locale.timeFormat(QLocale::LongFormat)),
      zone_(QDateTime::currentDateTime().timeZoneAbbreviation())
{
    // Only the formats whose parts are all understood here are filled in directly; any other
    // goes through QLocale value by value.
    if (locale.zeroDigit() != QLatin1String("0"))
        return;
    bool twelveHour = false;
    for (int i = 0; i < timeFormat_.size();) {
        if (timeFormat_.at(i) == u'\'') {
            readQuoted(timeFormat_, &i);
            continue;
        }
        if (timeFormat_.at(i).toLower() == u'a')
            twelveHour = true;
        ++i;
    }
    for (int i = 0; i < timeFormat_.size();) {
        const QChar c = timeFormat_.at(i);
        int run = 1;
        while (i + run < timeFormat_.size() && timeFormat_.at(i + run) == c)
            ++run;
        Token t;
        if (c == u'\'') {
            t.literal = readQuoted(timeFormat_, &i);
            time_.push_back(t);
            continue;
        }
        if (c == u'h' || c == u'H' || c == u'm' || c == u's') {
            t.kind = c == u'm' ? Token::Minute : c == u's' ? Token::Second
                   : (c == u'h' && twelveHour) ? Token::Hour12 : Token::Hour24;
            t.width = std::min(run, 2);
            i += t.width;
        } else if (c == u'a' || c == u'A') {
            t.kind = Token::AmPm;
            t.literal = c == u'A' ? locale.amText().toUpper() : locale.amText().toLower();
            t.afternoon = c == u'A' ? locale.pmText().toUpper() : locale.pmText().toLower();
            i += (i + 1 < timeFormat_.size() && timeFormat_.at(i + 1).toLower() == u'p') ? 2 : 1;
        } else if (c == u't') {
            t.kind = Token::Zone;
            ++i;
        } else if (c.isLetter()) {
            return; // fractions of a second, or letters of a date: QLocale decides
        } else {
            t.literal = QString(run, c);
            i += run;
        }
        time_.push_back(t);
    }
    timeParsed_ = true;
}

QString TDateTimeTexts::dateText(qint64 julianDay)
{
    auto it = dates_.constFind(julianDay);
    if (it != dates_.constEnd())
        return *it;
    if (dates_.size() >= kMaxCachedDays)
        dates_.clear();
    return *dates_.insert(julianDay, locale_.toString(QDate::fromJulianDay(julianDay), dateFormat_));
}

void TDateTimeTexts::appendTime(QString &out, int hour, int minute, int second) const
{
    for (const Token &t : time_) {
        switch (t.kind) {
        case Token::Literal:
            out += t.literal;
            break;
        case Token::Hour24:
            appendNumber(out, hour, t.width);
            break;
        case Token::Hour12:
            appendNumber(out, hour > 12 ? hour - 12 : (hour == 0 ? 12 : hour), t.width);
            break;
        case Token::Minute:
            appendNumber(out, minute, t.width);
            break;
        case Token::Second:
            appendNumber(out, second, t.width);
            break;
        case Token::AmPm:
            out += hour < 12 ? t.literal : t.afternoon;
            break;
        case Token::Zone:
            out += zone_;
            break;
        }
    }
}

QString TDateTimeTexts::text(double dayCount)
{
    const TDateTimeParts p = DecodeDateTime(dayCount);
    const QDate day(p.year, p.month, p.day);
    const QString date = dateText(day.toJulianDay());
    QString out;
    out.reserve(date.size() + timeFormat_.size() + zone_.size() + 8);
    out += date;
    out += u' ';
    if (timeParsed_)
        appendTime(out, p.hour, p.minute, p.second);
    else
        out += locale_.toString(QTime(p.hour, p.minute, p.second), timeFormat_);
    return out;
}
