#include "ui/writable.h"

#include <QPalette>
#include <QWidget>

namespace ui {

void setWritableLook(QWidget *control, bool writable)
{
    control->setEnabled(writable);
    QPalette pal = control->parentWidget() ? control->parentWidget()->palette() : QPalette();
    if (!writable) {
        const QColor readOnly(0xF7, 0xFF, 0xFF);
        pal.setColor(QPalette::Base, readOnly);
        pal.setColor(QPalette::Disabled, QPalette::Base, readOnly);
        pal.setColor(QPalette::Disabled, QPalette::Text, pal.color(QPalette::Active, QPalette::WindowText));
    }
    control->setPalette(pal);
}

void EnableForAttribute(QWidget *control, const QStringList &writableSet, const QString &name)
{
    setWritableLook(control, writableSet.contains(name.trimmed().toUpper()));
}

} // namespace ui
