#include "TerminalText.h"

#include <QStringDecoder>

#include <cstring>

namespace kdxctl {

QByteArray shownText(const QString &text, bool escaped)
{
    if (!escaped)
        return text.toUtf8();
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        // C0, DEL and C1: a terminal acts on all of them.
        if (u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0))
            out += QStringLiteral("\\x%1").arg(unsigned(u), 2, 16, QLatin1Char('0'));
        else if (u == u'\\')
            out += QStringLiteral("\\\\");
        else
            out += c;
    }
    return out.toUtf8();
}

int invalidUtf8Argument(int argc, char **argv, QString *shown)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArrayView bytes(argv[i], qsizetype(std::strlen(argv[i])));
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = decoder(bytes);
        if (!decoder.hasError())
            continue;
        if (shown) {
            shown->clear();
            for (const char b : bytes) {
                const uchar u = uchar(b);
                if (u >= 0x20 && u < 0x7F)
                    *shown += QLatin1Char(b);
                else
                    *shown += QStringLiteral("\\x%1").arg(unsigned(u), 2, 16, QLatin1Char('0'));
            }
        }
        return i;
    }
    return 0;
}

} // namespace kdxctl
