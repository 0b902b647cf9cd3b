// Value operations that need no directory: file-time values, large integers, hexadecimal
// keys, schema presence, the cannot-change-password reading, streams, the notice hook and the
// descriptor summary.
#include "core/unSearch.h"
#include "core/unValues.h"
#include "values_testutil.h"

#include <QBuffer>
#include <QDateTime>
#include <gtest/gtest.h>

using namespace security;

namespace {

class ValueOps : public ::testing::Test {
protected:
    void SetUp() override { SetTimeZoneOverride(QTimeZone("Europe/Berlin")); }
    void TearDown() override
    {
        SetTimeZoneOverride(QTimeZone());
        ClearSchemaAttributeNames();
        ClearSchemaGuidNames();
        SetNotifyOtherWindowsHook({});
    }
};

SecurityDescriptor withChangePasswordAces(quint8 everyoneType, quint8 selfType)
{
    SecurityDescriptor sd;
    sd.dacl = Acl{};
    sd.dacl->aces << makeObjectAce(everyoneType, everyoneSid(), ADS_RIGHT_DS_CONTROL_ACCESS, kChangePasswordGuid)
                  << makeObjectAce(selfType, selfSid(), ADS_RIGHT_DS_CONTROL_ACCESS, kChangePasswordGuid);
    return sd;
}

} // namespace

TEST_F(ValueOps, FileTimeValuesAreZeroForNeverAndLocalDatesOtherwise)
{
    EXPECT_EQ(FileTimeToValue(0, 0), QVariant(int(0)));
    EXPECT_EQ(FileTimeToValue(0xFFFFFFFFu, 0x7FFFFFFFu), QVariant(int(0)));
    EXPECT_EQ(FileTimeToValue(0xFFFFFFFFu, 0x01D00000u), QVariant(int(0)));
    // 1 July 2024 10:00 UTC is 12:00 in Berlin.
    const qint64 ft = (QDateTime(QDate(2024, 7, 1), QTime(10, 0), Qt::UTC).toMSecsSinceEpoch() + 11644473600000LL) * 10000;
    const QVariant v = FileTimeToValue(quint32(ft & 0xFFFFFFFF), quint32(ft >> 32));
    ASSERT_EQ(v.metaType(), QMetaType::fromType<ads::AdsDate>());
    EXPECT_NEAR(v.value<ads::AdsDate>().value, EncodeDateTime(2024, 7, 1, 12), 1e-9);
    EXPECT_FALSE(FileTimeToValue(0, 0x80000000u).isValid());
}

TEST_F(ValueOps, LargeIntegersFromEveryShape)
{
    EXPECT_EQ(LargeIntegerToInt64(QVariant()), 0);
    EXPECT_EQ(LargeIntegerToInt64(QVariant(qint64(0x7FFFFFFFFFFFFFFFLL))), 0x7FFFFFFFFFFFFFFFLL);
    EXPECT_EQ(LargeIntegerToInt64(QVariant(-5)), -5);
    EXPECT_EQ(LargeIntegerToInt64(QVariant(QStringLiteral(" -9223372036854775808 "))), std::numeric_limits<qint64>::min());
    try {
        LargeIntegerToInt64(QVariant(QStringLiteral("12a")));
        ADD_FAILURE() << "no error for a text that is not a number";
    } catch (const EADSIException &e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Not Int64"));
    }
    EXPECT_THROW(LargeIntegerToInt64(QVariant(QVariantList{1, 2})), EADSIException);
}

TEST_F(ValueOps, HexOfValuesAndGroupKeys)
{
    EXPECT_EQ(ValueToHex(QStringLiteral("{AB721A53-1E2F-11D0-9819-00AA0040529B}")),
              QStringLiteral("AB721A531E2F11D0981900AA0040529B"));
    EXPECT_EQ(ValueToHex(QVariant(QByteArray(16, '\xAB'))), QString(16, QLatin1Char('x')).replace(QLatin1String("x"), QLatin1String("ab")));
    EXPECT_EQ(ValueToHex(QVariant(QByteArray::fromHex("00ff10"))), QStringLiteral("00FF10"));
    EXPECT_TRUE(ValueToHex(QVariant(42)).isEmpty());
    const QByteArray sid = QByteArray::fromHex("010500000000000515000000ffffffff00000080005ed0b250040000");
    EXPECT_EQ(GroupListKey(QVariant(sid)), QString::fromLatin1(sid.toHex()));
    EXPECT_EQ(GroupListKey(QVariant(QByteArray::fromHex("000102030405060708090a0b0c0d0e0f"))), QStringLiteral("0a0b0c0d0e0f"));
}

