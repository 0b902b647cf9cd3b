#pragma once
// Office applications on the desktop: an application "is registered" for a workbook or a
// document when the desktop has an application that opens that file type.
#include <QString>

namespace office {

// The file type an automation class name stands for: "Excel.Application" is a workbook
// (.xlsx), "Word.Application" a document (.docx); empty for any other name.
QString mimeTypeForProgId(const QString &progId);

// True when a desktop application (a .desktop entry under the XDG data folders, or an
// association in a mimeapps.list) opens the file type of progId.
bool isApplicationRegistered(const QString &progId);

} // namespace office
