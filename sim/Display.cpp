#include "Display.h"

#include "EpsonCommandSet.h"
#include "LineModel.h"
#include "NativeCommandSet.h"
#include "Vt100CommandSet.h"

#include <QJsonArray>
#include <QSaveFile>

#include <algorithm>

namespace kdxsim {

namespace {

constexpr quint8 kEsc = 0x1B;
constexpr quint8 kAck = 0x06;
constexpr quint8 kNak = 0x15;
const QByteArray kLoadRequest("\x1bLoad");

constexpr int kScrollStepMs = 120;
constexpr int kRowStepMs = 300;
constexpr int kBlinkStepMs = 400;
constexpr int kHoldMs = 1200;
constexpr int kSelfTestPageMs = 1500;
constexpr int kAuxTail = 64;

// Which of three things a demo code "1".."7" selects: 1, 2, 3, 1+2, 1+3, 2+3, 1+2+3.
QList<int> combination(int code)
{
    static const QList<QList<int>> table = {{1}, {2}, {3}, {1, 2}, {1, 3}, {2, 3}, {1, 2, 3}};
    return code >= 1 && code <= 7 ? table[code - 1] : QList<int>();
}

QString modeName(int mode)
{
    switch (mode) {
    case 1: return QStringLiteral("horizontal-scroll");
    case 2: return QStringLiteral("vertical-scroll");
    default: return QStringLiteral("blinking");
    }
}

} // namespace

QString commandSetName(CommandSetKind kind)
{
    switch (kind) {
    case CommandSetKind::Native: return QStringLiteral("native");
    case CommandSetKind::Epson: return QStringLiteral("epson");
    case CommandSetKind::Vt100: return QStringLiteral("vt100");
    }
    return QString();
}

bool commandSetFromName(const QString &name, CommandSetKind *kind)
{
    for (CommandSetKind k : {CommandSetKind::Native, CommandSetKind::Epson, CommandSetKind::Vt100}) {
        if (commandSetName(k) == name) {
            *kind = k;
            return true;
        }
    }
    return false;
}

Display::Display(const DisplayConfig &config)
    : m_config(config)
    , m_screen(config.rows, config.cols)
    , m_set(config.commandSet)
    , m_native(std::make_unique<NativeCommandSet>(*this))
    , m_epson(std::make_unique<EpsonCommandSet>(*this))
    , m_vt100(std::make_unique<Vt100CommandSet>(*this))
    , m_loader([this](const QByteArray &b) { send(b); }, m_config.faults)
    , m_baud(config.baud)
    , m_nationalCode(config.commandSet == CommandSetKind::Vt100 ? 0 : 0x30)
{
    m_loader.setStartCheck(config.startCheck);
    if (!config.auxPath.isEmpty()) {
        m_aux.setFileName(config.auxPath);
        if (!m_aux.open(QIODevice::WriteOnly | QIODevice::Append))
            m_lastEvent = QStringLiteral("cannot open the aux file %1").arg(config.auxPath);
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
    const QByteArray bytes = LineModel::transfer(raw, hostBaud > 0 ? hostBaud : m_baud, m_baud,
                                                 LineModel::FramingErrors::Drop);
    m_lastRx = bytes;
    if (bytes != raw) {
        m_lastEvent = QStringLiteral("line at %1 baud, display at %2: %3 bytes garbled")
                          .arg(hostBaud).arg(m_baud).arg(raw.size());
        touch();
    }
    for (char c : bytes) {
        if (m_hungUp)
            return;
        receive(quint8(c), now);
    }
}

CommandSet *Display::currentSet() const
{
    switch (m_set) {
    case CommandSetKind::Native: return m_native.get();
    case CommandSetKind::Epson: return m_epson.get();
    case CommandSetKind::Vt100: return m_vt100.get();
    }
    return m_native.get();
}

void Display::receive(quint8 byte, qint64 now)
{
    ++m_rxBytes;
    if (m_config.faults.hangupAfter > 0 && m_rxBytes >= m_config.faults.hangupAfter) {
        m_hungUp = true;
        m_lastEvent = QStringLiteral("line hung up after %1 bytes (fault)").arg(m_rxBytes);
    }
    m_lastByteAt = now;
    touch();

    if (m_loader.active()) {
        m_loader.feed(byte, now);
        checkLoader(now);
        return;
    }
    if (m_animation)
        stopAnimation();

    route(byte, now);
}

void Display::route(quint8 byte, qint64 now)
{
    CommandSet *set = currentSet();
    // ESC "Load" reaches the loader from every command set, so an ESC outside a
    // sequence is held back until it is clear whether the load request follows.
    if (m_heldEscape.isEmpty() && (byte != kEsc || set->busy())) {
        set->feed(byte, now);
        return;
    }
    m_heldEscape.append(char(byte));
    if (kLoadRequest.startsWith(m_heldEscape)) {
        if (m_heldEscape.size() == kLoadRequest.size()) {
            m_heldEscape.clear();
            set->reset();
            m_lastEvent = QStringLiteral("firmware loader entered");
            m_loader.enter(now);
        }
        return;
    }
    const QByteArray held = m_heldEscape;
    m_heldEscape.clear();
    set->feed(quint8(held.at(0)), now);
    for (int i = 1; i < held.size(); ++i)
        route(quint8(held.at(i)), now);
}

void Display::checkLoader(qint64 now)
{
    QByteArray image;
    if (m_loader.takeCompletedImage(&image))
        keepFirmware(image);
    if (m_loader.takeExitRequest())
        restart(now);
}

void Display::keepFirmware(const QByteArray &image)
{
    ++m_images;
    m_lastImageSize = image.size();
    m_lastEvent = QStringLiteral("firmware image received: %1 bytes").arg(image.size());
    if (m_config.firmwareOutPath.isEmpty())
        return;
    QSaveFile f(m_config.firmwareOutPath);
    if (!f.open(QIODevice::WriteOnly) || f.write(image) != image.size() || !f.commit())
        m_lastEvent = QStringLiteral("cannot write %1").arg(m_config.firmwareOutPath);
}

void Display::advance(qint64 now)
{
    m_now = now;
    currentSet()->idleFor(now - m_lastByteAt);
    if (m_loader.active()) {
        const auto before = m_loader.receiver().state();
        m_loader.advance(now);
        if (m_loader.receiver().state() != before)
            touch();
        checkLoader(now);
    }
    if (m_animation && now >= m_animation->nextAt) {
        Animation &a = *m_animation;
        if (a.index + 1 >= a.frames.size() && !a.loop) {
            stopAnimation();
        } else {
            a.index = (a.index + 1) % a.frames.size();
            a.nextAt = now + a.durations[a.index];
            showFrame();
        }
    }
}

qint64 Display::nextDeadline() const
{
    qint64 next = -1;
    auto consider = [&next](qint64 t) {
        if (t >= 0 && (next < 0 || t < next))
            next = t;
    };
    for (const Outgoing &o : m_out)
        consider(o.at);
    if (m_loader.active())
        consider(m_loader.nextDeadline());
    if (m_animation)
        consider(m_animation->nextAt);
    if (m_set == CommandSetKind::Native && m_native->busy())
        consider(m_lastByteAt + NativeCommandSet::kFrameTimeoutMs + 1);
    return next;
}

QByteArray Display::takeOutput(qint64 now, int hostBaud)
{
    QByteArray out;
    while (!m_out.isEmpty() && m_out.first().at <= now) {
        const Outgoing o = m_out.takeFirst();
        QByteArray bytes = LineModel::transfer(o.bytes, o.baud, hostBaud > 0 ? hostBaud : o.baud,
                                               LineModel::FramingErrors::AsZero);
        if (m_config.faults.garble)
            bytes = LineModel::corrupt(bytes);
        out += bytes;
    }
    return out;
}

void Display::send(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    if (m_config.faults.silent)
        return;
    m_txBytes += bytes.size();
    m_lastTx = bytes;
    m_out.append({m_now + m_config.faults.slowMs, bytes, m_baud});
    touch();
}

void Display::acknowledge(bool ok)
{
    if (!ok)
        send(QByteArray(1, char(kNak)));
    else
        send(QByteArray(m_config.faults.doubleAck ? 2 : 1, char(kAck)));
}

Screen::Cell Display::cellFor(quint8 code) const
{
    return Screen::Cell {code, glyphFor(code, m_national), m_reverse};
}

void Display::writeText(quint8 code)
{
    const bool toAux = m_printer || m_peripheral != Peripheral::Display;
    const bool toScreen = !m_printer && m_peripheral != Peripheral::AuxDevice;
    if (toAux) {
        ++m_auxBytes;
        m_auxTail.append(char(code));
        if (m_auxTail.size() > kAuxTail)
            m_auxTail.remove(0, m_auxTail.size() - kAuxTail);
        if (m_aux.isOpen()) {
            m_aux.write(QByteArray(1, char(code)));
            m_aux.flush();
        }
    }
    if (toScreen)
        m_screen.put(cellFor(code), m_mode);
}

void Display::writeVt100(quint8 code)
{
    m_screen.putVt100(cellFor(code));
}

void Display::switchCommandSet(CommandSetKind kind)
{
    m_set = kind;
    currentSet()->reset();
    m_lastEvent = QStringLiteral("command set %1").arg(commandSetName(kind));
}

bool Display::setLine(quint8 rateCode, quint8 framingCode)
{
    static const int rates[] = {19200, 9600, 4800, 2400, 1200, 600, 0, 115200};
    QString framing;
    switch (framingCode) {
    case 'N': framing = QStringLiteral("N,8,1"); break;
    case 'O': framing = QStringLiteral("O,7,1"); break;
    case 'E': framing = QStringLiteral("E,7,1"); break;
    case 'o': framing = QStringLiteral("O,8,1"); break;
    case 'e': framing = QStringLiteral("E,8,1"); break;
    default: return false;
    }
    if (rateCode < '0' || rateCode > '7')
        return false;
    m_baud = rateCode == '6' ? m_config.code6Baud : rates[rateCode - '0'];
    m_framing = framing;
    return true;
}

void Display::setNationalSet(NationalSet set, int code)
{
    m_national = set;
    m_nationalCode = code;
}

bool Display::saveLayer(int layer)
{
    if (layer < 1 || layer > 3)
        return false;
    m_layers[size_t(layer - 1)] = m_screen.cells();
    return true;
}

QList<Screen::Cell> Display::layerCells(int layer) const
{
    const auto &l = m_layers[size_t(layer - 1)];
    return l ? *l : QList<Screen::Cell>(m_screen.cellCount());
}

bool Display::startDemo(int layerCode, int modeCode, qint64 now)
{
    const QList<int> layers = combination(layerCode);
    const QList<int> modes = combination(modeCode);
    if (layers.isEmpty() || modes.isEmpty()) {
        m_lastEvent = QStringLiteral("demo refused");
        return false;
    }
    const int rows = m_screen.rows();
    const int cols = m_screen.cols();
    const QList<Screen::Cell> blank(m_screen.cellCount());
    Animation a;
    a.loop = true;
    a.layers = layers;
    for (int m : modes)
        a.modes << modeName(m);
    for (int layer : layers) {
        const QList<Screen::Cell> full = layerCells(layer);
        for (int mode : modes) {
            if (mode == 1) { // the rows slide in from the right
                for (int k = 1; k <= cols; ++k) {
                    QList<Screen::Cell> f = blank;
                    for (int r = 0; r < rows; ++r)
                        for (int c = 0; c < k; ++c)
                            f[r * cols + (cols - k) + c] = full[r * cols + c];
                    a.frames << f;
                    a.durations << kScrollStepMs;
                }
            } else if (mode == 2) { // the rows rise from the bottom
                for (int k = 1; k <= rows; ++k) {
                    QList<Screen::Cell> f = blank;
                    for (int r = 0; r < k; ++r)
                        for (int c = 0; c < cols; ++c)
                            f[(rows - k + r) * cols + c] = full[r * cols + c];
                    a.frames << f;
                    a.durations << kRowStepMs;
                }
            } else { // blinking
                for (int i = 0; i < 3; ++i) {
                    a.frames << blank << full;
                    a.durations << kBlinkStepMs << kBlinkStepMs;
                }
            }
            a.frames << full;
            a.durations << kHoldMs;
        }
    }
    QStringList layerNames;
    for (int l : layers)
        layerNames << QString::number(l);
    m_lastEvent = QStringLiteral("demo of layer %1 in %2")
                      .arg(layerNames.join(QLatin1String(" + ")), a.modes.join(QLatin1String(" + ")));
    startAnimation(a, now);
    return true;
}

void Display::selfTest(qint64 now)
{
    const int rows = m_screen.rows();
    const int cols = m_screen.cols();
    const int cells = rows * cols;
    auto textFrame = [&](const QStringList &lines) {
        QList<Screen::Cell> f(cells);
        for (int r = 0; r < rows && r < lines.size(); ++r) {
            const QByteArray l = lines[r].toLatin1().left(cols);
            for (int c = 0; c < l.size(); ++c)
                f[r * cols + c] = cellFor(quint8(l[c]));
        }
        return f;
    };
    Animation a;
    a.selfTest = true;
    a.frames << textFrame({QStringLiteral("SELF TEST %1").arg(m_config.versionText),
                           QStringLiteral("%1 %2 %3").arg(m_baud).arg(m_framing, nationalSetName(m_national)),
                           QStringLiteral("%1 x %2 cells").arg(rows).arg(cols),
                           QStringLiteral("command set %1").arg(commandSetName(m_set))});
    a.durations << kSelfTestPageMs;
    for (int code = 0x20; code <= 0xFF; code += cells) {
        QList<Screen::Cell> f(cells);
        for (int i = 0; i < cells && code + i <= 0xFF; ++i)
            f[i] = cellFor(quint8(code + i));
        a.frames << f;
        a.durations << kSelfTestPageMs;
    }
    m_lastEvent = QStringLiteral("self-test");
    startAnimation(a, now);
}

void Display::startAnimation(Animation animation, qint64 now)
{
    if (m_animation)
        stopAnimation();
    animation.saved = m_screen.cells();
    animation.savedRow = m_screen.cursorRow();
    animation.savedCol = m_screen.cursorCol();
    animation.index = 0;
    animation.nextAt = now + animation.durations.value(0);
    m_animation = std::move(animation);
    showFrame();
}

void Display::showFrame()
{
    m_screen.setCells(m_animation->frames[m_animation->index]);
    touch();
}

void Display::stopAnimation()
{
    m_screen.setCells(m_animation->saved);
    m_screen.setCursor(m_animation->savedRow, m_animation->savedCol);
    m_animation.reset();
    touch();
}

void Display::initialize()
{
    if (m_animation)
        stopAnimation();
    m_screen.clear();
    m_screen.home();
    m_mode = WriteMode::OverWrite;
    m_cursorVisible = false;
    m_reverse = false;
    m_blink = 0;
    m_peripheral = Peripheral::Display;
    m_codeTable = 0;
}

void Display::restart(qint64 now)
{
    ++m_restarts;
    initialize();
    m_printer = false;
    m_heldEscape.clear();
    m_set = m_config.commandSet;
    currentSet()->reset();
    m_lastEvent = QStringLiteral("restarted");
    if (m_layers[0]) {
        if (m_powerUpRunning) {
            startDemo(1, 1, now);
        } else {
            m_screen.setCells(*m_layers[0]);
        }
        m_lastEvent = QStringLiteral("restarted, showing layer 1");
    }
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

QByteArray Display::storedMessage() const
{
    QByteArray codes = m_screen.codes();
    while (codes.endsWith(' '))
        codes.chop(1);
    return codes;
}

QByteArray Display::identification() const
{
    // Three lead-in bytes, then type;PROM version;character set;lines;columns "c".
    return QByteArray("\x1b[?")
           + QStringLiteral("KDX%1%2;%3;%4;%5;%6c")
                 .arg(m_screen.rows())
                 .arg(m_screen.cols(), 2, 10, QLatin1Char('0'))
                 .arg(m_config.versionText.mid(m_config.versionText.startsWith(QLatin1Char('?')) ? 1 : 0))
                 .arg(static_cast<int>(m_national), 2, 10, QLatin1Char('0'))
                 .arg(m_screen.rows())
                 .arg(m_screen.cols())
                 .toLatin1();
}

QJsonObject Display::state() const
{
    auto linesOf = [this](const QList<Screen::Cell> &cells) {
        QJsonArray lines;
        const int cols = m_screen.cols();
        for (int r = 0; r < m_screen.rows(); ++r) {
            QString s;
            for (int c = 0; c < cols; ++c)
                s += glyphString(cells[r * cols + c].glyph);
            lines.append(s);
        }
        return lines;
    };

    QJsonObject o;
    o[QStringLiteral("rows")] = m_screen.rows();
    o[QStringLiteral("cols")] = m_screen.cols();
    o[QStringLiteral("lines")] = linesOf(m_screen.cells());
    QJsonArray codes;
    QJsonArray reverse;
    for (int r = 0; r < m_screen.rows(); ++r) {
        QJsonArray row;
        QString rev;
        for (int c = 0; c < m_screen.cols(); ++c) {
            row.append(m_screen.cell(r, c).code);
            rev += m_screen.cell(r, c).reverse ? QLatin1Char('r') : QLatin1Char('.');
        }
        codes.append(row);
        reverse.append(rev);
    }
    o[QStringLiteral("codes")] = codes;
    o[QStringLiteral("reverseCells")] = reverse;
    o[QStringLiteral("cursor")] = QJsonObject {{QStringLiteral("row"), m_screen.cursorRow() + 1},
                                               {QStringLiteral("col"), m_screen.cursorCol() + 1},
                                               {QStringLiteral("visible"), m_cursorVisible}};
    o[QStringLiteral("commandSet")] = commandSetName(m_set);
    o[QStringLiteral("mode")] = writeModeName(m_mode);
    o[QStringLiteral("baud")] = m_baud;
    o[QStringLiteral("framing")] = m_framing;
    o[QStringLiteral("hostBaud")] = m_hostBaud;
    o[QStringLiteral("lineMatches")] = m_hostBaud == 0 || m_hostBaud == m_baud;
    o[QStringLiteral("international")] = QJsonObject {{QStringLiteral("code"), m_nationalCode},
                                                      {QStringLiteral("name"), nationalSetName(m_national)}};
    o[QStringLiteral("codeTable")] = m_codeTable;
    o[QStringLiteral("reverse")] = m_reverse;
    o[QStringLiteral("blink")] = m_blink;
    o[QStringLiteral("brightness")] = m_brightness;
    o[QStringLiteral("printer")] = m_printer;
    o[QStringLiteral("peripheral")] = m_peripheral == Peripheral::AuxDevice ? QStringLiteral("aux-device")
                                      : m_peripheral == Peripheral::Both   ? QStringLiteral("both")
                                                                           : QStringLiteral("display");
    o[QStringLiteral("aux")] = QJsonObject {{QStringLiteral("bytes"), m_auxBytes},
                                            {QStringLiteral("tail"), QString::fromLatin1(m_auxTail)}};
    QJsonArray layers;
    for (int i = 0; i < 3; ++i) {
        QJsonObject l {{QStringLiteral("layer"), i + 1}, {QStringLiteral("saved"), bool(m_layers[size_t(i)])}};
        if (m_layers[size_t(i)])
            l[QStringLiteral("lines")] = linesOf(*m_layers[size_t(i)]);
        layers.append(l);
    }
    o[QStringLiteral("layers")] = layers;
    o[QStringLiteral("powerUp")] = m_powerUpRunning ? QStringLiteral("running") : QStringLiteral("stay");
    QJsonObject demo {{QStringLiteral("running"), m_animation && !m_animation->selfTest},
                      {QStringLiteral("selfTest"), m_animation && m_animation->selfTest}};
    if (m_animation && !m_animation->selfTest) {
        QJsonArray ls;
        for (int l : m_animation->layers)
            ls.append(l);
        demo[QStringLiteral("layers")] = ls;
        demo[QStringLiteral("modes")] = QJsonArray::fromStringList(m_animation->modes);
    }
    o[QStringLiteral("demo")] = demo;
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
    o[QStringLiteral("lastEvent")] = m_lastEvent;
    o[QStringLiteral("lastReceived")] = lastReceived();
    o[QStringLiteral("lastSent")] = lastSent();
    o[QStringLiteral("changes")] = qint64(m_changes);
    return o;
}

} // namespace kdxsim
