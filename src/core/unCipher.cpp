#include "core/unCipher.h"

#include "core/unCipherTables.h"
#include "core/unValuesText.h"

#include <algorithm>
#include <cstring>

namespace cipher {

namespace {

// The fixed key text from which the credential key is hashed.
constexpr char kKeyText[] = "{5A0C7E21-93B4-4F6D-A8E2-1C9D3B7F0A64}";
constexpr int kKeyBytes = 40;
constexpr int kBlock = 8;

std::uint32_t load32(const std::uint8_t *p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

void store32(std::uint8_t *p, std::uint32_t v)
{
    p[0] = std::uint8_t(v >> 24);
    p[1] = std::uint8_t(v >> 16);
    p[2] = std::uint8_t(v >> 8);
    p[3] = std::uint8_t(v);
}

void xorInto(std::uint8_t *dst, const std::uint8_t *src, int n)
{
    for (int i = 0; i < n; ++i)
        dst[i] ^= src[i];
}

// Sapphire II state, with only what the hash needs.
class Sapphire {
public:
    Sapphire()
    {
        for (int i = 0; i < 256; ++i)
            cards[i] = std::uint8_t(255 - i);
    }
    std::uint8_t encrypt(std::uint8_t b)
    {
        ratchet = std::uint8_t(ratchet + cards[rotor++]);
        const std::uint8_t swaptemp = cards[lastCipher];
        cards[lastCipher] = cards[ratchet];
        cards[ratchet] = cards[lastPlain];
        cards[lastPlain] = cards[rotor];
        cards[rotor] = swaptemp;
        avalanche = std::uint8_t(avalanche + cards[swaptemp]);
        lastCipher = std::uint8_t(
            b ^ cards[std::uint8_t(cards[ratchet] + cards[rotor])] ^
            cards[cards[std::uint8_t(cards[lastPlain] + cards[lastCipher] + cards[avalanche])]]);
        lastPlain = b;
        return lastCipher;
    }

private:
    std::uint8_t cards[256];
    std::uint8_t rotor = 1, ratchet = 3, avalanche = 5, lastPlain = 7, lastCipher = 11;
};

} // namespace

QByteArray sapphireHash(const QByteArray &data, int digestLength)
{
    Sapphire s;
    for (char c : data)
        s.encrypt(std::uint8_t(c));
    for (int i = 255; i >= 0; --i)
        s.encrypt(std::uint8_t(i));
    QByteArray out(std::max(digestLength, 0), '\0');
    for (int i = 0; i < out.size(); ++i)
        out[i] = char(s.encrypt(0));
    return out;
}

QByteArray credentialKey()
{
    return sapphireHash(QByteArray(kKeyText), kKeyBytes);
}

Blowfish::Blowfish(const QByteArray &keyIn)
{
    const QByteArray key = keyIn.left(56);
    std::memcpy(m_s, cipher_detail::kPiS, sizeof m_s);
    int k = 0;
    for (int i = 0; i < 18; ++i) {
        std::uint32_t word = 0;
        for (int j = 0; j < 4; ++j) {
            const std::uint8_t byte = key.isEmpty() ? 0 : std::uint8_t(key[k]);
            word = word << 8 | byte;
            if (!key.isEmpty())
                k = (k + 1) % key.size();
        }
        m_p[i] = cipher_detail::kPiP[i] ^ word;
    }
    std::uint32_t l = 0, r = 0;
    for (int i = 0; i < 18; i += 2) {
        encryptWords(l, r);
        m_p[i] = l;
        m_p[i + 1] = r;
    }
    for (auto &box : m_s) {
        for (int i = 0; i < 256; i += 2) {
            encryptWords(l, r);
            box[i] = l;
            box[i + 1] = r;
        }
    }
}

std::uint32_t Blowfish::f(std::uint32_t x) const
{
    return ((m_s[0][x >> 24] + m_s[1][(x >> 16) & 0xFF]) ^ m_s[2][(x >> 8) & 0xFF]) + m_s[3][x & 0xFF];
}

void Blowfish::encryptWords(std::uint32_t &l, std::uint32_t &r) const
{
    for (int i = 0; i < 16; i += 2) {
        l ^= m_p[i];
        r ^= f(l);
        r ^= m_p[i + 1];
        l ^= f(r);
    }
    l ^= m_p[16];
    r ^= m_p[17];
    std::swap(l, r);
}

void Blowfish::decryptWords(std::uint32_t &l, std::uint32_t &r) const
{
    for (int i = 17; i > 1; i -= 2) {
        l ^= m_p[i];
        r ^= f(l);
        r ^= m_p[i - 1];
        l ^= f(r);
    }
    l ^= m_p[1];
    r ^= m_p[0];
    std::swap(l, r);
}

void Blowfish::encryptBlock(std::uint8_t block[8]) const
{
    std::uint32_t l = load32(block), r = load32(block + 4);
    encryptWords(l, r);
    store32(block, l);
    store32(block + 4, r);
}

void Blowfish::decryptBlock(std::uint8_t block[8]) const
{
    std::uint32_t l = load32(block), r = load32(block + 4);
    decryptWords(l, r);
    store32(block, l);
    store32(block + 4, r);
}

std::array<std::uint8_t, 8> Blowfish::defaultIv() const
{
    std::array<std::uint8_t, 8> iv;
    iv.fill(0xFF);
    encryptBlock(iv.data());
    return iv;
}

// Input shorter than one block has no block to steal from: it is XORed with the enciphered
// IV, which works the same both ways.
void Blowfish::xorShortInput(std::uint8_t *p, int length, const std::array<std::uint8_t, 8> &iv) const
{
    std::uint8_t pad[kBlock];
    std::memcpy(pad, iv.data(), kBlock);
    encryptBlock(pad);
    xorInto(p, pad, length);
}

QByteArray Blowfish::encryptCts(const QByteArray &data, const std::array<std::uint8_t, 8> &iv) const
{
    QByteArray out = data;
    auto *p = reinterpret_cast<std::uint8_t *>(out.data());
    const int n = int(out.size());
    const int full = n / kBlock;
    const int tail = n % kBlock;
    if (full == 0) {
        xorShortInput(p, tail, iv);
        return out;
    }
    const std::uint8_t *prev = iv.data();
    for (int b = 0; b < full; ++b) {
        std::uint8_t *blk = p + b * kBlock;
        xorInto(blk, prev, kBlock);
        encryptBlock(blk);
        prev = blk;
    }
    if (tail) {
        // Last full cipher block C, partial plain tail T: emit E((T|0) ^ C) in C's place and
        // the first `tail` bytes of C at the end.
        std::uint8_t *last = p + (full - 1) * kBlock;
        std::uint8_t c[kBlock];
        std::memcpy(c, last, kBlock);
        std::uint8_t d[kBlock] = {};
        std::memcpy(d, p + full * kBlock, tail);
        xorInto(d, c, kBlock);
        encryptBlock(d);
        std::memcpy(last, d, kBlock);
        std::memcpy(p + full * kBlock, c, tail);
    }
    return out;
}

QByteArray Blowfish::decryptCts(const QByteArray &data, const std::array<std::uint8_t, 8> &iv) const
{
    QByteArray out = data;
    auto *p = reinterpret_cast<std::uint8_t *>(out.data());
    const int n = int(out.size());
    const int full = n / kBlock;
    const int tail = n % kBlock;
    if (full == 0) {
        xorShortInput(p, tail, iv);
        return out;
    }
    if (tail) {
        // Rebuild the last full cipher block C and the plain tail, then decrypt C as usual.
        std::uint8_t *last = p + (full - 1) * kBlock;
        std::uint8_t x[kBlock];
        std::memcpy(x, last, kBlock);
        decryptBlock(x); // (T|0) ^ C
        std::uint8_t c[kBlock];
        std::memcpy(c, p + full * kBlock, tail);
        std::memcpy(c + tail, x + tail, kBlock - tail);
        for (int i = 0; i < tail; ++i)
            p[full * kBlock + i] = std::uint8_t(x[i] ^ c[i]);
        std::memcpy(last, c, kBlock);
    }
    std::uint8_t prev[kBlock];
    std::memcpy(prev, iv.data(), kBlock);
    for (int b = 0; b < full; ++b) {
        std::uint8_t *blk = p + b * kBlock;
        std::uint8_t saved[kBlock];
        std::memcpy(saved, blk, kBlock);
        decryptBlock(blk);
        xorInto(blk, prev, kBlock);
        std::memcpy(prev, saved, kBlock);
    }
    return out;
}

} // namespace cipher

namespace {

const cipher::Blowfish &credentialCipher()
{
    static const cipher::Blowfish bf(cipher::credentialKey());
    return bf;
}

QString upperHex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex().toUpper());
}

} // namespace

// UTF-8 stands in for the 8-bit code page so that every name and password survives.
QString EncryptText(const QString &plain)
{
    if (plain.isEmpty())
        return {};
    const QByteArray base64 = plain.toUtf8().toBase64();
    const QByteArray hex = base64.toHex().toUpper();
    const auto &bf = credentialCipher();
    return upperHex(bf.encryptCts(hex, bf.defaultIv()));
}

QString DecryptText(const QString &stored)
{
    if (stored.isEmpty())
        return {};
    const QByteArray cipherBytes = HexTextToBytes(stored);
    if (cipherBytes.isEmpty())
        return {};
    const auto &bf = credentialCipher();
    const QByteArray hex = bf.decryptCts(cipherBytes, bf.defaultIv());
    const QByteArray base64 = HexTextToBytes(QString::fromLatin1(hex));
    if (base64.isEmpty())
        return {};
    const auto decoded = QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return {};
    QString text = QString::fromUtf8(*decoded);
    // Bytes that are not UTF-8 are not something EncryptText produced.
    if (text.toUtf8() != *decoded)
        return {};
    return text;
}
