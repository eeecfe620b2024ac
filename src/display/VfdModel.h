#pragma once

#include "CharacterSet.h"
#include "Screen.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QStringList>

#include <array>
#include <memory>
#include <optional>

namespace kdxdisplay {

class CommandSet;

enum class CommandSetKind { Native, Epson, Vt100 };
QString commandSetName(CommandSetKind kind);
bool commandSetFromName(const QString &name, CommandSetKind *kind);

// Where text goes in the EPSON set (ESC "=" n).
enum class Peripheral { AuxDevice = 1, Display = 2, Both = 3 };

// What an answer of the display is, so that whoever carries it to the host can
// treat each kind its own way.
enum class Reply {
    Ack,            // a native frame carried out
    Nak,            // a native frame refused
    Message,        // "T": 01, the stored message, 17
    Version,        // "V": the version text
    ScreenContent,  // VT100 ESC "T": the codes of every cell
    Identification, // VT100 ESC "[0c"
};

// What the model needs from around it. Every member has a default, so a model
// that only watches the bytes sent to a display needs no host at all.
class DisplayHost
{
public:
    virtual ~DisplayHost() = default;
    // The display answers the host.
    virtual void reply(Reply kind, const QByteArray &bytes) { Q_UNUSED(kind); Q_UNUSED(bytes); }
    // A complete native frame is about to be carried out; false refuses it with NAK.
    virtual bool acceptsFrame(quint8 letter) { Q_UNUSED(letter); return true; }
    // A character routed to the auxiliary device (printer pass-through, ESC "=").
    virtual void auxiliary(quint8 code) { Q_UNUSED(code); }
    // ESC "Load" arrived. True when the host runs the loader from here on and
    // calls restart() once it is left; false lets the model wait for the loader's
    // exit command (ESC "R" CR) by itself, showing nothing of the bytes between.
    virtual bool enterLoader(qint64 now) { Q_UNUSED(now); return false; }
};

struct VfdConfig
{
    int rows = 2;
    int cols = 20;
    int baud = 19200;
    CommandSetKind commandSet = CommandSetKind::Native;
    QString versionText = QStringLiteral("?1.05");
    // The native "B" code "6" stands for 300 and for 38400 alike on the host side;
    // the display has to pick one.
    int code6Baud = 38400;
};

// The display's behaviour with no line beneath it: the screen, the three
// command sets, the character sets, the stored layers, the demo and the
// self-test. Fed with the bytes that reach the display, in order; answers go to
// the host. Times are milliseconds on any monotonic clock; they drive the demo,
// the self-test pages and the drop of a frame that stopped half-way.
class VfdModel
{
public:
    explicit VfdModel(const VfdConfig &config = {}, DisplayHost *host = nullptr);
    ~VfdModel();
    VfdModel(const VfdModel &) = delete;
    VfdModel &operator=(const VfdModel &) = delete;

    // Bytes on their way to the display.
    void feed(const QByteArray &bytes, qint64 now = 0);
    void feed(quint8 byte, qint64 now);
    void advance(qint64 now);
    // The earliest time advance() has work, -1 for none.
    qint64 nextDeadline() const;
    // What the display does when it starts again (after its loader).
    void restart(qint64 now);

    // What the display shows.
    int rows() const { return m_screen.rows(); }
    int cols() const { return m_screen.cols(); }
    const Screen::Cell &cell(int row, int col) const { return m_screen.cell(row, col); }
    QString rowText(int row) const { return m_screen.lineText(row); }
    QStringList rowTexts() const;
    int cursorRow() const { return m_screen.cursorRow(); }
    int cursorCol() const { return m_screen.cursorCol(); }
    bool cursorVisible() const { return m_cursorVisible; }
    // US "E" n: 0 steady, 255 the text dark, otherwise the rate of the blink.
    int blink() const { return m_blink; }
    // Every cell lit in full: the tube's lamp test.
    bool lampTest() const;
    bool inLoader() const { return m_loaderWait || m_hostLoader; }
    // Grows with every change of what the state shows.
    quint64 changes() const { return m_changes; }

