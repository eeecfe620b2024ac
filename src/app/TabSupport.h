#pragma once

#include <QList>
#include <QString>

#include <functional>

class QComboBox;
class QLabel;
class QWidget;

// Small pieces the tabs of the main window share.
namespace tabSupport {

extern const QString kSectionSettings; // "Settings": the PC side of the link
extern const QString kSectionSet;      // "Set": the choices for the display

template <class W>
W *named(W *widget, const QString &name)
{
    widget->setObjectName(name);
    return widget;
}

QLabel *buddyLabel(const QString &text, QWidget *buddy, QWidget *parent);

// Keyboard order, in the order given.
void chainFocus(const QList<QWidget *> &order);

// The position of a list's text among its entries: a list that accepts typed
// text has no selection while the text matches none of them.
int listIndex(const QComboBox *list);

// Sets a list to the position stored under section/key and runs its handler,
// as a change made by the user would. A stored position outside the list
// leaves it without a selection and runs nothing.
void restorePosition(const QString &app, QComboBox *list, const QString &section, const QString &key,
                     int defaultPosition, const std::function<void()> &handler);
void savePosition(const QString &app, const QString &section, const QString &key, int position);

// Lists and number boxes take the mouse wheel only when they have the keyboard
// focus; otherwise the wheel scrolls the page they sit on.
void wheelOnlyWithFocus(QWidget *control);

} // namespace tabSupport
