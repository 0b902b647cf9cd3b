#include "ui/icons.h"

#include <QApplication>
#include <QStyle>

namespace ui {

QIcon userIcon()
{
    return QApplication::style()->standardIcon(QStyle::SP_FileIcon);
}

QIcon groupIcon()
{
    return QApplication::style()->standardIcon(QStyle::SP_DirIcon);
}

} // namespace ui
