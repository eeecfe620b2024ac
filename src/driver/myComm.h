#pragma once

#include <QStringList>

namespace myComm {

// The system's serial ports as COM names ("COM3"), from the port map, in
// ascending order of their numbers. Returns how many there are.
int EnumCommPorts(QStringList &o_sPorts);

// The sort EnumCommPorts applies: by the number after "COM" (COM12 after COM9).
void SortByPortNumber(QStringList &ports);

} // namespace myComm
