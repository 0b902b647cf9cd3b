#include "network/unNetOpenEnum.h"

#include "network/unNetWalk.h"
#include "options/unOptions.h"
#include "ui/objectbus.h"
#include "ui/windowlayout.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const char kScanningCaption[] = " Scaning for Servers...";
const char kBrowseCaption[] = " Browse for Server...";
constexpr int kImageRole = Qt::UserRole + 1;

TfrmNetOpenEnum *g_instance = nullptr;

int imageOf(const QTreeWidgetItem *item) { return item ? item->data(0, kImageRole).toInt() : -1; }
bool isServer(const QTreeWidgetItem *item) { return imageOf(item) == 2 || imageOf(item) == 3; }

} // namespace

// --- TNetEnumThread -----------------------------------------------------------------------

std::atomic<int> TNetEnumThread::s_ids{1};

TNetEnumThread::TNetEnumThread(int startNode, const netenum::Resource *start)
    : startNode_(startNode), hasStart_(start != nullptr)
{
    if (start)
        start_ = *start;
    static const int registered = qRegisterMetaType<netenum::Resource>();
    Q_UNUSED(registered);
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

void TNetEnumThread::run()
{
    netwalk::Visitor v;
    v.node = [this](int parent, const netenum::Resource &entry, const QString &text, int image) {
        const int id = newNodeId();
        emit nodeFound(parent, id, text, image, entry);
        return id;
    };
    v.step = [this] { emit progressStep(); };
    v.problem = [this](const QString &p) { emit problemFound(p); };
    netwalk::Walk(hasStart_ ? &start_ : nullptr, startNode_, v, &stop_);
    emit ThreadDone();
}

// --- TNetServerInfoThread -----------------------------------------------------------------

TNetServerInfoThread::TNetServerInfoThread(const QString &serverName) : serverName_(serverName)
{
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

void TNetServerInfoThread::run()
{
    netenum::CancelScope scope([this] { return cancelled_.load(); });
    TNetServer server;
    server.setServerName(serverName_);
    bool ok = false;
    QString comment, description;
    try {
        comment = server.GetComment();
        description = server.GetDescription();
        ok = true;
    } catch (const Exception &) {
    }
    if (!cancelled_)
        emit infoRead(ok, comment, description);
}

// --- TfrmNetOpenEnum ----------------------------------------------------------------------

TfrmNetOpenEnum::TfrmNetOpenEnum(QWidget *parent, bool scanNow) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmNetOpenEnum"));
    setWindowTitle(QString::fromLatin1(kBrowseCaption));
    netServer_ = new TNetServer(this);
    netServer_->setObjectName(QStringLiteral("NetServer"));

    tvNetwork = new QTreeWidget(this);
    tvNetwork->setObjectName(QStringLiteral("tvNetwork"));
    tvNetwork->setHeaderHidden(true);
    tvNetwork->setAccessibleName(QStringLiteral("Network"));
    tvNetwork->setColumnCount(1);
    lbServerType = new QLabel(this);
    lbServerType->setObjectName(QStringLiteral("lbServerType"));
    lbServerType->setWordWrap(true);
    lbServerType->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lbServerType->setTextFormat(Qt::PlainText);
    lbServerType->hide();
    lbProblems = new QLabel(this);
    lbProblems->setObjectName(QStringLiteral("lbProblems"));
    lbProblems->setWordWrap(true);
    lbProblems->setTextFormat(Qt::PlainText);
    lbProblems->hide();
    pbScan = new QProgressBar(this);
    pbScan->setObjectName(QStringLiteral("pbScan"));
    pbScan->setRange(0, 100);
    pbScan->setTextVisible(false);
    pbScan->hide();
    btReScan = new QPushButton(QStringLiteral("ReScan Selected"), this);
    btReScan->setObjectName(QStringLiteral("btReScan"));
    btReScan->hide();
    btOK = new QPushButton(QStringLiteral("OK"), this);
    btOK->setObjectName(QStringLiteral("btOK"));
    btOK->setEnabled(false);
    btOK->setDefault(true);
    btCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btCancel->setObjectName(QStringLiteral("btCancel"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(btReScan);
    buttons->addStretch(1);
    buttons->addWidget(btOK);
    buttons->addWidget(btCancel);
    auto *v = new QVBoxLayout(this);
    v->addWidget(tvNetwork, 1);
    v->addWidget(lbServerType);
    v->addWidget(lbProblems);
    v->addWidget(pbScan);
    v->addLayout(buttons);
    ui::setupWindow(this, QSize(380, 420));
    // While a walk runs the user cannot change the selection or expand nodes.
    connect(tvNetwork, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem *current, QTreeWidgetItem *previous) {
                if (busy_ && current != previous && previous) {
                    const QSignalBlocker block(tvNetwork);
                    tvNetwork->setCurrentItem(previous);
                    return;
                }
                tvNetworkChange(current);
            });
    connect(tvNetwork, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem *item) {
        if (busy_)
            item->setExpanded(false);
    });
    connect(tvNetwork, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *item) { tvNetworkClick(item); });
    connect(btReScan, &QPushButton::clicked, this, &TfrmNetOpenEnum::btReScanClick);
    connect(btOK, &QPushButton::clicked, this, &TfrmNetOpenEnum::btOKClick);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);

    options::ApplyWindowFont(this);
    ui::ObjectBus::instance().registerWindow(this, [this](int code, const QString &) {
        if (code == ui::UnicodeFontChanged)
            options::ApplyWindowFont(this);
    });

    if (scanNow)
        ScanNetwork(nullptr);
}

