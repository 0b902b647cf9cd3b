#pragma once
// Security identifiers: the binary form stored in the directory (objectSid, ACE trustees)
// and the text form "S-1-5-21-...".
#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>
#include <optional>

namespace security {

class Sid {
public:
    static constexpr int kMaxSubAuthorities = 15;

    Sid() = default;
    Sid(quint64 authority, QList<quint32> subAuthorities, quint8 revision = 1);

    // Reads a SID at data[offset..size); the bytes it takes are stored in *consumed. Empty
    // when the bytes are too few, the revision is not 1 or the count is above 15.
    static std::optional<Sid> fromBytes(const char *data, qsizetype size, qsizetype offset = 0,
                                        qsizetype *consumed = nullptr);
    static std::optional<Sid> fromBytes(const QByteArray &bytes);
    // "S-1-5-32-544" (case-insensitive "s-"; decimal or 0x-hexadecimal authority). Empty when
    // malformed.
    static std::optional<Sid> fromString(const QString &text);

    QByteArray toBytes() const;
    QString toString() const;
    int byteSize() const { return 8 + 4 * int(m_sub.size()); }

    quint8 revision() const { return m_revision; }
    quint64 authority() const { return m_authority; }
    const QList<quint32> &subAuthorities() const { return m_sub; }
    // The last sub-authority (the relative id of an account); 0 when there is none.
    quint32 rid() const { return m_sub.isEmpty() ? 0 : m_sub.last(); }
    // The SID without its last sub-authority (an account's domain).
    Sid domainSid() const;
    bool isValid() const { return m_revision == 1; }

    friend bool operator==(const Sid &a, const Sid &b)
    {
        return a.m_revision == b.m_revision && a.m_authority == b.m_authority && a.m_sub == b.m_sub;
    }
    friend bool operator!=(const Sid &a, const Sid &b) { return !(a == b); }

private:
    quint8 m_revision = 0;
    quint64 m_authority = 0; // 48 bits
    QList<quint32> m_sub;
};

// Well-known SIDs the program needs by value.
Sid everyoneSid();       // S-1-1-0
Sid selfSid();           // S-1-5-10
Sid authenticatedUsersSid(); // S-1-5-11
Sid localSystemSid();    // S-1-5-18

} // namespace security
