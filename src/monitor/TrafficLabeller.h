#pragma once

#include "TrafficToken.h"

#include <QString>

namespace monitor {

// Names the tokens in the protocol's own words ("SetPosition 20", "national
// set Korea", "block 3 (CRC ok)") and keeps the conversation up to date: a load
// request leads into the loader, a code type into XModem, a "V" frame makes the
// next answer a version.
class TrafficLabeller
{
public:
    explicit TrafficLabeller(Conversation &conversation);

    QString label(const Token &token);

private:
    QString hostToken(const Token &token);
    QString displayToken(const Token &token);
    QString lampRun(const QByteArray &bytes) const;
    QString frame(const QByteArray &bytes);
    QString escape(const QByteArray &bytes);
    QString loaderEscape(const QByteArray &bytes);
    QString csi(const QByteArray &bytes);
    QString us(const QByteArray &bytes) const;
    QString loaderByte(quint8 b);
    QString loaderLine(QByteArray line);
    QString xmodemByte(quint8 b);
    QString block(const QByteArray &bytes);
    QString startRequest(quint8 b);
    QString answer(const Token &token);

    Conversation &m_conversation;
    bool m_blockSeen = false;
    quint8 m_lastBlockWire = 0;
    qint64 m_lastBlockNumber = 0;
};

// The name of a cursor or clear control byte, empty for other bytes.
QString controlName(quint8 b);

} // namespace monitor
