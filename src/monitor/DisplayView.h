#pragma once

#include "TrafficEvent.h"
#include "VfdModel.h"

#include <QTimer>
#include <QWidget>

#include <memory>
#include <vector>

class QComboBox;
class QLabel;

namespace monitor {

// The display as the customer sees it, drawn from the bytes the host sent to it:
// the rows of character cells on a dark tube, the cursor when it is shown,
// blinking text and the all-dots lamp test. Fed by the Traffic window with the
// events it records; the display's answers and port events do not change it.
class DisplayView final : public QWidget
{
    Q_OBJECT
public:
    explicit DisplayView(QWidget *parent = nullptr);
    ~DisplayView() override;

    // The sizes offered, as "rows x columns".
    static QStringList sizeNames();
    // A new picture of that size, blank as after power-up.
    void setSize(int rows, int cols);
    void feed(const std::vector<TrafficEvent> &events);
    // Starts over with a blank picture of the same size.
    void reset();

    const kdxdisplay::VfdModel &model() const { return *m_model; }
    // False while blinking text is in its dark phase (or blink 255 keeps it dark).
    bool textLit() const { return m_textLit; }
    // The line under the picture: cursor, blink, lamp test, loader.
    QString statusText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void tick();
    void changed();
    QRect tubeRect() const;

    std::unique_ptr<kdxdisplay::VfdModel> m_model;
    QComboBox *cboSize = nullptr;
    QLabel *lblState = nullptr;
    QTimer m_timer;
    qint64 m_lastMs = 0;
    qint64 m_nextBlinkMs = -1;
    bool m_textLit = true;
};

} // namespace monitor
