// The composer builds only filters the server accepts; the checker tells valid from invalid.
#include "query/filtercompose.h"

#include <gtest/gtest.h>

using namespace query;

namespace {
QString s(const char *t) { return QString::fromUtf8(t); }
} // namespace

TEST(FilterCompose, ValuesAreEscapedSoTheyMatchLiterally)
{
    EXPECT_EQ(equals(s("cn"), s("a*b")), s("(cn=a\\2ab)"));
    EXPECT_EQ(equals(s("cn"), s("x(y)\\z/")), s("(cn=x\\28y\\29\\5cz\\2f)"));
    // A NUL would end the C string libldap is handed.
    EXPECT_EQ(equals(s("cn"), QString(QChar(u'a')) + QChar(u'\0') + QChar(u'b')), s("(cn=a\\00b)"));
    EXPECT_EQ(startsWith(s("sn"), s("Sm(")), s("(sn=Sm\\28*)"));
    EXPECT_EQ(endsWith(s("sn"), s("*")), s("(sn=*\\2a)"));
    EXPECT_EQ(contains(s("sn"), s("\\")), s("(sn=*\\5c*)"));
    // A DN with an escaped comma keeps its backslash as \5c.
    EXPECT_EQ(equals(s("manager"), s("CN=Smith\\, John,DC=x")), s("(manager=CN=Smith\\5c, John,DC=x)"));
    for (const QString &f : {equals(s("cn"), s("(*)\\")), startsWith(s("cn"), s(")")), greaterOrEqual(s("a"), s("*"))})
        EXPECT_TRUE(isValidFilter(f)) << f.toStdString();
}

TEST(FilterCompose, NegationAndListsNeverDoubleParentheses)
{
    EXPECT_EQ(notOf(s("(cn=x)")), s("(!(cn=x))"));
    EXPECT_EQ(notOf(s("cn=x")), s("(!(cn=x))"));
    EXPECT_EQ(notOf(s("((cn=x))")), s("(!(cn=x))"));
    EXPECT_EQ(notOf(QString()), QString());
    EXPECT_EQ(andOf({s("(a=1)")}), s("(a=1)"));
    EXPECT_EQ(andOf({QString(), s("(a=1)"), s("((b=2))")}), s("(&(a=1)(b=2))"));
    EXPECT_EQ(orOf({}), QString());
    EXPECT_EQ(asTerm(s("(a=1)(b=2)")), s("(&(a=1)(b=2))"));
    // An escaped parenthesis inside a value does not end the term.
    EXPECT_EQ(asTerm(s("((cn=a\\29))")), s("(cn=a\\29)"));
    EXPECT_EQ(bitsAnySet(s("userAccountControl"), 18), s("(userAccountControl:1.2.840.113556.1.4.804:=18)"));
}

TEST(FilterCompose, CheckerRefusesWhatLibldapRefuses)
{
    const char *valid[] = {"(cn=x)", "(!(cn=x))", "(&(a=1)(|(b=2)(c=*)))", "(cn=a*b*c)", "(cn=*)",
                           "(userAccountControl:1.2.840.113556.1.4.803:=2)", "(a>=1)", "(a<=1)", "(a~=x)",
                           "(cn:dn:2.5.13.5:=x)", "(cn=\\2a)", "(&)", "(cn;lang-en=x)", "(1.2.3=x)"};
    for (const char *f : valid)
        EXPECT_TRUE(isValidFilter(s(f))) << f;
    const char *invalid[] = {"(!cn=x)", "((cn=x))", "cn=x", "(cn=x", "(cn=x))", "(cn=a(b)", "(cn=\\2)",
                             "(cn=\\zz)", "(=x)", "(cn>x)", "(&(a=1)b=2)", "", "(a=1)(b=2)", "(cn=x)junk",
                             "(a>=*)"};
    for (const char *f : invalid) {
        QString why;
        EXPECT_FALSE(isValidFilter(s(f), &why)) << f;
        EXPECT_FALSE(why.isEmpty()) << f;
    }
}

TEST(FilterCompose, DeepNestingIsRefusedInsteadOfExhaustingTheStack)
{
    QString deep;
    for (int i = 0; i < 200000; ++i)
        deep += s("(!");
    deep += s("(cn=x)");
    for (int i = 0; i < 200000; ++i)
        deep += s(")");
    QString why;
    EXPECT_FALSE(isValidFilter(deep, &why));
    EXPECT_TRUE(why.contains(s("deep")));
    QString fine = s("(cn=x)");
    for (int i = 0; i < 50; ++i)
        fine = s("(!") + fine + s(")");
    EXPECT_TRUE(isValidFilter(fine));
}
