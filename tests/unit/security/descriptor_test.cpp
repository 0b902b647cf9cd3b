// Security descriptors: reading the self-relative form, editing, canonical order.
#include "platform/security/descriptor.h"
#include "sample_sd.h"

#include <gtest/gtest.h>

using namespace security;

namespace {
const QString kChangePassword = QStringLiteral("{AB721A53-1E2F-11D0-9819-00AA0040529B}");
}

TEST(Descriptor, WriteAndReadBackKeepsEveryField)
{
    const SecurityDescriptor sd = sampleDescriptor();
    const QByteArray bytes = sd.toBytes();
    QString error;
    const auto back = SecurityDescriptor::parse(bytes, &error);
    ASSERT_TRUE(back) << error.toStdString();
    EXPECT_EQ(*back, sd);
    EXPECT_EQ(back->toBytes(), bytes);
    ASSERT_EQ(back->dacl->aces.size(), 4);
    const Ace &obj = back->dacl->aces[2];
    EXPECT_EQ(obj.objectTypeText().toStdString(), "{4C164200-20C0-11D0-A768-00AA006E0529}");
    EXPECT_EQ(obj.inheritedObjectTypeText().toStdString(), "{4828CC14-1437-45BC-9B07-AD6F015E5F28}");
    EXPECT_TRUE(obj.isInherited());
    EXPECT_EQ(back->dacl->revision, 4);
    EXPECT_EQ(back->sacl->revision, 2);
    EXPECT_EQ(back->findObjectAce(kChangePassword.toLower(), selfSid()), 1);
    EXPECT_EQ(back->findObjectAce(kChangePassword, everyoneSid()), -1);
}

TEST(Descriptor, HeaderLayoutIsSelfRelative)
{
    const QByteArray bytes = sampleDescriptor().toBytes();
    ASSERT_GE(bytes.size(), 20);
    EXPECT_EQ(quint8(bytes[0]), 1);
    const quint16 control = quint8(bytes[2]) | quint8(bytes[3]) << 8;
    EXPECT_TRUE(control & SE_SELF_RELATIVE);
    EXPECT_TRUE(control & SE_DACL_PRESENT);
    // Every ACE size is a multiple of four and the offsets point inside the buffer.
    for (int field = 4; field < 20; field += 4) {
        const quint32 off = quint8(bytes[field]) | quint8(bytes[field + 1]) << 8;
        EXPECT_LT(off, quint32(bytes.size()));
    }
    SecurityDescriptor noDacl = sampleDescriptor();
    noDacl.dacl.reset();
    const auto parsed = SecurityDescriptor::parse(noDacl.toBytes());
    ASSERT_TRUE(parsed);
    EXPECT_FALSE(parsed->dacl);
    EXPECT_FALSE(parsed->control & SE_DACL_PRESENT);
}

TEST(Descriptor, MalformedInputGivesAnErrorText)
{
    const QByteArray good = sampleDescriptor().toBytes();
    auto expectRefused = [](const QByteArray &b, const char *why) {
        QString error;
        EXPECT_FALSE(SecurityDescriptor::parse(b, &error)) << why;
        EXPECT_FALSE(error.isEmpty()) << why;
    };
    expectRefused(QByteArray(), "empty");
    expectRefused(good.left(19), "short header");
    QByteArray b = good;
    b[0] = 2;
    expectRefused(b, "revision");
    b = good;
    b[3] = 0; // self-relative bit gone
    expectRefused(b, "absolute form");
    b = good;
    b[16] = char(0xF0); // DACL offset beyond the end
    b[17] = char(0xFF);
    expectRefused(b, "dacl offset");
    b = good;
    b[4] = 3; // owner offset inside the header
    b[5] = b[6] = b[7] = 0;
    expectRefused(b, "owner offset");
    expectRefused(good.left(good.size() - 4), "truncated group SID");
    // An ACE claiming more bytes than its list holds.
    b = good;
    const quint32 daclAt = quint8(b[16]) | quint8(b[17]) << 8;
    b[daclAt + 8 + 2] = char(0xFF);
    expectRefused(b, "ace size");
    // An ACE count larger than the list.
    b = good;
    b[daclAt + 4] = 50;
    expectRefused(b, "ace count");
}

TEST(Descriptor, CanonicalOrderPutsExplicitDenyFirstAndInheritedLast)
{
    SecurityDescriptor sd = sampleDescriptor();
    EXPECT_FALSE(sd.canonicalizeDacl()); // inherited deny after explicit entries is canonical
    const Ace deny = makeObjectAce(ACCESS_DENIED_OBJECT_ACE_TYPE, everyoneSid(), ADS_RIGHT_DS_CONTROL_ACCESS, kChangePassword);
    sd.dacl->aces.append(deny);
    EXPECT_FALSE(sd.daclIsCanonical());
    EXPECT_TRUE(sd.canonicalizeDacl());
    ASSERT_EQ(sd.dacl->aces.size(), 5);
    EXPECT_EQ(sd.dacl->aces[0], deny);
    EXPECT_EQ(sd.dacl->aces[1].type, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(sd.dacl->aces[2].trustee, selfSid());
    // Inherited entries keep their own relative order.
    EXPECT_EQ(sd.dacl->aces[3].trustee, authenticatedUsersSid());
    EXPECT_EQ(sd.dacl->aces[4].type, ACCESS_DENIED_ACE_TYPE);
    EXPECT_TRUE(sd.daclIsCanonical());
}

TEST(Descriptor, UnknownEntryTypesAndCallbackDataSurviveUnchanged)
{
    SecurityDescriptor sd = sampleDescriptor();
    Ace compound;
    compound.type = ACCESS_ALLOWED_COMPOUND_ACE_TYPE;
    compound.trailing = QByteArray::fromHex("0102030405060708");
    Ace callback = makeObjectAce(ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE, selfSid(), 0x10, kChangePassword);
    callback.trailing = QByteArray::fromHex("61727466deadbeef");
    Ace unknown;
    unknown.type = 0x42;
    unknown.trailing = QByteArray::fromHex("aabbccdd");
    sd.dacl->aces << compound << callback << unknown;
    const auto back = SecurityDescriptor::parse(sd.toBytes());
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, sd);
}

TEST(Descriptor, AnAclTooLargeForItsSizeFieldIsNotWritten)
{
    SecurityDescriptor sd = sampleDescriptor();
    const Ace one = makeObjectAce(ACCESS_ALLOWED_OBJECT_ACE_TYPE, selfSid(), 0x10, kChangePassword);
    while (sd.dacl->byteSize() <= 0xFFFF)
        sd.dacl->aces.append(one);
    EXPECT_TRUE(sd.toBytes().isEmpty());
    sd.dacl->aces.removeLast(); // the largest list that still fits
    const auto back = SecurityDescriptor::parse(sd.toBytes());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->dacl->aces.size(), sd.dacl->aces.size());
}
