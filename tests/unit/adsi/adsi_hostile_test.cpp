// Values a hostile or broken server can send: declared lengths that do not fit, and ranged
// retrievals that do not move forward.
#include "platform/adsi/adsinternal.h"
#include "platform/adsi/adspath.h"
#include "platform/adsi/adsvalue.h"

#include <gtest/gtest.h>

using namespace ads;

TEST(HostileWireValues, DnWithCountsThatDoNotFitReadAsPlainText)
{
    // A count near the integer limit once wrapped the bounds check and indexed before the
    // value; counts past the end, negative counts and missing separators are refused too.
    for (const char *wire : {"B:2147483646:AB:CN=x", "B:2147483647:AB:CN=x", "B:9:AB:CN=x", "B:-2:AB:CN=x",
                             "B:4:ABCD", "S:2147483646:hi:CN=x", "S:3:hi:CN=x", "S:"}) {
        const QVariant v = valueFromWire(ADSTYPE_DN_WITH_BINARY, QByteArray(wire));
        EXPECT_EQ(v.typeId(), QMetaType::QString) << wire;
        EXPECT_EQ(v.toString(), QString::fromLatin1(wire));
        const QVariant s = valueFromWire(ADSTYPE_DN_WITH_STRING, QByteArray(wire));
        EXPECT_EQ(s.typeId(), QMetaType::QString) << wire;
    }
    // Well-formed values still parse, including an empty payload and one that ends the value.
    const QVariant b = valueFromWire(ADSTYPE_DN_WITH_BINARY, QByteArray("B:4:ABCD:CN=x,DC=t"));
    ASSERT_TRUE(b.canConvert<DnWithBinary>());
    EXPECT_EQ(b.value<DnWithBinary>().binary, QByteArray("\xAB\xCD", 2));
    EXPECT_EQ(b.value<DnWithBinary>().dn, QStringLiteral("CN=x,DC=t"));
    const QVariant e = valueFromWire(ADSTYPE_DN_WITH_STRING, QByteArray("S:0::"));
    ASSERT_TRUE(e.canConvert<DnWithString>());
    EXPECT_TRUE(e.value<DnWithString>().dn.isEmpty());
}

TEST(RangedRetrieval, EveryStepMustMoveForward)
{
    using detail::RangeStep;
    using detail::rangeStep;
    EXPECT_EQ(rangeStep(QStringLiteral("0-1499"), -1).kind, RangeStep::Next);
    EXPECT_EQ(rangeStep(QStringLiteral("0-1499"), -1).next, 1500);
    EXPECT_EQ(rangeStep(QStringLiteral("1500-*"), 1499).kind, RangeStep::Done);
    EXPECT_EQ(rangeStep(QStringLiteral("1500-2999"), 1499).next, 3000);
    // The same part again, a step back, an end before the start, an end at the integer
    // limit and text that is no range.
    for (const char *r : {"0-1499", "1000-2999", "1500-1400", "1500-2147483647", "1500", "-", "a-b", "", "1500-"})
        EXPECT_EQ(rangeStep(QString::fromLatin1(r), 1499).kind, RangeStep::Invalid) << r;
}

TEST(HostilePaths, ServerNamesThatCannotBeWrittenBackAreRefused)
{
    AdsPath p;
    // A stray bracket (found by fuzzing) would compose into a path that no longer parses.
    EXPECT_FALSE(AdsPath::parse(QStringLiteral("LDAP://x::1]:389/DC=x"), &p));
    EXPECT_FALSE(AdsPath::parse(QStringLiteral("LDAP://[::1]]/DC=x"), &p));
    // An IPv6 address typed without brackets still works, and is written back with them.
    ASSERT_TRUE(AdsPath::parse(QStringLiteral("LDAP://fe80::1:389/DC=x"), &p));
    EXPECT_EQ(p.server, QStringLiteral("fe80::1"));
    EXPECT_EQ(p.port, 389);
    AdsPath again;
    ASSERT_TRUE(AdsPath::parse(p.toString(), &again));
    EXPECT_EQ(again.server, p.server);
    EXPECT_EQ(again.port, 389);
}
