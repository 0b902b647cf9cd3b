#pragma once
// JSON Lines: one compact JSON object per line, written as each row comes, so that any number
// of rows streams through without being held. Members keep the order they were added in.
//
// Values are typed from their QVariant:
//   invalid                         null
//   QString                         string (UTF-8; quotes, backslashes and control characters escaped)
//   bool                            true / false
//   int, uint, qint64, quint64      number, every digit kept
//   double                          number (null when not finite)
//   QDateTime                       "YYYY-MM-DDTHH:MM:SSZ" in UTC (whole seconds: the form jq's
//                                   fromdate reads); an invalid one is null
//   ads::AdsDate                    the same from its UTC fields; the zero date is null
//   QByteArray                      base64 string
//   QVariantList, QStringList       array
//   cli::output::JsonObject         object
//   ads::DnWithBinary / DnWithString  their directory text ("B:8:0A1B2C3D:CN=...", "S:3:abc:CN=...")
#include <QList>
#include <QMetaType>
#include <QPair>
#include <QString>
#include <QTextStream>
#include <QVariant>

namespace cli::output {

// An object whose members keep their order.
struct JsonObject {
    QList<QPair<QString, QVariant>> members;
    JsonObject &add(const QString &name, const QVariant &value)
    {
        members.append({name, value});
        return *this;
    }
};

// The JSON text of one value (see above).
QString jsonText(const QVariant &value);

// Writes one object per line to out.
class JsonLinesWriter {
public:
    explicit JsonLinesWriter(QTextStream &out) : m_out(out) {}
    void write(const JsonObject &object);

private:
    QTextStream &m_out;
};

} // namespace cli::output

Q_DECLARE_METATYPE(cli::output::JsonObject)
