// The user list's pure rules: account state, records, listing search and reading rules,
// status texts, relisting, sorting and the copy text.
#include "main/unUserList.h"
#include "main/unUserListing.h"
#include "platform/adsi/adstypes.h"

#include <QVariantList>
#include <algorithm>
#include <gtest/gtest.h>

using namespace userlist;

namespace {

TShellItem user(const QString &cn, double lastLogon = 0, int uac = 0x200)
{
    TShellItem t;
    t.setText(Field::DistinguishedName, QStringLiteral("CN=%1,OU=T,DC=x").arg(cn));
    t.setText(Field::Cn, cn);
    t.lastLogon = lastLogon;
    t.userAccountControl = uac;
    return t;
}

std::vector<QString> cnsInOrder(const UserRows &rows, const std::vector<int> &order)
{
    std::vector<QString> out;
    for (int i : order)
        out.push_back(rows.at(i).text(Field::Cn));
    return out;
}

} // namespace

TEST(UserGridState, FirstMatchingRuleWins)
{
    EXPECT_EQ(accountState(0x200), StateNormal);
    EXPECT_EQ(accountState(0x202), StateDisabled);
    EXPECT_EQ(accountState(0x210), StateLockedOut);
    EXPECT_EQ(accountState(0x800200), StatePasswordExpired);
    // Disabled beats locked out beats expired.
    EXPECT_EQ(accountState(0x800212), StateDisabled);
    EXPECT_EQ(accountState(0x800210), StateLockedOut);
    // Don't-expire-password alone is no state.
    EXPECT_EQ(accountState(0x10200), StateNormal);
}

TEST(UserGridState, ComputedControlBitsCount)
{
    // The directory reports lockout and expiry only in the computed value.
    EXPECT_EQ(accountState(0x200, 0x10), StateLockedOut);
    EXPECT_EQ(accountState(0x200, 0x800000), StatePasswordExpired);
    EXPECT_EQ(accountState(0x202, 0x800010), StateDisabled);
}

TEST(UserGridRecord, FieldsKeepTheirValuesWhenOthersChange)
{
    TShellItem t;
    t.setText(Field::Mail, QStringLiteral("a@b.test"));
    t.setText(Field::Cn, QStringLiteral("Zoë O'Brien"));
    t.setText(Field::MailNickname, QStringLiteral("zob"));
    t.setText(Field::DistinguishedName, QStringLiteral("CN=Zoë O'Brien,OU=Staff,DC=x"));
    t.setText(Field::Cn, QStringLiteral("Z"));            // shrink a middle field
    t.setText(Field::Description, QStringLiteral("line1\nline2, with comma"));
    EXPECT_EQ(t.text(Field::DistinguishedName), QStringLiteral("CN=Zoë O'Brien,OU=Staff,DC=x"));
    EXPECT_EQ(t.text(Field::Cn), QStringLiteral("Z"));
    EXPECT_EQ(t.text(Field::Mail), QStringLiteral("a@b.test"));
    EXPECT_EQ(t.text(Field::Description), QStringLiteral("line1\nline2, with comma"));
    EXPECT_EQ(t.text(Field::MailNickname), QStringLiteral("zob"));
    EXPECT_TRUE(t.text(Field::Sn).isEmpty());
    t.setText(Field::Mail, QString());
    EXPECT_TRUE(t.text(Field::Mail).isEmpty());
    EXPECT_EQ(t.text(Field::MailNickname), QStringLiteral("zob"));
    // Setting a field from a view of the record itself.
    t.setText(Field::Sn, t.view(Field::MailNickname));
    EXPECT_EQ(t.text(Field::Sn), QStringLiteral("zob"));
}

TEST(UserGridRecord, FindRecordByDnIgnoresCase)
{
    UserRows rows;
    rows.append(user(QStringLiteral("a")));
    rows.append(user(QStringLiteral("b")));
    EXPECT_EQ(rows.findRecordByDn(u"cn=B,ou=t,dc=X"), 1);
    EXPECT_EQ(rows.findRecordByDn(u"CN=c,OU=T,DC=x"), -1);
    rows.clear();
    EXPECT_EQ(rows.findRecordByDn(u"CN=a,OU=T,DC=x"), -1);
}

