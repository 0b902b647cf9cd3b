// Opening a file for the user with the desktop's application for it. An object file of its
// own: the workbook and document writers are also used by arvendel-cli, which has no desktop
// and does not load the window libraries this needs.
#include "platform/office/workbook.h"

#include <QDesktopServices>
#include <QMutex>
#include <QUrl>

namespace office {

namespace {
QMutex g_hookLock;
std::function<bool(const QString &)> &hook()
{
    static std::function<bool(const QString &)> h;
    return h;
}
}  // namespace

bool openWithDesktop(const QString &path)
{
    std::function<bool(const QString &)> h;
    {
        QMutexLocker lock(&g_hookLock);
        h = hook();
    }
    if (h)
        return h(path);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void setOpenWithDesktopHook(std::function<bool(const QString &)> h)
{
    QMutexLocker lock(&g_hookLock);
    hook() = std::move(h);
}

} // namespace office
