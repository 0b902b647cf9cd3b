#pragma once
// Helpers of the network window tests: the network domain's DNS as the browser's, running the
// test domain script; waiting and answering modal dialogs as the main window tests do.
#include "gui/main/mainwindow_support.h"
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

using mwtest::waitFor;
using mwtest::whenModal;

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
