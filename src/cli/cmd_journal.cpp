// arvendel-cli journal: the change journal's entries, undo of entries or of a whole run, and
// how many days it keeps.
#include "cli/cli.h"
#include "journal/journalstore.h"
#include "journal/recorder.h"
#include "journal/undo.h"

#include <QJsonDocument>
#include <QRegularExpression>

namespace {

const QString kUsage = QStringLiteral(
    "Subcommands:\n"
    "  list [--since TIME] [--until TIME] [--dn DN] [--run ID] [--output text|json]\n"
    "                                the entries, oldest first\n"
    "  undo ENTRY... | --run ID [--apply]\n"
    "                                what undo would do; with --apply it writes the values back\n"
    "  retention [DAYS]              the days the journal keeps (0: everything); sets it with DAYS\n"
    "TIME: yyyy-mm-dd, yyyy-mm-ddThh:mm[:ss] (local time unless it ends in Z or +hh:mm), or\n"
    "a time back from now: 30m, 12h, 7d. ENTRY and ID: an id as listed, or its first 8 or more\n"
    "characters.");

// A point in time from the command line; invalid when the text is none.
QDateTime parseTime(const QString &text)
{
    static const QRegularExpression relative(QStringLiteral("^(\\d+)([mhd])$"));
    const auto m = relative.match(text.trimmed());
    if (m.hasMatch()) {
        const qint64 n = m.captured(1).toLongLong();
        const qint64 unit = m.captured(2) == QLatin1String("m") ? 60 : m.captured(2) == QLatin1String("h") ? 3600 : 86400;
        return QDateTime::currentDateTimeUtc().addSecs(-n * unit);
    }
    const QDate day = QDate::fromString(text.trimmed(), Qt::ISODate);
    if (day.isValid())
        return QDateTime(day, QTime(0, 0), Qt::LocalTime).toUTC();
    QDateTime t = QDateTime::fromString(text.trimmed(), Qt::ISODateWithMs);
    if (!t.isValid())
        t = QDateTime::fromString(text.trimmed(), Qt::ISODate);
    return t.toUTC();
}

QString quoted(const QString &s)
{
    QString out = s;
    out.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('"'), QLatin1String("\\\""))
        .replace(QLatin1Char('\n'), QLatin1String("\\n"))
        .replace(QLatin1Char('\r'), QLatin1String("\\r"))
        .replace(QLatin1Char('\t'), QLatin1String("\\t"));
    return QLatin1Char('"') + out + QLatin1Char('"');
}

QString valuesText(const journal::Change &c, const QList<journal::Value> &values)
{
    if (values.isEmpty())
        return QStringLiteral("(none)");
    QStringList parts;
    for (const journal::Value &v : values)
        parts << (v.omitted ? journal::valueText(c, v) : quoted(journal::valueText(c, v)));
    return parts.join(QStringLiteral(", "));
}

QString changesText(const journal::Entry &e)
{
    QStringList parts;
    for (const journal::Change &c : e.changes) {
        if (c.secret) {
            parts << c.attribute + QStringLiteral(": (secret, not recorded)");
            continue;
        }
        const QString arrow = c.whole ? QStringLiteral(" -> ") : QStringLiteral(" -> added ");
        parts << c.attribute + QStringLiteral(": ") + (c.whole ? QString() : QStringLiteral("removed "))
                     + valuesText(c, c.before) + arrow + valuesText(c, c.after);
    }
    return parts.join(QStringLiteral("; "));
}

// The entries of ids (whole or a unique prefix of 8 or more characters); error names the
// first that matches none or several.
QList<journal::Entry> pickEntries(const QList<journal::Entry> &all, const QStringList &ids, QString *error)
{
    QList<journal::Entry> out;
    for (const QString &id : ids) {
        QList<const journal::Entry *> found;
        for (const journal::Entry &e : all)
            if (e.id == id || (id.size() >= 8 && e.id.startsWith(id, Qt::CaseInsensitive)))
                found.append(&e);
        if (found.size() != 1) {
            *error = found.isEmpty() ? QStringLiteral("no journal entry %1").arg(id)
                                     : QStringLiteral("%1 names several entries; give more of the id").arg(id);
            return {};
        }
        out.append(*found.first());
    }
    return out;
}

