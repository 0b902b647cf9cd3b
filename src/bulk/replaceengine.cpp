#include "bulk/replaceengine.h"

#include "journal/recorder.h"

#include "core/unSearch.h"
#include "platform/adsi/adspath.h"
#include "query/filtercompose.h"

#include <QLocale>
#include <QRegularExpression>
#include <QStringConverter>

#include <algorithm>

namespace findreplace {

namespace {

// LDAP names in list order with their pages; extensionAttribute1..15 follow.
struct Listed {
    const char16_t *name;
    Page page;
};
constexpr Listed kListed[] = {
    {u"givenName", Page::Main},        {u"initials", Page::Main},
    {u"sn", Page::Main},               {u"displayName", Page::Main},
    {u"description", Page::Main},      {u"physicalDeliveryOfficeName", Page::Main},
    {u"telephoneNumber", Page::Main},  {u"mail", Page::Main},
    {u"wwwHomePage", Page::Main},      {u"streetAddress", Page::Memo},
    {u"postOfficeBox", Page::Main},    {u"l", Page::Main},
    {u"st", Page::Main},               {u"postalCode", Page::Main},
    {u"co", Page::Country},            {u"title", Page::Main},
    {u"department", Page::Main},       {u"company", Page::Main},
    {u"manager", Page::Manager},       {u"profilePath", Page::Main},
    {u"scriptPath", Page::Main},       {u"homeDirectory", Page::Main},
    {u"homeDrive", Page::Main},        {u"msExchHideFromAddressLists", Page::Booleans},
};

// Placeholder attribute names, in table order (CURRENT is handled apart).
const QStringList &placeholderNames()
{
    static const QStringList names = {QStringLiteral("sAMAccountname"), QStringLiteral("givenName"),
                                      QStringLiteral("initials"),       QStringLiteral("sn"),
                                      QStringLiteral("displayName"),    QStringLiteral("company")};
    return names;
}

const QRegularExpression &placeholderPattern()
{
    static const QRegularExpression re(
        QStringLiteral("<%(sAMAccountname|givenName|initials|sn|displayName|company|CURRENT)%>"),
        QRegularExpression::CaseInsensitiveOption);
    return re;
}

// Only the one-line texts of the Main page take placeholders: the Street memo is written as
// typed, so "<%sn%>" in an address note stays those characters.
bool usesPlaceholders(Page page) { return page == Page::Main; }

const CountryISO *countryAt(int index)
{
    const auto all = catalogue::countries();
    if (index < 0 || index >= static_cast<int>(all.size()))
        return nullptr;
    return &all[static_cast<std::size_t>(index)];
}

// The status texts of LDAP results that mean "the entry no longer holds what the preview
// read": no such attribute / value (16) and attribute or value exists (20).
bool changedMeanwhile(ads::HRESULT h)
{
    return h == ads::hresultFromWin32(8202) || h == ads::hresultFromWin32(8205);
}

bool serverLost(ads::HRESULT h)
{
    return h == ads::HR_DS_SERVER_DOWN || h == ads::hresultFromWin32(1460);
}

} // namespace

const std::vector<Attribute> &allAttributes()
{
    static const std::vector<Attribute> list = [] {
        std::vector<Attribute> v;
        for (const Listed &l : kListed)
            v.push_back({EntryByLdapName(QStringView(l.name)), l.page, false});
        for (int i = 1; i <= 15; ++i)
            v.push_back({EntryByLdapName(QStringLiteral("extensionAttribute%1").arg(i)), Page::Main, true});
        return v;
    }();
    return list;
}

std::vector<Attribute> offeredAttributes(bool schemaLoaded, const QStringList &schemaNames)
{
    std::vector<Attribute> out;
    for (const Attribute &a : allAttributes()) {
        if (!a.field)
            continue;
        if (schemaLoaded && !schemaNames.contains(a.ldapName().trimmed(), Qt::CaseInsensitive))
            continue;
        out.push_back(a);
    }
    return out;
}

const Attribute *attributeByName(const QString &ldapName)
{
    for (const Attribute &a : allAttributes())
        if (a.field && a.ldapName().compare(ldapName.trimmed(), Qt::CaseInsensitive) == 0)
            return &a;
    return nullptr;
}

const QStringList &placeholders()
{
    static const QStringList list = [] {
        QStringList l;
        for (const QString &n : placeholderNames())
            l << QStringLiteral("<%") + n + QStringLiteral("%>");
        l << kCurrentPlaceholder;
        return l;
    }();
    return list;
}

QString prepareRule(Rule &rule)
{
    const Page page = rule.attribute.page;
    if ((page == Page::Main || page == Page::Memo || page == Page::Manager) && rule.replace.trimmed().isEmpty())
        rule.clear = true;
    if (rule.valueNotSet && rule.clear)
        return QStringLiteral("You cannot select both checkboxes\r\n\"Value Is Not Set\" and \"Clear Value\"");
    if (!rule.clear) {
        if (page == Page::Country && !countryAt(rule.replaceCountry))
            return QStringLiteral("Choose the country to replace with.");
        if (page == Page::Booleans && rule.replace.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) != 0 &&
            rule.replace.compare(QLatin1String("FALSE"), Qt::CaseInsensitive) != 0)
            return QStringLiteral("Choose TRUE or FALSE to replace with.");
    }
    if (page == Page::Country && !rule.valueNotSet && rule.findCountry >= 0 && !countryAt(rule.findCountry))
        return QStringLiteral("Choose the country to find.");
    const QString self = rule.attribute.ldapName();
    for (const QString &extra : placeholderAttributes(rule)) {
        if (extra.compare(self, Qt::CaseInsensitive) == 0)
            return QStringLiteral("You cannot use \"%1\" as replace attribute - it is equal to \"%2\".\r\n"
                                  "You can use \"%3\" instead.")
                .arg(QStringLiteral("<%") + self + QStringLiteral("%>"), rule.attribute.caption(),
                     kCurrentPlaceholder);
    }
    if (usesPlaceholders(page) && !rule.clear && rule.valueNotSet &&
        rule.replace.contains(kCurrentPlaceholder, Qt::CaseInsensitive))
        return QStringLiteral("You cannot select \"Value Is Not Set\" and %1").arg(kCurrentPlaceholder);
    return {};
}

