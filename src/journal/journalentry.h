#pragma once
// One entry of the change journal, the rules each written attribute follows (can it be
// undone, is it a secret), and the entry's JSON Lines form.
//
// A write leaves two lines in the day's file: the intent, written before the request goes
// out, and the outcome, written after it ended. Each line is one JSON object that starts with
// {"v":1, so that a reader can find the next record after a line a crash cut short:
//   {"v":1,"type":"intent","id":"...","time":"2025-06-01T10:11:12.345Z","kind":"modify",
//    "server":"dc1.example.com:389","identity":"u:EXAMPLE\\admin","dn":"CN=...",
//    "guid":"{...}","run":"...","runKind":"replace","undoes":[...],
//    "changes":[{"attribute":"description","mode":"replace","encoding":"text",
//                "before":["old"],"after":["new"],"undo":"values"}]}
//   {"v":1,"type":"outcome","id":"...","time":"...","outcome":"written","status":"0x00000000"}
// mode "replace": before/after are every value; mode "values": before holds the values
// removed, after the values added. encoding "base64" for binary values. A value over the
// entry's size budget is {"size":N,"sha256":"<hex>"}. A secret's change has "secret":true
// and no values. outcome: "written", "refused" (with "reason"), "not known" (with "reason").
#include "platform/adsi/adswrites.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

namespace journal {

// How a written attribute is put back.
enum class UndoRule {
    Values,              // delete exactly the values written, add the values before
    ReplaceIfUnchanged,  // the whole value is replaced, when it still is what was written
    None,                // cannot be put back
};

struct AttributeRule {
    UndoRule undo = UndoRule::Values;
    bool secret = false;  // the values are never recorded
    QString why;          // for None: why the attribute cannot be put back
};

// The rule of one attribute; confidential: the schema marks it so.
AttributeRule ruleFor(const QString &attribute, bool confidential = false);
QString ruleName(UndoRule rule);  // "values", "replace-if-unchanged", "none"
UndoRule ruleFromName(const QString &name);

// Every value of an entry together is kept up to this many bytes; a value beyond it is
// recorded by its size and SHA-256 only, and its change cannot be undone.
constexpr qint64 kValueBudget = 1024 * 1024;

struct Value {
    QByteArray bytes;       // the wire value; empty when omitted
    bool omitted = false;   // over the budget: only size and hash were kept
    qint64 size = 0;
    QByteArray sha256Hex;
    bool operator==(const Value &o) const = default;
};

struct Change {
    QString attribute;
    bool whole = true;       // "replace" (every value) or "values" (removed / added)
    bool binary = false;     // recorded as base64
    bool secret = false;     // values not recorded
    UndoRule undo = UndoRule::Values;
    QString why;             // why it cannot be undone, when it cannot
    QList<Value> before;
    QList<Value> after;
    // Rule, secrecy and sizes allow putting it back.
    bool undoable() const;
    QString notUndoableReason() const;
};

enum class Outcome { Written, Refused, NotKnown };
QString outcomeName(Outcome o);  // "written", "refused", "not known"

struct Entry {
    QString id;
    QDateTime time;          // UTC, when the write was about to go out
    QString kind;            // "modify", "add", "delete", "password"
    QString server;
    QString identity;
    QString dn;
    QByteArray guid;         // objectGUID, 16 bytes (empty when not known)
    QString run;             // the run (batch) it belongs to; empty for a single write
    QString runKind;         // "replace", "undo", ...
    QStringList undoes;      // ids of the entries this write puts back
    QList<Change> changes;
    // From the outcome line; without one the write's outcome is not known.
    bool outcomeRecorded = false;
    Outcome outcome = Outcome::NotKnown;
    QString status;          // "0x8007202F"
    QString reason;
    QDateTime outcomeTime;
    // Values as stored after the write, where they were read again (security descriptor).
    QList<std::pair<QString, QList<QByteArray>>> stored;

    QString guidText() const;  // "{...}", empty when not known
    // A written (or possibly written) modify with at least one change that can be put back.
    bool undoable() const;
    QString notUndoableReason() const;
    const QList<QByteArray> *storedValues(const QString &attribute) const;
};

// Builds an entry's intent from what the directory layer is about to send: secrets lose
// their values, binary values turn base64, values beyond the budget shrink to size and hash.
Entry entryFromRequest(const ads::WriteRequest &request);

// The two lines, each ending in "\n".
QByteArray intentLine(const Entry &e);
QByteArray outcomeLine(const Entry &e);

// One parsed line: an intent (a whole entry without outcome) or an outcome (id and outcome
// fields filled in).
struct Record {
    bool intent = true;
    Entry entry;
};
// Parses one line; false when it is not a complete record of ours.
bool parseRecord(const QByteArray &line, Record *out);
// Copies an outcome record's fields into the entry it belongs to.
void applyOutcome(Entry &entry, const Entry &outcome);

// The entry as "journal list --output json" prints it: the intent's fields plus "outcome",
// "status", "reason", "undoable" (and "why" when not).
QJsonObject entryToJson(const Entry &e);

// A value as text for people: the text itself, base64 for binary values, "(N bytes,
// sha256 ...)" when omitted.
QString valueText(const Change &c, const Value &v);

} // namespace journal
