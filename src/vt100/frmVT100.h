#pragma once

#include "CVT100.h"
#include "Timer.h"

#include <QDialog>
#include <QtGlobal>

#include <array>

class CKDX;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class UpDown;

// "VT100 Mode Test": drives a display in VT100 mode byte by byte through the
// main window's driver, paints the screen model CVT100 as 4 x 20 cells, and asks
// the display for its identification and its screen content. Shown modally, a
// new instance each time; it has no serial settings of its own.
class frmVT100 : public QDialog
{
    Q_OBJECT
public:
    explicit frmVT100(CKDX &kdx, QWidget *parent = nullptr);
    ~frmVT100() override;

    static constexpr int kCells = 80;
    static constexpr int kButtons = 10;

    // Handlers, public so that the events of the controls and tests reach them
    // the same way.
    void pic_KeyPress(qint16 KeyAscii);
    void cmdCtrl_Click(int Index);
    void Slider1_Change();
    void Timer1_Timer();
    void Form_Click();
    void lbl_Click(int Index);

    bool isBusy() const { return m_blnBusy; }
    bool closeRequested() const { return m_blnCloseRequested; }
    qint16 cursorCell() const { return m_iCursorCell; }
    const CVT100 &model() const { return m_vt100; }

    // Cell colours.
    static QColor normalBackground();
    static QColor normalText();
    static QColor blinkBackground();
    static QColor cursorBackground(); // the active title bar's colour

    // A close while busy is deferred until the running operation lets go; a
    // close when idle closes the port that the key path leaves open.
    void done(int r) override;
    void keyPressEvent(QKeyEvent *event) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    void buildControls();
    void Form_Load();
    void focusPic();

    // Busy: wait cursor on the window plus the flag every handler looks at.
    void setBusy(bool busy);
    void setControlsEnabled(bool enabled, bool withSlider);
    // Closes now if a close came in while busy. Returns true when it closed.
    bool closeIfRequested();

    void paintCell(int index, qint16 code, const QColor &background);
    void setCellColours(int index, const QColor &background, const QColor &text);

    // The actions of the command buttons.
    void sendKeys(const QByteArray &bytes);
    void sendCountryCode();
    // Both return false when the window closed while they waited.
    bool requestIdentification();
    bool requestScreen();
    // Polls the input every 200 ms until minBytes are waiting or maxPolls have
    // passed. Returns false when a close request ended the window meanwhile.
    bool pollInput(int minBytes, int maxPolls);

    CKDX &m_kdx;
    CVT100 m_vt100;
    qint16 m_iCursorCell = 0;
    bool m_blnFirstTick = true;
    bool m_blnCloseRequested = false;
    bool m_blnBusy = false;

    QFrame *pic = nullptr;
    std::array<QLabel *, kCells> lbl {};
    QGroupBox *Frame1 = nullptr;
    QGroupBox *Frame2 = nullptr;
    QGroupBox *Frame3 = nullptr;
    QGroupBox *Frame4 = nullptr;
    QGroupBox *Frame5 = nullptr;
    std::array<QPushButton *, kButtons> cmdCtrl {};
    QLabel *Label1 = nullptr;
    QLineEdit *txtY = nullptr;
    UpDown *UpDown1 = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *txtX = nullptr;
    UpDown *UpDown2 = nullptr;
    QComboBox *cboContryCode = nullptr;
    QFrame *Line1 = nullptr;
    QFrame *Line2 = nullptr;
    QSlider *Slider1 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    platform::Timer Timer1;
};
