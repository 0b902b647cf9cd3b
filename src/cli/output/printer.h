#pragma once
// What the listing commands of arvendel-cli share to print their rows: the --output option
// and one printer that writes each row as it comes in the chosen form — the tool's row text,
// JSON Lines or LDIF.
//
// Directory entries (search, report run) are typed from the server's schema: an attribute
// that is multi-valued there is always an array, a single-valued one a scalar; large integers
// that hold file times (pwdLastSet, accountExpires, lastLogon...) and generalized times are
// UTC times, 0 and the largest value ("never") null; binary values base64. An attribute asked
// for by name that the object lacks is null (an empty array when multi-valued). LDIF gives
// the values exactly as the server sent them.
#include "cli/output/jsonlines.h"
#include "cli/output/ldif.h"
#include "core/unSearch.h"

#include <QCommandLineParser>
#include <QStringList>
#include <QTextStream>
#include <QVariant>

namespace cli::output {

enum class Format { Text, Json, Ldif };

// Adds --output (text, json, and ldif where allowed) to a command's options.
void addFormatOption(QCommandLineParser &parser, bool ldif);
// The format --output names: false with a message for a name the command does not take.
bool formatFromOptions(const QCommandLineParser &parser, bool ldif, Format *format, QString *error);
// "json" / "ldif" / "text" (case ignored) as a format; false for any other name.
bool parseFormat(const QString &name, Format *format);

// The JSON value of a search column (see above).
QVariant jsonValue(const ads::SearchColumn &column, const ads::SchemaMap *schema);

class Printer {
public:
    Printer(QTextStream &out, Format format) : m_out(out), m_format(format), m_json(out), m_ldif(out) {}
    Format format() const { return m_format; }
    bool wantsEntries() const { return m_format != Format::Text; }

    // A search or report row: in text the row as rowtext formats it, else the entry the row
    // was read from. names: the attributes asked for, in order (empty: every returned one).
    void row(const QVariant &row, const QStringList &names, const TSearchEntry &entry);
    // A row of named fields of one directory object (dn empty for rows that are not objects):
    // JSON {"dn": ..., fields...}; LDIF the fields as attributes (empty ones left out). Text
    // has no general form here: the commands print their own.
    void record(const QString &dn, const JsonObject &fields);

    int rows() const { return m_rows; }
    // Flushes; "N rows" to countTo when given (the commands' --count).
    void finish(QTextStream *countTo = nullptr);

private:
    QTextStream &m_out;
    Format m_format;
    JsonLinesWriter m_json;
    LdifWriter m_ldif;
    int m_rows = 0;
};

} // namespace cli::output
