#include "platform/adsi/adswrites.h"

#include "platform/adsi/adserror.h"
#include "platform/adsi/adsinternal.h"

#include <mutex>

namespace ads {

namespace {
std::mutex g_mutex;
std::shared_ptr<WriteRecorder> g_recorder;
} // namespace

void setWriteRecorder(std::shared_ptr<WriteRecorder> recorder)
{
    std::lock_guard lock(g_mutex);
    g_recorder = std::move(recorder);
}

std::shared_ptr<WriteRecorder> writeRecorder()
{
    std::lock_guard lock(g_mutex);
    return g_recorder;
}

WriteOutcome writeOutcomeOf(HRESULT status, bool sent)
{
    if (succeeded(status))
        return WriteOutcome::Written;
    if (!sent)
        return WriteOutcome::Refused;
    // No answer came: the server did not answer in time (1460), the connection broke
    // (server down) or the wait was stopped (1223). The server may have applied the change.
    if (writeOutcomeUnknown(status) || status == hresultFromWin32(1460) || status == HR_DS_SERVER_DOWN || status == hresultFromWin32(1223))
        return WriteOutcome::NotKnown;
    return WriteOutcome::Refused;
}

namespace detail {

WriteCall::WriteCall(std::shared_ptr<Connection> conn) : m_recorder(writeRecorder()), m_conn(std::move(conn)) {}

HRESULT WriteCall::begin(WriteRequest request)
{
    if (!m_recorder)
        return S_OK;
    m_request = std::move(request);
    if (m_conn) {
        m_request.server = m_conn->host() + QLatin1Char(':') + QString::number(m_conn->port());
        m_request.identity = m_conn->boundIdentity();
    }
    const HRESULT h = m_recorder->aboutToWrite(m_request, &m_ticket);
    if (failed(h))
        return h;
    m_begun = true;
    return S_OK;
}

void WriteCall::end(HRESULT status, bool sent, int sdMask)
{
    if (!m_begun)
        return;
    m_begun = false;
    WriteResult result;
    result.status = status;
    result.outcome = writeOutcomeOf(status, sent);
    if (failed(status)) {
        std::uint32_t code = 0;
        QString text, provider;
        ADsGetLastError(&code, &text, &provider);
        result.reason = text.trimmed();
        if (result.reason.isEmpty())
            result.reason = systemMessage(status).trimmed();
    } else if (!m_request.readBack.isEmpty() && m_conn) {
        // The stored form after the write; reading it must not leave an error behind for a
        // write that succeeded.
        QList<QByteArray> names;
        bool sd = false;
        for (const QString &n : m_request.readBack) {
            names.append(n.toUtf8());
            sd = sd || n.compare(QLatin1String("nTSecurityDescriptor"), Qt::CaseInsensitive) == 0;
        }
        QList<RawAttribute> raw;
        const QString dn = m_request.dn;
        if (succeeded(readEntry(m_conn, dn, names, sd ? sdMask : -1, &raw)))
            for (const RawAttribute &a : raw)
                result.stored.append({a.name, a.values});
        clearLastError();
    }
    m_recorder->written(m_ticket, m_request, result);
}

} // namespace detail

} // namespace ads