TEST(UserGridRecord, FromSearchRow)
{
    QVariantList row;
    for (int i = 0; i < listingAttributes().size(); ++i)
        row << QVariant();
    row[0] = QStringLiteral("CN=Jo,OU=T,DC=x");
    row[1] = QStringLiteral("Jo");
    row[3] = QVariant::fromValue(ads::AdsDate(45000.5));
    row[4] = QVariantList{QStringLiteral("one"), QStringLiteral("two")};  // several values
    row[19] = QStringLiteral("not a number");
    TShellItem t = recordFromSearchRow(row);
    EXPECT_EQ(t.text(Field::Cn), QStringLiteral("Jo"));
    EXPECT_EQ(t.lastLogon, 45000.5);
    EXPECT_TRUE(t.text(Field::Description).contains(QStringLiteral("one")));
    EXPECT_TRUE(t.text(Field::Description).contains(QStringLiteral("two")));
    EXPECT_EQ(t.userAccountControl, 0);

    row[3] = QVariant::fromValue(ads::AdsDate(1.0));   // day 1 or earlier: never
    row[19] = 514;
    row[20] = 0x800000;
    t = recordFromSearchRow(row);
    EXPECT_EQ(t.lastLogon, 0);
    EXPECT_EQ(t.state(), StateDisabled);
    // A short row (missing trailing slots) reads as empty.
    t = recordFromSearchRow(QVariantList{QStringLiteral("CN=a,DC=x")});
    EXPECT_EQ(t.text(Field::DistinguishedName), QStringLiteral("CN=a,DC=x"));
    EXPECT_EQ(t.userAccountControl, 0);
}

TEST(UserGridColumns, NamesTagsAndFixedColumns)
{
    EXPECT_EQ(columnName(-5), QStringLiteral("NxFFFFFFFB"));
    EXPECT_EQ(columnName(-3), QStringLiteral("NxFFFFFFFD"));
    EXPECT_EQ(columnName(10), QStringLiteral("Nx0000000A"));
    EXPECT_EQ(columnName(81), QStringLiteral("Nx00000051"));
    const auto &cols = gridColumns();
    ASSERT_EQ(cols.size(), 18u);
    EXPECT_EQ(cols[0].tag, IconTag);
    EXPECT_EQ(cols[1].tag, CnTag);
    EXPECT_EQ(cols[2].tag, DisplayNameTag);
    EXPECT_EQ(cols[17].tag, LastLogonTag);
    EXPECT_EQ(textColumnTags(), (std::vector<int>{-3, -2, 0, 1, 3, 4, 5, 7, 10, 17, 18, 19, 20, 21, 22, 23, 81}));
    EXPECT_EQ(columnCaption(81), QStringLiteral("Last Logon"));
    EXPECT_EQ(columnCaption(4), QStringLiteral("Office"));
    EXPECT_TRUE(columnCaption(IconTag).isEmpty());
    EXPECT_FALSE(hideableTag(-3));
    EXPECT_TRUE(hideableTag(23));
}

TEST(UserGridListing, SizeLimitPagingAndScope)
{
    ListingQuery q = listingQuery(QStringLiteral("LDAP://h/OU=a,DC=x"), true, {}, {}, 0);
    EXPECT_EQ(q.sizeLimit, 0);
    EXPECT_EQ(q.pageSize, 100);
    EXPECT_EQ(q.scope, 1);
    EXPECT_EQ(q.filter, QStringLiteral("(&(objectCategory=person)(objectClass=user))"));

    q = listingQuery(QStringLiteral("p"), true, {}, {}, 500);
    EXPECT_EQ(q.sizeLimit, 500);
    EXPECT_EQ(q.pageSize, 0);
    q = listingQuery(QStringLiteral("p"), true, {}, {}, 1000);
    EXPECT_EQ(q.pageSize, 0);
    q = listingQuery(QStringLiteral("p"), true, {}, {}, 1001);
    EXPECT_EQ(q.pageSize, 100);
    q = listingQuery(QStringLiteral("p"), true, {}, {}, 1500);
    EXPECT_EQ(q.sizeLimit, 1500);
    EXPECT_EQ(q.pageSize, 100);
    q = listingQuery(QStringLiteral("p"), true, {}, {}, 0.6);   // rounds to 1
    EXPECT_EQ(q.sizeLimit, 1);
    EXPECT_EQ(q.pageSize, 0);

    // The root and any extra filter search the whole subtree.
    EXPECT_EQ(listingQuery(QStringLiteral("p"), false, {}, {}, 0).scope, 2);
    q = listingQuery(QStringLiteral("p"), true, QStringLiteral("(sn=a*)"), QStringLiteral("(cn=b)"), 0);
    EXPECT_EQ(q.scope, 2);
    EXPECT_EQ(q.filter, QStringLiteral("(&(objectCategory=person)(objectClass=user)(sn=a*)(cn=b))"));
}

TEST(UserGridListing, FindUserFilterEscapesTheDn)
{
    EXPECT_EQ(findUserFilter(QStringLiteral("CN=Smith\\, J (old*),OU=T,DC=x")),
              QStringLiteral("(distinguishedName=CN=Smith\\5c, J \\28old\\2a\\29,OU=T,DC=x)"));
}

