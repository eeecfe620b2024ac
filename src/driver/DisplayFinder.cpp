#include "DisplayFinder.h"

#include "Ansi.h"
#include "CKDX.h"
#include "Clock.h"
#include "ControlBytes.h"
#include "ResultCode.h"
#include "frmCKDX.h"

#include <algorithm>
#include <cmath>

namespace {

// The rates in the order they are met in the field; a rate of the display's
// list that is missing here is tried after these.
const char *const kFieldOrder[] = {"19200", "9600", "38400", "115200", "4800", "2400", "1200", "600", "300"};

const QString kFirstFraming = QStringLiteral("N,8,1");

// How often the line is looked at while a setting waits: short enough that a
// cancel is seen at once, long enough to cost no CPU.
constexpr qint64 kPollMs = 5;

double characterMs(const DisplayFinder::Setting &s)
{
    const int baud = s.baud.toInt();
    return baud > 0 ? 1000.0 * DisplayFinder::bitsPerCharacter(s.framing) / baud : 0.0;
}

qint64 ms(double value)
{
    return qint64(std::ceil(value));
}

// Bytes no version text holds but a framing mismatch makes: a parity bit
// read as an eighth data bit sets the top bit, and a character whose stop bit
// falls on a parity bit of 0 reads as NUL.
bool readGarbled(const QByteArray &answer)
{
    return std::any_of(answer.begin(), answer.end(), [](char c) { return c == 0 || (uchar(c) & 0x80) != 0; });
}

QString canonicalFraming(const QString &framing)
{
    return framing.toUpper();
}

} // namespace

DisplayFinder::DisplayFinder(CKDX &kdx)
    : m_kdx(kdx)
{
}

void DisplayFinder::setStart(const Setting &start)
{
    m_start = {start.baud.trimmed(), canonicalFraming(start.framing.trimmed())};
}

int DisplayFinder::bitsPerCharacter(const QString &framing)
{
    const QStringList parts = framing.split(QLatin1Char(','));
    if (parts.size() != 3)
        return 10;
    const bool parity = parts[0].compare(QLatin1String("N"), Qt::CaseInsensitive) != 0;
    const int data = parts[1].toInt();
    const int stop = qRound(parts[2].toDouble());
    return 1 + (data > 0 ? data : 8) + (parity ? 1 : 0) + (stop > 0 ? stop : 1);
}

std::chrono::milliseconds DisplayFinder::answerWait(const Setting &setting)
{
    return std::chrono::milliseconds(ms((kQueryLength + 1) * characterMs(setting))) + kDisplayAnswerDelay;
}

bool DisplayFinder::soundsLikeLoader(const QByteArray &answer)
{
    // The prompt or a CRC request says it outright; NAK alone only when it
    // repeats, as XModem's checksum request does.
    int marks = 0;
    int naks = 0;
    for (char c : answer) {
        if (c == '>' || c == 'C')
            ++marks;
        else if (c == kNAK)
            ++naks;
        else if (c != kACK && c != '\r' && c != '\n')
            return false;
    }
    return marks > 0 || naks > 1;
}

QList<DisplayFinder::Setting> DisplayFinder::order() const
{
    const QStringList displayRates = CKDX::DisplayBaudRates();
    QStringList rates;
    for (const char *rate : kFieldOrder) {
        if (displayRates.contains(QLatin1String(rate)))
            rates << QLatin1String(rate);
    }
    for (const QString &rate : displayRates) {
        if (!rates.contains(rate))
            rates << rate;
    }
    QStringList framings = CKDX::DisplayFramings();
    framings.removeAll(kFirstFraming);

    QList<Setting> out {m_start};
    auto add = [&out](const Setting &s) {
        if (!out.contains(s))
            out << s;
    };
    for (const QString &rate : rates)
        add({rate, kFirstFraming});
    for (const QString &rate : rates) {
        for (const QString &framing : framings)
            add({rate, framing});
    }
    return out;
}

