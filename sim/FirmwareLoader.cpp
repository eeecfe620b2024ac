#include "FirmwareLoader.h"

namespace kdxsim {

namespace {
constexpr char kPrompt = '>';
constexpr quint8 kEsc = 0x1B;
constexpr quint8 kCr = 0x0D;
constexpr quint8 kLf = 0x0A;
constexpr quint8 kEtb = 0x17; // the end of a native frame
} // namespace

FirmwareLoader::FirmwareLoader(Sender send, const FaultSet &faults)
    : m_send(send)
    , m_faults(faults)
    , m_receiver(send)
{
    m_receiver.setCancelAtBlock(faults.cancelAtBlock);
    m_receiver.setNakBlock(faults.nakBlock);
}

QString FirmwareLoader::stateName() const
{
    switch (m_state) {
    case State::Off: return QStringLiteral("off");
    case State::Command: return QStringLiteral("prompt");
    case State::Receiving: return QStringLiteral("receiving");
    }
    return QString();
}

void FirmwareLoader::prompt(bool loadRequest)
{
    if (m_faults.noPrompt)
        return;
    if (loadRequest && ++m_loadRequests <= m_faults.ignoreLoad)
        return;
    ++m_prompts;
    m_send(QByteArray(1, kPrompt));
}

void FirmwareLoader::enter(qint64)
{
    m_state = State::Command;
    m_line.clear();
    m_escape = 0;
    m_loadMatch.clear();
    prompt(true);
}

bool FirmwareLoader::takeExitRequest()
{
    const bool r = m_exitRequested;
    m_exitRequested = false;
    return r;
}

bool FirmwareLoader::takeCompletedImage(QByteArray *image)
{
    if (!m_imageReady)
        return false;
    m_imageReady = false;
    *image = m_receiver.image();
    return true;
}

void FirmwareLoader::command(const QByteArray &line, qint64 now)
{
    if (line == "XA") {
        if (!m_faults.noPromptAfterXa)
            prompt(false);
    } else if (line == "PX" || line == "ZX") {
        m_codeType = QString::fromLatin1(line);
        m_state = State::Receiving;
        m_receiver.start(now);
    }
    // Anything else is not a loader command and gets no answer.
}

void FirmwareLoader::feed(quint8 byte, qint64 now)
{
    if (m_state == State::Off)
        return;
    if (m_state == State::Receiving) {
        m_receiver.feed(byte, now);
        advance(now);
        return;
    }

    // Escapes: ESC "R" CR leaves; ESC "Load" asks for the prompt again.
    if (m_escape > 0 || byte == kEsc) {
        if (byte == kEsc) {
            m_escape = 1;
            m_loadMatch = QByteArray(1, char(kEsc));
            return;
        }
        m_loadMatch.append(char(byte));
        if (m_escape == 1 && byte == 'R') {
            m_escape = 2;
            return;
        }
        if (m_escape == 2 && byte == kCr) {
            m_escape = 0;
            m_state = State::Off;
            m_exitRequested = true;
            return;
        }
        if (QByteArray("\x1bLoad").startsWith(m_loadMatch)) {
            m_escape = 3;
            if (m_loadMatch.size() == 5) {
                m_escape = 0;
                prompt(true);
            }
            return;
        }
        m_escape = 0;
        return;
    }

    if (byte == kLf)
        return;
    // A native frame is no loader command: the loader shows its prompt again,
    // so a host asking for the version learns where the display is.
    if (byte == kEtb) {
        m_line.clear();
        prompt(false);
        return;
    }
    if (byte == kCr) {
        const QByteArray line = m_line;
        m_line.clear();
        command(line, now);
        return;
    }
    if (byte == '1' && m_line.isEmpty()) {
        prompt(true);
        return;
    }
    if (m_line.size() < 16)
        m_line.append(char(byte));
}

void FirmwareLoader::advance(qint64 now)
{
    if (m_state != State::Receiving)
        return;
    m_receiver.advance(now);
    switch (m_receiver.state()) {
    case XModemReceiver::State::Done:
        m_imageReady = true;
        m_state = State::Command;
        m_line.clear();
        break;
    case XModemReceiver::State::Failed:
        m_state = State::Command;
        m_line.clear();
        break;
    default:
        break;
    }
}

} // namespace kdxsim
