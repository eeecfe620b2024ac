#include "modKDX.h"

#include "Clock.h"
#include "Dialogs.h"
#include "AppInfo.h"
#include "BlockCheck.h"

#include <QCoreApplication>

#include <cmath>

std::array<qint16, 256> g_DisplayCode {};

namespace modKDX {

void Delay(double ms)
{
    if (std::isnan(ms)) {
        platform::dialogs().messageBox(QCoreApplication::translate("modKDX", "Type mismatch"), platform::app::title(),
                                       platform::MsgIcon::None);
        return;
    }
    platform::Clock &clk = platform::clock();
    const qint64 start = clk.nowMs();
    // Longest useful wait: a day. Anything beyond is a caller's mistake, not a
    // reason to hang the program.
    const qint64 limit = ms < 0 ? -1 : qint64(std::floor(qMin(ms, 86400000.0)));
    for (;;) {
        const qint64 elapsed = clk.nowMs() - start;
        if (elapsed > limit)
            return;
        clk.processEvents(limit - elapsed + 1);
    }
}

// The block checks belong to the XModem transfer; the driver names them here.
qint32 CalcCRC16(const QByteArray &data)
{
    return qint32(blockCheck::crc16(data));
}

qint32 CalcCheckSum(const QByteArray &data)
{
    return qint32(blockCheck::checkSum(data));
}

void InitDisplayCodeTable()
{
    for (int i = 0; i < 256; ++i)
        g_DisplayCode[size_t(i)] = qint16(i);

    // ANSI byte -> display code (code page 437 positions).
    static constexpr std::array<std::array<quint8, 2>, 57> kMoved {{
        {0x83, 0x9F}, {0x86, 0xC5}, {0x87, 0xD8}, {0x88, 0x5E}, {0x95, 0xF9}, {0xA1, 0xAD},
        {0xA2, 0x9B}, {0xA3, 0x9C}, {0xA4, 0x24}, {0xA5, 0x9D}, {0xAA, 0xA6}, {0xAB, 0xAE},
        {0xAC, 0xAA}, {0xB0, 0xF8}, {0xB1, 0xF1}, {0xB4, 0xEF}, {0xB5, 0xE6}, {0xBA, 0xA7},
        {0xBB, 0xAF}, {0xBC, 0xAC}, {0xBD, 0xAB}, {0xBF, 0xA8}, {0xC4, 0x8E}, {0xC5, 0x8F},
        {0xC6, 0x92}, {0xC7, 0x80}, {0xC9, 0x90}, {0xD1, 0xA5}, {0xD6, 0x99}, {0xDC, 0x9A},
        {0xDF, 0xE1}, {0xE0, 0x85}, {0xE1, 0xA0}, {0xE2, 0x83}, {0xE4, 0x84}, {0xE5, 0x86},
        {0xE6, 0x91}, {0xE7, 0x87}, {0xE8, 0x8A}, {0xE9, 0x82}, {0xEA, 0x88}, {0xEB, 0x89},
        {0xEC, 0x8D}, {0xED, 0xA1}, {0xEE, 0x8C}, {0xEF, 0x8B}, {0xF1, 0xA4}, {0xF2, 0x95},
        {0xF3, 0xA2}, {0xF4, 0x93}, {0xF6, 0x94}, {0xF7, 0xF6}, {0xF9, 0x97}, {0xFA, 0xA3},
        {0xFB, 0x96}, {0xFC, 0x81}, {0xFF, 0x98},
    }};
    for (const auto &m : kMoved)
        g_DisplayCode[m[0]] = qint16(m[1]);
}

} // namespace modKDX
