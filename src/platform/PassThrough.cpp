#include "PassThrough.h"

#include "NetworkAddress.h"
#include "PortFactory.h"
#include "PortLock.h"
#include "PortMap.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QStringList>

#include <sys/stat.h>

namespace platform {

namespace {

// Rounds of the pump before other events (a stop, the windows) get their turn
// while a program floods the line.
constexpr int kPumpRounds = 16;
// How often a real port that cannot tell when input waits is read.
constexpr int kRealPollMs = 5;

QString settingsText(const LineSettings &ls)
{
    return QStringLiteral("%1,%2,%3,%4").arg(ls.baud).arg(QLatin1Char(ls.parity)).arg(ls.dataBits).arg(ls.stopBits);
}

} // namespace

PassThrough::PassThrough(TrafficSink *sink, QObject *parent)
    : QObject(parent)
    , m_sink(sink)
{
    m_settingsPoll.setInterval(kSettingsPollMs);
    connect(&m_settingsPoll, &QTimer::timeout, this, &PassThrough::pump);
    m_realPoll.setInterval(kRealPollMs);
    connect(&m_realPoll, &QTimer::timeout, this, &PassThrough::pump);
}

PassThrough::~PassThrough()
{
    stop();
}

QString PassThrough::comName() const
{
    return m_comName;
}

QString PassThrough::realSettings() const
{
    return m_real ? m_real->settings() : m_setup.settings;
}

bool PassThrough::fail(Outcome outcome, const QString &text)
{
    closeEverything();
    m_outcome = outcome;
    m_error = text;
    return false;
}

bool PassThrough::start(const Setup &setup)
{
    if (running())
        return true;
    m_setup = setup;
    m_error.clear();
    m_heldForProgram.clear();
    m_droppingForProgram = false;
    m_stopRequested = false;
    m_pendingEnd = Outcome::Running;
    if (setup.comNumber <= 0 || setup.comNumber > PortMap::kMaxNumber)
        return fail(Outcome::PortMapFailed, QStringLiteral("a COM name is COM1 to COM%1").arg(PortMap::kMaxNumber));
    m_comName = PortMap::linkName(setup.comNumber);
    if (!LineSettings::parse(setup.settings, m_base))
        return fail(Outcome::RealPortFailed, QStringLiteral("\"%1\" are not line settings").arg(setup.settings));
    if (!claimComNumber() || !openRealPort())
        return false;

    QString why;
    if (!m_pty.open(m_base, &why))
        return fail(Outcome::TerminalFailed, why);
    PortMap map;
    m_linkPath = map.dir() + QLatin1Char('/') + m_comName;
    if (!map.addLink(setup.comNumber, m_pty.slavePath(), &why)) {
        // Taken between the look and now: the link is someone else's.
        const bool taken = QFileInfo(m_linkPath).isSymLink() || QFileInfo::exists(m_linkPath);
        m_linkPath.clear();
        return fail(taken ? Outcome::ComTaken : Outcome::PortMapFailed, why);
    }

    m_programOpens = m_pty.watchFd() >= 0 ? 0 : -1;
    m_droppingWhileClosed = false;
    m_seenBaud = m_base.baud;
    m_seenTwoStop = m_base.stopBits == QLatin1String("2");
    m_fromProgram = new QSocketNotifier(m_pty.masterFd(), QSocketNotifier::Read, this);
    connect(m_fromProgram, &QSocketNotifier::activated, this, &PassThrough::pump);
    m_toProgramReady = new QSocketNotifier(m_pty.masterFd(), QSocketNotifier::Write, this);
    m_toProgramReady->setEnabled(false);
    connect(m_toProgramReady, &QSocketNotifier::activated, this, &PassThrough::pump);
    if (m_pty.watchFd() >= 0) {
        m_opens = new QSocketNotifier(m_pty.watchFd(), QSocketNotifier::Read, this);
        connect(m_opens, &QSocketNotifier::activated, this, &PassThrough::pump);
    }
    m_settingsPoll.start();
    m_outcome = Outcome::Running;

    QString real = setup.realPort;
    if (auto *routed = dynamic_cast<RoutedSerialPort *>(m_real.get()); routed && routed->target() != real)
        real += QStringLiteral(" (%1)").arg(routed->target());
    note(QStringLiteral("%1 (%2) passes to %3 at %4").arg(m_comName, m_pty.slavePath(), real, realSettings()));
    // From the event loop, so that a hang-up found at once still reaches
    // whoever waits for ended().
    QMetaObject::invokeMethod(this, &PassThrough::pump, Qt::QueuedConnection);
    return true;
}

bool PassThrough::claimComNumber()
{
    PortMap map;
    const QString link = map.dir() + QLatin1Char('/') + m_comName;
    const QFileInfo fi(link);
    if (fi.isSymLink()) {
        const QString target = fi.symLinkTarget();
        // A pseudo-terminal that is gone was a simulator's or a pass-through's
        // that ended without removing its entry; an unplugged device keeps its
        // number.
        if (fi.exists() || !target.startsWith(QLatin1String("/dev/pts/")))
            return fail(Outcome::ComTaken, QStringLiteral("%1 is taken by %2%3")
                                               .arg(m_comName, target, fi.exists() ? QString() : QStringLiteral(" (not present)")));
        map.removeLink(m_setup.comNumber);
    } else if (fi.exists()) {
        return fail(Outcome::ComTaken, QStringLiteral("%1 is taken: %2 is not a port link").arg(m_comName, link));
    }
    const QString urlFile = map.dir() + QLatin1Char('/') + PortMap::urlFileName(m_setup.comNumber);
    if (QFileInfo(urlFile).isSymLink() || QFileInfo::exists(urlFile)) {
        const QString url = map.urlOf(m_setup.comNumber);
        return fail(Outcome::ComTaken, QStringLiteral("%1 is taken by %2").arg(m_comName, url.isEmpty() ? urlFile : url));
    }
    return true;
}

bool PassThrough::openRealPort()
{
    const int number = PortMap::numberOfName(m_setup.realPort);
    m_real = makeSerialPort(number > 0 ? QString() : m_setup.realPort);
    if (number > 0)
        m_real->setCommPort(number);
    if (!m_real->setSettings(m_setup.settings))
        return fail(Outcome::RealPortFailed,
                    QStringLiteral("%1: the line settings %2 are not ones this port can take").arg(m_setup.realPort, m_setup.settings));
    if (!m_real->setPortOpen(true)) {
        QString reason = m_real->openFailureReason(m_setup.realPort);
        if (reason.isEmpty())
            reason = m_setup.realPort + QStringLiteral(": ") + m_real->lastFault().description;
        return fail(Outcome::RealPortFailed, reason);
    }
    if (auto *routed = dynamic_cast<RoutedSerialPort *>(m_real.get())) {
        NetworkAddress address;
        m_bytesOnly = NetworkAddress::parse(routed->target(), address) && address.kind == NetworkAddress::Kind::Tcp;
    }
    return true;
}

void PassThrough::stop()
{
    if (!running())
        return;
    if (m_pumping) {
        // Inside a call of the real port: only what is safe now.
        removeLink();
        m_stopRequested = true;
        return;
    }
    note(QStringLiteral("stopped"));
    m_outcome = Outcome::Stopped;
    closeEverything();
}

void PassThrough::removeLink()
{
    // Only our own entry: someone may have pointed the number elsewhere meanwhile.
    if (!m_linkPath.isEmpty() && QFileInfo(m_linkPath).symLinkTarget() == m_pty.slavePath())
        QFile::remove(m_linkPath);
    m_linkPath.clear();
}

void PassThrough::closeEverything()
{
    removeLink();
    for (QSocketNotifier **n : {&m_fromProgram, &m_toProgramReady, &m_opens}) {
        if (*n) {
            // Never deleted inside its own signal, where this may be called from.
            (*n)->setEnabled(false);
            (*n)->deleteLater();
            *n = nullptr;
        }
    }
    m_settingsPoll.stop();
    m_realPoll.stop();
    m_pty.close();
    if (m_real) {
        m_real->setPortOpen(false);
        m_real.reset();
    }
    m_heldForProgram.clear();
}

void PassThrough::finish(Outcome outcome, const QString &text)
{
    m_error = text;
    note(text);
    m_outcome = outcome;
    closeEverything();
    emit ended();
}

bool PassThrough::end(Outcome outcome, const QString &text)
{
    m_pendingEnd = outcome;
    m_pendingText = text;
    return false;
}

void PassThrough::report(TapEvent::Kind kind, const QByteArray &bytes, qint64 timeUs, const QString &text)
{
    if (m_sink)
        m_sink->tapped(TapEvent {kind, timeUs, bytes, text});
}

void PassThrough::note(const QString &text)
{
    report(TapEvent::Kind::Note, QByteArray(), TapSerialPort::nowUs(), text);
}

void PassThrough::scheduleRealRead()
{
    if (m_realReadScheduled)
        return;
    m_realReadScheduled = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_realReadScheduled = false;
            pump();
        },
        Qt::QueuedConnection);
}

