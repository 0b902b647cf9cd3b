#pragma once
// The desktop's keyring: passwords kept through the Secret Service API (libsecret), which
// GNOME Keyring, KWallet and KeePassXC serve. A password is filed under the attributes
// application=Arvendel, server=<server name, or "(default)" for the server the system finds>
// and account=<user name>.
//
// Every call is bounded: it runs on a thread of its own and is given up (and cancelled) after
// its time. A caller on the application's main thread keeps processing events meanwhile, so a
// window stays responsive while the desktop asks the user to unlock the keyring. Calls never
// raise.
#include <QObject>
#include <QString>

#include <functional>

namespace secrets {

enum class Status {
    Ok,         // done (lookup: found)
    NotFound,   // lookup: no password under these attributes
    NoService,  // no Secret Service answers (no session bus, no keyring running)
    Locked,     // the keyring is locked and was not unlocked (the user declined, or no prompt could be shown)
    TimedOut,   // no answer in time
    Failed,     // any other refusal; message says what the service answered
};

struct Result {
    Status status = Status::Failed;
    QString message;   // the service's own words, for the log or a dialog
    QString password;  // lookup only
    bool ok() const { return status == Status::Ok; }
};

// Whether operations may ask the desktop to unlock a locked keyring (which shows a prompt
// and waits for the user). On by default; the command-line tool turns it off when it does
// not run on a terminal.
void setUnlockPromptAllowed(bool allowed);
bool unlockPromptAllowed();

Result lookup(const QString &server, const QString &account);
Result store(const QString &server, const QString &account, const QString &password);
// Removes the password under these attributes; Ok also when there was none.
Result remove(const QString &server, const QString &account);
// Whether a Secret Service answers at all (NoService otherwise), without touching any item.
Result probe();
// The same without waiting: done is called on context's thread, unless context is gone.
void probeAsync(QObject *context, const std::function<void(const Result &)> &done);

// A sentence for the user about a status that is not Ok ("No keyring answers...").
QString statusText(const Result &result);

} // namespace secrets