QString conditionFilter(const Rule &rule)
{
    const Page page = rule.attribute.page;
    // The country is matched by its two-letter code, the attribute that decides it.
    const QString attr = page == Page::Country ? QStringLiteral("c") : rule.attribute.ldapName();
    QString value;
    bool anyValue = false;
    switch (page) {
    case Page::Main:
    case Page::Memo:
    case Page::Manager:
    case Page::Booleans:
        value = rule.find.trimmed();
        anyValue = value.isEmpty();
        break;
    case Page::Country:
        if (const CountryISO *c = countryAt(rule.findCountry))
            value = c->alpha2.toString();
        anyValue = value.isEmpty();
        break;
    }
    QString condition;
    if (rule.valueNotSet)
        condition = query::notOf(query::present(attr));
    else if (anyValue)
        condition = query::present(attr);
    else if (page == Page::Main || page == Page::Memo) {
        switch (rule.where) {
        case Where::IsExactly: condition = query::equals(attr, value); break;
        case Where::Start: condition = query::startsWith(attr, value); break;
        case Where::End: condition = query::endsWith(attr, value); break;
        case Where::Contains: condition = query::contains(attr, value); break;
        case Where::IsNot: condition = query::notOf(query::equals(attr, value)); break;
        }
    } else if (rule.where == Where::IsNot) {
        // A set manager that differs; users without one are not "another manager".
        condition = page == Page::Manager
                        ? query::andOf({query::notOf(query::equals(attr, value)), query::present(attr)})
                        : query::notOf(query::equals(attr, value));
    } else {
        condition = query::equals(attr, page == Page::Booleans ? value.toUpper() : value);
    }
    if (page == Page::Main && rule.attribute.mailboxOnly)
        condition = query::andOf({condition, query::present(QStringLiteral("homeMDB")),
                                  query::present(QStringLiteral("msExchHomeServerName"))});
    return condition;
}

