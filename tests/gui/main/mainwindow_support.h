#pragma once
// Helpers of the main window tests: a private settings file, settings for the test domain,
// waiting while the window keeps processing events, answering modal dialogs, and a stub
// LDAP server whose RootDSE has no default naming context.
#include "core/unConnection.h"
#include "support/modal.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <functional>
#include <thread>

namespace mwtest {

// Points the settings store at a fresh file for the life of the object.
class TempSettings {
public:
    TempSettings();
    ~TempSettings();
    QString file() const;

private:
    QTemporaryDir dir_;
};

// Settings for the test domain: its address, LDAP port, the administrator, simple bind.
TConnectionSettings domainSettings();

// Processes events until pred holds or ms pass; returns pred().
bool waitFor(const std::function<bool()> &pred, int ms);

using testsupport::whenModal;

// A tiny LDAP server on 127.0.0.1: accepts any bind and answers every search with one entry
// (the RootDSE) that has no defaultNamingContext.
class StubLdapServer {
public:
    StubLdapServer();
    ~StubLdapServer();
    int port() const { return port_; }
    int searches() const { return searches_.load(); }

private:
    void serve();
    void session(int fd);
    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> searches_{0};
    std::thread thread_;
};

} // namespace mwtest