void PassThrough::pump()
{
    if (!running())
        return;
    if (m_pumping) {
        // A call of the real port waits in the event loop: once it is back.
        m_again = true;
        return;
    }
    m_pumping = true;
    // Off while the pump runs: a wait inside a call of the real port must not
    // wake for bytes that are already being taken care of.
    m_fromProgram->setEnabled(false);
    m_toProgramReady->setEnabled(false);
    if (m_opens)
        m_opens->setEnabled(false);
    bool ok = true;
    int rounds = 0;
    do {
        m_again = false;
        // The program's bytes come after its open and before a close that
        // follows it: it writes while it has the port open.
        const QList<bool> opens = m_pty.takeOpensAndCloses();
        const qsizetype lastOpen = opens.lastIndexOf(true);
        for (qsizetype i = 0; i <= lastOpen; ++i)
            noteOpenOrClose(opens[i]);
        // Settings first: the program's bytes go at the rate it set before
        // writing them.
        ok = followProgramLine() && fromProgram() && fromDisplay() && toProgram();
        for (qsizetype i = lastOpen + 1; i < opens.size(); ++i)
            noteOpenOrClose(opens[i]);
        if (opens.contains(false))
            m_pty.endLeftExclusiveMode();
    } while (ok && m_again && !m_stopRequested && ++rounds < kPumpRounds);
    m_pumping = false;

    if (!ok) {
        finish(m_pendingEnd, m_pendingText);
        return;
    }
    if (m_stopRequested) {
        m_stopRequested = false;
        stop();
        return;
    }
    if (m_again)
        QMetaObject::invokeMethod(this, &PassThrough::pump, Qt::QueuedConnection);
    m_fromProgram->setEnabled(true);
    m_toProgramReady->setEnabled(!m_heldForProgram.isEmpty());
    if (m_opens)
        m_opens->setEnabled(true);
    if (!m_real->notifyWhenReadable([this] { scheduleRealRead(); }))
        m_realPoll.start();
}

