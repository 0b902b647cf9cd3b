#include "query/filtercompose.h"

#include "core/unValuesText.h"

namespace query {

namespace {

QString escaped(const QString &value)
{
    // EscapeFilterValue leaves NUL as it is; a NUL inside a filter value ends the C string
    // libldap is handed, so it is escaped here as well.
    QString s = EscapeFilterValue(value);
    s.replace(QChar(u'\0'), QLatin1String("\\00"));
    return s;
}

QString item(const QString &attr, const QString &op, const QString &value)
{
    return QLatin1Char('(') + attr + op + value + QLatin1Char(')');
}

QString combine(QChar op, const QStringList &terms)
{
    QStringList kept;
    for (const QString &t : terms) {
        const QString term = asTerm(t);
        if (!term.isEmpty())
            kept << term;
    }
    if (kept.isEmpty())
        return QString();
    if (kept.size() == 1)
        return kept.first();
    return QLatin1Char('(') + op + kept.join(QString()) + QLatin1Char(')');
}

// ---- validation: a recursive descent over RFC 4515 --------------------------------------

// Deeper filters are refused (libldap itself gives up on far shallower ones in practice).
constexpr int MaxDepth = 256;

struct Checker {
    const QString &s;
    qsizetype pos = 0;
    QString error;

    bool fail(const QString &why)
    {
        if (error.isEmpty())
            error = QStringLiteral("%1 at position %2").arg(why).arg(pos + 1);
        return false;
    }
    bool at(QChar c) const { return pos < s.size() && s.at(pos) == c; }
    static bool isAlpha(QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
    static bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }
    static bool isHex(QChar c) { return isDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'); }

    int depth = 0;

    bool filter()
    {
        if (!at(u'('))
            return fail(QStringLiteral("'(' expected"));
        // A typed filter may nest without end; the descent stops long before the stack does.
        if (++depth > MaxDepth)
            return fail(QStringLiteral("filter nested too deeply"));
        ++pos;
        if (at(u'&') || at(u'|')) {
            ++pos;
            // RFC 4526 allows the empty "(&)" and "(|)".
            while (at(u'('))
                if (!filter())
                    return false;
        } else if (at(u'!')) {
            ++pos;
            if (!filter())
                return false;
        } else if (!itemBody()) {
            return false;
        }
        --depth;
        if (!at(u')'))
            return fail(QStringLiteral("')' expected"));
        ++pos;
        return true;
    }

    // attr = descr / numericoid, each optionally followed by ";option" parts.
    bool attribute()
    {
        const qsizetype start = pos;
        if (pos < s.size() && isAlpha(s.at(pos))) {
            while (pos < s.size() && (isAlpha(s.at(pos)) || isDigit(s.at(pos)) || s.at(pos) == u'-'))
                ++pos;
        } else if (pos < s.size() && isDigit(s.at(pos))) {
            while (pos < s.size() && (isDigit(s.at(pos)) || s.at(pos) == u'.'))
                ++pos;
            if (s.at(pos - 1) == u'.')
                return fail(QStringLiteral("bad attribute name"));
        } else {
            return fail(QStringLiteral("attribute name expected"));
        }
        while (at(u';')) {
            ++pos;
            const qsizetype o = pos;
            while (pos < s.size() && (isAlpha(s.at(pos)) || isDigit(s.at(pos)) || s.at(pos) == u'-'))
                ++pos;
            if (pos == o)
                return fail(QStringLiteral("attribute option expected"));
        }
        return pos > start;
    }

    // One value character or escape; false at the end of the value (')' or '*' when stars
    // end it). Sets ok=false on a malformed escape or a forbidden character.
    bool valueChar(bool starEnds, bool &ok)
    {
        if (pos >= s.size())
            return false;
        const QChar c = s.at(pos);
        if (c == u')' || (starEnds && c == u'*'))
            return false;
        if (c == u'(' || c == QChar(u'\0') || c == u'*') {
            ok = fail(QStringLiteral("unescaped '%1' in a value").arg(c == QChar(u'\0') ? QStringLiteral("NUL") : QString(c)));
            return false;
        }
        if (c == u'\\') {
            if (pos + 2 >= s.size() || !isHex(s.at(pos + 1)) || !isHex(s.at(pos + 2))) {
                ok = fail(QStringLiteral("an escape needs two hexadecimal digits"));
                return false;
            }
            pos += 3;
            return true;
        }
        ++pos;
        return true;
    }

    bool value(bool allowStars)
    {
        bool ok = true;
        for (;;) {
            while (valueChar(allowStars, ok)) {
            }
            if (!ok)
                return false;
            if (allowStars && at(u'*')) {
                ++pos;
                continue;
            }
            return true;
        }
    }

    bool matchingRule()
    {
        const qsizetype start = pos;
        while (pos < s.size() && (isAlpha(s.at(pos)) || isDigit(s.at(pos)) || s.at(pos) == u'.' || s.at(pos) == u'-'))
            ++pos;
        return pos > start || fail(QStringLiteral("matching rule expected"));
    }

    bool itemBody()
    {
        // Extensible match without an attribute: ":dn:rule:=" or ":rule:=".
        if (!at(u':') && !attribute())
            return false;
        if (at(u':')) {
            if (s.mid(pos, 3).compare(QLatin1String(":dn"), Qt::CaseInsensitive) == 0 &&
                (pos + 3 < s.size()) && (s.at(pos + 3) == u':')) {
                pos += 3;
            }
            if (at(u':') && pos + 1 < s.size() && s.at(pos + 1) != u'=') {
                ++pos;
                if (!matchingRule())
                    return false;
            }
            if (s.mid(pos, 2) != QLatin1String(":="))
                return fail(QStringLiteral("':=' expected"));
            pos += 2;
            return value(false);
        }
        if (at(u'~') || at(u'>') || at(u'<')) {
            ++pos;
            if (!at(u'='))
                return fail(QStringLiteral("'=' expected"));
            ++pos;
            return value(false);
        }
        if (!at(u'='))
            return fail(QStringLiteral("'=' expected"));
        ++pos;
        return value(true);
    }
};

} // namespace

QString equals(const QString &attr, const QString &value) { return item(attr, QStringLiteral("="), escaped(value)); }
QString equalsRaw(const QString &attr, const QString &rawValue) { return item(attr, QStringLiteral("="), rawValue); }
QString present(const QString &attr) { return item(attr, QStringLiteral("="), QStringLiteral("*")); }
QString startsWith(const QString &attr, const QString &value)
{
    return item(attr, QStringLiteral("="), escaped(value) + QLatin1Char('*'));
}
QString endsWith(const QString &attr, const QString &value)
{
    return item(attr, QStringLiteral("="), QLatin1Char('*') + escaped(value));
}
QString contains(const QString &attr, const QString &value)
{
    return item(attr, QStringLiteral("="), QLatin1Char('*') + escaped(value) + QLatin1Char('*'));
}
QString greaterOrEqual(const QString &attr, const QString &value) { return item(attr, QStringLiteral(">="), escaped(value)); }
QString lessOrEqual(const QString &attr, const QString &value) { return item(attr, QStringLiteral("<="), escaped(value)); }
QString bitsAllSet(const QString &attr, quint32 bits)
{
    return item(attr, QStringLiteral(":1.2.840.113556.1.4.803:="), QString::number(bits));
}
QString bitsAnySet(const QString &attr, quint32 bits)
{
    return item(attr, QStringLiteral(":1.2.840.113556.1.4.804:="), QString::number(bits));
}

QString notOf(const QString &term)
{
    const QString t = asTerm(term);
    return t.isEmpty() ? QString() : QStringLiteral("(!") + t + QLatin1Char(')');
}

QString andOf(const QStringList &terms) { return combine(u'&', terms); }
QString orOf(const QStringList &terms) { return combine(u'|', terms); }

QString asTerm(const QString &filterOrFragment)
{
    QString s = filterOrFragment.trimmed();
    if (s.isEmpty())
        return s;
    if (!s.startsWith(u'('))
        return QLatin1Char('(') + s + QLatin1Char(')');
    // Drop redundant outer pairs: "((x))" -> "(x)", as long as the outer pair encloses one
    // inner term whole.
    while (s.size() >= 4 && s.at(1) == u'(' && closingParenthesis(s, 0) == s.size() - 1 &&
           closingParenthesis(s, 1) == s.size() - 2)
        s = s.mid(1, s.size() - 2);
    // Several terms side by side form an AND.
    const qsizetype first = closingParenthesis(s, 0);
    if (first >= 0 && first < s.size() - 1) {
        QStringList parts;
        qsizetype i = 0;
        while (i < s.size()) {
            if (s.at(i) != u'(')
                return s; // not a plain list: leave it for the checker to refuse
            const qsizetype end = closingParenthesis(s, i);
            if (end < 0)
                return s;
            parts << s.mid(i, end - i + 1);
            i = end + 1;
            while (i < s.size() && s.at(i).isSpace())
                ++i;
        }
        return QStringLiteral("(&") + parts.join(QString()) + QLatin1Char(')');
    }
    return s;
}

qsizetype closingParenthesis(const QString &s, qsizetype open)
{
    int depth = 0;
    for (qsizetype i = open; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (c == u'\\') {
            ++i;
            continue;
        }
        if (c == u'(')
            ++depth;
        else if (c == u')' && --depth == 0)
            return i;
    }
    return -1;
}

bool isValidFilter(const QString &filter, QString *error)
{
    Checker c{filter, 0, {}, 0};
    bool ok = c.filter();
    if (ok && c.pos != filter.size())
        ok = c.fail(QStringLiteral("text after the end of the filter"));
    if (!ok && error)
        *error = c.error;
    return ok;
}

} // namespace query
