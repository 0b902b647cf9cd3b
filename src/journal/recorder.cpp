#include "journal/recorder.h"

#include "platform/adsi/adserror.h"

#include <QUuid>

namespace journal {

namespace {

struct ThreadRun {
    QString id;
    QString kind;
    int depth = 0;
};
thread_local ThreadRun t_run;
thread_local QStringList t_undoes;

std::mutex g_installMutex;
std::shared_ptr<Recorder> g_installed;

QString statusText(ads::HRESULT h)
{
    return QStringLiteral("0x") + QStringLiteral("%1").arg(static_cast<quint32>(h), 8, 16, QLatin1Char('0')).toUpper();
}

Outcome outcomeOf(ads::WriteOutcome o)
{
    switch (o) {
    case ads::WriteOutcome::Written: return Outcome::Written;
    case ads::WriteOutcome::Refused: return Outcome::Refused;
    case ads::WriteOutcome::NotKnown: return Outcome::NotKnown;
    }
    return Outcome::NotKnown;
}

} // namespace

Recorder::Recorder(QString folder) : store_(std::move(folder)) {}

void Recorder::setUnrecordedWritePolicy(std::function<bool(const QString &)> allow)
{
    std::lock_guard lock(mutex_);
    allow_ = std::move(allow);
}

bool Recorder::check(QString *error)
{
    std::lock_guard lock(mutex_);
    return store_.open(QDateTime::currentDateTimeUtc().date(), error);
}

void Recorder::sync()
{
    std::lock_guard lock(mutex_);
    store_.sync();
    sinceSync_.restart();
}

ads::HRESULT Recorder::aboutToWrite(ads::WriteRequest &request, quint64 *ticket)
{
    *ticket = 0;
    Entry e = entryFromRequest(request);
    e.run = t_run.id;
    e.runKind = t_run.kind;
    e.undoes = t_undoes;
    // A descriptor is put back only while it is what this write left: that stored form is
    // read again afterwards. An added object's GUID exists only afterwards.
    for (const ads::WriteChange &c : request.changes)
        if (ruleFor(c.attribute, c.confidential).undo == UndoRule::ReplaceIfUnchanged)
            request.readBack.append(c.attribute);
    if (request.kind == ads::WriteKind::Add)
        request.readBack.append(QStringLiteral("objectGUID"));
    const QDate day = e.time.date();
    std::function<bool(const QString &)> allow;
    QString why;
    {
        std::lock_guard lock(mutex_);
        if (store_.append(day, intentLine(e), &why)) {
            unrecordedAllowed_ = false;
            if (e.run.isEmpty() || !sinceSync_.isValid() || sinceSync_.elapsed() >= 1000) {
                store_.sync();
                sinceSync_.restart();
            }
            *ticket = nextTicket_++;
            pending_[*ticket] = Pending{std::move(e), day};
            return ads::S_OK;
        }
        if (unrecordedAllowed_)
            return ads::S_OK;
        allow = allow_;
    }
    // Asked without the lock: the answer may take a dialog, during which other windows write.
    if (allow && allow(why)) {
        std::lock_guard lock(mutex_);
        unrecordedAllowed_ = true;
        return ads::S_OK;
    }
    ads::ADsSetLastError(29, QStringLiteral("The change journal cannot be written (%1), so the change was not made.")
                                 .arg(why));
    return ads::HR_WRITE_NOT_RECORDED;
}

void Recorder::written(quint64 ticket, const ads::WriteRequest &request, const ads::WriteResult &result)
{
    Q_UNUSED(request);
    if (ticket == 0)
        return;
    std::lock_guard lock(mutex_);
    auto it = pending_.find(ticket);
    if (it == pending_.end())
        return;
    Pending p = std::move(it->second);
    pending_.erase(it);
    Entry &e = p.entry;
    e.outcomeRecorded = true;
    e.outcome = outcomeOf(result.outcome);
    e.status = statusText(result.status);
    e.reason = result.reason;
    e.outcomeTime = QDateTime::currentDateTimeUtc();
    for (const auto &s : result.stored) {
        if (s.first.compare(QLatin1String("objectGUID"), Qt::CaseInsensitive) == 0) {
            if (!s.second.isEmpty())
                e.guid = s.second.first();
        } else {
            e.stored.append(s);
        }
    }
    // Nothing more can be done when this line cannot be written: the intent stays and the
    // write shows as "not known".
    store_.append(p.day, outcomeLine(e), nullptr);
}

std::shared_ptr<Recorder> install(const QString &folder)
{
    prune(folder, retentionDays());
    auto r = std::make_shared<Recorder>(folder);
    {
        std::lock_guard lock(g_installMutex);
        g_installed = r;
    }
    ads::setWriteRecorder(r);
    return r;
}

void uninstall()
{
    {
        std::lock_guard lock(g_installMutex);
        g_installed.reset();
    }
    ads::setWriteRecorder(nullptr);
}

std::shared_ptr<Recorder> installedRecorder()
{
    std::lock_guard lock(g_installMutex);
    return g_installed;
}

RunScope::RunScope(const QString &kind)
{
    if (t_run.depth++ > 0)
        return;
    outer_ = true;
    t_run.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    t_run.kind = kind;
}

RunScope::~RunScope()
{
    if (--t_run.depth > 0)
        return;
    t_run.id.clear();
    t_run.kind.clear();
    if (outer_)
        if (auto r = installedRecorder())
            r->sync();
}

QString RunScope::id() const { return t_run.id; }

QString RunScope::current() { return t_run.id; }

UndoScope::UndoScope(const QStringList &entryIds) : saved_(t_undoes) { t_undoes = entryIds; }

UndoScope::~UndoScope() { t_undoes = saved_; }

} // namespace journal