TEST(UserGridListing, HiddenUsersUseUpTheLimit)
{
    UserRows rows;
    ListingReader reader(rows, 3, true, true);
    EXPECT_TRUE(reader.take(user(QStringLiteral("disabled"), 0, 0x202)));
    EXPECT_TRUE(reader.take(user(QStringLiteral("locked"), 0, 0x210)));    // never hidden
    EXPECT_FALSE(reader.take(user(QStringLiteral("expired"), 0, 0x800200)));  // limit reached
    EXPECT_EQ(reader.read(), 3);
    EXPECT_EQ(reader.kept(), 1);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows.at(0).text(Field::Cn), QStringLiteral("locked"));

    UserRows all;
    ListingReader unlimited(all, 0, false, false);
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(unlimited.take(user(QString::number(i), 0, 0x202)));
    EXPECT_EQ(all.size(), 5);
}

TEST(UserGridStatus, ListedNoneAndFilterMarker)
{
    EXPECT_EQ(listedStatusText(progressText(12), true, QStringLiteral("Staff"), 10, 10, {}, {}),
              QStringLiteral("  10 items listed in \"Staff\" container"));
    EXPECT_EQ(listedStatusText(progressText(3), true, QStringLiteral("Staff"), 0, 0, {}, {}), QStringLiteral(" None"));
    EXPECT_EQ(listedStatusText(progressText(3), true, QStringLiteral("Staff"), 0, 0, QStringLiteral("(sn=a)"), {}),
              QStringLiteral(" None [Filter Activated]"));
    // Find User: no node selected, the progress count stays, followed by the marker.
    EXPECT_EQ(listedStatusText(progressText(1), false, QStringLiteral("x.test"), 1, 1, {}, QStringLiteral("(dn=a)")),
              QStringLiteral("   1 [Filter Activated]"));

    EXPECT_EQ(withFilterMarker(QStringLiteral(" None [filter activated]"), true), QStringLiteral(" None [filter activated]"));
    EXPECT_EQ(withFilterMarker(QStringLiteral(" None [Filter Activated]"), false), QStringLiteral(" None "));
    EXPECT_EQ(withFilterMarker(QStringLiteral(" None"), false), QStringLiteral(" None"));
}

TEST(UserGridStatus, HowManyAndFilterRelisting)
{
    EXPECT_EQ(howManyValue(QString()), 0);
    EXPECT_EQ(howManyValue(QStringLiteral(" 250 ")), 250);
    EXPECT_EQ(howManyValue(QStringLiteral("5000")), 2000);
    EXPECT_EQ(howManyValue(QStringLiteral("abc")), 0);
    EXPECT_TRUE(howManyRelists(true, 10, 0));
    EXPECT_FALSE(howManyRelists(true, 10, 10));
    EXPECT_FALSE(howManyRelists(false, 10, 0));
    EXPECT_FALSE(filterChanged(QStringLiteral("(SN=a)"), QStringLiteral("(sn=A)")));
    EXPECT_TRUE(filterChanged(QString(), QStringLiteral("(sn=a)")));
}

TEST(UserGridSort, LastLogonByDateNeverFirst)
{
    UserRows rows;
    rows.append(user(QStringLiteral("late"), 45100.25));
    rows.append(user(QStringLiteral("never1"), 0));
    rows.append(user(QStringLiteral("early"), 40000.75));
    rows.append(user(QStringLiteral("never2"), 0));
    rows.append(user(QStringLiteral("sameday-later"), 45100.5));
    std::vector<int> order{0, 1, 2, 3, 4};
    const GridColumn &lastLogon = gridColumns()[static_cast<std::size_t>(columnOfTag(LastLogonTag))];
    sortRows(order, rows, lastLogon, false);
    EXPECT_EQ(cnsInOrder(rows, order), (std::vector<QString>{QStringLiteral("never1"), QStringLiteral("never2"),
                                                             QStringLiteral("early"), QStringLiteral("late"),
                                                             QStringLiteral("sameday-later")}));
    sortRows(order, rows, lastLogon, true);
    EXPECT_EQ(cnsInOrder(rows, order).front(), QStringLiteral("sameday-later"));
    EXPECT_EQ(cnsInOrder(rows, order).back(), QStringLiteral("never2"));  // stable among equals
}

