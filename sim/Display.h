#pragma once

#include "CharacterSet.h"
#include "Faults.h"
#include "FirmwareLoader.h"
#include "Screen.h"

#include <QByteArray>
#include <QFile>
#include <QJsonObject>
#include <QList>

#include <array>
#include <memory>
#include <optional>

namespace kdxsim {

class CommandSet;

enum class CommandSetKind { Native, Epson, Vt100 };
QString commandSetName(CommandSetKind kind);
bool commandSetFromName(const QString &name, CommandSetKind *kind);

// Where text goes in the EPSON set (ESC "=" n).
enum class Peripheral { AuxDevice = 1, Display = 2, Both = 3 };

struct DisplayConfig
{
    int rows = 2;
    int cols = 20;
    int baud = 19200;
    CommandSetKind commandSet = CommandSetKind::Native;
    FaultSet faults;
    QString auxPath;
    QString firmwareOutPath;
    QString versionText = QStringLiteral("?1.05");
    // The native "B" code "6" stands for 300 and for 38400 alike on the host side;
    // the display has to pick one.
    int code6Baud = 38400;
    XModemReceiver::StartCheck startCheck = XModemReceiver::StartCheck::Auto;
};

// The whole simulated display: its screen, settings, command sets, firmware
// loader and line. Driven by feed() with what the host sent and by advance() with
// the time; answers wait in an outgoing queue that takeOutput() empties.
// Times are milliseconds on any monotonic clock.
class Display
{
public:
    explicit Display(const DisplayConfig &config);
    ~Display();

    // Bytes the host wrote at hostBaud. They reach the display through a line at
    // the display's own rate.
    void feed(const QByteArray &raw, qint64 now, int hostBaud);
    void advance(qint64 now);
    // The earliest time advance() or takeOutput() has work, -1 for none.
    qint64 nextDeadline() const;
    // The answers due by now, as a host at hostBaud reads them.
    QByteArray takeOutput(qint64 now, int hostBaud);

    bool hungUp() const { return m_hungUp; }
    // Grows with every change of what the state shows.
    quint64 changes() const { return m_changes; }
    QJsonObject state() const;

    const DisplayConfig &config() const { return m_config; }
    const Screen &screen() const { return m_screen; }
    CommandSetKind commandSet() const { return m_set; }
    WriteMode writeMode() const { return m_mode; }
    int baud() const { return m_baud; }
    QString framing() const { return m_framing; }
    int hostBaud() const { return m_hostBaud; }
    NationalSet nationalSet() const { return m_national; }
    bool cursorVisible() const { return m_cursorVisible; }
    bool printerOn() const { return m_printer; }
    Peripheral peripheral() const { return m_peripheral; }
    int blink() const { return m_blink; }
    int brightness() const { return m_brightness; }
    bool demoRunning() const { return m_animation.has_value(); }
    const FirmwareLoader &loader() const { return m_loader; }
    QString lastEvent() const { return m_lastEvent; }
    // The bytes of the latest read as the display received them, and of its
    // latest answer as it sent it, in hex.
    QString lastReceived() const { return hex(m_lastRx); }
    QString lastSent() const { return hex(m_lastTx); }

    // Used by the command sets.
    void send(const QByteArray &bytes);
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

private:
    struct Outgoing
    {
        qint64 at = 0;
        QByteArray bytes;
        int baud = 0;
    };
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
    void receive(quint8 byte, qint64 now);
    void route(quint8 byte, qint64 now);
    void checkLoader(qint64 now);
    Screen::Cell cellFor(quint8 code) const;
    QList<Screen::Cell> layerCells(int layer) const;
    void restart(qint64 now);
    void stopAnimation();
    void startAnimation(Animation animation, qint64 now);
    void showFrame();
    void keepFirmware(const QByteArray &image);
    void touch() { ++m_changes; }
    static QString hex(const QByteArray &bytes);

    DisplayConfig m_config;
    Screen m_screen;
    CommandSetKind m_set;
    std::unique_ptr<CommandSet> m_native;
    std::unique_ptr<CommandSet> m_epson;
    std::unique_ptr<CommandSet> m_vt100;
    FirmwareLoader m_loader;

    WriteMode m_mode = WriteMode::OverWrite;
    int m_baud;
    QString m_framing = QStringLiteral("N,8,1");
    int m_hostBaud = 0;
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
    QList<Outgoing> m_out;
    QFile m_aux;
    qint64 m_auxBytes = 0;
    QByteArray m_auxTail;
    qint64 m_rxBytes = 0;
    qint64 m_txBytes = 0;
    qint64 m_lastByteAt = 0;
    qint64 m_now = 0;
    int m_restarts = 0;
    int m_images = 0;
    qint64 m_lastImageSize = 0;
    bool m_hungUp = false;
    quint64 m_changes = 0;
    QString m_lastEvent;
    QByteArray m_lastRx;
    QByteArray m_lastTx;
};

} // namespace kdxsim