QString fullQuery(const Rule &rule, const QString &extraRestriction, QString *error)
{
    QString extra = extraRestriction.trimmed();
    if (!extra.isEmpty()) {
        extra = query::asTerm(extra);
        QString why;
        if (!query::isValidFilter(extra, &why)) {
            if (error)
                *error = QStringLiteral("The extra restriction is not a valid LDAP filter: %1").arg(why);
            return {};
        }
    }
    // andOf keeps the three leading terms apart even when the condition is itself an "&".
    return QStringLiteral("(&") + query::equals(QStringLiteral("objectCategory"), QStringLiteral("person")) +
           query::equals(QStringLiteral("objectClass"), QStringLiteral("user")) + conditionFilter(rule) + extra +
           QStringLiteral(")");
}

QStringList placeholderAttributes(const Rule &rule)
{
    QStringList out;
    if (rule.clear || !usesPlaceholders(rule.attribute.page))
        return out;
    for (const QString &name : placeholderNames())
        if (rule.replace.contains(QStringLiteral("<%") + name + QStringLiteral("%>"), Qt::CaseInsensitive))
            out << name;
    return out;
}

QStringList searchAttributes(const Rule &rule)
{
    QStringList names = {QStringLiteral("cn"), QStringLiteral("distinguishedName"), rule.attribute.ldapName()};
    if (rule.attribute.page == Page::Country)
        names << QStringLiteral("c") << QStringLiteral("countryCode");
    for (const QString &extra : placeholderAttributes(rule))
        if (!names.contains(extra, Qt::CaseInsensitive))
            names << extra;
    return names;
}

QString substitutePlaceholders(const QString &text, const QHash<QString, QString> &values, const QString &current)
{
    QString out;
    out.reserve(text.size());
    qsizetype last = 0;
    auto it = placeholderPattern().globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(text).mid(last, m.capturedStart() - last);
        const QString name = m.captured(1);
        if (name.compare(QLatin1String("CURRENT"), Qt::CaseInsensitive) == 0)
            out += current;
        else
            out += values.value(name.toLower());
        last = m.capturedEnd();
    }
    out += QStringView(text).mid(last);
    return out;
}

QVariantList valueList(const QVariant &value)
{
    if (!value.isValid())
        return {};
    if (value.metaType().id() == QMetaType::QVariantList)
        return value.toList();
    return {value};
}

QString valueText(const QVariant &value)
{
    QStringList parts;
    for (const QVariant &v : valueList(value)) {
        if (v.metaType().id() == QMetaType::Bool)
            parts << (v.toBool() ? QStringLiteral("TRUE") : QStringLiteral("FALSE"));
        else
            parts << v.toString();
    }
    return parts.join(QStringLiteral("; "));
}

QString errorLine(ads::HRESULT status)
{
    QString text = GetADSIErrorText(status);
    // The error text comes wrapped for a message box; one line reads better in a log.
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text.simplified();
}

// --- Log ------------------------------------------------------------------------------------

ReplaceLog::~ReplaceLog() { close(); }

bool ReplaceLog::open(const QString &path, QString *error)
{
    close();
    error_.clear();
    file_.setFileName(path);
    const bool existed = file_.exists() && file_.size() > 0;
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Append)) {
        if (error)
            *error = file_.errorString();
        return false;
    }
    if (existed) {
        line(QString());
        line(QStringLiteral("======================================"));
    }
    return true;
}

