#pragma once
// The report catalogue window "  Reports": five tabs of report choices (the Exchange tab only
// when the schema has homeMDB), "Open Report" and "Close"; and the main window's wiring.
#include "reports/unReportCatalogue.h"

#include <QDialog>

#include <functional>

class QButtonGroup;
class QTabWidget;
class TfrmMain;

namespace reports {

class TfrmReportsStore;

class TfrmReports : public QDialog {
    Q_OBJECT
public:
    explicit TfrmReports(const DomainSettings &domain, QWidget *parent = nullptr);

    // The report chosen on the current tab.
    int chosenReport() const;
    // Opens the result window of the chosen report (modal).
    void btOpenReportClick();

    QTabWidget *tabs() const { return pcReports; }

    // Called with each result window before it is shown (tests use it).
    static void setStoreHook(std::function<void(TfrmReportsStore &)> hook);

private:
    DomainSettings domain_;
    QTabWidget *pcReports = nullptr;
    QList<QButtonGroup *> groups_;
};

// Connects ActionReports of the main window: after the directory's attribute list has loaded,
// it opens the catalogue.
void wireMainWindow(TfrmMain &main);

} // namespace reports