void PassThrough::noteOpenOrClose(bool opened)
{
    if (!opened) {
        note(QStringLiteral("%1 closed").arg(m_comName));
        if (m_programOpens > 0 && --m_programOpens == 0) {
            // Nobody has the port open: what the display sends now is lost,
            // as at a closed serial port, and does not greet the next program.
            m_heldForProgram.clear();
            m_pty.discardInput();
        }
        return;
    }
    if (m_programOpens >= 0)
        ++m_programOpens;
    m_droppingWhileClosed = false;
    // Who it is, when it is still there to be seen.
    QStringList who;
    struct stat st {};
    if (::stat(QFile::encodeName(m_pty.slavePath()).constData(), &st) == 0) {
        for (const PortHolder &h : openersOf(st.st_rdev))
            who << h.text();
    }
    note(who.isEmpty() ? QStringLiteral("%1 opened").arg(m_comName)
                       : QStringLiteral("%1 opened by %2").arg(m_comName, who.join(QStringLiteral(", "))));
}

bool PassThrough::fromProgram()
{
    QByteArray data;
    QString why;
    if (!m_pty.read(data, kChunk, &why))
        return end(Outcome::ProgramHungUp, QStringLiteral("%1 hung up: %2").arg(m_comName, why));
    if (data.isEmpty())
        return true;
    report(TapEvent::Kind::Write, data, TapSerialPort::nowUs());
    if (!m_real->output(data))
        return end(Outcome::RealHungUp, QStringLiteral("the real port failed: %1").arg(m_real->lastFault().description));
    if (data.size() == kChunk)
        m_again = true;
    return true;
}

