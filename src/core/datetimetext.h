#pragma once
// Local date-times as text in a locale's short date and long time format, the way
// QLocale::toString(QDate, ShortFormat) + " " + QLocale::toString(QTime, LongFormat) write
// them, for outputs that write one per cell of 100,000 rows: QLocale costs about 16,000
// instructions a value. Here each day's date text is made once (by QLocale itself) and a
// time format of numbers and literals is filled in directly; other time formats (names,
// fractions) still go through QLocale.
#include <QHash>
#include <QLocale>
#include <QString>
#include <vector>

class TDateTimeTexts {
public:
    explicit TDateTimeTexts(const QLocale &locale = QLocale::system());

    // The text of a local date-time (a day count from 30 December 1899), whole seconds.
    QString text(double dayCount);

private:
    struct Token {
        enum Kind { Literal, Hour12, Hour24, Minute, Second, AmPm, Zone } kind = Literal;
        int width = 1;       // 2: with a leading zero
        QString literal;     // the text of a literal; the morning text of AmPm
        QString afternoon;   // AmPm
    };
    QString dateText(qint64 julianDay);
    void appendTime(QString &out, int hour, int minute, int second) const;

    QLocale locale_;
    QString dateFormat_;
    QString timeFormat_;
    bool timeParsed_ = false;  // the time format is made of tokens below only
    std::vector<Token> time_;
    QString zone_;             // what "t" shows: the current zone's abbreviation
    QHash<qint64, QString> dates_;
};
