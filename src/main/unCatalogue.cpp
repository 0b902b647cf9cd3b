#include "main/unCatalogue.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <type_traits>

// Lookups run per grid row and per exported cell, so each table gets sorted indices (built once,
// on first use, without heap memory) and a lookup is a binary search. Names are compared after
// folding ASCII case: every name in the tables is ASCII, so a name with any other character
// cannot match and is rejected before the search.

namespace {

// Longer than any LDAP name or code in the tables; a longer input cannot match.
constexpr qsizetype kMaxName = 64;

// A name folded to lower-case ASCII, held on the stack.
struct FoldedName {
    std::array<char, kMaxName> buf{};
    qsizetype len = 0;

    std::string_view view() const { return {buf.data(), size_t(len)}; }
};

constexpr char16_t foldAscii(char16_t c)
{
    return (c >= 'A' && c <= 'Z') ? char16_t(c + ('a' - 'A')) : c;
}

constexpr bool isAsciiSpace(unsigned c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Folds name into out; trims ASCII white space first when asked. False when the name is empty,
// too long, or holds a character outside ASCII (so it equals no table name).
bool foldName(QAnyStringView name, bool trim, FoldedName &out)
{
    return name.visit([&](auto s) {
        qsizetype begin = 0;
        qsizetype end = s.size();
        auto unit = [&](qsizetype i) -> unsigned {
            if constexpr (std::is_same_v<decltype(s), QStringView>)
                return s[i].unicode();
            else
                return static_cast<unsigned char>(s.data()[i]);
        };
        if (trim) {
            while (begin < end && isAsciiSpace(unit(begin)))
                ++begin;
            while (end > begin && isAsciiSpace(unit(end - 1)))
                --end;
        }
        if (end == begin || end - begin > kMaxName)
            return false;
        out.len = 0;
        for (qsizetype i = begin; i < end; ++i) {
            const unsigned c = unit(i);
            if (c >= 0x80)
                return false;
            out.buf[size_t(out.len++)] = char(foldAscii(char16_t(c)));
        }
        return true;
    });
}

// Compares two texts code unit by code unit, ignoring ASCII case.
template <typename Unit>
int compareIgnoringAsciiCase(QStringView a, qsizetype bLen, Unit b)
{
    const qsizetype n = std::min(a.size(), bLen);
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t x = foldAscii(a[i].unicode());
        const char16_t y = foldAscii(b(i));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == bLen ? 0 : (a.size() < bLen ? -1 : 1);
}

// Compares a table text with a folded name.
int compareFolded(QStringView tableText, std::string_view folded)
{
    return compareIgnoringAsciiCase(tableText, qsizetype(folded.size()), [&](qsizetype i) {
        return char16_t(static_cast<unsigned char>(folded[size_t(i)]));
    });
}

int compareTableTexts(QStringView a, QStringView b)
{
    return compareIgnoringAsciiCase(a, b.size(), [&](qsizetype i) { return b[i].unicode(); });
}

// Positions of a table's entries, sorted by key and by folded LDAP name. Ties keep table order, so
// the first match of a lower bound is the first entry in the table. Headers (no LDAP name) are
// left out of the name index.
template <size_t N>
struct FieldIndex {
    std::array<quint16, N> byKey{};
    std::array<quint16, N> byName{};
    size_t nameCount = 0;
};

template <size_t N>
FieldIndex<N> buildFieldIndex(std::span<const ADSIUserField> t)
{
    Q_ASSERT(t.size() == N);
    FieldIndex<N> ix;
    for (size_t i = 0; i < N; ++i) {
        ix.byKey[i] = quint16(i);
        if (!t[i].ldapName.isEmpty())
            ix.byName[ix.nameCount++] = quint16(i);
    }
    std::stable_sort(ix.byKey.begin(), ix.byKey.end(),
                     [&](quint16 a, quint16 b) { return t[a].key < t[b].key; });
    std::stable_sort(ix.byName.begin(), ix.byName.begin() + ix.nameCount, [&](quint16 a, quint16 b) {
        return compareTableTexts(t[a].ldapName, t[b].ldapName) < 0;
    });
    return ix;
}

const FieldIndex<catalogue::kUserFieldCount> &userIndex()
{
    static const auto ix = buildFieldIndex<catalogue::kUserFieldCount>(catalogue::userFields());
    return ix;
}

const FieldIndex<catalogue::kGroupFieldCount> &groupIndex()
{
    static const auto ix = buildFieldIndex<catalogue::kGroupFieldCount>(catalogue::groupFields());
    return ix;
}

template <size_t N>
int findKey(std::span<const ADSIUserField> t, const FieldIndex<N> &ix, qint32 key)
{
    auto it = std::lower_bound(ix.byKey.begin(), ix.byKey.end(), key,
                               [&](quint16 i, qint32 k) { return t[i].key < k; });
    return (it != ix.byKey.end() && t[*it].key == key) ? int(*it) : -1;
}

template <size_t N>
int findName(std::span<const ADSIUserField> t, const FieldIndex<N> &ix, std::string_view folded)
{
    auto end = ix.byName.begin() + ix.nameCount;
    auto it = std::lower_bound(ix.byName.begin(), end, folded, [&](quint16 i, std::string_view f) {
        return compareFolded(t[i].ldapName, f) < 0;
    });
    return (it != end && compareFolded(t[*it].ldapName, folded) == 0) ? int(*it) : -1;
}

int keyIndexIn(int table, qint32 key)
{
    switch (table) {
    case UserTable:
        return findKey(catalogue::userFields(), userIndex(), key);
    case GroupTable:
        return findKey(catalogue::groupFields(), groupIndex(), key);
    default:
        return -1;
    }
}

int nameIndexIn(int table, std::string_view folded)
{
    switch (table) {
    case UserTable:
        return findName(catalogue::userFields(), userIndex(), folded);
    case GroupTable:
        return findName(catalogue::groupFields(), groupIndex(), folded);
    default:
        return -1;
    }
}

const ADSIUserField *entryAt(int table, int index)
{
    return index < 0 ? nullptr : &catalogue::fields(table)[size_t(index)];
}

struct CountryIndex {
    std::array<quint16, catalogue::kCountryCount> byAlpha2{};
    std::array<quint16, catalogue::kCountryCount> byNumeric{};
};

const CountryIndex &countryIndex()
{
    static const CountryIndex ix = [] {
        const auto c = catalogue::countries();
        CountryIndex r;
        for (size_t i = 0; i < r.byAlpha2.size(); ++i)
            r.byAlpha2[i] = r.byNumeric[i] = quint16(i);
        std::stable_sort(r.byAlpha2.begin(), r.byAlpha2.end(), [&](quint16 a, quint16 b) {
            return compareTableTexts(c[a].alpha2, c[b].alpha2) < 0;
        });
        std::stable_sort(r.byNumeric.begin(), r.byNumeric.end(),
                         [&](quint16 a, quint16 b) { return c[a].numeric < c[b].numeric; });
        return r;
    }();
    return ix;
}

// The account-control flags that the entries of group 2001 name, by key.
struct AccountFlag {
    qint32 key;
    quint32 bit;
};
constexpr AccountFlag kAccountFlags[] = {
    {88, 0x2},      {89, 0x8},      {90, 0x10},     {91, 0x20},      {92, 0x40},
    {93, 0x80},     {94, 0x10000},  {95, 0x40000},  {96, 0x80000},   {97, 0x100000},
    {98, 0x200000}, {99, 0x400000}, {100, 0x800000},
};

}  // namespace

namespace catalogue {

std::span<const ADSIUserField> fields(int table)
{
    switch (table) {
    case UserTable:
        return userFields();
    case GroupTable:
        return groupFields();
    default:
        return {};
    }
}

int indexByKeyIn(int table, qint32 key)
{
    return keyIndexIn(table, key);
}

int indexByLdapNameIn(int table, QAnyStringView name)
{
    FoldedName f;
    return foldName(name, false, f) ? nameIndexIn(table, f.view()) : -1;
}

const ADSIUserField *entryByLdapNameIn(int table, QAnyStringView name)
{
    return entryAt(table, indexByLdapNameIn(table, name));
}

int countryIndexByAlpha2(QAnyStringView code)
{
    FoldedName f;
    if (!foldName(code, false, f))
        return -1;
    const auto c = countries();
    const auto &ix = countryIndex().byAlpha2;
    auto it = std::lower_bound(ix.begin(), ix.end(), f.view(), [&](quint16 i, std::string_view v) {
        return compareFolded(c[i].alpha2, v) < 0;
    });
    return (it != ix.end() && compareFolded(c[*it].alpha2, f.view()) == 0) ? int(*it) : -1;
}

int countryIndexByNumeric(qint32 code)
{
    const auto c = countries();
    const auto &ix = countryIndex().byNumeric;
    auto it = std::lower_bound(ix.begin(), ix.end(), code,
                               [&](quint16 i, qint32 v) { return c[i].numeric < v; });
    return (it != ix.end() && c[*it].numeric == code) ? int(*it) : -1;
}

const CountryISO *countryByAlpha2(QAnyStringView code)
{
    const int i = countryIndexByAlpha2(code);
    return i < 0 ? nullptr : &countries()[size_t(i)];
}

const CountryISO *countryByNumeric(qint32 code)
{
    const int i = countryIndexByNumeric(code);
    return i < 0 ? nullptr : &countries()[size_t(i)];
}

quint32 accountControlBit(QAnyStringView flagName)
{
    const ADSIUserField *e = EntryByLdapName(flagName);
    if (!e || e->group != 2001)
        return 0;
    for (const AccountFlag &f : kAccountFlags) {
        if (f.key == e->key)
            return f.bit;
    }
    return 0;
}

}  // namespace catalogue

QString CaptionByKey(qint32 key)
{
    return CaptionByKeyIn(UserTable, key);
}

QString CaptionByKeyIn(int table, qint32 key)
{
    const ADSIUserField *e = EntryByKeyIn(table, key);
    return e ? catalogue::text(e->caption) : QString();
}

QString CaptionByLdapName(QAnyStringView name)
{
    FoldedName f;
    if (foldName(name, true, f)) {
        if (const ADSIUserField *e = entryAt(UserTable, nameIndexIn(UserTable, f.view())))
            return catalogue::text(e->caption);
    }
    // Not found after trimming ASCII white space; other white space (no-break space, for
    // example) is trimmed here, and the name may match once it is gone.
    const QString trimmed = name.toString().trimmed();
    if (const ADSIUserField *e = EntryByLdapName(trimmed))
        return catalogue::text(e->caption);
    return trimmed;
}

int IndexByKey(qint32 key)
{
    return keyIndexIn(UserTable, key);
}

const ADSIUserField *EntryByKey(qint32 key)
{
    return entryAt(UserTable, keyIndexIn(UserTable, key));
}

const ADSIUserField *EntryByKeyIn(int table, qint32 key)
{
    return entryAt(table, keyIndexIn(table, key));
}

const ADSIUserField *EntryByLdapName(QAnyStringView name)
{
    return catalogue::entryByLdapNameIn(UserTable, name);
}

qint32 KeyByLdapName(QAnyStringView name)
{
    const ADSIUserField *e = EntryByLdapName(name);
    return e ? e->key : -1;
}