// The entries of a run (its whole id or a unique prefix).
QList<journal::Entry> runEntries(const QList<journal::Entry> &all, const QString &run, QString *error)
{
    QSet<QString> runs;
    for (const journal::Entry &e : all)
        if (!e.run.isEmpty() && (e.run == run || (run.size() >= 8 && e.run.startsWith(run, Qt::CaseInsensitive))))
            runs.insert(e.run);
    if (runs.size() != 1) {
        *error = runs.isEmpty() ? QStringLiteral("no run %1 in the journal").arg(run)
                                : QStringLiteral("%1 names several runs; give more of the id").arg(run);
        return {};
    }
    QList<journal::Entry> out;
    for (const journal::Entry &e : all)
        if (e.run == *runs.begin())
            out.append(e);
    return out;
}

int runList(const QCommandLineParser &parser)
{
    QDateTime since, until;
    if (parser.isSet(QStringLiteral("since")) && !(since = parseTime(parser.value(QStringLiteral("since")))).isValid())
        return cli::usageError(parser, QStringLiteral("--since takes yyyy-mm-dd, yyyy-mm-ddThh:mm[:ss] or 30m, 12h, 7d"));
    if (parser.isSet(QStringLiteral("until")) && !(until = parseTime(parser.value(QStringLiteral("until")))).isValid())
        return cli::usageError(parser, QStringLiteral("--until takes yyyy-mm-dd, yyyy-mm-ddThh:mm[:ss] or 30m, 12h, 7d"));
    const QString output = parser.value(QStringLiteral("output"));
    if (!output.isEmpty() && output != QLatin1String("text") && output != QLatin1String("json"))
        return cli::usageError(parser, QStringLiteral("--output is text or json"));
    journal::Filter filter;
    filter.since = since;
    filter.until = until;
    filter.object = parser.value(QStringLiteral("dn"));
    filter.run = parser.value(QStringLiteral("run"));
    const journal::ReadResult r = journal::readJournal(journal::defaultFolder(), since.date(), until.date());
    for (const QString &p : r.problems)
        cli::err() << "arvendel-cli: " << p << '\n';
    QTextStream &o = cli::out();
    for (const journal::Entry &e : journal::filterEntries(r.entries, filter)) {
        if (output == QLatin1String("json")) {
            o << QString::fromUtf8(QJsonDocument(journal::entryToJson(e)).toJson(QJsonDocument::Compact)) << '\n';
            continue;
        }
        QString outcome = journal::outcomeName(e.outcome);
        if (!e.reason.isEmpty() && e.outcome != journal::Outcome::Written)
            outcome += QStringLiteral(" (") + e.reason + QLatin1Char(')');
        o << e.time.toString(Qt::ISODateWithMs) << '\t' << e.id << '\t' << outcome << '\t'
          << (e.run.isEmpty() ? QStringLiteral("-") : e.run) << '\t' << e.dn << '\t' << changesText(e);
        if (!e.undoable())
            o << "\t(not undoable: " << e.notUndoableReason() << ')';
        o << '\n';
    }
    o.flush();
    if (r.skippedLines > 0) {
        cli::err() << r.skippedLines << " journal lines were cut short or not readable and were skipped\n";
        cli::err().flush();
    }
    return cli::Ok;
}

QString stepsText(const journal::UndoObject &o)
{
    QStringList parts;
    for (const journal::UndoStep &s : o.steps) {
        QStringList values;
        for (const QByteArray &v : s.values)
            values << (s.kind == journal::UndoStep::ReplaceIfUnchanged ? QStringLiteral("(%1 bytes)").arg(v.size())
                                                                        : quoted(QString::fromUtf8(v)));
        const QString verb = s.kind == journal::UndoStep::DeleteValues ? QStringLiteral("delete")
                             : s.kind == journal::UndoStep::AddValues  ? QStringLiteral("add")
                                                                       : QStringLiteral("replace if unchanged");
        parts << QStringLiteral("%1 %2 %3").arg(s.attribute, verb, values.join(QStringLiteral(", ")));
    }
    return parts.join(QStringLiteral("; "));
}

