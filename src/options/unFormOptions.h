#pragma once
// The " Options" dialog. The decision what its OK changes lives in applyOptionsChoice (no
// widgets); TfrmFormOptions shows the controls.
#include "options/unOptions.h"

#include <QDialog>

class QCheckBox;
class QRadioButton;
class QSpinBox;

namespace options {

// What OK did beyond saving.
struct OptionsOutcome {
    bool hideChanged = false; // a hide option changed: the selected node is listed again
    bool fontChanged = false; // the Unicode font option changed: fonts are applied again
};

// Takes the dialog's choice into the options record and saves it: options 0, 1, 2, 4, 5
// are copied; a changed Unicode font option updates UnicodeFont; ConfirmWrites follows the
// warning option.
OptionsOutcome applyOptionsChoice(TOptions &opts, const TOptions &choice);

class TfrmFormOptions : public QDialog {
    Q_OBJECT
public:
    explicit TfrmFormOptions(const TOptions &opts, QWidget *parent = nullptr);

    // The choice the controls show.
    TOptions choice() const;
    // The days the change journal keeps (0: everything), as ebJournalDays shows them.
    int journalDays() const;

private:
    QCheckBox *HideDisabled;
    QCheckBox *HideExpired;
    QRadioButton *rbJpegPhoto;
    QRadioButton *rbthumbnailPhoto;
    QCheckBox *cbUniCode;
    QCheckBox *cbShowWarning;
    QCheckBox *cbThemes;
    QSpinBox *ebJournalDays;
};

// The "General Option" action: shows the dialog modally; on OK applies the choice, and when
// the font option changed applies the window font to mainWindow and tells the other windows
// (notice code 2); a changed journal retention is stored and old days are removed at once.
// Returns whether OK was pressed; outcome tells what changed.
bool ActionGeneralExecute(QWidget *mainWindow, TOptions &opts, OptionsOutcome *outcome = nullptr);

} // namespace options
