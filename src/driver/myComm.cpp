#include "myComm.h"

#include "PortMap.h"

namespace myComm {

namespace {

// At most this many entries of the map are examined.
constexpr int kMaxEntries = 256;

int numberAfterCom(const QString &name)
{
    // Leading-number parse of the text from the fourth character on.
    const QString rest = name.mid(3).trimmed();
    int end = 0;
    while (end < rest.size() && rest[end].isDigit())
        ++end;
    return rest.left(end).toInt();
}

} // namespace

void SortByPortNumber(QStringList &ports)
{
    for (int i = 0; i + 1 < ports.size(); ++i) {
        for (int j = i + 1; j < ports.size(); ++j) {
            if (numberAfterCom(ports[j]) < numberAfterCom(ports[i]))
                ports.swapItemsAt(i, j);
        }
    }
}

int EnumCommPorts(QStringList &o_sPorts)
{
    o_sPorts.clear();
    platform::PortMap map;
    map.refresh();
    int examined = 0;
    for (const platform::PortMap::Entry &e : map.entries()) {
        if (++examined > kMaxEntries)
            break;
        if (e.present)
            o_sPorts.append(platform::PortMap::linkName(e.number));
    }
    SortByPortNumber(o_sPorts);
    return int(o_sPorts.size());
}

} // namespace myComm
