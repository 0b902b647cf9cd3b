#pragma once
// The last-logon age shared by the filter builder and Find User: which attribute a domain
// keeps reliably, the step of the day choices, and the term "(attr>=filetime)" /
// "(attr<=filetime)" for "logged in (or not) in the last N days". Library arv_query_logic.
#include <QDate>
#include <QString>
#include <QStringList>

namespace query {

struct LastLogonRule {
    QString attribute;          // "lastLogonTimeStamp" (replicated) or "lastLogon" (this DC only)
    int step = 15;              // the day choices are step x 1 .. step x 10
    bool thisServerOnly = false; // lastLogon: the value is the answering server's own
};

// Above functionality level 1 the domain replicates lastLogonTimeStamp every
// syncIntervalDays (15 when unknown or not positive); below, only lastLogon exists, per server.
LastLogonRule lastLogonRule(int domainFunctionality, int syncIntervalDays);

// The day choices offered: step x 1 .. step x 10, as text.
QStringList lastLogonChoices(int step);

// The number a typed or chosen text stands for: empty text is 0 (no age); a text that is not
// a whole number is the step; a number below the step is raised to the step.
int normaliseLogonDays(const QString &text, int step);

// The file time of today (local) at 00:00 minus days.
qint64 logonAgeFileTime(int days, const QDate &today = QDate::currentDate());

// "(attr<=ft)" when notLoggedIn ("have not logged in in the last N days"), else "(attr>=ft)";
// empty when days is 0.
QString lastLogonTerm(const QString &attribute, bool notLoggedIn, int days,
                      const QDate &today = QDate::currentDate());

} // namespace query
