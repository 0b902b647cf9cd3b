#include "groups/unEnumMembersThread.h"

#include "core/unConnection.h"
#include "core/unSearch.h"
#include "core/unValues.h"
#include "platform/adsi/adsconnection.h"
#include "platform/adsi/adspath.h"

#include <QMutex>
#include <QSet>

namespace groups {

namespace {

QVariant firstValue(const QVariant &v)
{
    if (v.typeId() == QMetaType::QVariantList) {
        const QVariantList l = v.toList();
        return l.isEmpty() ? QVariant() : l.first();
    }
    return v;
}

const int kMetaTypeRegistered = qRegisterMetaType<groups::TPreviewMember>("groups::TPreviewMember");

// Every preview thread from its making to its end of life.
QMutex g_previewsMutex;
QSet<TEnumMembersThread *> g_previews;

} // namespace

TDynamicGroupQuery ReadDynamicGroupQuery(const QString &groupDn)
{
    ads::ObjectPtr g;
    CheckADSIResult(OpenWithContext(groupDn, &g));
    TDynamicGroupQuery q;
    g->GetInfoEx({QStringLiteral("msExchDynamicDLBaseDN"), QStringLiteral("msExchDynamicDLFilter")});
    ads::PropertyEntry e;
    if (ads::succeeded(g->GetPropertyItem(QStringLiteral("msExchDynamicDLBaseDN"), &e)) && !e.values.isEmpty())
        q.BaseDn = e.values.first().toString();
    if (ads::succeeded(g->GetPropertyItem(QStringLiteral("msExchDynamicDLFilter"), &e)) && !e.values.isEmpty())
        q.Filter = e.values.first().toString();
    return q;
}

QString PreviewPath(const QString &baseDn) { return PreviewPath(ConnectionContextSnapshot(), baseDn); }

QString PreviewPath(const TConnectionContext &context, const QString &baseDn)
{
    const QString prefix = context.ServerPrefix;
    return baseDn.trimmed().isEmpty() ? prefix : prefix + ads::escapePathDn(baseDn.trimmed());
}

void PreviewMembers(const QString &baseDn, const QString &filter,
                    const std::function<bool(const TPreviewMember &)> &onRow)
{
    PreviewMembers(ConnectionContextSnapshot(), baseDn, filter, onRow);
}

void PreviewMembers(const TConnectionContext &context, const QString &baseDn, const QString &filter,
                    const std::function<bool(const TPreviewMember &)> &onRow)
{
    TQelADSISearching s;
    s.setADsPath(PreviewPath(context, baseDn));
    ApplyContextCredentials(s, context);
    s.setAttributes(QStringLiteral("cn,canonicalName,distinguishedName"));
    // The group's own filter, as stored: the directory judges it and names what is wrong.
    s.setFilter(filter);
    s.setSearchScope(ads::ADS_SCOPE_SUBTREE);
    s.setSizeLimit(0);
    s.setPageSize(100);
    s.ExecuteSearch();
    QVariant row;
    s.GetFirstRow(row);
    while (row.isValid()) {
        const QVariantList cols = row.toList();
        if (cols.size() >= 3) {
            TPreviewMember m;
            m.Name = firstValue(cols.at(0)).toString();
            m.Folder = ParentCanonicalName(firstValue(cols.at(1)).toString());
            m.DistinguishedName = firstValue(cols.at(2)).toString();
            if (!onRow(m))
                break;
        }
        s.GetNextRow(row);
    }
    s.CloseSearch();
}

void StopMemberPreviews()
{
    // Held throughout, so that no preview is destroyed (or made) while it is being stopped;
    // the workers themselves never take it.
    QMutexLocker lock(&g_previewsMutex);
    for (TEnumMembersThread *t : std::as_const(g_previews))
        t->Terminate();
    for (TEnumMembersThread *t : std::as_const(g_previews))
        t->wait();
}

TEnumMembersThread::TEnumMembersThread(QString baseDn, QString filter, QObject *parent)
    : QThread(parent), m_base(std::move(baseDn)), m_filter(std::move(filter)), m_context(ConnectionContextSnapshot())
{
    setObjectName(QStringLiteral("TEnumMembersThread"));
    (void)kMetaTypeRegistered;
    static const bool stopsAtDisconnect = [] {
        AddDisconnectHandler(StopMemberPreviews);
        return true;
    }();
    (void)stopsAtDisconnect;
    QMutexLocker lock(&g_previewsMutex);
    g_previews.insert(this);
}

TEnumMembersThread::~TEnumMembersThread()
{
    requestInterruption();
    wait();
    QMutexLocker lock(&g_previewsMutex);
    g_previews.remove(this);
}

void TEnumMembersThread::run()
{
    QString error;
    {
        // A stop request also abandons a page the server has not answered yet.
        ads::WaitHookScope hook([this] { return !isInterruptionRequested(); });
        try {
            PreviewMembers(m_context, m_base, m_filter, [this](const TPreviewMember &m) {
                if (isInterruptionRequested())
                    return false;
                m_rows.fetchAndAddOrdered(1);
                emit memberFound(m);
                return !isInterruptionRequested();
            });
        } catch (const Exception &e) {
            if (!isInterruptionRequested())
                error = e.Message();
        }
    }
    m_error = error;
    emit enumerationEnded(error);
}

} // namespace groups
