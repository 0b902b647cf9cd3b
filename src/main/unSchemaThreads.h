#pragma once
// The two schema readers started after connecting: TEnumAttrThread reads the lDAPDisplayName
// of every attribute, TEnumAttrGUIDThread the schemaIDGUID -> lDAPDisplayName map of every
// schema object. Each binds with the connection context's prefix and credentials (the
// main window waits for both threads before it changes the context), fills its own list and hands it to the window thread when it ends (finished()), so that
// nobody ever sees a half-filled list. A failure ends the thread quietly (failed()).
#include <QHash>
#include <QSet>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <cstdint>

class TSchemaThreadBase : public QThread {
    Q_OBJECT
public:
    // Rows read so far (for progress and tests).
    int rowsRead() const { return rows_.load(); }
    // The error that ended the thread early; empty when it ran to the end or was stopped.
    QString error() const { return error_; }
    bool stopped() const { return stopped_; }
    // A pause after each row, so that tests can catch a thread while it still runs.
    static void setRowDelayForTests(int ms);

protected:
    explicit TSchemaThreadBase(QObject *parent);
    // Binds RootDSE, finds the schema container, runs one search over it and calls row()
    // for each row; stops when interruption is requested.
    void runSearch(const QString &attributes, const QString &filter);
    virtual void row(const QVariantList &columns) = 0;

    std::atomic<int> rows_{0};
    QString error_;
    bool stopped_ = false;
};

class TEnumAttrThread : public TSchemaThreadBase {
    Q_OBJECT
public:
    explicit TEnumAttrThread(QObject *parent = nullptr);
    // The attribute names (duplicates ignored); complete once the thread has finished.
    const QStringList &names() const { return names_; }

protected:
    void run() override;
    void row(const QVariantList &columns) override;

private:
    QStringList names_;
    QSet<QString> seen_;
};

class TEnumAttrGUIDThread : public TSchemaThreadBase {
    Q_OBJECT
public:
    explicit TEnumAttrGUIDThread(QObject *parent = nullptr);
    // Upper-case GUID text in braces -> lDAPDisplayName (first one kept for a duplicate key).
    const QHash<QString, QString> &map() const { return map_; }

protected:
    void run() override;
    void row(const QVariantList &columns) override;

private:
    QHash<QString, QString> map_;
};
