#include "journal/undo.h"

#include "journal/recorder.h"
#include "platform/adsi/adsconnection.h"
#include "platform/adsi/adserror.h"
#include "platform/adsi/adsobject.h"
#include "platform/adsi/adspath.h"
#include "platform/adsi/adsschema.h"
#include "platform/adsi/adssearch.h"
#include "platform/adsi/adsvalue.h"

#include <QHash>

#include <algorithm>

namespace journal {

namespace {

QList<QByteArray> bytesOf(const QList<Value> &values)
{
    QList<QByteArray> out;
    for (const Value &v : values)
        out.append(v.bytes);
    return out;
}

bool sameSet(QList<QByteArray> a, QList<QByteArray> b)
{
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    return a == b;
}

QString oneLine(ads::HRESULT h) { return GetADSIErrorText(h).replace(QStringLiteral("\r\n"), QStringLiteral(" ")).simplified(); }

// The directory refuses an undo of an object changed since with one of these: a value to
// delete is no longer there, a value to add is there already, or a single-valued attribute
// holds another value now.
bool changedMeanwhile(ads::HRESULT h)
{
    return h == ads::hresultFromWin32(8202) || h == ads::hresultFromWin32(8205) || h == ads::HR_DS_CONSTRAINT_VIOLATION;
}

bool caseIgnored(ads::AdsType t)
{
    return t == ads::ADSTYPE_DN_STRING || t == ads::ADSTYPE_CASE_IGNORE_STRING || t == ads::ADSTYPE_PRINTABLE_STRING
        || t == ads::ADSTYPE_NUMERIC_STRING || t == ads::ADSTYPE_OBJECT_CLASS;
}

bool sameValue(ads::AdsType t, const QVariant &a, const QVariant &b)
{
    if (caseIgnored(t) && a.metaType().id() == QMetaType::QString && b.metaType().id() == QMetaType::QString)
        return a.toString().compare(b.toString(), Qt::CaseInsensitive) == 0;
    return a == b;
}

qsizetype indexOfValue(ads::AdsType t, const QVariantList &list, const QVariant &v)
{
    for (qsizetype i = 0; i < list.size(); ++i)
        if (sameValue(t, list[i], v))
            return i;
    return -1;
}

QString shown(const QVariant &v)
{
    if (v.metaType().id() == QMetaType::QByteArray)
        return QStringLiteral("(%1 bytes)").arg(v.toByteArray().size());
    return v.toString();
}

QString filterBytes(const QByteArray &b)
{
    QString f;
    for (unsigned char c : b)
        f += QStringLiteral("\\%1").arg(c, 2, 16, QLatin1Char('0'));
    return f;
}

} // namespace

QString undoStateText(UndoState s)
{
    switch (s) {
    case UndoState::Ready: return QStringLiteral("ready");
    case UndoState::ChangedSince: return QStringLiteral("changed since");
    case UndoState::NotFound: return QStringLiteral("not found");
    case UndoState::NothingToDo: return QStringLiteral("nothing to undo");
    case UndoState::Undone: return QStringLiteral("undone");
    case UndoState::Failed: return QStringLiteral("failed");
    case UndoState::NotKnown: return QStringLiteral("not known");
    case UndoState::NotDone: return QStringLiteral("not done");
    }
    return {};
}

UndoPlan planUndo(const QList<Entry> &entries)
{
    UndoPlan plan;
    QList<const Entry *> newestFirst;
    for (const Entry &e : entries)
        newestFirst.append(&e);
    std::stable_sort(newestFirst.begin(), newestFirst.end(),
                     [](const Entry *a, const Entry *b) { return a->time > b->time; });
    QHash<QString, qsizetype> byObject;
    // Per object and attribute: the step that adds the values an older entry must have left
    // (its "after"), so that a chain of changes a -> b -> c becomes delete c, add a.
    struct Tail {
        bool active = false;
        qsizetype addStep = -1;
        QList<QByteArray> adds;
    };
    QHash<QString, Tail> tails;
    for (const Entry *e : newestFirst) {
        if (!e->undoable()) {
            plan.skipped.append({e->id, e->dn, e->notUndoableReason()});
            continue;
        }
        const QString key = e->guid.isEmpty() ? QStringLiteral("dn:") + e->dn.toLower()
                                              : QStringLiteral("guid:") + QString::fromLatin1(e->guid.toHex());
        auto found = byObject.constFind(key);
        if (found == byObject.constEnd()) {
            UndoObject o;
            o.guid = e->guid;
            o.recordedDn = e->dn;
            o.currentDn = e->dn;
            plan.objects.append(o);
            found = byObject.insert(key, plan.objects.size() - 1);
        }
        UndoObject &o = plan.objects[*found];
        o.entryIds.append(e->id);
        if (!e->outcomeRecorded || e->outcome == Outcome::NotKnown)
            o.notes.append(QStringLiteral("entry %1: whether it was written is not known; it is put back only if it was")
                               .arg(e->id));
        for (const Change &c : e->changes) {
            if (!c.undoable()) {
                o.notes.append(QStringLiteral("%1: %2").arg(c.attribute, c.notUndoableReason()));
                continue;
            }
            const QList<QByteArray> before = bytesOf(c.before), after = bytesOf(c.after);
            if (c.undo == UndoRule::ReplaceIfUnchanged) {
                auto step = std::find_if(o.steps.begin(), o.steps.end(), [&](const UndoStep &s) {
                    return s.kind == UndoStep::ReplaceIfUnchanged && s.attribute.compare(c.attribute, Qt::CaseInsensitive) == 0;
                });
                if (step != o.steps.end()) {
                    step->values = before;  // an older write: its "before" is the one to restore
                    continue;
                }
                if (before.isEmpty()) {
                    // Never a descriptor of nothing: that is no state to go back to.
                    o.notes.append(QStringLiteral("%1: the value before was not recorded").arg(c.attribute));
                    continue;
                }
                const QList<QByteArray> *stored = e->storedValues(c.attribute);
                const QByteArray expected = stored && !stored->isEmpty() ? stored->first() : after.value(0);
                o.steps.append({UndoStep::ReplaceIfUnchanged, c.attribute, before, expected});
                continue;
            }
            Tail &tail = tails[key + QLatin1Char('|') + c.attribute.toLower()];
            if (tail.active && sameSet(tail.adds, after)) {
                // This older write left exactly what the newer one replaced: the values to
                // add become the ones this write replaced.
                if (tail.addStep >= 0) {
                    o.steps[tail.addStep].values = before;
                } else if (!before.isEmpty()) {
                    o.steps.append({UndoStep::AddValues, c.attribute, before, {}});
                    tail.addStep = o.steps.size() - 1;
                }
                tail.adds = before;
                continue;
            }
            if (!after.isEmpty())
                o.steps.append({UndoStep::DeleteValues, c.attribute, after, {}});
            tail.addStep = -1;
            if (!before.isEmpty()) {
                o.steps.append({UndoStep::AddValues, c.attribute, before, {}});
                tail.addStep = o.steps.size() - 1;
            }
            tail.active = true;
            tail.adds = before;
        }
    }
    for (UndoObject &o : plan.objects) {
        // A chain whose oldest write added to an empty attribute leaves an add of nothing.
        o.steps.removeIf([](const UndoStep &st) { return st.kind != UndoStep::ReplaceIfUnchanged && st.values.isEmpty(); });
        if (o.steps.isEmpty()) {
            o.state = UndoState::NothingToDo;
            o.detail = o.notes.join(QStringLiteral("; "));
        }
    }
    return plan;
}

UndoRun::UndoRun(TConnectionContext context) : ctx_(std::move(context)) {}

bool UndoRun::locate(UndoObject &o, QHash<QString, QVariantList> *values, QString *error)
{
    error->clear();
    QStringList names{QStringLiteral("distinguishedName")};
    bool sd = false;
    for (const UndoStep &s : o.steps) {
        if (!names.contains(s.attribute, Qt::CaseInsensitive))
            names.append(s.attribute);
        sd = sd || s.kind == UndoStep::ReplaceIfUnchanged;
    }
    const bool byGuid = !o.guid.isEmpty();
    const QString base = byGuid ? ctx_.DomainPath : ctx_.ServerPrefix + ads::escapePathDn(o.recordedDn);
    ads::ObjectPtr root;
    ads::HRESULT h = OpenADsObject(base, ctx_.UserName, ctx_.Password, &root, QString::fromLatin1(ads::IID_IADs),
                                   ctx_.AuthFlags, ctx_.UseCredentials);
    if (h == ads::HR_DS_NO_SUCH_OBJECT && !byGuid)
        return false;
    std::shared_ptr<ads::DirectorySearch> search;
    if (ads::succeeded(h))
        h = root->QueryDirectorySearch(&search);
    if (ads::failed(h)) {
        *error = oneLine(h);
        return false;
    }
    QList<ads::SearchPrefInfo> prefs(2);
    prefs[0].pref = ads::ADS_SEARCHPREF_SEARCH_SCOPE;
    prefs[0].value = byGuid ? int(ads::ADS_SCOPE_SUBTREE) : int(ads::ADS_SCOPE_BASE);
    prefs[1].pref = ads::ADS_SEARCHPREF_SECURITY_MASK;
    prefs[1].value = 7;
    if (!sd)
        prefs.removeLast();
    search->SetSearchPreference(prefs);
    ads::SearchHandle handle = nullptr;
    const QString filter = byGuid ? QStringLiteral("(objectGUID=%1)").arg(filterBytes(o.guid)) : QStringLiteral("(objectClass=*)");
    h = search->ExecuteSearch(filter, names, &handle);
    if (ads::succeeded(h))
        h = search->GetFirstRow(handle);
    if (h != ads::S_OK) {
        if (handle)
            search->CloseSearchHandle(handle);
        if (h == ads::S_ADS_NOMORE_ROWS || h == ads::HR_DS_NO_SUCH_OBJECT)
            return false;
        *error = oneLine(h);
        return false;
    }
    for (const QString &n : names) {
        ads::SearchColumn col;
        if (search->GetColumn(handle, n, &col) == ads::S_OK)
            values->insert(n.toLower(), col.values);
    }
    search->CloseSearchHandle(handle);
    o.currentDn = values->value(QStringLiteral("distinguishedname")).value(0).toString();
    if (o.currentDn.isEmpty())
        o.currentDn = o.recordedDn;
    return true;
}

void UndoRun::preview(UndoPlan &plan, const UndoHooks &hooks)
{
    previewed_ = true;
    int handled = 0;
    for (int i = 0; i < plan.objects.size(); ++i) {
        UndoObject &o = plan.objects[i];
        if (hooks.stopRequested && hooks.stopRequested())
            break;
        if (o.state == UndoState::NothingToDo)
            continue;
        QHash<QString, QVariantList> now;
        QString error;
        if (!locate(o, &now, &error)) {
            o.state = error.isEmpty() ? UndoState::NotFound : UndoState::Failed;
            o.detail = error.isEmpty() ? QStringLiteral("no object with GUID %1 in %2")
                                             .arg(ads::guidToString(o.guid), ctx_.DefaultNamingContext)
                                       : error;
            continue;
        }
        o.state = UndoState::Ready;
        o.detail.clear();
        if (o.currentDn.compare(o.recordedDn, Qt::CaseInsensitive) != 0)
            o.detail = QStringLiteral("renamed or moved since: now %1").arg(o.currentDn);
        // The modify as the directory will run it, on the values the object holds now.
        ads::ObjectPtr conn;
        std::shared_ptr<const ads::SchemaMap> schema;
        if (ads::succeeded(OpenADsObject(ctx_.ServerPrefix + ads::escapePathDn(o.currentDn), ctx_.UserName, ctx_.Password,
                                         &conn, QString(), ctx_.AuthFlags | ads::ADS_FAST_BIND, ctx_.UseCredentials)))
            schema = conn->connection()->schema();
        for (const UndoStep &s : o.steps) {
            const ads::AttributeInfo info = schema ? schema->lookup(s.attribute) : ads::AttributeInfo();
            QVariantList &cur = now[s.attribute.toLower()];
            QString differs;
            if (s.kind == UndoStep::ReplaceIfUnchanged) {
                if (cur.value(0).toByteArray() != s.expected)
                    differs = QStringLiteral("%1 was changed since").arg(s.attribute);
            } else {
                for (const QByteArray &raw : s.values) {
                    const QVariant v = ads::valueFromWire(info.type, raw);
                    const qsizetype at = indexOfValue(info.type, cur, v);
                    if (s.kind == UndoStep::DeleteValues && at < 0) {
                        differs = QStringLiteral("%1 no longer holds %2").arg(s.attribute, shown(v));
                        break;
                    }
                    if (s.kind == UndoStep::AddValues && (at >= 0 || (info.singleValued && !cur.isEmpty()))) {
                        differs = QStringLiteral("%1 now holds %2").arg(s.attribute, shown(cur.value(at >= 0 ? at : 0)));
                        break;
                    }
                    if (s.kind == UndoStep::DeleteValues)
                        cur.removeAt(at);
                    else
                        cur.append(v);
                }
            }
            if (!differs.isEmpty()) {
                o.state = UndoState::ChangedSince;
                o.detail = differs;
                break;
            }
        }
        ++handled;
        if (hooks.objectDone)
            hooks.objectDone(i, handled);
    }
}

UndoSummary UndoRun::apply(UndoPlan &plan, const UndoHooks &hooks)
{
    if (!previewed_)
        preview(plan);
    UndoSummary sum;
    RunScope run(QStringLiteral("undo"));
    sum.runId = run.id();
    int handled = 0;
    for (int i = 0; i < plan.objects.size(); ++i) {
        UndoObject &o = plan.objects[i];
        if (!sum.stopReason.isEmpty() || (hooks.stopRequested && hooks.stopRequested())) {
            sum.stopped = true;
            if (o.state != UndoState::NotFound && o.state != UndoState::NothingToDo) {
                o.state = UndoState::NotDone;
                o.detail = sum.stopReason.isEmpty() ? QStringLiteral("stopped before this object") : sum.stopReason;
                ++sum.notDone;
            }
            continue;
        }
        if (o.state == UndoState::NotFound) {
            ++sum.notFound;
            continue;
        }
        if (o.state == UndoState::NothingToDo || (o.state == UndoState::Failed && o.currentDn.isEmpty()))
            continue;
        ads::ObjectPtr obj;
        ads::HRESULT h = OpenADsObject(ctx_.ServerPrefix + ads::escapePathDn(o.currentDn), ctx_.UserName, ctx_.Password,
                                       &obj, QString::fromLatin1(ads::IID_IADs), ctx_.AuthFlags | ads::ADS_FAST_BIND,
                                       ctx_.UseCredentials);
        bool unchanged = true;
        if (ads::succeeded(h)) {
            obj->setKnownGuid(o.guid);
            for (const UndoStep &s : o.steps) {
                if (s.kind != UndoStep::ReplaceIfUnchanged)
                    continue;
                QVariant v;
                h = obj->GetInfoEx({s.attribute});
                if (ads::failed(h))
                    break;
                if (ads::failed(obj->Get(s.attribute, &v)) || v.toByteArray() != s.expected) {
                    unchanged = false;
                    o.detail = QStringLiteral("%1 was changed since").arg(s.attribute);
                }
            }
        }
        if (ads::succeeded(h) && unchanged) {
            UndoScope undoes(o.entryIds);
            for (const UndoStep &s : o.steps) {
                const int op = s.kind == UndoStep::DeleteValues ? ads::ADS_PROPERTY_DELETE
                               : s.kind == UndoStep::AddValues  ? ads::ADS_PROPERTY_APPEND
                                                                : ads::ADS_PROPERTY_UPDATE;
                if (ads::failed(h = obj->PutExWire(op, s.attribute, s.values)))
                    break;
            }
            if (ads::succeeded(h))
                h = obj->SetInfo();
        }
        if (ads::succeeded(h) && unchanged) {
            o.state = UndoState::Undone;
            ++sum.undone;
        } else if (!unchanged || changedMeanwhile(h)) {
            o.state = UndoState::ChangedSince;
            if (unchanged)
                o.detail = QStringLiteral("left alone: ") + oneLine(h);
            ++sum.changedSince;
        } else if (ads::writeOutcomeOf(h, true) == ads::WriteOutcome::NotKnown) {
            o.state = UndoState::NotKnown;
            o.detail = oneLine(h);
            ++sum.notKnown;
            sum.stopReason = QStringLiteral("the server stopped answering");
        } else {
            o.state = UndoState::Failed;
            o.detail = oneLine(h);
            ++sum.failed;
            if (h == ads::HR_WRITE_NOT_RECORDED)
                sum.stopReason = o.detail;
        }
        ++handled;
        if (hooks.objectDone)
            hooks.objectDone(i, handled);
    }
    return sum;
}

} // namespace journal
