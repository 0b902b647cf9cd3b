#pragma once
// Find and replace across users, without widgets: the attributes offered, the condition
// filter, placeholder substitution, the preview search and the apply loop with its log.
// The window (TfrmFindAndReplace) and `arvendel-cli replace` both drive these classes.
//
//   findreplace::Rule rule;  rule.attribute = *findreplace::attributeByName("title"); ...
//   findreplace::ReplaceRun run(ConnectionContext());
//   QString error = run.preview(rule, containerPath, subtree, extraFilter, onRow);
//   findreplace::ReplaceLog log;  log.open(path, &error);
//   run.apply(rows, &log, hooks);
//
// Apply writes each ticked row with one modify that deletes exactly the values the preview
// read and adds the target value (only an add when the preview saw no value). A user that
// someone else changed in between fails that modify ("no such value" / "value exists") and
// is marked skipped instead of being overwritten, and no extra read is needed for it.
#include "core/unConnection.h"
#include "main/unCatalogue.h"

#include <QDateTime>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>
#include <optional>
#include <vector>

namespace findreplace {

enum class Page { Main, Memo, Country, Manager, Booleans };
enum class Where { IsExactly, Start, End, Contains, IsNot };

// One attribute of the list: its catalogue entry and the page that states its condition.
struct Attribute {
    const ADSIUserField *field = nullptr;
    Page page = Page::Main;
    bool mailboxOnly = false;  // extensionAttribute1..15: only users with a mailbox

    QString ldapName() const { return field ? field->ldapName.toString() : QString(); }
    QString caption() const { return field ? field->caption.toString() : QString(); }
    qint32 key() const { return field ? field->key : -1; }
    int maxLength() const { return field ? field->maxLength : 0; }
    bool isBoolean() const { return field && field->type == FieldType::Boolean; }
};

// The 39 attributes in list order.
const std::vector<Attribute> &allAttributes();
// Those passing the schema test: with a loaded list of the directory's attribute names, the
// trimmed LDAP name must be in it (case ignored); without one every attribute passes.
std::vector<Attribute> offeredAttributes(bool schemaLoaded, const QStringList &schemaNames);
// By LDAP name (case ignored); nullptr when it is not one of the 39.
const Attribute *attributeByName(const QString &ldapName);

// The placeholders of the replace text, in their order; "<%CURRENT%>" is the last.
const QStringList &placeholders();
inline const QString kCurrentPlaceholder = QStringLiteral("<%CURRENT%>");
inline const QString kBlank = QStringLiteral("<blank>");  // shown for "no value"; never written

// What to find and what to put instead.
struct Rule {
    Attribute attribute;
    // Find side. Main and Memo: the text; Manager: a distinguished name; Booleans: "TRUE",
    // "FALSE" or empty (any value). Country: findCountry (index into the country table, -1
    // for none).
    QString find;
    int findCountry = -1;
    bool valueNotSet = false;
    Where where = Where::IsExactly;  // Country, Manager, Booleans use IsExactly / IsNot only
    // Replace side. Main: the text (placeholders allowed); Memo: the text as typed; Manager: a distinguished
    // name; Booleans: "TRUE" or "FALSE". Country: replaceCountry.
    QString replace;
    int replaceCountry = -1;
    bool clear = false;
};

// The checks Preview makes before searching, in order. An empty replace text on the Main,
// Memo and Manager pages means Clear Value (the rule is changed so). Returns the refusal text,
// empty when the rule may run.
QString prepareRule(Rule &rule);

// The condition of the chosen page ("(title=x)", "(!(title=*))", ...); always a valid filter.
QString conditionFilter(const Rule &rule);
// "(&(objectCategory=person)(objectClass=user)<condition><extra>)". An extra restriction
// that is no valid filter gives an empty result and *error.
QString fullQuery(const Rule &rule, const QString &extraRestriction, QString *error = nullptr);
// Attributes of the users the placeholders of the replace text need (none when clearing).
QStringList placeholderAttributes(const Rule &rule);
// Every attribute the preview search asks for.
QStringList searchAttributes(const Rule &rule);

// Replaces each placeholder (case ignored) in one pass: a value that itself holds
// placeholder text is not substituted again. values: lower-case attribute name -> text.
QString substitutePlaceholders(const QString &text, const QHash<QString, QString> &values,
                               const QString &current);

// A directory value as the list shows it: texts as they are, booleans "TRUE"/"FALSE",
// several values joined with "; ". Empty for no value.
QString valueText(const QVariant &value);
// A value as the list of its single values (empty for none).
QVariantList valueList(const QVariant &value);

// NotKnown: the write went out and no answer came (ads::writeOutcomeUnknown): it may have been
// applied, so the row is neither failed nor succeeded.
enum Status : int { NotApplied = -1, Failed = 0, Succeeded = 1, Skipped = 2, NotDone = 3, NotKnown = 4 };

// One previewed user.
struct Row {
    QString cn;
    QString dn;
    QByteArray guid;             // objectGUID, for the change journal
    QVariantList current;        // the values the preview read (co on the Country page)
    QVariantList currentC;       // Country page: c and countryCode as read
    QVariantList currentCountryCode;
    QString currentText;         // empty when there was no value
    bool clear = false;          // the target is "no value"
    QString target;              // the value to write (the country's name on the Country page)
    int targetCountry = -1;
    int status = NotApplied;
    bool selected = true;
    QString outcome;             // the log's outcome text after Apply