void ReplaceLog::line(const QString &text)
{
    if (!file_.isOpen() || failed())
        return;
    const QByteArray bytes = text.toUtf8() + QByteArrayLiteral("\r\n");
    // Flushed per line, so a full disk shows up at the row it hit, not at close.
    if (file_.write(bytes) != bytes.size() || !file_.flush())
        error_ = file_.errorString().isEmpty() ? QStringLiteral("write error") : file_.errorString();
}

QString ReplaceLog::escape(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (const QChar ch : value) {
        switch (ch.unicode()) {
        case '\\': out += QLatin1String("\\\\"); break;
        case '\r': out += QLatin1String("\\r"); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\t': out += QLatin1String("\\t"); break;
        default: out += ch;
        }
    }
    return out;
}

QString ReplaceLog::timeText(const QDateTime &t)
{
    const QLocale loc = QLocale::system();
    return loc.toString(t.date(), QLocale::ShortFormat) + QLatin1Char(' ') + loc.toString(t.time(), QLocale::LongFormat);
}

void ReplaceLog::header(const Attribute &attribute, const QDateTime &start)
{
    line(QStringLiteral("[LDAP ATTRIBUTE] [") + attribute.ldapName() + QStringLiteral("] {") + attribute.caption() +
         QStringLiteral("}"));
    line(QStringLiteral("[cn]; [distinguishedName]; [ORIGINAL VALUE]; [TARGED VALUE]; [STATUS]"));
    line(timeText(start));
    line(QStringLiteral("=========== Log START Here ==========="));
}

void ReplaceLog::row(const Row &row, const QString &oldText, const QString &newText)
{
    line(QStringLiteral("[") + escape(row.cn) + QStringLiteral("]; [") + escape(row.dn) + QStringLiteral("]; [") +
         escape(oldText) + QStringLiteral("]; [") + escape(newText) + QStringLiteral("]; [") + escape(row.outcome) +
         QStringLiteral("]"));
}

void ReplaceLog::trailer(const QDateTime &end, bool stopped, int visited, qint64 seconds)
{
    line(QStringLiteral("=========== Log END Here ==========="));
    line(timeText(end));
    if (stopped)
        line(QStringLiteral("[STOPPED!]"));
    line(QStringLiteral("%1 items was processed for %2 seconds").arg(visited).arg(seconds));
    line(QStringLiteral("======================================"));
}

void ReplaceLog::close()
{
    if (file_.isOpen())
        file_.close();
}

// --- Preview and Apply ------------------------------------------------------------------------

ReplaceRun::ReplaceRun(TConnectionContext context) : ctx_(std::move(context)) {}

