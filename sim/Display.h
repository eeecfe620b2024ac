#pragma once

#include "Faults.h"
#include "FirmwareLoader.h"
#include "TimedLine.h"
#include "VfdModel.h"

#include <QByteArray>
#include <QFile>
#include <QJsonObject>
#include <QList>

namespace kdxsim {

// The display's behaviour comes from the shared model; the simulator adds the
// line, the faults and the firmware loader around it.
using kdxdisplay::CommandSetKind;
using kdxdisplay::commandSetFromName;
using kdxdisplay::commandSetName;
using kdxdisplay::glyphFor;
using kdxdisplay::glyphString;
using kdxdisplay::NationalSet;
using kdxdisplay::nationalSetName;
using kdxdisplay::Peripheral;
using kdxdisplay::Screen;
using kdxdisplay::WriteMode;
using kdxdisplay::writeModeName;

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
    // Every byte takes its character time on the line, both ways; off, the
    // line is instant.
    bool lineTime = true;
};

// The whole simulated display: the display model, the firmware loader and the
// line, with the faults it was told to show. Driven by feed() with what the host
// sent and by advance() with the time; answers wait in an outgoing queue that
// takeOutput() empties. Times are milliseconds on any monotonic clock.
class Display final : private kdxdisplay::DisplayHost
{
public:
    explicit Display(const DisplayConfig &config);
    ~Display() override;

    // Bytes the host wrote at hostBaud. They reach the display through a line at
    // the display's own rate, each once its character time has passed.
    void feed(const QByteArray &raw, qint64 now, int hostBaud);
    void advance(qint64 now);
    // The earliest time advance() or takeOutput() has work, -1 for none.
    qint64 nextDeadline() const;
    // The answers due by now, as a host at hostBaud reads them.
    QByteArray takeOutput(qint64 now, int hostBaud);

    bool hungUp() const { return m_hungUp; }
    // Nothing on its way in either direction.
    bool lineIdle() const { return m_toDisplay.idle() && m_toHost.idle(); }
    // Grows with every change of what the state shows.
    quint64 changes() const { return m_changes + m_model.changes(); }
    QJsonObject state() const;

    const DisplayConfig &config() const { return m_config; }
    const kdxdisplay::VfdModel &model() const { return m_model; }
    const Screen &screen() const { return m_model.screen(); }
    CommandSetKind commandSet() const { return m_model.commandSet(); }
    int baud() const { return m_model.baud(); }
    QString framing() const { return m_model.framing(); }
    int brightness() const { return m_model.brightness(); }
    int blink() const { return m_model.blink(); }
    bool demoRunning() const { return m_model.demoRunning(); }
    int hostBaud() const { return m_hostBaud; }
    const FirmwareLoader &loader() const { return m_loader; }
    QString lastEvent() const { return m_model.lastEvent(); }
    // The bytes of the latest read as the display received them, and of its
    // latest answer as it sent it, in hex.
    QString lastReceived() const { return hex(m_lastRx); }
    QString lastSent() const { return hex(m_lastTx); }

private:
    // What the model asks of the simulator.
    void reply(kdxdisplay::Reply kind, const QByteArray &bytes) override;
    bool acceptsFrame(quint8 letter) override;
    void auxiliary(quint8 code) override;
    bool enterLoader(qint64 now) override;

    void receive(quint8 byte, qint64 now);
    // Hands the display what has come over the line by now.
    void receiveArrived(qint64 now);
    void send(const QByteArray &bytes);
    int bitsPerCharacter() const;
    void checkLoader(qint64 now);
    void keepFirmware(const QByteArray &image);
    void touch() { ++m_changes; }
    static QString hex(const QByteArray &bytes);

    DisplayConfig m_config;
    kdxdisplay::VfdModel m_model;
    FirmwareLoader m_loader;

    int m_hostBaud = 0;
    TimedLine m_toDisplay;
    TimedLine m_toHost;
    QFile m_aux;
    qint64 m_rxBytes = 0;
    qint64 m_txBytes = 0;
    qint64 m_now = 0;
    int m_restarts = 0;
    int m_images = 0;
    qint64 m_lastImageSize = 0;
    bool m_hungUp = false;
    quint64 m_changes = 0;
    QByteArray m_lastRx;
    QByteArray m_lastTx;
};

} // namespace kdxsim
