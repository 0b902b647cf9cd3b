#pragma once
// Helpers of the main window tests: a private settings file, settings for the test domain,
// waiting while the window keeps processing events, answering modal dialogs, and a stub
// LDAP server whose RootDSE has no default naming context.
#include "core/unConnection.h"

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

// Runs handler on the first modal dialog of type T that opens within ms (polling), so that
// code which calls exec() can be answered.
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
