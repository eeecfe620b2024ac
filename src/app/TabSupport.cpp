#include "TabSupport.h"

#include "NumericText.h"
#include "SettingsStore.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QToolButton>
#include <QWheelEvent>

namespace tabSupport {

const QString kSectionSettings = QStringLiteral("Settings");
const QString kSectionSet = QStringLiteral("Set");

namespace {

// Sends a wheel turn over an unfocused control on to the page's scroll area.
class WheelGuard : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Wheel)
            return false;
        auto *w = qobject_cast<QWidget *>(watched);
        if (!w || w->hasFocus())
            return false;
        for (QWidget *p = w->parentWidget(); p; p = p->parentWidget()) {
            if (auto *area = qobject_cast<QScrollArea *>(p)) {
                auto *wheel = static_cast<QWheelEvent *>(event);
                QScrollBar *bar = wheel->angleDelta().y() != 0 ? area->verticalScrollBar()
                                                                : area->horizontalScrollBar();
                QApplication::sendEvent(bar, event);
                break;
            }
        }
        return true;
    }
};

} // namespace

QLabel *buddyLabel(const QString &text, QWidget *buddy, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

void chainFocus(const QList<QWidget *> &order)
{
    for (int i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

int listIndex(const QComboBox *list)
{
    if (!list->isEditable())
        return list->currentIndex();
    return list->findText(list->currentText(), Qt::MatchExactly);
}

void restorePosition(const QString &app, QComboBox *list, const QString &section, const QString &key,
                     int defaultPosition, const std::function<void()> &handler)
{
    const QString stored = platform::settings::GetSetting(app, section, key, QString::number(defaultPosition));
    qint16 position = 0;
    if (!numericText::toInt16(numericText::leadingNumber(stored), position) || position < 0
        || position >= list->count()) {
        const QSignalBlocker quiet(list);
        list->setCurrentIndex(-1);
        return;
    }
    {
        const QSignalBlocker quiet(list);
        list->setCurrentIndex(position);
    }
    // The driver takes the restored value; the store writes it only if it differs.
    handler();
}

void savePosition(const QString &app, const QString &section, const QString &key, int position)
{
    platform::settings::SaveSetting(app, section, key, QString::number(position));
}

void wheelOnlyWithFocus(QWidget *control)
{
    static WheelGuard *guard = new WheelGuard(qApp);
    // Without this a wheel turn would also give the control the focus first.
    if (control->focusPolicy() == Qt::WheelFocus)
        control->setFocusPolicy(Qt::StrongFocus);
    control->installEventFilter(guard);
}

} // namespace tabSupport
