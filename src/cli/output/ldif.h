#pragma once
// LDIF content records (RFC 2849) written one entry at a time: "version: 1" before the first
// entry, then per entry a "dn:" line, one line per value and a blank line.
//
// A value (or DN) that is not a safe string is written base64 after "::": one holding a byte
// outside printable ASCII or a NUL, CR or LF, one that begins with a blank, a colon or "<", and
// one that ends with a blank. Lines longer than 76 characters are folded: the rest continues
// on the next line after one blank.
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QTextStream>

namespace cli::output {

using LdifAttributes = QList<QPair<QString, QList<QByteArray>>>;

// True when the value may stand as it is after "name: ".
bool isSafeLdifValue(const QByteArray &value);

class LdifWriter {
public:
    explicit LdifWriter(QTextStream &out) : m_out(out) {}
    void write(const QString &dn, const LdifAttributes &attributes);

private:
    void line(const QString &name, const QByteArray &value);
    QTextStream &m_out;
    bool m_started = false;
};

} // namespace cli::output
