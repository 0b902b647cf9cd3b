// libsecret first: GLib's headers use "signals" as a name, which Qt defines as a macro.
#include <libsecret/secret.h>

#include "platform/secrets/secrets.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace secrets {

namespace {

// A call that needs no user: the service answers at once or D-Bus starts it (a second or two).
constexpr int kQuickMs = 10000;
// A call that may show the desktop's unlock prompt: the user needs time to type.
constexpr int kPromptMs = 120000;

std::atomic<bool> g_promptAllowed{true};

const SecretSchema *schema()
{
    static const SecretSchema s = {"org.vastrel.Arvendel.Password",
                                   SECRET_SCHEMA_NONE,
                                   {{"application", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                    {"server", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                    {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                    {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                   0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    return &s;
}

struct Key {
    QByteArray server, account;
    Key(const QString &s, const QString &a)
        : server(s.trimmed().isEmpty() ? QByteArray("(default)") : s.trimmed().toUtf8()), account(a.toUtf8())
    {
    }
    GHashTable *attributes() const
    {
        return secret_attributes_build(schema(), "application", "Arvendel", "server", server.constData(), "account",
                                       account.constData(), nullptr);
    }
};

Result fromError(GError *e, Status otherwise = Status::Failed)
{
    Result r;
    r.message = e ? QString::fromUtf8(e->message) : QString();
    if (e && g_error_matches(e, G_IO_ERROR, G_IO_ERROR_CANCELLED))
        r.status = Status::TimedOut;
    else if (e && g_error_matches(e, SECRET_ERROR, SECRET_ERROR_IS_LOCKED))
        r.status = Status::Locked;
    else if (e && e->domain == G_DBUS_ERROR &&
             (e->code == G_DBUS_ERROR_SERVICE_UNKNOWN || e->code == G_DBUS_ERROR_NAME_HAS_NO_OWNER ||
              e->code == G_DBUS_ERROR_SPAWN_SERVICE_NOT_FOUND || e->code == G_DBUS_ERROR_SPAWN_EXEC_FAILED ||
              e->code == G_DBUS_ERROR_SPAWN_CHILD_EXITED || e->code == G_DBUS_ERROR_NO_SERVER))
        r.status = Status::NoService;
    else
        r.status = otherwise;
    if (e)
        g_error_free(e);
    return r;
}

// The service with an open session; null (and why in *r) when none answers.
SecretService *openService(GCancellable *c, Result *r)
{
    GError *e = nullptr;
    SecretService *s = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, c, &e);
    if (!s || e) {
        // Whatever stops the service from being reached (no session bus, nobody owning the
        // name) means there is no keyring to use.
        *r = fromError(e, Status::NoService);
        if (s)
            g_object_unref(s);
        return nullptr;
    }
    return s;
}

Result doProbe(GCancellable *c)
{
    Result r;
    if (SecretService *s = openService(c, &r)) {
        g_object_unref(s);
        r.status = Status::Ok;
    }
    return r;
}

Result doLookup(const Key &key, bool unlock, GCancellable *c)
{
    Result r;
    SecretService *s = openService(c, &r);
    if (!s)
        return r;
    GHashTable *attrs = key.attributes();
    GError *e = nullptr;
    const auto flags = SecretSearchFlags(SECRET_SEARCH_LOAD_SECRETS | (unlock ? SECRET_SEARCH_UNLOCK : 0));
    GList *items = secret_service_search_sync(s, schema(), attrs, flags, c, &e);
    g_hash_table_unref(attrs);
    if (e) {
        r = fromError(e);
    } else if (!items) {
        r.status = Status::NotFound;
    } else {
        auto *item = static_cast<SecretItem *>(items->data);
        SecretValue *value = secret_item_get_locked(item) ? nullptr : secret_item_get_secret(item);
        if (!value) {
            r.status = Status::Locked;
        } else {
            r.status = Status::Ok;
            r.password = QString::fromUtf8(secret_value_get_text(value));
            secret_value_unref(value);
        }
    }
    g_list_free_full(items, g_object_unref);
    g_object_unref(s);
    return r;
}

Result doStore(const Key &key, const QString &password, bool unlock, GCancellable *c)
{
    Result r;
    SecretService *s = openService(c, &r);
    if (!s)
        return r;
    if (!unlock) {
        // Storing into a locked keyring would ask the user to unlock it first.
        GError *e = nullptr;
        SecretCollection *col = secret_collection_for_alias_sync(s, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, c, &e);
        const bool locked = col && secret_collection_get_locked(col);
        if (col)
            g_object_unref(col);
        if (e || locked) {
            r = e ? fromError(e) : Result{Status::Locked, {}, {}};
            g_object_unref(s);
            return r;
        }
    }
    GHashTable *attrs = key.attributes();
    QByteArray utf8 = password.toUtf8();
    SecretValue *value = secret_value_new(utf8.constData(), utf8.size(), "text/plain");
    utf8.fill('\0');
    const QByteArray label = QStringLiteral("Arvendel password of %1 on %2")
                                 .arg(QString::fromUtf8(key.account), QString::fromUtf8(key.server))
                                 .toUtf8();
    GError *e = nullptr;
    const gboolean ok = secret_service_store_sync(s, schema(), attrs, SECRET_COLLECTION_DEFAULT, label.constData(), value, c, &e);
    secret_value_unref(value);
    g_hash_table_unref(attrs);
    g_object_unref(s);
    if (!ok || e)
        return fromError(e);
    r.status = Status::Ok;
    return r;
}

Result doRemove(const Key &key, GCancellable *c)
{
    Result r;
    SecretService *s = openService(c, &r);
    if (!s)
        return r;
    GHashTable *attrs = key.attributes();
    GError *e = nullptr;
    secret_service_clear_sync(s, schema(), attrs, c, &e);  // false without error: nothing was there
    g_hash_table_unref(attrs);
    g_object_unref(s);
    if (e)
        return fromError(e);
    r.status = Status::Ok;
    return r;
}

// A call run on a thread of its own, given up after ms. On the application's main thread
// the caller's events go on being processed while it waits.
struct Pending {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    Result result;
    GCancellable *cancellable = g_cancellable_new();
    ~Pending() { g_object_unref(cancellable); }
};

std::shared_ptr<Pending> start(std::function<Result(GCancellable *)> call)
{
    auto p = std::make_shared<Pending>();
    std::thread([p, call = std::move(call)] {
        Result r = call(p->cancellable);
        std::lock_guard<std::mutex> lock(p->mutex);
        p->result = std::move(r);
        p->finished = true;
        p->done.notify_all();
    }).detach();
    return p;
}

Result bounded(int ms, std::function<Result(GCancellable *)> call)
{
    const std::shared_ptr<Pending> p = start(std::move(call));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    QCoreApplication *app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread()) {
        QEventLoop loop;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
            std::lock_guard<std::mutex> lock(p->mutex);
            if (p->finished || std::chrono::steady_clock::now() >= deadline)
                loop.quit();
        });
        tick.start(10);  // the window repaints meanwhile; clicks wait until the answer (no re-entry)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    std::unique_lock<std::mutex> lock(p->mutex);
    if (!p->done.wait_until(lock, deadline, [&] { return p->finished; })) {
        g_cancellable_cancel(p->cancellable);
        return {Status::TimedOut, QStringLiteral("no answer within %1 s").arg(ms / 1000), {}};
    }
    return p->result;
}

// Runs call without prompting; when the keyring turns out locked and prompts are allowed,
// once more with the unlock prompt.
Result withUnlock(const std::function<Result(bool unlock, GCancellable *)> &call)
{
    Result r = bounded(kQuickMs, [call](GCancellable *c) { return call(false, c); });
    if (r.status == Status::Locked && g_promptAllowed)
        r = bounded(kPromptMs, [call](GCancellable *c) { return call(true, c); });
    return r;
}

} // namespace

void setUnlockPromptAllowed(bool allowed) { g_promptAllowed = allowed; }
bool unlockPromptAllowed() { return g_promptAllowed; }

Result lookup(const QString &server, const QString &account)
{
    const Key key(server, account);
    return withUnlock([key](bool unlock, GCancellable *c) { return doLookup(key, unlock, c); });
}

Result store(const QString &server, const QString &account, const QString &password)
{
    const Key key(server, account);
    return withUnlock([key, password](bool unlock, GCancellable *c) { return doStore(key, password, unlock, c); });
}

Result remove(const QString &server, const QString &account)
{
    const Key key(server, account);
    return bounded(kQuickMs, [key](GCancellable *c) { return doRemove(key, c); });
}

Result probe() { return bounded(kQuickMs, doProbe); }

void probeAsync(QObject *context, const std::function<void(const Result &)> &done)
{
    const QPointer<QObject> guard(context);
    std::thread([guard, done] {
        const Result r = bounded(kQuickMs, doProbe);
        if (guard)
            QMetaObject::invokeMethod(guard.data(), [guard, done, r] {
                if (guard)
                    done(r);
            }, Qt::QueuedConnection);
    }).detach();
}

QString statusText(const Result &result)
{
    switch (result.status) {
    case Status::Ok:
    case Status::NotFound: return {};
    case Status::NoService:
        return QStringLiteral("No keyring (Secret Service) answers on this desktop: a remembered password is kept "
                              "obfuscated in the settings file.");
    case Status::Locked: return QStringLiteral("The keyring is locked and was not unlocked.");
    case Status::TimedOut: return QStringLiteral("The keyring did not answer in time.");
    case Status::Failed: break;
    }
    return QStringLiteral("The keyring refused: %1").arg(result.message);
}

} // namespace secrets