TfrmNetOpenEnum::~TfrmNetOpenEnum()
{
    if (g_instance == this)
        g_instance = nullptr;
    // A server read ends soon after its cancel (its waits ask in short slices); none may
    // outlive the program.
    for (const QPointer<TNetServerInfoThread> &read : std::as_const(serverReads_))
        if (read) {
            read->disconnect(this);
            read->cancel();
        }
    for (const QPointer<TNetServerInfoThread> &read : std::as_const(serverReads_))
        if (read)
            read->wait();
    if (thread_) {
        thread_->disconnect(this);
        thread_->stop();
        // Every wait of the walk is bounded (DNS and RootDSE time-outs), so this ends.
        thread_->wait();
    }
}

TfrmNetOpenEnum *TfrmNetOpenEnum::instance() { return g_instance; }
void TfrmNetOpenEnum::setInstance(TfrmNetOpenEnum *form) { g_instance = form; }

bool TfrmNetOpenEnum::BrowseForServer(QWidget *parent, QString *server, QString *domain)
{
    TfrmNetOpenEnum *f = g_instance;
    if (!f)
        return false;
    Q_UNUSED(parent);
    if (f->exec() != QDialog::Accepted)
        return false;
    if (server)
        *server = f->SelectedServer();
    if (domain)
        *domain = f->SelectedDomain();
    return true;
}

QString TfrmNetOpenEnum::SelectedServer() const
{
    const QTreeWidgetItem *item = tvNetwork->currentItem();
    return item ? item->text(0) : QString();
}

QString TfrmNetOpenEnum::SelectedDomain() const
{
    const QTreeWidgetItem *item = tvNetwork->currentItem();
    return item && item->parent() ? item->parent()->text(0) : QString();
}

const netenum::Resource *TfrmNetOpenEnum::descriptorOf(const QTreeWidgetItem *item) const
{
    auto it = descriptors_.constFind(item);
    return it == descriptors_.constEnd() ? nullptr : &it.value();
}

void TfrmNetOpenEnum::ScanNetwork(QTreeWidgetItem *node)
{
    if (busy_)
        return;
    busy_ = true;
    problems_.clear();
    lbProblems->hide();
    pbScan->setValue(0);
    pbScan->show();
    btOK->setEnabled(false);
    btReScan->hide();
    setWindowTitle(QString::fromLatin1(kScanningCaption));
    int startId = 0;
    const netenum::Resource *start = nullptr;
    if (node) {
        startId = TNetEnumThread::newNodeId();
        nodes_.insert(startId, node);
        start = descriptorOf(node);
    }
    auto *t = new TNetEnumThread(startId, start);
    connect(t, &TNetEnumThread::nodeFound, this, &TfrmNetOpenEnum::addNode);
    connect(t, &TNetEnumThread::progressStep, this, &TfrmNetOpenEnum::stepProgress);
    connect(t, &TNetEnumThread::problemFound, this, [this](const QString &p) { problems_ << p; });
    connect(t, &TNetEnumThread::ThreadDone, this, &TfrmNetOpenEnum::ThreadDone);
    thread_ = t;
    t->start();
}

void TfrmNetOpenEnum::addNode(int parentNode, int node, const QString &text, int image, const netenum::Resource &entry)
{
    QTreeWidgetItem *parent = nullptr;
    if (parentNode != 0) {
        parent = nodes_.value(parentNode);
        if (!parent)
            return;  // its parent was deleted by a rescan meanwhile
    }
    // A child of the same text is not added twice; the walk goes on below the one there.
    const int count = parent ? parent->childCount() : tvNetwork->topLevelItemCount();
    for (int i = 0; i < count; ++i) {
        QTreeWidgetItem *c = parent ? parent->child(i) : tvNetwork->topLevelItem(i);
        if (c->text(0) == text) {
            nodes_.insert(node, c);
            stepProgress();
            return;
        }
    }
    auto *item = new QTreeWidgetItem;
    item->setText(0, text);
    item->setData(0, kImageRole, image);
    static const QStyle::StandardPixmap icons[] = {QStyle::SP_DriveNetIcon, QStyle::SP_DirIcon,
                                                   QStyle::SP_ComputerIcon};
    item->setIcon(0, style()->standardIcon(icons[qBound(0, image, 2)]));
    if (parent)
        parent->addChild(item);
    else
        tvNetwork->addTopLevelItem(item);
    descriptors_.insert(item, entry);
    nodes_.insert(node, item);
    // Networks and domains open as their children arrive, so the servers can be seen.
    if (parent && !parent->isExpanded()) {
        const bool wasBusy = busy_;
        busy_ = false;
        parent->setExpanded(true);
        busy_ = wasBusy;
    }
    stepProgress();
}