TEST(UserGridSort, TextIgnoresCaseAndIsStable)
{
    UserRows rows;
    rows.append(user(QStringLiteral("bravo")));
    rows.append(user(QStringLiteral("Alpha")));
    rows.append(user(QStringLiteral("charlie")));
    rows.at(0).setText(Field::Sn, QStringLiteral("same"));
    rows.at(1).setText(Field::Sn, QStringLiteral("SAME"));
    std::vector<int> order{0, 1, 2};
    sortRows(order, rows, gridColumns()[1], false);
    EXPECT_EQ(cnsInOrder(rows, order), (std::vector<QString>{QStringLiteral("Alpha"), QStringLiteral("bravo"),
                                                             QStringLiteral("charlie")}));
    order = {0, 1, 2};
    sortRows(order, rows, gridColumns()[static_cast<std::size_t>(columnOfTag(1))], false);
    // charlie has no surname and comes first; the two "same" keep their order.
    EXPECT_EQ(cnsInOrder(rows, order), (std::vector<QString>{QStringLiteral("charlie"), QStringLiteral("bravo"),
                                                             QStringLiteral("Alpha")}));
}

TEST(UserGridSort, TextKeysIgnoreAccents)
{
    UserRows rows;
    rows.append(user(QStringLiteral("Zed")));
    rows.append(user(QStringLiteral("Ünal")));
    rows.append(user(QStringLiteral("Ulla")));
    rows.append(user(QStringLiteral("uma")));
    std::vector<int> order{0, 1, 2, 3};
    sortRows(order, rows, gridColumns()[1], false);
    EXPECT_EQ(cnsInOrder(rows, order), (std::vector<QString>{QStringLiteral("Ulla"), QStringLiteral("uma"),
                                                             QStringLiteral("Ünal"), QStringLiteral("Zed")}));
}

// Names that share a long beginning, as real directories have them ("Large User 000123"),
// must sort exactly as their folded keys do, ascending and descending, with equal keys kept
// in their order: differences right after the shared part, past eight more characters, in
// case only, in accents, and names that are a beginning of others.
TEST(UserGridSort, NamesWithALongSharedBeginningSortByTheirFoldedKeys)
{
    const QStringList fixed{QStringLiteral("Large User 000010"), QStringLiteral("large user 000002"),
                            QStringLiteral("LARGE USER 0000021"), QStringLiteral("Large User 0000"),
                            QStringLiteral("Large User 000002"), QStringLiteral("Large User 0000 aaaaaaaa1"),
                            QStringLiteral("Large User 0000 aaaaaaaa0"), QStringLiteral("Large User 0000 AAAAAAAA0"),
                            QStringLiteral("Large User 0000é"), QStringLiteral("Large User 0000E"),
                            QStringLiteral("Large User 0000f")};
    // The same shapes many times over, from a small alphabet so that long runs repeat.
    QStringList generated;
    quint32 seed = 20261210;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    const QString alphabet = QStringLiteral("aAbB0 éÉ");
    for (int i = 0; i < 3000; ++i) {
        QString name = QStringLiteral("Department ");
        const int tail = int(next() >> 28);
        for (int k = 0; k < tail; ++k)
            name += alphabet[int((next() >> 16) % quint32(alphabet.size()))];
        generated << name;
    }
    for (const QStringList &names : {fixed, generated}) {
        UserRows rows;
        for (const QString &n : names)
            rows.append(user(n));
        std::vector<int> expected(static_cast<std::size_t>(names.size()));
        for (std::size_t i = 0; i < expected.size(); ++i)
            expected[i] = int(i);
        std::vector<QString> keys;
        for (const QString &n : names)
            keys.push_back(textSortKey(n));
        std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) {
            return QStringView(keys[std::size_t(a)]).compare(keys[std::size_t(b)], Qt::CaseSensitive) < 0;
        });
        std::vector<int> order(expected.size());
        for (std::size_t i = 0; i < order.size(); ++i)
            order[i] = int(i);
        sortRows(order, rows, gridColumns()[1], false);
        EXPECT_EQ(order, expected);

        std::vector<int> descending = expected;
        std::stable_sort(descending.begin(), descending.end(), [&](int a, int b) {
            return QStringView(keys[std::size_t(b)]).compare(keys[std::size_t(a)], Qt::CaseSensitive) < 0;
        });
        for (std::size_t i = 0; i < order.size(); ++i)
            order[i] = int(i);
        sortRows(order, rows, gridColumns()[1], true);
        EXPECT_EQ(order, descending);
    }
}

TEST(UserGridCopy, OneLinePerRecordTabsBetweenCells)
{
    UserRows rows;
    rows.append(user(QStringLiteral("a\tb"), 0));
    rows.at(0).setText(Field::Description, QStringLiteral("two\r\nlines"));
    rows.append(user(QStringLiteral("c"), 0));
    const auto &cols = gridColumns();
    const std::vector<const GridColumn *> shown{&cols[1], &cols[static_cast<std::size_t>(columnOfTag(3))],
                                                &cols[17]};
    EXPECT_EQ(rowsAsTabText(rows, {1, 0}, shown), QStringLiteral("c\t\t\na b\ttwo  lines\t\n"));
}
