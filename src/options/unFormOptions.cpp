#include "options/unFormOptions.h"

#include "journal/journalstore.h"
#include "ui/objectbus.h"
#include "ui/texts.h"
#include "ui/windowlayout.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace options {

OptionsOutcome applyOptionsChoice(TOptions &opts, const TOptions &choice)
{
    OptionsOutcome out;
    out.hideChanged = opts.HideDisabled != choice.HideDisabled || opts.HideExpired != choice.HideExpired;
    opts.HideDisabled = choice.HideDisabled;
    opts.HideExpired = choice.HideExpired;
    opts.UseJpegPhoto = choice.UseJpegPhoto;
    opts.ShowWarning = choice.ShowWarning;
    opts.UseThemes = choice.UseThemes;
    if (choice.UnicodeFont != opts.UnicodeFont) {
        opts.UnicodeFont = choice.UnicodeFont;
        setUnicodeFont(choice.UnicodeFont);
        out.fontChanged = true;
    }
    SaveOptions(opts);
    setConfirmWrites(opts.ShowWarning);
    return out;
}

TfrmFormOptions::TfrmFormOptions(const TOptions &opts, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmFormOptions"));
    ui::setupWindow(this);
    setWindowTitle(QStringLiteral(" Options"));
    setModal(true);

    auto *layout = new QVBoxLayout(this);
    auto *gbUsers = new QGroupBox(this);
    auto *usersLayout = new QVBoxLayout(gbUsers);
    HideDisabled = new QCheckBox(QStringLiteral("Hide Users which has been Disabled"), gbUsers);
    HideDisabled->setObjectName(QStringLiteral("HideDisabled"));
    HideExpired = new QCheckBox(QStringLiteral("Hide Users which Password has Expired"), gbUsers);
    HideExpired->setObjectName(QStringLiteral("HideExpired"));
    usersLayout->addWidget(HideDisabled);
    usersLayout->addWidget(HideExpired);
    layout->addWidget(gbUsers);

    auto *gbPicture = new QGroupBox(this);
    gbPicture->setObjectName(QStringLiteral("gbPicture"));
    // Four lines as written; wrapping them again would break them mid-sentence.
    ui::setHint(gbPicture,
                QStringLiteral("Pictures allows you to keep staff photos for HR applications, \r\n"
                               "store scanned signatures for security and email stationery applications, \r\n"
                               "or even keep images of your company assets for insurance purposes \r\n"
                               "within the Active Directory database."),
                0);
    auto *pictureLayout = new QVBoxLayout(gbPicture);
    rbJpegPhoto = new QRadioButton(QStringLiteral("Use \"jpegPhoto\" attribute (Windows 2003 or later)"), gbPicture);
    rbJpegPhoto->setObjectName(QStringLiteral("rbJpegPhoto"));
    rbthumbnailPhoto = new QRadioButton(QStringLiteral("Use \"thumbnailPhoto\" attribute  (Windows 2000/2003)"), gbPicture);
    rbthumbnailPhoto->setObjectName(QStringLiteral("rbthumbnailPhoto"));
    pictureLayout->addWidget(rbJpegPhoto);
    pictureLayout->addWidget(rbthumbnailPhoto);
    layout->addWidget(gbPicture);

    cbUniCode = new QCheckBox(QStringLiteral("Use \"Arial Unicode MS\" / \"Tahoma\" as Font"), this);
    cbUniCode->setObjectName(QStringLiteral("cbUniCode"));
    cbShowWarning = new QCheckBox(QStringLiteral("Display a warning before  modification of AD object attributes"), this);
    cbShowWarning->setObjectName(QStringLiteral("cbShowWarning"));
    cbThemes = new QCheckBox(QStringLiteral("Next type use Themes"), this);
    cbThemes->setObjectName(QStringLiteral("cbThemes"));
    layout->addWidget(cbUniCode);
    layout->addWidget(cbShowWarning);
    layout->addWidget(cbThemes);

    // How long the change journal keeps its entries (Change History).
    auto *journalRow = new QHBoxLayout;
    ebJournalDays = new QSpinBox(this);
    ebJournalDays->setObjectName(QStringLiteral("ebJournalDays"));
    ebJournalDays->setRange(0, 36500);
    ebJournalDays->setSpecialValueText(QStringLiteral("always"));
    ebJournalDays->setSuffix(QStringLiteral(" days"));
    auto *lbJournalDays = new QLabel(QStringLiteral("&Keep the change history for"), this);
    lbJournalDays->setObjectName(QStringLiteral("lbJournalDays"));
    lbJournalDays->setBuddy(ebJournalDays);
    journalRow->addWidget(lbJournalDays);
    journalRow->addWidget(ebJournalDays);
    journalRow->addStretch(1);
    layout->addLayout(journalRow);

    auto *buttons = new QDialogButtonBox(this);
    auto *btOK = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    btOK->setObjectName(QStringLiteral("btOK"));
    btOK->setDefault(true);
    auto *btCancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    // FormCreate: the Unicode font can be chosen only where one of its fonts exists.
    cbUniCode->setEnabled(unicodeFontAvailable());
    ApplyWindowFont(this);

    HideDisabled->setChecked(opts.HideDisabled);
    HideExpired->setChecked(opts.HideExpired);
    rbJpegPhoto->setChecked(opts.UseJpegPhoto);
    rbthumbnailPhoto->setChecked(!opts.UseJpegPhoto);
    cbUniCode->setChecked(opts.UnicodeFont);
    cbShowWarning->setChecked(opts.ShowWarning);
    cbThemes->setChecked(opts.UseThemes);
    ebJournalDays->setValue(journal::retentionDays());
}

int TfrmFormOptions::journalDays() const { return ebJournalDays->value(); }

TOptions TfrmFormOptions::choice() const
{
    TOptions c;
    c.HideDisabled = HideDisabled->isChecked();
    c.HideExpired = HideExpired->isChecked();
    c.UseJpegPhoto = rbJpegPhoto->isChecked();
    c.UnicodeFont = cbUniCode->isChecked();
    c.ShowWarning = cbShowWarning->isChecked();
    c.UseThemes = cbThemes->isChecked();
    return c;
}

bool ActionGeneralExecute(QWidget *mainWindow, TOptions &opts, OptionsOutcome *outcome)
{
    TfrmFormOptions dlg(opts, mainWindow);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    const OptionsOutcome out = applyOptionsChoice(opts, dlg.choice());
    if (dlg.journalDays() != journal::retentionDays()) {
        journal::setRetentionDays(dlg.journalDays());
        journal::prune(journal::defaultFolder(), dlg.journalDays());
    }
    if (out.fontChanged) {
        ApplyWindowFont(mainWindow);
        ui::ObjectBus::instance().notifyUnicodeFont(opts.UnicodeFont, mainWindow);
    }
    if (outcome)
        *outcome = out;
    return true;
}

} // namespace options