    QString currentShown() const { return current.isEmpty() ? kBlank : currentText; }
    QString targetShown() const { return clear ? kBlank : target; }
};

// The log of an Apply: UTF-8 text, CR LF line ends, each row's line written and flushed as
// soon as the row is done. Values are escaped so that one row stays one line: "\" -> "\\",
// CR -> "\r", LF -> "\n", TAB -> "\t".
class ReplaceLog {
public:
    ReplaceLog() = default;
    ~ReplaceLog();
    // Opens path for appending (a separator first when the file has content) or creates it.
    bool open(const QString &path, QString *error);
    bool isOpen() const { return file_.isOpen(); }
    void header(const Attribute &attribute, const QDateTime &start);
    void row(const Row &row, const QString &oldText, const QString &newText);
    void trailer(const QDateTime &end, bool stopped, int visited, qint64 seconds);
    void close();
    // A line that could not be written (a full disk, a removed drive): the first error's text.
    // Apply stops at the next row, since rows it cannot log are rows nobody could trace.
    bool failed() const { return !error_.isEmpty(); }
    QString errorText() const { return error_; }
    static QString escape(const QString &value);
    static QString timeText(const QDateTime &t);

private:
    void line(const QString &text);
    QFile file_;
    QString error_;
};

struct ApplySummary {
    int visited = 0;
    int succeeded = 0;
    int failed = 0;
    int skipped = 0;
    int notDone = 0;
    int notKnown = 0;  // sent without an answer: may have been applied
    bool stopped = false;
    bool serverLost = false;
    bool logFailed = false;  // the log could not be written: the rows after it were left alone
    bool journalRefused = false;  // the change journal could not be written: the rest were left alone
    QString journalRun;      // the run's id in the change journal (journal undo --run takes it)
};

struct ApplyHooks {
    std::function<bool()> stopRequested;               // tested after each row
    std::function<void(int index, int handled)> rowDone;  // after each ticked row
};

// Preview and Apply with one connection context.
class ReplaceRun {
public:
    explicit ReplaceRun(TConnectionContext context);

    // Searches below containerPath (an ADsPath) and calls onRow for each found user in the
    // order returned; onRow returns false to stop. Returns the refusal or error text (empty
    // on success). A target longer than the attribute's catalogue limit ends the preview
    // with a refusal naming the user, so such a value never reaches Apply.
    QString preview(Rule &rule, const QString &containerPath, bool subtree, const QString &extraRestriction,
                    const std::function<bool(Row &&row)> &onRow);

    // Writes one row (see the top of this file) and sets its status and outcome. Returns
    // false when the server could not be reached, so that the loop can stop.
    bool applyRow(const Rule &rule, Row &row);

    // Writes the ticked rows in order, one modify each; unticked rows are visited but never
    // written or logged. After the server is lost the remaining ticked rows are marked
    // NotDone and logged so. The log (may be null) gets header, rows and trailer.
    ApplySummary apply(const Rule &rule, std::vector<Row> &rows, ReplaceLog *log, const ApplyHooks &hooks = {});

    bool stopped() const { return stopped_; }
    // The last preview was refused (a rule check or a value over the length limit), as
    // opposed to ending with a directory error: its rows must not be applied.
    bool refused() const { return refused_; }

private:
    TConnectionContext ctx_;
    bool stopped_ = false;
    bool refused_ = false;
    bool journalRefused_ = false;
};

// The text of a failure status for the log and the list: the program's error text on one
// line.
QString errorLine(ads::HRESULT status);

} // namespace findreplace
