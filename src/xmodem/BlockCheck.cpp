#include "BlockCheck.h"

namespace blockCheck {

quint16 crc16(const QByteArray &data)
{
    quint32 crc = 0;
    for (char c : data) {
        crc ^= quint32(uchar(c)) << 8;
        for (int i = 0; i < 8; ++i) {
            if (crc & 0x8000)
                crc = ((crc << 1) ^ 0x1021) & 0xFFFF;
            else
                crc = (crc << 1) & 0xFFFF;
        }
    }
    return quint16(crc);
}

quint8 checkSum(const QByteArray &data)
{
    quint32 sum = 0;
    for (char c : data)
        sum = (sum + uchar(c)) & 0xFF;
    return quint8(sum);
}

} // namespace blockCheck
