#include "Ansi.h"

#include <QHash>

#include <array>
#include <iconv.h>

namespace platform::ansi {

namespace {

struct Tables
{
    std::array<char16_t, 256> toUni {};
    QHash<char32_t, unsigned char> fromUni;

    Tables()
    {
        iconv_t cd = iconv_open("UTF-16LE", "WINDOWS-1252");
        for (int b = 0; b < 256; ++b) {
            char in = char(b);
            char out[4] = {};
            char *inp = &in;
            char *outp = out;
            size_t inLeft = 1;
            size_t outLeft = sizeof out;
            char16_t u = char16_t(b);
            if (cd != iconv_t(-1)) {
                iconv(cd, nullptr, nullptr, nullptr, nullptr);
                if (iconv(cd, &inp, &inLeft, &outp, &outLeft) != size_t(-1) && outLeft == 2)
                    u = char16_t(uchar(out[0]) | (uchar(out[1]) << 8));
            }
            toUni[size_t(b)] = u;
            fromUni.insert(char32_t(u), uchar(b));
        }
        if (cd != iconv_t(-1))
            iconv_close(cd);
    }
};

const Tables &tables()
{
    static const Tables t;
    return t;
}

} // namespace

QByteArray fromUnicode(const QString &text)
{
    const Tables &t = tables();
    QByteArray out;
    out.reserve(text.size());
    for (char32_t cp : text.toUcs4()) {
        auto it = t.fromUni.constFind(cp);
        out.append(it != t.fromUni.constEnd() ? char(it.value()) : '?');
    }
    return out;
}

bool encodes(const QString &text, char32_t *bad)
{
    const Tables &t = tables();
    for (char32_t cp : text.toUcs4()) {
        if (!t.fromUni.contains(cp)) {
            if (bad)
                *bad = cp;
            return false;
        }
    }
    return true;
}

QString toUnicode(const QByteArray &bytes)
{
    const Tables &t = tables();
    QString out;
    out.reserve(bytes.size());
    for (char c : bytes)
        out.append(QChar(t.toUni[uchar(c)]));
    return out;
}

QChar charOf(unsigned char byte)
{
    return QChar(tables().toUni[byte]);
}

} // namespace platform::ansi
