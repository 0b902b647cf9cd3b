#pragma once
// Protection of the stored user name and password.
//
// EncryptText builds the stored form in layers: the text's bytes (UTF-8) -> Base64 ->
// upper-case hexadecimal -> Blowfish in ciphertext-stealing mode (output as long as input)
// -> upper-case hexadecimal. The Blowfish key is the first 40 bytes of the Sapphire II hash
// (40-byte digest) of a fixed key text; the initial vector is the library default for that
// key: the encryption of a block of 0xFF bytes. DecryptText undoes the layers; any failure in
// either direction yields empty text, and empty text stays empty.
#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>

QString EncryptText(const QString &plain);
QString DecryptText(const QString &stored);

namespace cipher {

// Blowfish (64-bit block, key of 1 to 56 bytes; longer keys use their first 56 bytes).
class Blowfish {
public:
    explicit Blowfish(const QByteArray &key);
    // One 8-byte block in place (big-endian halves, as published).
    void encryptBlock(std::uint8_t block[8]) const;
    void decryptBlock(std::uint8_t block[8]) const;

    // The default initial vector for this key: encryptBlock of eight 0xFF bytes.
    std::array<std::uint8_t, 8> defaultIv() const;

    // CBC with ciphertext stealing: the output has the input's length, any length. Whole
    // blocks are chained as in CBC; a final partial block steals the tail of the previous
    // cipher block (the last two blocks change places). Input shorter than one block is
    // XORed with the encrypted initial vector.
    QByteArray encryptCts(const QByteArray &data, const std::array<std::uint8_t, 8> &iv) const;
    QByteArray decryptCts(const QByteArray &data, const std::array<std::uint8_t, 8> &iv) const;

private:
    std::uint32_t f(std::uint32_t x) const;
    void encryptWords(std::uint32_t &l, std::uint32_t &r) const;
    void decryptWords(std::uint32_t &l, std::uint32_t &r) const;
    void xorShortInput(std::uint8_t *p, int length, const std::array<std::uint8_t, 8> &iv) const;
    std::uint32_t m_p[18];
    std::uint32_t m_s[4][256];
};

// The Sapphire II stream cipher's hash of data: digestLength bytes.
QByteArray sapphireHash(const QByteArray &data, int digestLength);

// The Blowfish key that protects stored credentials.
QByteArray credentialKey();

} // namespace cipher