TEST_F(ValueOps, ParentCanonicalNameSkipsEscapedSlashes)
{
    EXPECT_EQ(ParentCanonicalName(QStringLiteral("corp.example/Staff/R\\/D Team")), QStringLiteral("corp.example/Staff"));
    EXPECT_EQ(ParentCanonicalName(QStringLiteral("corp.example/A\\/B/C")), QStringLiteral("corp.example/A\\/B"));
    // An escaped backslash right before a separator does not escape the separator.
    EXPECT_EQ(ParentCanonicalName(QStringLiteral("corp.example/X\\\\/Y")), QStringLiteral("corp.example/X\\\\"));
    EXPECT_EQ(ParentCanonicalName(QStringLiteral("corp.example/")), QStringLiteral("corp.example"));
    EXPECT_EQ(ParentCanonicalName(QStringLiteral("nodomain")), QStringLiteral("nodomain"));
}

TEST_F(ValueOps, SchemaPresenceIsPermissiveUntilTheSchemaIsLoaded)
{
    EXPECT_TRUE(AttributeInSchema(QStringLiteral("anything")));
    SetSchemaAttributeNames({QStringLiteral("cn"), QStringLiteral("homeMDB"), QStringLiteral(" mail ")});
    EXPECT_TRUE(AttributeInSchema(QStringLiteral("anything"))); // names exist, but not loaded yet
    SetSchemaLoaded(true);
    EXPECT_TRUE(AttributeInSchema(QStringLiteral("  MAIL ")));
    EXPECT_FALSE(AttributeInSchema(QStringLiteral("anything")));
    EXPECT_TRUE(HasMailbox(nullptr));
    EXPECT_TRUE(AttributeInList({QStringLiteral("CN")}, QStringLiteral(" cn")));
    EXPECT_FALSE(AttributeInList({QStringLiteral("cn")}, QStringLiteral("cn"))); // the list holds upper case
    SetSchemaAttributeNames({QStringLiteral("cn")});
    EXPECT_FALSE(HasMailbox(nullptr));
    ClearSchemaAttributeNames();
    EXPECT_TRUE(AttributeInSchema(QStringLiteral("anything")));
    EXPECT_FALSE(SchemaLoaded());
}

TEST_F(ValueOps, CannotChangePasswordNeedsBothDenyEntries)
{
    EXPECT_TRUE(GetCannotChangePassword(withChangePasswordAces(ACCESS_DENIED_OBJECT_ACE_TYPE, ACCESS_DENIED_OBJECT_ACE_TYPE)));
    EXPECT_FALSE(GetCannotChangePassword(withChangePasswordAces(ACCESS_DENIED_OBJECT_ACE_TYPE, ACCESS_ALLOWED_OBJECT_ACE_TYPE)));
    EXPECT_FALSE(GetCannotChangePassword(withChangePasswordAces(ACCESS_ALLOWED_OBJECT_ACE_TYPE, ACCESS_DENIED_OBJECT_ACE_TYPE)));
    // The first entry of a trustee decides.
    SecurityDescriptor sd = withChangePasswordAces(ACCESS_DENIED_OBJECT_ACE_TYPE, ACCESS_ALLOWED_OBJECT_ACE_TYPE);
    sd.dacl->aces << makeObjectAce(ACCESS_DENIED_OBJECT_ACE_TYPE, selfSid(), ADS_RIGHT_DS_CONTROL_ACCESS, kChangePasswordGuid);
    EXPECT_FALSE(GetCannotChangePassword(sd));
    // Entries for another right do not count.
    SecurityDescriptor other;
    other.dacl = Acl{};
    other.dacl->aces << makeObjectAce(ACCESS_DENIED_OBJECT_ACE_TYPE, everyoneSid(), 0x100, QStringLiteral("{00299570-246D-11D0-A768-00AA006E0529}"))
                     << makeObjectAce(ACCESS_DENIED_OBJECT_ACE_TYPE, selfSid(), 0x100, QStringLiteral("{00299570-246D-11D0-A768-00AA006E0529}"));
    EXPECT_FALSE(GetCannotChangePassword(other));
    EXPECT_FALSE(GetCannotChangePassword(SecurityDescriptor{}));
    // The binary form reads the same; garbage reads as "may change".
    EXPECT_TRUE(GetCannotChangePassword(withChangePasswordAces(ACCESS_DENIED_OBJECT_ACE_TYPE, ACCESS_DENIED_OBJECT_ACE_TYPE).toBytes()));
    EXPECT_FALSE(GetCannotChangePassword(QByteArray("garbage that is not a descriptor")));
}