    const VfdConfig &config() const { return m_config; }
    DisplayHost &host() const { return *m_host; }
    const Screen &screen() const { return m_screen; }
    CommandSetKind commandSet() const { return m_set; }
    WriteMode writeMode() const { return m_mode; }
    int baud() const { return m_baud; }
    QString framing() const { return m_framing; }
    NationalSet nationalSet() const { return m_national; }
    bool printerOn() const { return m_printer; }
    Peripheral peripheral() const { return m_peripheral; }
    int brightness() const { return m_brightness; }
    bool demoRunning() const { return m_animation.has_value(); }
    QString lastEvent() const { return m_lastEvent; }
    // The display's part of a state report (screen, settings, layers, demo).
    QJsonObject state() const;

    // Used by the command sets.
    void send(Reply kind, const QByteArray &bytes);
    void acknowledge(bool ok);
    void writeText(quint8 code);
    void writeVt100(quint8 code);
    Screen &screenForEdit() { return m_screen; }
    void switchCommandSet(CommandSetKind kind);
    // The native "B" codes: rate "0".."7", framing "N", "O", "E", "o", "e".
    // Nothing changes unless both are known.
    bool setLine(quint8 rateCode, quint8 framingCode);
    void setNationalSet(NationalSet set, int code);
    void setWriteMode(WriteMode mode) { m_mode = mode; }
    void setCursorVisible(bool on) { m_cursorVisible = on; }
    void setReverse(bool on) { m_reverse = on; }
    void setPrinter(bool on) { m_printer = on; }
    void setPeripheral(Peripheral p) { m_peripheral = p; }
    void setCodeTable(int n) { m_codeTable = n; }
    void setBlink(int n) { m_blink = n; }
    void setBrightness(int percent) { m_brightness = percent; }
    bool saveLayer(int layer);
    void setPowerUpRunning(bool running) { m_powerUpRunning = running; }
    bool startDemo(int layerCode, int modeCode, qint64 now);
    void selfTest(qint64 now);
    void initialize();
    QByteArray storedMessage() const;
    QByteArray identification() const;
    void note(const QString &event) { m_lastEvent = event; }
    void touch() { ++m_changes; }

private:
    struct Animation
    {
        QList<QList<Screen::Cell>> frames;
        QList<int> durations;
        int index = 0;
        qint64 nextAt = 0;
        bool loop = false;
        QList<Screen::Cell> saved;
        int savedRow = 0;
        int savedCol = 0;
        QList<int> layers;
        QStringList modes;
        bool selfTest = false;
    };

    CommandSet *currentSet() const;
    void route(quint8 byte, qint64 now);
    void watchLoader(quint8 byte, qint64 now);
    Screen::Cell cellFor(quint8 code) const;
    QList<Screen::Cell> layerCells(int layer) const;
    void stopAnimation();
    void startAnimation(Animation animation, qint64 now);
    void showFrame();

    DisplayHost m_noHost;
    VfdConfig m_config;
    DisplayHost *m_host;
    Screen m_screen;
    CommandSetKind m_set;
    std::unique_ptr<CommandSet> m_native;
    std::unique_ptr<CommandSet> m_epson;
    std::unique_ptr<CommandSet> m_vt100;

    WriteMode m_mode = WriteMode::OverWrite;
    int m_baud;
    QString m_framing = QStringLiteral("N,8,1");
    NationalSet m_national = NationalSet::Usa;
    int m_nationalCode;
    int m_codeTable = 0;
    bool m_cursorVisible = false;
    bool m_reverse = false;
    bool m_printer = false;
    Peripheral m_peripheral = Peripheral::Display;
    int m_blink = 0;
    int m_brightness = 100;
    bool m_powerUpRunning = false;
    std::array<std::optional<QList<Screen::Cell>>, 3> m_layers;
    std::optional<Animation> m_animation;

    QByteArray m_heldEscape; // a possible ESC "Load" kept back from the command set
    bool m_hostLoader = false; // the host runs the loader until restart()
    bool m_loaderWait = false; // no host loader: bytes are ignored until ESC "R" CR
    int m_loaderExit = 0;      // bytes of ESC "R" CR seen while waiting
    qint64 m_auxBytes = 0;
    QByteArray m_auxTail;
    qint64 m_lastByteAt = 0;
    quint64 m_changes = 0;
    QString m_lastEvent;
};

} // namespace kdxdisplay
