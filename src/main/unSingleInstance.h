#pragma once
// One running program per user session. The first start listens on a local socket named
// after the program's guard text; a later start connects, sends the activation message and
// ends, and the first instance brings its main window to the front (also from minimised).
#include <QObject>
#include <QPointer>
#include <QString>

class QLocalServer;
class QWidget;

class TSingleInstance : public QObject {
    Q_OBJECT
public:
    // The guard and message texts of the program.
    static QString guardName();   // "Arvendel {6D64CA16-BB57-4F53-AA0D-57BBC9253CFE}"
    static QString messageText(); // "Arvendel {28767137-A9E2-4279-B7FE-7BF7FB44A998}"

    // name: the guard text; tests pass their own (ARV_INSTANCE_NAME also overrides it).
    explicit TSingleInstance(const QString &name = QString(), QObject *parent = nullptr);
    ~TSingleInstance() override;

    // True when this process is the first: it now listens. False when another instance
    // answered; that instance has been asked to come to the front.
    bool claim();

    // The window brought to the front when another start knocks.
    void setWindow(QWidget *w) { window_ = w; }

    // The socket's full name (per user).
    QString serverName() const { return name_; }

    // Brings a window to the front, restoring it from the minimised state.
    static void activateWindow(QWidget *w);

signals:
    void activationRequested();

private:
    void onConnection();

    QString name_;
    QLocalServer *server_ = nullptr;
    QPointer<QWidget> window_;
};
