#pragma once
// One run of the window layout test: a private settings file, the program's main window
// wired as the program wires it and connected to the test domain, and helpers that open a
// window, check it and close it again, recording what was opened and what was found.
#include "layout_checks.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QDialog;
class QTemporaryDir;
class QTreeWidgetItem;
class TfrmMain;

namespace layouttest {

// How this process runs the windows (from its command line, see main.cpp).
struct RunMode {
    bool unicodeFont = false;   // the Unicode-font option on
    QString name = QStringLiteral("pinned font");
};
RunMode &runMode();

class Session {
public:
    Session();
    ~Session();

    // The connected main window, shown at its default size.
    TfrmMain &main();
    // Selects the tree node below the domain root by its path of names and waits until the
    // listing has ended.
    QTreeWidgetItem *openNode(const QStringList &path);
    // Selects the grid row of the user with this Common Name and waits for the panel.
    bool selectUser(const QString &commonName);

    // Checks a window that is open now.
    void check(QWidget *window, const WindowRules &rules = {});
    // Runs trigger, which opens the modal window of that objectName; the window is checked,
    // then inside runs (it may open further windows), then the window is closed. A window
    // that does not open within a minute is recorded as a failure.
    void modal(const QString &name, const std::function<void()> &trigger,
               const std::function<void(QDialog *)> &inside = {}, const WindowRules &rules = {});

    // Watches for the modal window of that objectName (one that another window's closing
    // opens, for example); checks it, runs inside and closes it when it comes. The flag turns
    // true then.
    std::shared_ptr<bool> watch(const QString &name, const std::function<void(QDialog *)> &inside = {},
                                const WindowRules &rules = {});

    // Waits while events are processed until pred holds (at most ms).
    static bool waitFor(const std::function<bool()> &pred, int ms = 60000);

    QStringList failures;
    QStringList opened;

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<TfrmMain> main_;
};

// Ends a test: prints what was opened, fails with every finding.
void report(const Session &s, const QString &group);

} // namespace layouttest