void TfrmNetOpenEnum::stepProgress()
{
    int v = pbScan->value() + 1;
    if (v >= 100)
        v = 10;
    pbScan->setValue(v);
}

void TfrmNetOpenEnum::ThreadDone()
{
    busy_ = false;
    thread_ = nullptr;
    pbScan->hide();
    setWindowTitle(QString::fromLatin1(kBrowseCaption));
    if (!problems_.isEmpty()) {
        lbProblems->setText(problems_.join(QLatin1Char('\n')));
        lbProblems->show();
    }
    updateButtons();
    // After a walk "ReScan Selected" is offered for a domain only (selecting a node offers it
    // for networks too).
    if (imageOf(tvNetwork->currentItem()) != 1)
        btReScan->hide();
    emit scanFinished();
}

void TfrmNetOpenEnum::updateButtons()
{
    QTreeWidgetItem *current = tvNetwork->currentItem();
    const int image = imageOf(current);
    btReScan->setVisible(!busy_ && current && (image == 0 || image == 1));
    btOK->setEnabled(!busy_ && isServer(current));
}

void TfrmNetOpenEnum::tvNetworkChange(QTreeWidgetItem *current)
{
    updateButtons();
    // Whatever the previous selection was still reading is no longer wanted.
    cancelServerRead();
    if (!isServer(current)) {
        lbServerType->hide();
        return;
    }
    const QString name = QStringLiteral("\\\\") + current->text(0);
    netServer_->setServerName(name);
    lbServerType->clear();
    lbServerType->show();
    // The server's facts come from the network (a host DNS names may be slow or silent), so
    // they are read on a thread of their own and shown when they arrive.
    auto *read = new TNetServerInfoThread(name);
    connect(read, &TNetServerInfoThread::infoRead, this,
            [this, read](bool ok, const QString &comment, const QString &description) {
                serverInfoRead(read, ok, comment, description);
            });
    serverRead_ = read;
    serverReads_ << read;
    read->start();
}

void TfrmNetOpenEnum::serverInfoRead(TNetServerInfoThread *read, bool ok, const QString &comment,
                                     const QString &description)
{
    if (read != serverRead_ || read->cancelled())
        return;  // an answer for a selection that has moved on
    serverRead_ = nullptr;
    if (ok) {
        lbServerType->setText(comment.isEmpty() ? description
                                                : QStringLiteral("Comment: ") + comment + QStringLiteral("\r\n") + description);
    } else {
        lbServerType->setText(QStringLiteral("Unknown"));
        netServer_->setServerName(QString());
    }
}

void TfrmNetOpenEnum::cancelServerRead()
{
    if (serverRead_)
        serverRead_->cancel();
    serverRead_ = nullptr;
    serverReads_.removeAll(QPointer<TNetServerInfoThread>());
}

int TfrmNetOpenEnum::serverReadsRunning() const
{
    int n = 0;
    for (const QPointer<TNetServerInfoThread> &read : serverReads_)
        if (read && !read->isFinished())
            ++n;
    return n;
}

void TfrmNetOpenEnum::done(int r)
{
    cancelServerRead();
    QDialog::done(r);
}

void TfrmNetOpenEnum::tvNetworkClick(QTreeWidgetItem *item)
{
    if (!busy_ && imageOf(item) == 1 && item->childCount() == 0)
        ScanNetwork(item);
}

void TfrmNetOpenEnum::forget(QTreeWidgetItem *item)
{
    for (int i = 0; i < item->childCount(); ++i)
        forget(item->child(i));
    descriptors_.remove(item);
    for (auto it = nodes_.begin(); it != nodes_.end();) {
        if (it.value() == item)
            it = nodes_.erase(it);
        else
            ++it;
    }
}

void TfrmNetOpenEnum::deleteChildren(QTreeWidgetItem *item)
{
    while (item->childCount() > 0) {
        QTreeWidgetItem *c = item->child(0);
        forget(c);
        delete item->takeChild(0);
    }
}

void TfrmNetOpenEnum::btReScanClick()
{
    QTreeWidgetItem *item = tvNetwork->currentItem();
    if (busy_ || !item || isServer(item))
        return;
    btReScan->hide();
    btOK->setEnabled(false);
    pbScan->show();
    deleteChildren(item);
    ScanNetwork(item);
    setWindowTitle(QStringLiteral("Scaning for Servers..."));
}

void TfrmNetOpenEnum::btOKClick()
{
    if (!busy_ && isServer(tvNetwork->currentItem()))
        accept();
}