int runUndo(const QCommandLineParser &parser, const QStringList &ids)
{
    const bool byRun = parser.isSet(QStringLiteral("run"));
    if (byRun == !ids.isEmpty())
        return cli::usageError(parser, QStringLiteral("give entry ids or --run ID"));
    const bool apply = parser.isSet(QStringLiteral("apply"));
    const journal::ReadResult r = journal::readJournal();
    QString error;
    const QList<journal::Entry> entries = byRun ? runEntries(r.entries, parser.value(QStringLiteral("run")), &error)
                                                : pickEntries(r.entries, ids, &error);
    if (!error.isEmpty())
        return cli::usageError(parser, error);
    if (apply) {
        int rc = cli::Ok;
        if (!cli::journalWritable(&rc))
            return rc;
    }
    if (const int rc = cli::connectFromOptions(parser); rc != cli::Ok)
        return rc;
    journal::UndoPlan plan = journal::planUndo(entries);
    journal::UndoRun run(ConnectionContext());
    run.preview(plan);
    journal::UndoSummary sum;
    if (apply)
        sum = run.apply(plan);
    QTextStream &o = cli::out();
    for (const journal::UndoObject &obj : plan.objects) {
        o << journal::undoStateText(obj.state) << '\t' << obj.currentDn << '\t' << obj.entryIds.join(QLatin1Char(','))
          << '\t' << stepsText(obj);
        if (!obj.detail.isEmpty())
            o << '\t' << obj.detail;
        o << '\n';
        for (const QString &n : obj.notes)
            o << "\tnote: " << n << '\n';
    }
    for (const journal::SkippedEntry &s : plan.skipped)
        o << "skipped\t" << s.dn << '\t' << s.id << '\t' << s.why << '\n';
    o.flush();
    DisconnectContext();
    if (!apply)
        return cli::Ok;
    cli::err() << sum.undone << " undone, " << sum.changedSince << " changed since, " << sum.notFound << " not found, "
               << sum.failed << " failed, " << sum.notKnown << " not known, " << sum.notDone << " not done, "
               << plan.skipped.size() << " entries skipped\n";
    if (!sum.stopReason.isEmpty())
        cli::err() << "Stopped: " << sum.stopReason << '\n';
    if (!sum.runId.isEmpty())
        cli::err() << "journal run: " << sum.runId << '\n';
    cli::err().flush();
    return sum.changedSince + sum.notFound + sum.failed + sum.notKnown + sum.notDone > 0 ? cli::DirectoryError : cli::Ok;
}

int runRetention(const QCommandLineParser &parser, const QStringList &args)
{
    if (args.size() > 1)
        return cli::usageError(parser, QStringLiteral("retention takes one number of days"));
    if (args.isEmpty()) {
        cli::out() << journal::retentionDays() << '\n';
        cli::out().flush();
        return cli::Ok;
    }
    bool ok = false;
    const int days = args.first().toInt(&ok);
    if (!ok || days < 0 || days > 36500)
        return cli::usageError(parser, QStringLiteral("DAYS is a number from 0 (keep everything) to 36500"));
    if (!journal::setRetentionDays(days))
        return cli::directoryError(QStringLiteral("The setting could not be written."));
    journal::prune(journal::defaultFolder(), days);
    return cli::Ok;
}

int runJournal(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Lists the change journal and undoes its entries.\n") + kUsage);
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("subcommand"), QStringLiteral("list, undo or retention"));
    parser.addOptions({
        {QStringLiteral("since"), QStringLiteral("list: entries from this time on."), QStringLiteral("time")},
        {QStringLiteral("until"), QStringLiteral("list: entries up to this time."), QStringLiteral("time")},
        {QStringLiteral("dn"), QStringLiteral("list: the entries of this object (also under the names it had before)."),
         QStringLiteral("dn")},
        {QStringLiteral("run"), QStringLiteral("list, undo: the entries of this run."), QStringLiteral("id")},
        {QStringLiteral("output"), QStringLiteral("list: text (default) or json (one object per line)."),
         QStringLiteral("format")},
        {QStringLiteral("apply"), QStringLiteral("undo: write the values back (without it: only what would be done).")},
    });
    int exitCode = cli::Ok;
    if (!cli::parseCommandLine(parser, args, &exitCode))
        return exitCode;
    const QStringList pos = parser.positionalArguments().mid(1);
    const QString sub = parser.positionalArguments().value(0);
    if (sub == QLatin1String("list")) {
        if (!pos.isEmpty())
            return cli::usageError(parser, QStringLiteral("list takes no arguments"));
        return runList(parser);
    }
    if (sub == QLatin1String("undo"))
        return runUndo(parser, pos);
    if (sub == QLatin1String("retention"))
        return runRetention(parser, pos);
    return cli::usageError(parser, sub.isEmpty() ? QStringLiteral("give a subcommand: list, undo or retention")
                                                 : QStringLiteral("unknown subcommand %1").arg(sub));
}

} // namespace

ARV_CLI_COMMAND(journal, "list the change journal and undo changes (preview unless --apply)", runJournal);
