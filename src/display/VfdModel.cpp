#include "VfdModel.h"

#include "EpsonCommandSet.h"
#include "NativeCommandSet.h"
#include "Vt100CommandSet.h"

#include <QJsonArray>

#include <algorithm>

namespace kdxdisplay {

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

VfdModel::VfdModel(const VfdConfig &config, DisplayHost *host)
    : m_config(config)
    , m_host(host ? host : &m_noHost)
    , m_screen(config.rows, config.cols)
    , m_set(config.commandSet)
    , m_native(std::make_unique<NativeCommandSet>(*this))
    , m_epson(std::make_unique<EpsonCommandSet>(*this))
    , m_vt100(std::make_unique<Vt100CommandSet>(*this))
    , m_baud(config.baud)
    , m_nationalCode(config.commandSet == CommandSetKind::Vt100 ? 0 : 0x30)
{
}

VfdModel::~VfdModel() = default;

void VfdModel::feed(const QByteArray &bytes, qint64 now)
{
    for (char c : bytes)
        feed(quint8(c), now);
}

void VfdModel::feed(quint8 byte, qint64 now)
{
    m_lastByteAt = now;
    touch();
    if (m_hostLoader)
        return;
    if (m_loaderWait) {
        watchLoader(byte, now);
        return;
    }
    if (m_animation)
        stopAnimation();
    route(byte, now);
}

CommandSet *VfdModel::currentSet() const
{
    switch (m_set) {
    case CommandSetKind::Native: return m_native.get();
    case CommandSetKind::Epson: return m_epson.get();
    case CommandSetKind::Vt100: return m_vt100.get();
    }
    return m_native.get();
}

void VfdModel::route(quint8 byte, qint64 now)
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
            m_hostLoader = m_host->enterLoader(now);
            m_loaderWait = !m_hostLoader;
            m_loaderExit = 0;
        }
        return;
    }
    const QByteArray held = m_heldEscape;
    m_heldEscape.clear();
    set->feed(quint8(held.at(0)), now);
    for (int i = 1; i < held.size(); ++i)
        route(quint8(held.at(i)), now);
}

void VfdModel::watchLoader(quint8 byte, qint64 now)
{
    // The loader's own exit command; everything else is the loader's business.
    static const QByteArray exit("\x1bR\r");
    if (byte == quint8(exit.at(m_loaderExit)))
        ++m_loaderExit;
    else
        m_loaderExit = byte == quint8(exit.at(0)) ? 1 : 0;
    if (m_loaderExit == exit.size())
        restart(now);
}

void VfdModel::advance(qint64 now)
{
    currentSet()->idleFor(now - m_lastByteAt);
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

qint64 VfdModel::nextDeadline() const
{
    qint64 next = -1;
    if (m_animation)
        next = m_animation->nextAt;
    if (m_set == CommandSetKind::Native && m_native->busy()) {
        const qint64 drop = m_lastByteAt + NativeCommandSet::kFrameTimeoutMs + 1;
        if (next < 0 || drop < next)
            next = drop;
    }
    return next;
}

void VfdModel::send(Reply kind, const QByteArray &bytes)
{
    if (!bytes.isEmpty())
        m_host->reply(kind, bytes);
}

void VfdModel::acknowledge(bool ok)
{
    send(ok ? Reply::Ack : Reply::Nak, QByteArray(1, char(ok ? kAck : kNak)));
}

Screen::Cell VfdModel::cellFor(quint8 code) const
{
    return Screen::Cell {code, glyphFor(code, m_national), m_reverse};
}

void VfdModel::writeText(quint8 code)
{
    const bool toAux = m_printer || m_peripheral != Peripheral::Display;
    const bool toScreen = !m_printer && m_peripheral != Peripheral::AuxDevice;
    if (toAux) {
        ++m_auxBytes;
        m_auxTail.append(char(code));
        if (m_auxTail.size() > kAuxTail)
            m_auxTail.remove(0, m_auxTail.size() - kAuxTail);
        m_host->auxiliary(code);
    }
    if (toScreen)
        m_screen.put(cellFor(code), m_mode);
}

void VfdModel::writeVt100(quint8 code)
{
    m_screen.putVt100(cellFor(code));
}

void VfdModel::switchCommandSet(CommandSetKind kind)
{
    m_set = kind;
    currentSet()->reset();
    m_lastEvent = QStringLiteral("command set %1").arg(commandSetName(kind));
}

bool VfdModel::setLine(quint8 rateCode, quint8 framingCode)
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

void VfdModel::setNationalSet(NationalSet set, int code)
{
    m_national = set;
    m_nationalCode = code;
}

bool VfdModel::saveLayer(int layer)
{
    if (layer < 1 || layer > 3)
        return false;
    m_layers[size_t(layer - 1)] = m_screen.cells();
    return true;
}

QList<Screen::Cell> VfdModel::layerCells(int layer) const
{
    const auto &l = m_layers[size_t(layer - 1)];
    return l ? *l : QList<Screen::Cell>(m_screen.cellCount());
}

bool VfdModel::startDemo(int layerCode, int modeCode, qint64 now)
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

void VfdModel::selfTest(qint64 now)
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

void VfdModel::startAnimation(Animation animation, qint64 now)
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

void VfdModel::showFrame()
{
    m_screen.setCells(m_animation->frames[m_animation->index]);
    touch();
}

void VfdModel::stopAnimation()
{
    m_screen.setCells(m_animation->saved);
    m_screen.setCursor(m_animation->savedRow, m_animation->savedCol);
    m_animation.reset();
    touch();
}

void VfdModel::initialize()
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

void VfdModel::restart(qint64 now)
{
    initialize();
    m_printer = false;
    m_heldEscape.clear();
    m_hostLoader = false;
    m_loaderWait = false;
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

QStringList VfdModel::rowTexts() const
{
    QStringList rows;
    for (int r = 0; r < m_screen.rows(); ++r)
        rows << m_screen.lineText(r);
    return rows;
}

bool VfdModel::lampTest() const
{
    const QList<Screen::Cell> &cells = m_screen.cells();
    return std::all_of(cells.begin(), cells.end(), [](const Screen::Cell &c) { return c.glyph == kAllDotsGlyph; });
}

QByteArray VfdModel::storedMessage() const
{
    QByteArray codes = m_screen.codes();
    while (codes.endsWith(' '))
        codes.chop(1);
    return codes;
}

QByteArray VfdModel::identification() const
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

QJsonObject VfdModel::state() const
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
    o[QStringLiteral("lastEvent")] = m_lastEvent;
    o[QStringLiteral("loaderEntered")] = inLoader();
    o[QStringLiteral("changes")] = qint64(m_changes);
    return o;
}

} // namespace kdxdisplay
