#pragma once
// Helpers of the network window tests: the network domain's DNS as the browser's, waiting
// while events are processed, answering a modal dialog, running the test domain script.
#include "platform/netenum/netenum.h"
#include "support/testdomain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace nettest {

inline void useDomainDns()
{
    netenum::Options o;
    o.systemDomains = false;
    o.domains = {testsupport::fact("DNS_DOMAIN")};
    netenum::parseDnsServer(testsupport::fact("DNS_SERVER"), &o.dns);
    netenum::setOptions(o);
    netenum::setKnownDomains({});
    netenum::clearCredentials();
}

inline bool waitFor(const std::function<bool()> &pred, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!pred() && t.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    return pred();
}

// Runs handler on the first modal dialog of type T that opens within ms.
template <typename T> void whenModal(std::function<void(T *)> handler, int ms = 20000)
{
    auto *timer = new QTimer;
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    QObject::connect(timer, &QTimer::timeout, [timer, handler, started, ms] {
        if (auto *d = qobject_cast<T *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            handler(d);
        } else if (started->elapsed() > ms) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(20);
}

inline int runDomainScript(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral("bash"),
            QStringList{qEnvironmentVariable("ARV_SOURCE_DIR") + QStringLiteral("/tests/domain/testdomain.sh")} + args +
                QStringList{QStringLiteral("--dir"), testsupport::domainDir()});
    p.waitForFinished(300000);
    return p.exitCode();
}

inline QTreeWidgetItem *child(QTreeWidgetItem *parent, const QString &text)
{
    for (int i = 0; parent && i < parent->childCount(); ++i)
        if (parent->child(i)->text(0) == text)
            return parent->child(i);
    return nullptr;
}

inline QStringList childTexts(const QTreeWidgetItem *parent)
{
    QStringList s;
    for (int i = 0; parent && i < parent->childCount(); ++i)
        s << parent->child(i)->text(0);
    return s;
}

} // namespace nettest