TEST_F(ValueOps, BytesAndStreamsRoundTrip)
{
    const QByteArray picture = QByteArray::fromHex("ffd8ffe000104a464946") + QByteArray(5000, '\x7f');
    QBuffer buffer;
    buffer.setData(QByteArray(9000, 'x')); // a longer old content must not survive
    BytesToStream(QVariant(picture), buffer);
    EXPECT_EQ(buffer.size(), picture.size());
    EXPECT_EQ(buffer.pos(), 0);
    EXPECT_EQ(StreamToBytes(buffer).toByteArray(), picture);
}

TEST_F(ValueOps, NoticeGoesThroughTheHook)
{
    NotifyOtherWindows(nullptr, 0, QStringLiteral("CN=x")); // no hook: nothing happens
    int calls = 0;
    const void *seenSender = nullptr;
    int seenCode = -1;
    QString seenText;
    SetNotifyOtherWindowsHook([&](const void *sender, int code, const QString &text) {
        ++calls;
        seenSender = sender;
        seenCode = code;
        seenText = text;
    });
    int me = 0;
    NotifyOtherWindows(&me, 1, QStringLiteral("CN=Jane,DC=corp"));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seenSender, &me);
    EXPECT_EQ(seenCode, 1);
    EXPECT_EQ(seenText, QStringLiteral("CN=Jane,DC=corp"));
}

TEST_F(ValueOps, SummaryNamesWellKnownTrusteesAndFallsBackToSidsAndGuids)
{
    SetDirectoryAccess(TDirectoryAccess{}); // no directory: only the well-known table
    SecurityDescriptor sd = withChangePasswordAces(ACCESS_DENIED_OBJECT_ACE_TYPE, ACCESS_DENIED_OBJECT_ACE_TYPE);
    const Sid domainUser(5, {21, 1, 2, 3, 1105});
    sd.owner = domainUser;
    Ace inherited;
    inherited.type = ACCESS_ALLOWED_ACE_TYPE;
    inherited.flags = INHERITED_ACE;
    inherited.mask = ADS_RIGHT_DS_READ_PROP | ADS_RIGHT_READ_CONTROL;
    inherited.trustee = authenticatedUsersSid();
    sd.dacl->aces.prepend(inherited); // not canonical: inherited before explicit

    TSecuritySummary s = SummarizeSecurityDescriptor(sd);
    EXPECT_EQ(s.Owner, QStringLiteral("S-1-5-21-1-2-3-1105"));
    EXPECT_FALSE(s.DaclCanonical);
    ASSERT_EQ(s.Dacl.size(), 3);
    EXPECT_EQ(s.Dacl[0].Trustee, QStringLiteral("NT AUTHORITY\\Authenticated Users"));
    EXPECT_TRUE(s.Dacl[0].Inherited);
    EXPECT_EQ(s.Dacl[0].Rights, QStringLiteral("Read property, Read permissions"));
    EXPECT_EQ(s.Dacl[1].Trustee, QStringLiteral("Everyone"));
    EXPECT_EQ(s.Dacl[1].ObjectType, kChangePasswordGuid);
    EXPECT_EQ(s.Dacl[2].Type, QStringLiteral("Deny (object)"));
    EXPECT_TRUE(s.CannotChangePassword);

    AddSchemaGuidName(kChangePasswordGuid, QStringLiteral("Change Password"));
    s = SummarizeSecurityDescriptor(sd);
    EXPECT_EQ(s.Dacl[2].ObjectType, QStringLiteral("Change Password"));
}
