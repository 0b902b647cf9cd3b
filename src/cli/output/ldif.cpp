#include "cli/output/ldif.h"

namespace cli::output {

namespace {

constexpr int kLineWidth = 76;

} // namespace

bool isSafeLdifValue(const QByteArray &value)
{
    if (value.isEmpty())
        return true;
    const char first = value.front();
    if (first == ' ' || first == ':' || first == '<' || value.back() == ' ')
        return false;
    for (const char c : value) {
        const auto u = static_cast<unsigned char>(c);
        if (u == 0 || u == '\n' || u == '\r' || u > 0x7F)
            return false;
    }
    return true;
}

void LdifWriter::line(const QString &name, const QByteArray &value)
{
    // Everything written is ASCII (unsafe values go base64), so characters are bytes here.
    QString text = name;
    if (isSafeLdifValue(value)) {
        text += QLatin1String(": ");
        text += QString::fromLatin1(value);
    } else {
        text += QLatin1String(":: ");
        text += QString::fromLatin1(value.toBase64());
    }
    m_out << text.left(kLineWidth) << '\n';
    for (qsizetype at = kLineWidth; at < text.size(); at += kLineWidth - 1)
        m_out << ' ' << text.mid(at, kLineWidth - 1) << '\n';
}

void LdifWriter::write(const QString &dn, const LdifAttributes &attributes)
{
    if (!m_started) {
        m_out << "version: 1\n\n";
        m_started = true;
    }
    line(QStringLiteral("dn"), dn.toUtf8());
    for (const auto &[name, values] : attributes)
        for (const QByteArray &v : values)
            line(name, v);
    m_out << '\n';
}

} // namespace cli::output