QString ReplaceRun::preview(Rule &rule, const QString &containerPath, bool subtree, const QString &extraRestriction,
                            const std::function<bool(Row &&row)> &onRow)
{
    stopped_ = false;
    refused_ = true;
    if (!rule.attribute.field)
        return QStringLiteral("Choose an attribute.");
    if (QString refusal = prepareRule(rule); !refusal.isEmpty())
        return refusal;
    QString error;
    const QString filter = fullQuery(rule, extraRestriction, &error);
    if (filter.isEmpty())
        return error;
    refused_ = false;
    QStringList names = searchAttributes(rule);
    // The GUID goes to the change journal with each write, without reading the user again.
    names << QStringLiteral("objectGUID");
    const int guidSlot = static_cast<int>(names.size()) - 1;
    const QStringList extras = placeholderAttributes(rule);
    const Page page = rule.attribute.page;
    const int limit = rule.attribute.maxLength();

    TQelADSISearching search;
    search.setADsPath(containerPath);
    search.setUserName(ctx_.UserName);
    search.setPassword(ctx_.Password);
    search.setAuthFlags(static_cast<int>(ctx_.AuthFlags));
    search.setUseCredentials(ctx_.UseCredentials);
    search.setAttributes(names.join(QStringLiteral(", ")));
    search.setFilter(filter);
    search.setSearchScope(subtree ? ads::ADS_SCOPE_SUBTREE : ads::ADS_SCOPE_ONELEVEL);
    search.setSizeLimit(0);
    search.setPageSize(500);
    const CountryISO *toCountry = countryAt(rule.replaceCountry);
    try {
        search.ExecuteSearch();
        QVariant raw;
        search.GetFirstRow(raw);
        while (raw.isValid()) {
            const QVariantList cells = raw.toList();
            auto slot = [&](int i) { return i >= 0 && i < cells.size() ? cells.at(i) : QVariant(); };
            Row row;
            row.cn = valueText(slot(0));
            row.dn = valueText(slot(1));
            row.guid = slot(guidSlot).toByteArray();
            row.current = valueList(slot(2));
            row.currentText = valueText(slot(2));
            if (page == Page::Country) {
                row.currentC = valueList(slot(3));
                row.currentCountryCode = valueList(slot(4));
            }
            row.clear = rule.clear;
            if (!rule.clear) {
                if (page == Page::Country) {
                    row.targetCountry = rule.replaceCountry;
                    row.target = toCountry ? toCountry->name.toString() : QString();
                } else if (page == Page::Booleans) {
                    row.target = rule.replace.trimmed().toUpper();
                } else if (page == Page::Manager) {
                    row.target = rule.replace.trimmed();
                } else if (!usesPlaceholders(page)) {
                    row.target = rule.replace.trimmed();
                } else {
                    QHash<QString, QString> values;
                    for (const QString &extra : extras) {
                        const int at = static_cast<int>(names.indexOf(extra));
                        values.insert(extra.toLower(), valueText(slot(at)));
                    }
                    row.target = substitutePlaceholders(rule.replace.trimmed(), values, row.currentText);
                    // A substitution that leaves nothing (for example "<%CURRENT%>" on a user
                    // without a value) means no value: never an empty or marker text.
                    if (row.target.trimmed().isEmpty()) {
                        row.target.clear();
                        row.clear = true;
                    }
                }
            }
            if (!row.clear && limit > 0 && row.target.size() > limit) {
                refused_ = true;
                return QStringLiteral("The new value for \"%1\" would be %2 characters long; \"%3\" takes at most %4.")
                    .arg(row.dn)
                    .arg(row.target.size())
                    .arg(rule.attribute.caption())
                    .arg(limit);
            }
            if (!onRow(std::move(row))) {
                stopped_ = true;
                break;
            }
            search.GetNextRow(raw);
        }
    } catch (const Exception &e) {
        return e.Message();
    }
    return {};
}

