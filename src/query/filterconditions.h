#pragma once
// The filter builder's logic without a window: a list of conditions on catalogue attributes,
// the three account-state boxes and a last-logon age, composed into a filter fragment (terms
// side by side, which the caller places inside "(&(objectCategory=person)(objectClass=user)%s)"),
// and a fragment built that way parsed back into conditions. Library arv_query_logic.
//
//   query::FilterConditions c;
//   c.add(KeyByLdapName(u"sn"), query::Condition::StartsWith, "Smi");
//   c.setAccountFlag(query::AccountFlag::Disabled, true);
//   c.fragment();   // "(sn=Smi*)(userAccountControl:1.2.840.113556.1.4.803:=2)"
//
// Every term goes through the composer (filtercompose.h), so the fragment is valid LDAP: values
// are escaped, and a negation is "(!(a=v))". Parsing still reads the older "(!a=v)" form and the
// older account-state bits, so queries stored by earlier versions load.
#include "query/lastlogon.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

namespace query {

// The conditions of an attribute row, in the order the condition box offers them.
enum class Condition { StartsWith, EndsWith, IsExactly, IsNot, Present, NotPresent, Containing };

// The captions the condition box shows: "Starts with", ... "Containing".
QStringList conditionTexts();
QString conditionText(Condition c);
// -1 when text is none of the captions.
int conditionFromText(const QString &text);
// Present and Not present need no value.
bool conditionNeedsValue(Condition c);

// The account-state boxes.
enum class AccountFlag { Disabled, Expired, Locked };

enum class RowKind { Attribute, AccountControl, LastLogon };

struct ConditionRow {
    RowKind kind = RowKind::Attribute;
    qint32 key = -1;       // catalogue key: the row's tag
    QString attribute;     // LDAP name (attribute rows)
    QString caption;       // catalogue caption
    QString condition;     // condition caption, "<=" / ">=" for last logon, empty for account rows
    QString value;         // trimmed value; the last-logon date as text; empty for account rows
    Condition cond = Condition::IsExactly;
    AccountFlag flag = AccountFlag::Disabled;
};

// Why add() refused.
enum class AddError { None, UnknownField, NoCondition, EmptyValue, Duplicate };

// The catalogue key of an account-state box's row (88 disabled, 100 expired, 90 locked).
qint32 accountFlagKey(AccountFlag f);

// The term the server answers for an account state, in its own parentheses:
// disabled: the userAccountControl bit 2; locked out: "(lockoutTime>=1)" (the lockout bit is
// computed and never stored); password expired: set before the maximum password age and not
// set to never expire (with no maximum age: a password that must be changed, pwdLastSet=0).
QString accountFlagTerm(AccountFlag f, qint64 maxPasswordAgeDays, const QDate &today = QDate::currentDate());

// Decodes the escapes of a filter value ("\2a", "\c3\a9", any two hexadecimal digits, as UTF-8
// bytes); text that is not an escape stays as it is.
QString decodeFilterValue(const QString &value);

// The top-level terms of a fragment "(a=1)(|(b=2)(c=3))" -> ["(a=1)", "(|(b=2)(c=3))"], the
// parentheses balanced with escapes skipped. Text outside terms is dropped.
QStringList fragmentTerms(const QString &fragment);

// True when fragment (terms side by side; empty is valid) makes a valid filter inside the user
// filter "(&(objectCategory=person)(objectClass=user)%s)".
bool isValidFragment(const QString &fragment, QString *error = nullptr);

// "(&(objectCategory=person)(objectClass=user)<fragment>)", or without a fragment
// "(&(objectCategory=person)(objectClass=user))".
QString userFilter(const QString &fragment);

// One entry of the field box: a group header (keys 1001 to 1009, not choosable) or a field
// offered for conditions (filter flag set, text or integer, present in the loaded schema).
struct FieldChoice {
    qint32 key = -1;
    QString caption;
    QString description;
    bool header = false;
    bool sortKey = false;  // drawn in green
};
// The field box's entries in catalogue order.
QList<FieldChoice> filterFieldChoices();

class FilterConditions {
public:
    FilterConditions();

    // Domain facts the terms depend on.
    void setLastLogonRule(const LastLogonRule &rule) { rule_ = rule; }
    const LastLogonRule &lastLogonRule() const { return rule_; }
    void setMaxPasswordAgeDays(qint64 days) { maxPwdAgeDays_ = days; }
    // The day the terms are computed for (today unless a test sets it).
    void setToday(const QDate &today) { today_ = today; }
    QDate today() const { return today_.isValid() ? today_ : QDate::currentDate(); }

    const QList<ConditionRow> &rows() const { return rows_; }
    int indexOfKey(qint32 key) const;

    // Adds a row for the catalogue entry `key`. Present / Not present ignore the value; the
    // others need a non-empty trimmed value. On Duplicate, *existing is the row already there.
    AddError add(qint32 key, Condition condition, const QString &value, int *existing = nullptr);
    // Removes a row: an account row clears its box, the last-logon row clears the age.
    void removeAt(int index);

    bool accountFlag(AccountFlag f) const;
    // Checking adds the box's row when absent; clearing removes it.
    void setAccountFlag(AccountFlag f, bool on);

    // The age: days 0 removes it. The term is computed now (for today) and kept as it is until
    // the age changes, so that a parsed fragment regenerates unchanged.
    void setLastLogon(int days, bool notLoggedIn);
    int lastLogonDays() const { return lastLogonDays_; }
    bool lastLogonNotLoggedIn() const { return lastLogonNot_; }
    const QString &lastLogonTerm() const { return lastLogonTerm_; }

    void clear();

    // The attribute and last-logon terms in list order, then the account-state part (one term
    // alone, two or three in "(|...)").
    QString fragment() const;

    // Rebuilds the conditions from a fragment that fragment() made (LoadConditions). Terms that
    // name no catalogue field are skipped. Returns the number of terms skipped.
    int parse(const QString &fragment);

private:
    void parseTerm(const QString &term, int *skipped, int depth);
    bool parseAccountTerm(const QString &term);
    void parseLastLogon(const QString &term, const QString &body);
    void addLastLogonRow();

    QList<ConditionRow> rows_;
    LastLogonRule rule_;
    qint64 maxPwdAgeDays_ = 42;
    QDate today_;
    int lastLogonDays_ = 0;
    bool lastLogonNot_ = false;
    QString lastLogonTerm_;
};

} // namespace query
