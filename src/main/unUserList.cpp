#include "main/unUserList.h"

#include "core/unValuesText.h"
#include "main/unCatalogue.h"
#include "platform/adsi/adstypes.h"

#include <QVariantList>

#include <algorithm>
#include <iterator>
#include <string_view>
#include <cmath>

namespace userlist {

AccountState accountState(std::int32_t userAccountControl, std::int32_t computedControl)
{
    const std::int32_t flags = userAccountControl | computedControl;
    if (flags & UacDisabled)
        return StateDisabled;
    if (flags & UacLockout)
        return StateLockedOut;
    if (flags & UacPasswordExpired)
        return StatePasswordExpired;
    return StateNormal;
}

// ---- TShellItem --------------------------------------------------------------------------

QStringView TShellItem::view(Field f) const
{
    const int i = static_cast<int>(f);
    const std::uint32_t begin = i == 0 ? 0 : end_[static_cast<std::size_t>(i - 1)];
    const std::uint32_t end = end_[static_cast<std::size_t>(i)];
    return QStringView(buffer_).mid(begin, end - begin);
}

void TShellItem::setText(Field f, QStringView value)
{
    const int i = static_cast<int>(f);
    const std::uint32_t begin = i == 0 ? 0 : end_[static_cast<std::size_t>(i - 1)];
    const std::uint32_t end = end_[static_cast<std::size_t>(i)];
    const qsizetype oldLen = end - begin;
    if (oldLen == value.size() && QStringView(buffer_).mid(begin, oldLen) == value)
        return;
    // Copy first: value may point into buffer_ itself.
    const QString copy = value.toString();
    buffer_.replace(begin, oldLen, copy);
    const std::int64_t delta = copy.size() - oldLen;
    for (int k = i; k < FieldCount; ++k)
        end_[static_cast<std::size_t>(k)] = static_cast<std::uint32_t>(end_[static_cast<std::size_t>(k)] + delta);
    // A record that is filled once keeps no spare capacity.
    if (buffer_.capacity() > buffer_.size() + 32)
        buffer_.squeeze();
}

std::size_t TShellItem::heapBytes() const
{
    if (buffer_.isEmpty())
        return 0;
    // Array header plus UTF-16 data (the allocator's own overhead is not counted).
    return 16 + static_cast<std::size_t>(buffer_.capacity() + 1) * sizeof(char16_t);
}

// ---- UserRows ----------------------------------------------------------------------------

void UserRows::clear()
{
    std::vector<TShellItem>().swap(items_);
}

int UserRows::findRecordByDn(QStringView dn) const
{
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (items_[i].distinguishedName().compare(dn, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    return -1;
}

// ---- columns ----------------------------------------------------------------------------

const std::array<GridColumn, 18> &gridColumns()
{
    static const std::array<GridColumn, 18> columns{{
        {IconTag, ColumnKind::Icon, Field::Cn},
        {CnTag, ColumnKind::Text, Field::Cn},
        {DisplayNameTag, ColumnKind::Text, Field::DisplayName},
        {0, ColumnKind::Text, Field::GivenName},
        {1, ColumnKind::Text, Field::Sn},
        {3, ColumnKind::Text, Field::Description},
        {4, ColumnKind::Text, Field::PhysicalDeliveryOfficeName},
        {5, ColumnKind::Text, Field::TelephoneNumber},
        {7, ColumnKind::Text, Field::Mail},
        {10, ColumnKind::Text, Field::UserPrincipalName},
        {17, ColumnKind::Text, Field::L},
        {18, ColumnKind::Text, Field::St},
        {19, ColumnKind::Text, Field::PostalCode},
        {20, ColumnKind::Text, Field::Co},
        {21, ColumnKind::Text, Field::Title},
        {22, ColumnKind::Text, Field::Department},
        {23, ColumnKind::Text, Field::Company},
        {LastLogonTag, ColumnKind::Date, Field::Cn},
    }};
    return columns;
}

int columnOfTag(int tag)
{
    const auto &cols = gridColumns();
    for (std::size_t i = 0; i < cols.size(); ++i)
        if (cols[i].tag == tag)
            return static_cast<int>(i);
    return -1;
}

QString columnName(int tag)
{
    return QStringLiteral("Nx") +
           QString::number(static_cast<std::uint32_t>(tag), 16).rightJustified(8, QLatin1Char('0')).toUpper();
}

std::vector<int> textColumnTags()
{
    std::vector<int> tags;
    for (const GridColumn &c : gridColumns())
        if (c.kind != ColumnKind::Icon)
            tags.push_back(c.tag);
    return tags;
}

bool hideableTag(int tag)
{
    return tag >= 0 && tag <= 255;
}

QString lastLogonText(double days)
{
    if (days == 0)
        return {};
    return ads::AdsDate(days).toDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm"));
}

QString columnCaption(int tag)
{
    return tag == IconTag ? QString() : CaptionByKey(tag);
}

QString cellText(const TShellItem &item, const GridColumn &column)
{
    switch (column.kind) {
    case ColumnKind::Icon:
        return {};
    case ColumnKind::Date:
        return lastLogonText(item.lastLogon);
    case ColumnKind::Text:
        break;
    }
    return item.text(column.field);
}

// ---- the listing search -----------------------------------------------------------------

const QStringList &listingAttributes()
{
    static const QStringList names{
        QStringLiteral("distinguishedName"), QStringLiteral("cn"), QStringLiteral("displayName"),
        QStringLiteral("lastLogon"), QStringLiteral("description"), QStringLiteral("mail"),
        QStringLiteral("co"), QStringLiteral("st"), QStringLiteral("l"), QStringLiteral("postalCode"),
        QStringLiteral("company"), QStringLiteral("department"),
        QStringLiteral("physicalDeliveryOfficeName"), QStringLiteral("title"),
        QStringLiteral("telephoneNumber"), QStringLiteral("givenName"), QStringLiteral("sn"),
        QStringLiteral("userPrincipalName"), QStringLiteral("mailNickname"),
        QStringLiteral("userAccountControl"), QStringLiteral("msDS-User-Account-Control-Computed")};
    return names;
}

QString listingAttributeText()
{
    return listingAttributes().join(QStringLiteral(", "));
}

ListingQuery listingQuery(const QString &nodePath, bool nodeHasParent, const QString &currentFilter,
                          const QString &extraFilter, double howMany)
{
    ListingQuery q;
    q.base = nodePath;
    q.scope = (!nodeHasParent || !extraFilter.isEmpty()) ? 2 : 1;
    q.filter = QStringLiteral("(&(objectCategory=person)(objectClass=user)%1%2)").arg(currentFilter, extraFilter);
    const double rounded = std::round(howMany);
    q.sizeLimit = (howMany != 0 && rounded > 0) ? static_cast<int>(std::min(rounded, 2147483647.0)) : 0;
    q.pageSize = (q.sizeLimit < 1 || q.sizeLimit > 1000) ? 100 : 0;
    return q;
}

QString findUserFilter(const QString &dn)
{
    return QStringLiteral("(distinguishedName=%1)").arg(EscapeFilterValue(dn));
}

namespace {

QString slotText(const QVariant &v)
{
    if (!v.isValid())
        return {};
    if (v.userType() == QMetaType::QVariantList) {
        QStringList parts;
        for (const QVariant &e : v.toList())
            parts << e.toString();
        return parts.join(QStringLiteral("; "));
    }
    return v.toString();
}

std::int32_t slotInt(const QVariant &v)
{
    if (!v.isValid())
        return 0;
    bool ok = false;
    const int i = v.toString().trimmed().toInt(&ok);
    return ok ? i : 0;
}

double slotDate(const QVariant &v)
{
    if (v.canConvert<ads::AdsDate>() && v.userType() == qMetaTypeId<ads::AdsDate>()) {
        const double d = v.value<ads::AdsDate>().value;
        return d > 1 ? d : 0;
    }
    return 0;
}

// Row slots in listingAttributes() order.
enum Slot {
    SDn, SCn, SDisplayName, SLastLogon, SDescription, SMail, SCo, SSt, SL, SPostalCode, SCompany,
    SDepartment, SOffice, STitle, STelephone, SGivenName, SSn, SUpn, SMailNickname, SUac, SComputed
};

TShellItem recordFromRow(const QVariantList &row)
{
    static const std::pair<Slot, Field> texts[] = {
        {SDn, Field::DistinguishedName}, {SCn, Field::Cn}, {SDisplayName, Field::DisplayName},
        {SDescription, Field::Description}, {SMail, Field::Mail}, {SCo, Field::Co}, {SSt, Field::St},
        {SL, Field::L}, {SPostalCode, Field::PostalCode}, {SCompany, Field::Company},
        {SDepartment, Field::Department}, {SOffice, Field::PhysicalDeliveryOfficeName},
        {STitle, Field::Title}, {STelephone, Field::TelephoneNumber}, {SGivenName, Field::GivenName},
        {SSn, Field::Sn}, {SUpn, Field::UserPrincipalName}, {SMailNickname, Field::MailNickname}};
    auto at = [&](Slot s) { return s < row.size() ? row.at(s) : QVariant(); };
    TShellItem item;
    // Fill from the last field backwards so the shared buffer grows by appending.
    for (auto it = std::rbegin(texts); it != std::rend(texts); ++it)
        item.setText(it->second, slotText(at(it->first)));
    item.lastLogon = slotDate(at(SLastLogon));
    item.userAccountControl = slotInt(at(SUac));
    item.computedControl = slotInt(at(SComputed));
    return item;
}

} // namespace

TShellItem recordFromSearchRow(const QVariant &row)
{
    return recordFromRow(row.toList());
}

ListingReader::ListingReader(UserRows &rows, int sizeLimit, bool hideDisabled, bool hideExpired)
    : rows_(rows), sizeLimit_(sizeLimit), hideDisabled_(hideDisabled), hideExpired_(hideExpired)
{
}

bool ListingReader::take(TShellItem &&item)
{
    ++read_;
    const AccountState s = item.state();
    const bool hidden = (s == StateDisabled && hideDisabled_) || (s == StatePasswordExpired && hideExpired_);
    if (!hidden) {
        rows_.append(std::move(item));
        ++kept_;
    }
    return read_ < sizeLimit_ || sizeLimit_ < 1;
}

// ---- status texts and rules ---------------------------------------------------------------

QString progressText(int rowsRead)
{
    return QStringLiteral("   %1").arg(rowsRead);
}

QString withFilterMarker(const QString &panel, bool filterActive)
{
    const QString marker = QString::fromLatin1(FilterMarker);
    const qsizetype at = panel.indexOf(marker, 0, Qt::CaseInsensitive);
    if (filterActive)
        return at < 0 ? QStringLiteral("%1 %2").arg(panel, marker) : panel;
    if (at < 0)
        return panel;
    QString out = panel;
    out.remove(at, marker.size());
    return out;
}

QString listedStatusText(const QString &panel, bool nodeSelected, const QString &nodeText, int gridRows,
                         int kept, const QString &currentFilter, const QString &extraFilter)
{
    QString text = panel;
    if (nodeSelected && gridRows > 0)
        text = QStringLiteral("  %1 items listed in \"%2\" container").arg(kept).arg(nodeText);
    if (kept == 0)
        text = QStringLiteral(" None");
    return withFilterMarker(text, !currentFilter.isEmpty() || !extraFilter.isEmpty());
}

int howManyValue(const QString &text)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok)
        return 0;
    return std::clamp(v, 0, 2000);
}

bool howManyRelists(bool nodeSelected, int value, int lastHowMany)
{
    return nodeSelected && value != lastHowMany;
}

bool filterChanged(const QString &newFilter, const QString &currentFilter)
{
    return newFilter.compare(currentFilter, Qt::CaseInsensitive) != 0;
}

// ---- sorting and copying ---------------------------------------------------------------

namespace {

bool isPlainAscii(QStringView text)
{
    for (QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

inline char16_t asciiLower(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
}

} // namespace

QString textSortKey(QStringView text)
{
    if (isPlainAscii(text))
        return text.toString().toLower();
    const QString decomposed = text.toString().normalized(QString::NormalizationForm_KD);
    QString key;
    key.reserve(decomposed.size());
    for (QChar c : decomposed)
        if (c.category() != QChar::Mark_NonSpacing)
            key += c;
    return key.toCaseFolded();
}

void sortRows(std::vector<int> &order, const UserRows &rows, const GridColumn &column, bool descending)
{
    auto sortBy = [&](auto less) {
        if (descending)
            std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return less(b, a); });
        else
            std::stable_sort(order.begin(), order.end(), less);
    };
    switch (column.kind) {
    case ColumnKind::Date:
        sortBy([&](int a, int b) { return rows.at(a).lastLogon < rows.at(b).lastLogon; });
        return;
    case ColumnKind::Icon:
        sortBy([&](int a, int b) { return rows.at(a).state() < rows.at(b).state(); });
        return;
    case ColumnKind::Text:
        break;
    }
    // Text: case and accents are ignored. Every row's folded text goes into one array, one
    // after another (plain ASCII, nearly all names, lowered in place; the others through their
    // folded key), so that a comparison reads two short runs of that array rather than two
    // records scattered over the heap. Eight characters of every row, packed into two words,
    // decide most comparisons on their own; they are taken after the beginning all rows share,
    // since real names often share a long one ("Large User 004711", "Department 12"), which
    // would leave the first eight characters deciding nothing.
    const Field f = column.field;
    const std::size_t n = static_cast<std::size_t>(rows.size());
    std::vector<char16_t> text;
    text.reserve(n * 24);
    std::vector<std::size_t> start(n + 1);
    for (std::size_t i = 0; i < n; ++i) {
        QStringView v = rows.at(static_cast<int>(i)).view(f);
        QString key;
        if (!isPlainAscii(v)) {
            key = textSortKey(v);
            v = key;
        }
        start[i] = text.size();
        for (char16_t c : std::u16string_view(v.utf16(), static_cast<std::size_t>(v.size())))
            text.push_back(asciiLower(c));
    }
    start[n] = text.size();
    auto folded = [&](std::size_t i) {
        return std::u16string_view(text.data() + start[i], start[i + 1] - start[i]);
    };
    std::size_t shared = n > 0 ? folded(0).size() : 0;
    for (std::size_t i = 1; i < n && shared > 0; ++i) {
        const std::u16string_view a = folded(0), b = folded(i);
        std::size_t k = 0;
        while (k < shared && k < b.size() && a[k] == b[k])
            ++k;
        shared = k;
    }
    struct Prefix {
        std::uint64_t hi = 0, lo = 0;
        bool operator<(const Prefix &o) const { return hi != o.hi ? hi < o.hi : lo < o.lo; }
        bool operator==(const Prefix &o) const { return hi == o.hi && lo == o.lo; }
    };
    std::vector<Prefix> prefix(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::u16string_view v = folded(i);
        Prefix &p = prefix[i];
        for (std::size_t k = 0; k < 8; ++k) {
            const std::uint64_t c = shared + k < v.size() ? v[shared + k] : 0;
            if (k < 4)
                p.hi |= c << (48 - 16 * k);
            else
                p.lo |= c << (48 - 16 * (k - 4));
        }
    }
    sortBy([&](int a, int b) {
        const Prefix &pa = prefix[static_cast<std::size_t>(a)];
        const Prefix &pb = prefix[static_cast<std::size_t>(b)];
        if (!(pa == pb))
            return pa < pb;
        return folded(static_cast<std::size_t>(a)).substr(shared) < folded(static_cast<std::size_t>(b)).substr(shared);
    });
}

QString rowsAsTabText(const UserRows &rows, const std::vector<int> &records,
                      const std::vector<const GridColumn *> &columns)
{
    QString out;
    for (int r : records) {
        QStringList cells;
        for (const GridColumn *c : columns) {
            QString cell = cellText(rows.at(r), *c);
            for (QChar &ch : cell)
                if (ch == QLatin1Char('\t') || ch == QLatin1Char('\r') || ch == QLatin1Char('\n'))
                    ch = QLatin1Char(' ');
            cells << cell;
        }
        out += cells.join(QLatin1Char('\t'));
        out += QLatin1Char('\n');
    }
    return out;
}

} // namespace userlist
