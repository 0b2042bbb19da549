#pragma once

#include <QString>
#include <QWidget>

namespace Ui {

// What a designer form does for each widget: its object name (the slots bind by
// it) and its fixed place in the parent.
template <typename Widget>
Widget *place(Widget *widget, const char *name, int x, int y, int width, int height)
{
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(x, y, width, height);
    return widget;
}

} // namespace Ui