bool PassThrough::fromDisplay()
{
    QByteArray data;
    if (!m_real->input(data))
        return end(Outcome::RealHungUp, QStringLiteral("the real port hung up: %1").arg(m_real->lastFault().description));
    if (data.isEmpty())
        return true;
    report(TapEvent::Kind::Read, data, TapSerialPort::nowUs());
    m_again = true; // something may be waiting still: look again before sleeping
    if (m_programOpens == 0) {
        if (!m_droppingWhileClosed)
            note(QStringLiteral("%1 is not open: what the display sends is dropped").arg(m_comName));
        m_droppingWhileClosed = true;
        return true;
    }
    const qsizetype room = kMaxHeldForProgram - m_heldForProgram.size();
    if (data.size() > room) {
        if (!m_droppingForProgram)
            note(QStringLiteral("%1 is not being read: bytes from the display are dropped").arg(m_comName));
        m_droppingForProgram = true;
    }
    m_heldForProgram.append(data.constData(), qMax<qsizetype>(0, qMin(room, data.size())));
    return true;
}

bool PassThrough::toProgram()
{
    if (m_heldForProgram.isEmpty())
        return true;
    QString why;
    const qsizetype n = m_pty.write(m_heldForProgram.constData(), m_heldForProgram.size(), &why);
    if (n < 0)
        return end(Outcome::ProgramHungUp, QStringLiteral("%1 hung up: %2").arg(m_comName, why));
    m_heldForProgram.remove(0, n);
    if (m_heldForProgram.isEmpty())
        m_droppingForProgram = false;
    return true;
}

bool PassThrough::followProgramLine()
{
    int baud = 0;
    bool two = false;
    // Our own descriptor of the slave stops working only when the line was
    // hung up under it (vhangup).
    if (!m_pty.programLine(&baud, &two))
        return end(Outcome::ProgramHungUp, QStringLiteral("%1 was hung up").arg(m_comName));
    if (baud == m_seenBaud && two == m_seenTwoStop)
        return true;
    m_seenBaud = baud;
    m_seenTwoStop = two;
    if (baud == 0) {
        note(QStringLiteral("%1: the program set 0 baud (hang up); the real port stays at %2").arg(m_comName, realSettings()));
        return true;
    }
    if (baud < 0) {
        note(QStringLiteral("%1: the program set a rate this port does not know; the real port stays at %2")
                 .arg(m_comName, realSettings()));
        return true;
    }
    LineSettings wanted = m_base;
    wanted.baud = baud;
    wanted.stopBits = two ? QStringLiteral("2") : QStringLiteral("1");
    const QString text = settingsText(wanted);
    if (text == m_real->settings())
        return true;
    const QString before = realSettings();
    if (!m_real->setSettings(text)) {
        note(QStringLiteral("the real port cannot take %1 (%2); it stays at %3")
                 .arg(text, m_real->lastFault().description, before));
        return true;
    }
    report(TapEvent::Kind::Settings, QByteArray(), TapSerialPort::nowUs(), text);
    if (m_bytesOnly)
        note(QStringLiteral("a tcp:// port carries bytes only: the line stays as the server has it"));
    return true;
}

} // namespace platform