DisplayFinder::Heard DisplayFinder::ask(const Setting &setting, QByteArray &answer, qint32 &portResult)
{
    answer.clear();
    m_kdx.setBaudRate(setting.baud);
    m_kdx.setParity(setting.framing);
    qint32 connected = m_kdx.Connect();
    if (connected == kdx::AlreadyConnected) {
        // Left open by an earlier exchange with other settings.
        m_kdx.Disconnect();
        connected = m_kdx.Connect();
    }
    if (connected != kdx::OK) {
        portResult = kdx::OpenFailed;
        return Heard::OpenFailed;
    }
    platform::SerialPort &port = frmCKDX::instance().MSComm1();
    platform::Clock &clock = platform::clock();
    // Every setting would ask the same line: there is nothing to find.
    if (!port.carriesLineSettings()) {
        m_kdx.Disconnect();
        return Heard::NoLineSettings;
    }
    auto lineFailed = [&] {
        m_kdx.Disconnect();
        portResult = kdx::NotConnected;
        return Heard::LineFailed;
    };

    // A late answer to the setting before must not count as this one's.
    QByteArray stale;
    if (!port.input(stale) || !port.output(CKDX::NativeFrame('V')))
        return lineFailed();

    const double charMs = characterMs(setting);
    const qint64 start = clock.nowMs();
    qint64 quietUntil = start + answerWait(setting).count();
    // An answer that never ends (a line that chatters) ends here.
    const qint64 end = start + ms((kQueryLength + kMaxAnswerLength + 2) * charMs) + 2 * kDisplayAnswerDelay.count();
    for (;;) {
        if (m_cancel) {
            m_kdx.Disconnect();
            return Heard::Cancelled;
        }
        const int waiting = port.inBufferCount();
        if (waiting < 0)
            return lineFailed();
        if (waiting > 0) {
            QByteArray more;
            if (!port.input(more))
                return lineFailed();
            answer += more;
            // The answer goes on for as long as its bytes follow each other.
            quietUntil = clock.nowMs() + ms(2 * charMs) + kDisplayAnswerDelay.count();
            if (answer.size() >= kMaxAnswerLength)
                break;
        }
        const qint64 now = clock.nowMs();
        if (now > quietUntil || now > end)
            break;
        clock.processEvents(qMin(kPollMs, quietUntil - now + 1));
    }
    m_kdx.Disconnect();

    if (answer.isEmpty())
        return Heard::Nothing;
    if (soundsLikeLoader(answer))
        return Heard::Loader;
    if (CKDX::answersLikeKdx(answer))
        return Heard::Version;
    return Heard::Garbled;
}

DisplayFinder::Result DisplayFinder::find()
{
    m_cancel = false;
    const QString baud = m_kdx.BaudRate();
    const QString parity = m_kdx.Parity();
    Result result = sweep();
    m_kdx.setBaudRate(baud);
    m_kdx.setParity(parity);
    return result;
}

DisplayFinder::Result DisplayFinder::sweep()
{
    Result result;
    QList<Setting> queue = order();
    result.settingsInSweep = int(queue.size());
    bool opened = false;
    while (!queue.isEmpty()) {
        const Setting setting = queue.takeFirst();
        ++result.settingsTried;
        if (onTrying)
            onTrying(setting, result.settingsTried, result.settingsInSweep);
        QByteArray answer;
        qint32 portResult = kdx::OK;
        switch (ask(setting, answer, portResult)) {
        case Heard::Cancelled:
            result.outcome = Outcome::Cancelled;
            return result;
        case Heard::NoLineSettings:
            result.outcome = Outcome::NoLineSettings;
            return result;
        case Heard::LineFailed:
            result.outcome = Outcome::PortFailed;
            result.portResult = portResult;
            return result;
        case Heard::OpenFailed:
            // A port that will not open at all is not worth sweeping; one that
            // refuses a single setting has no such rate.
            if (!opened) {
                result.outcome = Outcome::PortFailed;
                result.portResult = portResult;
                return result;
            }
            result.skipped << setting.text();
            break;
        case Heard::Loader:
            result.outcome = Outcome::Loader;
            result.baud = setting.baud;
            result.framings = QStringList {setting.framing};
            return result;
        case Heard::Version:
            result.outcome = Outcome::Found;
            result.baud = setting.baud;
            result.framings = QStringList {setting.framing};
            result.version = platform::ansi::toUnicode(answer);
            confirmFramings(result, answer);
            return result;
        case Heard::Garbled: {
            if (!result.garbledAt.contains(setting.baud))
                result.garbledAt << setting.baud;
            // The rate is likely right: its other framings come next.
            QList<Setting> sameRate;
            for (int i = 0; i < queue.size();) {
                if (queue[i].baud == setting.baud)
                    sameRate << queue.takeAt(i);
                else
                    ++i;
            }
            queue = sameRate + queue;
            break;
        }
        case Heard::Nothing:
            break;
        }
        opened = opened || portResult == kdx::OK;
    }
    result.outcome = Outcome::NotFound;
    return result;
}

void DisplayFinder::confirmFramings(Result &result, const QByteArray &answer)
{
    // Every framing of the rate is asked. The framings kept are those at which
    // the version read the same; a version that came with bytes a framing
    // mismatch makes gives way to one that another framing reads clean.
    QList<QPair<QString, QByteArray>> heardAt {{result.framings.first(), answer}};
    QByteArray best = answer;
    for (const QString &framing : CKDX::DisplayFramings()) {
        if (framing == heardAt.first().first)
            continue;
        QByteArray again;
        qint32 portResult = kdx::OK;
        const Heard heard = ask({result.baud, framing}, again, portResult);
        if (heard == Heard::Cancelled) {
            result = Result();
            result.outcome = Outcome::Cancelled;
            return;
        }
        if (heard != Heard::Version)
            continue;
        heardAt.append({framing, again});
        if (readGarbled(best) && !readGarbled(again))
            best = again;
    }
    result.framings.clear();
    for (const auto &heard : heardAt) {
        if (heard.second == best)
            result.framings << heard.first;
    }
    result.version = platform::ansi::toUnicode(best);
}
