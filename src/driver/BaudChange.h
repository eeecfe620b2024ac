#pragma once

#include <QtGlobal>

class CKDX;

// A change of the display's own line settings, checked where the display now
// is. The display switches before it acknowledges, so its ACK arrives at a rate
// the PC no longer matches and SetBaudRate reads it as Get Nack although the
// change worked. SetBaudRate keeps that result; this asks the display for its
// version at the new settings to tell the two apart.
namespace baudChange {

// A SetBaudRate result after which the display may be at the new settings.
bool mayHaveSwitched(qint32 setResult);

// With the driver already set to the new rate and parity: a Get Nack becomes 0
// when the display answers a version read there; any other result is kept.
qint32 confirm(CKDX &kdx, qint32 setResult);

} // namespace baudChange