bool ReplaceRun::applyRow(const Rule &rule, Row &row)
{
    const QString attr = rule.attribute.ldapName();
    ads::ObjectPtr user;
    // Fast binding: the modify itself finds out whether the user still exists.
    ads::HRESULT h = OpenADsObject(ctx_.ServerPrefix + ads::escapePathDn(row.dn), ctx_.UserName, ctx_.Password,
                                   &user, QString::fromLatin1(ads::IID_IADs), ctx_.AuthFlags | ads::ADS_FAST_BIND,
                                   ctx_.UseCredentials);
    if (ads::succeeded(h))
        user->setKnownGuid(row.guid);
    bool staged = false;
    auto replaceValues = [&](const QString &name, const QVariantList &old, const std::optional<QVariant> &target) {
        if (ads::failed(h))
            return;
        if (!old.isEmpty()) {
            h = user->PutEx(ads::ADS_PROPERTY_DELETE, name, old);
            staged = true;
        }
        if (ads::succeeded(h) && target) {
            h = user->PutEx(ads::ADS_PROPERTY_APPEND, name, *target);
            staged = true;
        }
    };
    if (rule.attribute.page == Page::Country) {
        const CountryISO *c = row.clear ? nullptr : countryAt(row.targetCountry);
        if (!row.clear && !c) {
            row.status = Failed;
            row.outcome = QStringLiteral("FAILED no country to write");
            return true;
        }
        replaceValues(QStringLiteral("c"), row.currentC, c ? std::optional<QVariant>(c->alpha2.toString()) : std::nullopt);
        replaceValues(QStringLiteral("co"), row.current, c ? std::optional<QVariant>(c->name.toString()) : std::nullopt);
        // countryCode always holds a number: 0 stands for no country.
        const int code = c ? c->numeric : 0;
        const bool sameCode = row.currentCountryCode.size() == 1 && row.currentCountryCode.first().toInt() == code;
        if (!sameCode)
            replaceValues(QStringLiteral("countryCode"), row.currentCountryCode, QVariant(code));
    } else {
        std::optional<QVariant> target;
        if (!row.clear)
            target = rule.attribute.isBoolean() ? QVariant(row.target.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0)
                                                : QVariant(row.target);
        replaceValues(attr, row.current, target);
    }
    if (ads::succeeded(h) && staged)
        h = user->SetInfo();
    if (ads::succeeded(h)) {
        row.status = Succeeded;
        row.outcome = QStringLiteral("SUCCEEDED");
        return true;
    }
    if (ads::writeOutcomeUnknown(h)) {
        // The server took the request and never answered: the rows after it wait for a server
        // that is not there, as after any lost server.
        row.status = NotKnown;
        row.outcome = QStringLiteral("NOT KNOWN ") + errorLine(h);
        return false;
    }
    if (changedMeanwhile(h)) {
        row.status = Skipped;
        row.outcome = QStringLiteral("SKIPPED changed since the preview: ") + errorLine(h);
        return true;
    }
    row.status = Failed;
    row.outcome = QStringLiteral("FAILED ") + errorLine(h);
    journalRefused_ = h == ads::HR_WRITE_NOT_RECORDED;
    // A write the change journal could not record was not made; nor will the next ones be.
    return !serverLost(h) && h != ads::HR_WRITE_NOT_RECORDED;
}

ApplySummary ReplaceRun::apply(const Rule &rule, std::vector<Row> &rows, ReplaceLog *log, const ApplyHooks &hooks)
{
    ApplySummary s;
    stopped_ = false;
    journal::RunScope journalRun(QStringLiteral("replace"));
    s.journalRun = journalRun.id();
    const QDateTime start = QDateTime::currentDateTime();
    if (log)
        log->header(rule.attribute, start);
    int handled = 0;
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        Row &row = rows[static_cast<std::size_t>(i)];
        if (row.selected && log && log->failed()) {
            s.logFailed = s.stopped = stopped_ = true;
            break;
        }
        ++s.visited;
        if (!row.selected)
            continue;
        const QString oldText = row.currentShown();
        const QString newText = row.targetShown();
        if (s.serverLost || s.journalRefused) {
            row.status = NotDone;
            row.outcome = s.journalRefused ? QStringLiteral("NOT DONE the change journal could not be written")
                                           : QStringLiteral("NOT DONE the server was lost before this row");
            ++s.notDone;
        } else {
            const bool reachable = applyRow(rule, row);
            switch (row.status) {
            case Succeeded:
                ++s.succeeded;
                // The list now shows what the user holds.
                row.current = row.clear ? QVariantList() : QVariantList{row.target};
                row.currentText = row.clear ? QString() : row.target;
                break;
            case Skipped: ++s.skipped; break;
            case NotKnown: ++s.notKnown; break;
            default: ++s.failed; break;
            }
            if (!reachable)
                (journalRefused_ ? s.journalRefused : s.serverLost) = true;
        }
        if (log)
            log->row(row, oldText, newText);
        ++handled;
        if (hooks.rowDone)
            hooks.rowDone(i, handled);
        if (!s.serverLost && !s.journalRefused && hooks.stopRequested && hooks.stopRequested()) {
            s.stopped = stopped_ = true;
            break;
        }
    }
    const QDateTime end = QDateTime::currentDateTime();
    if (log)
        log->trailer(end, s.stopped, s.visited, start.secsTo(end));
    return s;
}

} // namespace findreplace
