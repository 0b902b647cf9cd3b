#pragma once
// The "Browse for Server" window (frmNetOpenEnum): the network as a tree of networks, domains
// and servers, filled by TNetEnumThread, and the highlighted server's comment, operating
// system and roles (TNetServer). Created once at program start, hidden, scanning at once;
// shown modally when the connection dialog's "  ..." asks for a server.
#include "network/unNetServer.h"
#include "platform/netenum/netenum.h"

#include <QDialog>
#include <QHash>
#include <QPointer>
#include <QThread>

#include <atomic>
#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class TfrmNetOpenEnum;

// The network walker. Created with a start node (a copy of its descriptor), or none for the
// whole network. It reads the network on its own thread and reports every node, every
// progress step and its end as queued signals, so the tree is changed on the window's thread
// only; it deletes itself when it has finished.
class TNetEnumThread : public QThread {
    Q_OBJECT
public:
    TNetEnumThread(int startNode, const netenum::Resource *start);
    // Asks the walk to end early (the window is going away).
    void stop() { stop_ = true; }
    // A node id no walk has used (for the window's start nodes).
    static int newNodeId() { return s_ids.fetch_add(1); }

signals:
    // parentNode/node: node ids the window keeps (0 = the top); a node whose parent already
    // has a child of that text is mapped onto that child.
    void nodeFound(int parentNode, int node, const QString &text, int image, const netenum::Resource &entry);
    void progressStep();
    void problemFound(const QString &text);
    void ThreadDone();

protected:
    void run() override;

private:
    int startNode_;
    bool hasStart_;
    netenum::Resource start_;
    std::atomic<bool> stop_{false};
    static std::atomic<int> s_ids;
};

// Reads one highlighted server's texts (TNetServer) on its own thread, so that a host that is
// slow or that answers and then stalls never holds the window. cancel() ends its waits early
// and nothing is reported then. It deletes itself when it has finished.
class TNetServerInfoThread : public QThread {
    Q_OBJECT
public:
    explicit TNetServerInfoThread(const QString &serverName);
    void cancel() { cancelled_ = true; }
    bool cancelled() const { return cancelled_; }

signals:
    // The server's comment and description; ok false when they could not be read.
    void infoRead(bool ok, const QString &comment, const QString &description);

protected:
    void run() override;

private:
    QString serverName_;
    std::atomic<bool> cancelled_{false};
};

class TfrmNetOpenEnum : public QDialog {
    Q_OBJECT
public:
    // scanNow: start walking the whole network at once (what the program does at start).
    explicit TfrmNetOpenEnum(QWidget *parent = nullptr, bool scanNow = true);
    ~TfrmNetOpenEnum() override;

    bool Busy() const { return busy_; }
    // After OK: the selected node's text (the server) and its parent's text (the domain).
    QString SelectedServer() const;
    QString SelectedDomain() const;
    // The descriptor a node owns (null for none).
    const netenum::Resource *descriptorOf(const QTreeWidgetItem *item) const;
    // Why a level came back empty or incomplete during the last scan ("" when nothing).
    QString problems() const { return problems_.join(QLatin1Char('\n')); }
    TNetServer *NetServer() const { return netServer_; }
    // How many reads of a highlighted server's facts have not ended yet (cancelled ones too).
    int serverReadsRunning() const;
    QTreeWidget *tree() const { return tvNetwork; }

    // Handlers (public so that tests drive them as the controls do).
    void ScanNetwork(QTreeWidgetItem *node);
    void tvNetworkChange(QTreeWidgetItem *current);
    void tvNetworkClick(QTreeWidgetItem *item);
    void btReScanClick();
    void btOKClick();

    // The process-wide instance the program creates at start (null before).
    static TfrmNetOpenEnum *instance();
    static void setInstance(TfrmNetOpenEnum *form);
    // Shows the instance modally; on OK the chosen server and its domain. False on Cancel or
    // when there is no instance.
    static bool BrowseForServer(QWidget *parent, QString *server, QString *domain);

signals:
    void scanFinished();

protected:
    // Closing the window cancels the read of the highlighted server's facts.
    void done(int r) override;

private:
    void cancelServerRead();
    void serverInfoRead(TNetServerInfoThread *read, bool ok, const QString &comment, const QString &description);
    void addNode(int parentNode, int node, const QString &text, int image, const netenum::Resource &entry);
    void stepProgress();
    void ThreadDone();
    void updateButtons();
    void deleteChildren(QTreeWidgetItem *item);
    void forget(QTreeWidgetItem *item);

    bool busy_ = false;
    QPointer<TNetEnumThread> thread_;
    QPointer<TNetServerInfoThread> serverRead_;          // the read whose answer is shown
    QList<QPointer<TNetServerInfoThread>> serverReads_;  // every read not ended yet
    QHash<int, QTreeWidgetItem *> nodes_;            // the walk's node ids
    QHash<const QTreeWidgetItem *, netenum::Resource> descriptors_;
    QStringList problems_;
    TNetServer *netServer_;

    QTreeWidget *tvNetwork;
    QProgressBar *pbScan;
    QLabel *lbServerType;
    QLabel *lbProblems;
    QPushButton *btReScan;
    QPushButton *btOK;
    QPushButton *btCancel;
};

Q_DECLARE_METATYPE(netenum::Resource)
