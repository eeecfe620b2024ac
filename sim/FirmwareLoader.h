#pragma once

#include "Faults.h"
#include "XModemReceiver.h"

#include <QByteArray>

#include <functional>

namespace kdxsim {

// The display's firmware loader. Entered with ESC "Load", it prompts ">" and
// understands "1" (prompt again), "XA" CR (prompt), "PX" or "ZX" CR LF (start an
// XModem receive of an encrypted or a plain image) and ESC "R" CR (leave and
// restart the display). A native frame gets the prompt again.
class FirmwareLoader
{
public:
    enum class State { Off, Command, Receiving };

    using Sender = std::function<void(const QByteArray &)>;

    FirmwareLoader(Sender send, const FaultSet &faults);

    void setStartCheck(XModemReceiver::StartCheck check) { m_receiver.setStartCheck(check); }

    // ESC "Load" has arrived (also while the loader already runs).
    void enter(qint64 now);
    void feed(quint8 byte, qint64 now);
    void advance(qint64 now);
    qint64 nextDeadline() const { return m_receiver.nextDeadline(); }

    State state() const { return m_state; }
    bool active() const { return m_state != State::Off; }
    // Set once ESC "R" CR has been received; the display restarts and clears it.
    bool takeExitRequest();
    // Set once a receive has ended with EOT; cleared by the caller.
    bool takeCompletedImage(QByteArray *image);

    const XModemReceiver &receiver() const { return m_receiver; }
    QString codeType() const { return m_codeType; }
    int promptsSent() const { return m_prompts; }
    QString stateName() const;

private:
    void prompt(bool requested);
    void command(const QByteArray &line, qint64 now);

    Sender m_send;
    const FaultSet &m_faults;
    XModemReceiver m_receiver;
    State m_state = State::Off;
    QByteArray m_line;
    int m_escape = 0; // bytes of ESC "R" CR seen so far
    QByteArray m_loadMatch;
    int m_loadRequests = 0;
    int m_prompts = 0;
    QString m_codeType;
    bool m_exitRequested = false;
    bool m_imageReady = false;
};

} // namespace kdxsim
