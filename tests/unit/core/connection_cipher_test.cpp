#include "core/unCipher.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

QByteArray hex(const char *h) { return QByteArray::fromHex(h); }

QByteArray ecb(const QByteArray &key, const QByteArray &plain)
{
    cipher::Blowfish bf(key);
    QByteArray b = plain;
    bf.encryptBlock(reinterpret_cast<std::uint8_t *>(b.data()));
    return b;
}

} // namespace

// Published Blowfish test vectors (Eric Young's set).
TEST(Blowfish, KnownAnswers)
{
    struct { const char *key, *plain, *cipher; } v[] = {
        {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
        {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
        {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
        {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
        {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
        {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
        // variable key length: 24 bytes
        {"F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677", "FEDCBA9876543210", "05044B62FA52D080"},
    };
    for (const auto &t : v) {
        EXPECT_EQ(ecb(hex(t.key), hex(t.plain)).toHex().toUpper(), QByteArray(t.cipher)) << t.key;
        cipher::Blowfish bf(hex(t.key));
        QByteArray c = hex(t.cipher);
        bf.decryptBlock(reinterpret_cast<std::uint8_t *>(c.data()));
        EXPECT_EQ(c, hex(t.plain)) << t.key;
    }
}

TEST(Blowfish, CtsKeepsLengthAndRoundTripsEveryLength)
{
    cipher::Blowfish bf(cipher::credentialKey());
    const auto iv = bf.defaultIv();
    for (int n = 0; n <= 41; ++n) {
        QByteArray data(n, '\0');
        for (int i = 0; i < n; ++i)
            data[i] = char(QRandomGenerator::global()->bounded(256));
        const QByteArray enc = bf.encryptCts(data, iv);
        ASSERT_EQ(enc.size(), n);
        if (n >= 4) {
            EXPECT_NE(enc, data) << n;
        }
        EXPECT_EQ(bf.decryptCts(enc, iv), data) << n;
    }
}

TEST(Blowfish, WholeBlocksAreChainedAsCbc)
{
    cipher::Blowfish bf(QByteArray("key"));
    const auto iv = bf.defaultIv();
    const QByteArray plain("0123456789ABCDEFfedcba98");
    QByteArray expect = plain;
    auto *p = reinterpret_cast<std::uint8_t *>(expect.data());
    for (int b = 0; b < 3; ++b) {
        for (int i = 0; i < 8; ++i)
            p[b * 8 + i] ^= b == 0 ? iv[i] : p[(b - 1) * 8 + i];
        bf.encryptBlock(p + b * 8);
    }
    EXPECT_EQ(bf.encryptCts(plain, iv), expect);
    // A partial tail swaps the last two blocks: the leading whole blocks stay CBC.
    const QByteArray longer = bf.encryptCts(plain + "xyz", iv);
    EXPECT_EQ(longer.left(16), expect.left(16));
    EXPECT_EQ(longer.mid(24, 3), expect.mid(16, 3));
}

TEST(Sapphire, HashDependsOnEveryInputByteAndLength)
{
    const QByteArray a = cipher::sapphireHash("{5A0C7E21-93B4-4F6D-A8E2-1C9D3B7F0A64}", 40);
    ASSERT_EQ(a.size(), 40);
    EXPECT_EQ(a, cipher::credentialKey());
    EXPECT_NE(a, cipher::sapphireHash("{5A0C7E21-93B4-4F6D-A8E2-1C9D3B7F0A65}", 40));
    EXPECT_NE(cipher::sapphireHash("", 20), cipher::sapphireHash(QByteArray(1, '\0'), 20));
    // The digest is a stream: a shorter one is the start of a longer one.
    EXPECT_EQ(cipher::sapphireHash("abc", 20), cipher::sapphireHash("abc", 40).left(20));
}

TEST(CredentialText, RoundTripsAnyText)
{
    const QString texts[] = {
        QStringLiteral("a"),
        QStringLiteral("EXAMPLE\\Administrator"),
        QStringLiteral("12345678"),           // base64/hex layers make block-sized input
        QStringLiteral("P@ss w0rd;\"'\\=%"),
        QStringLiteral("Jürgen Ærøskøbing 日本語 \U0001F600"),
        QString(500, QChar(u'x')),
    };
    for (const QString &t : texts) {
        const QString stored = EncryptText(t);
        EXPECT_FALSE(stored.isEmpty());
        EXPECT_NE(stored, t);
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9A-F]+$")).match(stored).hasMatch()) << stored.toStdString();
        EXPECT_EQ(DecryptText(stored), t);
    }
    EXPECT_EQ(EncryptText(QString()), QString());
    EXPECT_EQ(DecryptText(QString()), QString());
}

TEST(CredentialText, StoredFormIsStable)
{
    // Settings written by earlier runs must stay readable: the stored form of a text never
    // changes between versions.
    EXPECT_EQ(EncryptText(QStringLiteral("EXAMPLE\\Administrator")).size(), 112);
    EXPECT_EQ(EncryptText(QStringLiteral("x")), EncryptText(QStringLiteral("x")));
    EXPECT_EQ(DecryptText(QStringLiteral("F1CB22D2E06EE07D518EE6037B5B885BED985297EFF474AD99C2D7C9D1276629"
                                          "E45F08C882F7F428A39915D1F3D1822F3041D1522D9E3704")), QStringLiteral("EXAMPLE\\Administrator"));
}

TEST(CredentialText, GarbageDecryptsToEmpty)
{
    const QString stored = EncryptText(QStringLiteral("secret"));
    EXPECT_EQ(DecryptText(QStringLiteral("not hex at all")), QString());
    EXPECT_EQ(DecryptText(stored.left(stored.size() - 1)), QString());   // odd length
    EXPECT_EQ(DecryptText(stored.left(stored.size() - 2)), QString());   // cut short
    QString flipped = stored;
    flipped[3] = flipped[3] == u'0' ? u'1' : u'0';
    EXPECT_EQ(DecryptText(flipped), QString());
    EXPECT_EQ(DecryptText(QStringLiteral("00112233445566778899AABBCCDDEEFF")), QString());
    EXPECT_EQ(DecryptText(stored.toLower()), QStringLiteral("secret"));
}
