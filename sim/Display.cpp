#include "Display.h"

#include "LineModel.h"

#include <QJsonArray>
#include <QSaveFile>

namespace kdxsim {

namespace {

kdxdisplay::VfdConfig modelConfig(const DisplayConfig &c)
{
    kdxdisplay::VfdConfig m;
    m.rows = c.rows;
    m.cols = c.cols;
    m.baud = c.baud;
    m.commandSet = c.commandSet;
    m.versionText = c.versionText;
    m.code6Baud = c.code6Baud;
    return m;
}

} // namespace

Display::Display(const DisplayConfig &config)
    : m_config(config)
    , m_model(modelConfig(config), this)
    , m_loader([this](const QByteArray &b) { send(b); }, m_config.faults)
    , m_toDisplay(config.lineTime)
    , m_toHost(config.lineTime)
{
    m_loader.setStartCheck(config.startCheck);
    if (!config.auxPath.isEmpty()) {
        m_aux.setFileName(config.auxPath);
        if (!m_aux.open(QIODevice::WriteOnly | QIODevice::Append))
            m_model.note(QStringLiteral("cannot open the aux file %1").arg(config.auxPath));
    }
}

Display::~Display() = default;

void Display::feed(const QByteArray &raw, qint64 now, int hostBaud)
{
    m_now = now;
    if (hostBaud > 0 && hostBaud != m_hostBaud) {
        m_hostBaud = hostBaud;
        touch();
    }
    // A pseudo-terminal carries no framing: both sides' characters are taken
    // to have the display's.
    m_toDisplay.put(raw, hostBaud > 0 ? hostBaud : m_model.baud(), bitsPerCharacter(), now);
    receiveArrived(now);
}

int Display::bitsPerCharacter() const
{
    return TimedLine::bitsPerCharacter(m_model.framing());
}

void Display::receiveArrived(qint64 now)
{
    m_now = now;
    // The display reads a message at the rate it has when the message arrives.
    const QByteArray bytes = m_toDisplay.take(now, [this](const QByteArray &sent, int senderBaud) {
        const int baud = m_model.baud();
        const QByteArray read = LineModel::transfer(sent, senderBaud, baud, LineModel::FramingErrors::Drop);
        m_lastRx = read;
        if (read != sent) {
            m_model.note(QStringLiteral("line at %1 baud, display at %2: %3 bytes garbled")
                             .arg(senderBaud).arg(baud).arg(sent.size()));
            touch();
        }
        return read;
    });
    for (char c : bytes) {
        if (m_hungUp)
            return;
        receive(quint8(c), now);
    }
}

void Display::receive(quint8 byte, qint64 now)
{
    ++m_rxBytes;
    if (m_config.faults.hangupAfter > 0 && m_rxBytes >= m_config.faults.hangupAfter) {
        m_hungUp = true;
        m_model.note(QStringLiteral("line hung up after %1 bytes (fault)").arg(m_rxBytes));
    }
    if (m_loader.active()) {
        touch();
        m_loader.feed(byte, now);
        checkLoader(now);
        return;
    }
    m_model.feed(byte, now);
}

bool Display::enterLoader(qint64 now)
{
    m_loader.enter(now);
    return true;
}

void Display::checkLoader(qint64 now)
{
    QByteArray image;
    if (m_loader.takeCompletedImage(&image))
        keepFirmware(image);
    if (m_loader.takeExitRequest()) {
        ++m_restarts;
        m_model.restart(now);
    }
}

void Display::keepFirmware(const QByteArray &image)
{
    ++m_images;
    m_lastImageSize = image.size();
    m_model.note(QStringLiteral("firmware image received: %1 bytes").arg(image.size()));
    if (m_config.firmwareOutPath.isEmpty())
        return;
    QSaveFile f(m_config.firmwareOutPath);
    if (!f.open(QIODevice::WriteOnly) || f.write(image) != image.size() || !f.commit())
        m_model.note(QStringLiteral("cannot write %1").arg(m_config.firmwareOutPath));
}

void Display::advance(qint64 now)
{
    receiveArrived(now);
    if (m_loader.active()) {
        const auto before = m_loader.receiver().state();
        m_loader.advance(now);
        if (m_loader.receiver().state() != before)
            touch();
        checkLoader(now);
    }
    m_model.advance(now);
}

qint64 Display::nextDeadline() const
{
    qint64 next = m_model.nextDeadline();
    auto consider = [&next](qint64 t) {
        if (t >= 0 && (next < 0 || t < next))
            next = t;
    };
    consider(m_toDisplay.nextDue());
    consider(m_toHost.nextDue());
    if (m_loader.active())
        consider(m_loader.nextDeadline());
    return next;
}

QByteArray Display::takeOutput(qint64 now, int hostBaud)
{
    // The host reads an answer at the rate it has when the answer arrives.
    return m_toHost.take(now, [this, hostBaud](const QByteArray &sent, int senderBaud) {
        const QByteArray read = LineModel::transfer(sent, senderBaud, hostBaud > 0 ? hostBaud : senderBaud,
                                                    LineModel::FramingErrors::AsZero);
        return m_config.faults.garble ? LineModel::corrupt(read) : read;
    });
}

void Display::reply(kdxdisplay::Reply kind, const QByteArray &bytes)
{
    using kdxdisplay::Reply;
    if (kind == Reply::Ack && m_config.faults.doubleAck)
        send(bytes + bytes);
    else if (kind == Reply::Version && m_config.faults.shortVersion)
        send(bytes.left(3));
    else
        send(bytes);
}

bool Display::acceptsFrame(quint8 letter)
{
    if (!m_config.faults.nak)
        return true;
    m_model.note(QStringLiteral("frame \"%1\" refused (fault nak)").arg(QChar(letter)));
    return false;
}

void Display::auxiliary(quint8 code)
{
    if (m_aux.isOpen()) {
        m_aux.write(QByteArray(1, char(code)));
        m_aux.flush();
    }
}

void Display::send(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    if (m_config.faults.silent)
        return;
    m_txBytes += bytes.size();
    m_lastTx = bytes;
    // The display's rate at this moment: a new rate holds before its answer leaves.
    m_toHost.put(bytes, m_model.baud(), bitsPerCharacter(), m_now + m_config.faults.slowMs);
    touch();
}

QString Display::hex(const QByteArray &bytes)
{
    constexpr int kShown = 16;
    QString text = QString::fromLatin1(bytes.left(kShown).toHex(' ').toUpper());
    if (bytes.size() > kShown)
        text += QStringLiteral(" ... (%1 bytes)").arg(bytes.size());
    return text;
}

QJsonObject Display::state() const
{
    QJsonObject o = m_model.state();
    o.remove(QStringLiteral("loaderEntered"));
    o[QStringLiteral("hostBaud")] = m_hostBaud;
    o[QStringLiteral("lineMatches")] = m_hostBaud == 0 || m_hostBaud == m_model.baud();
    o[QStringLiteral("lineTime")] = m_config.lineTime;
    const XModemReceiver &rx = m_loader.receiver();
    static const char *rxStates[] = {"idle", "starting", "receiving", "done", "failed"};
    o[QStringLiteral("loader")] = QJsonObject {
        {QStringLiteral("state"), m_loader.stateName()},
        {QStringLiteral("codeType"), m_loader.codeType()},
        {QStringLiteral("prompts"), m_loader.promptsSent()},
        {QStringLiteral("transfer"), QString::fromLatin1(rxStates[int(rx.state())])},
        {QStringLiteral("check"), rx.state() == XModemReceiver::State::Idle ? QString()
                                  : rx.crcMode() ? QStringLiteral("crc") : QStringLiteral("checksum")},
        {QStringLiteral("blocks"), rx.blocksAccepted()},
        {QStringLiteral("naks"), rx.naksSent()},
        {QStringLiteral("failure"), rx.failure()},
        {QStringLiteral("images"), m_images},
        {QStringLiteral("imageBytes"), m_lastImageSize},
    };
    o[QStringLiteral("restarts")] = m_restarts;
    o[QStringLiteral("rxBytes")] = m_rxBytes;
    o[QStringLiteral("txBytes")] = m_txBytes;
    o[QStringLiteral("faults")] = QJsonArray::fromStringList(m_config.faults.names());
    o[QStringLiteral("hungUp")] = m_hungUp;
    o[QStringLiteral("lastReceived")] = lastReceived();
    o[QStringLiteral("lastSent")] = lastSent();
    o[QStringLiteral("changes")] = qint64(changes());
    return o;
}

} // namespace kdxsim
