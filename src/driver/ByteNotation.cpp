#include "ByteNotation.h"

#include <QStringList>

#include <cmath>

namespace ByteNotation {

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

} // namespace

bool isNumeric(const QString &text, double *value)
{
    // One pass over the text, so that a long run of digits costs its length
    // and no more.
    const qsizetype n = text.size();
    qsizetype i = 0;
    auto digits = [&] {
        const qsizetype from = i;
        while (i < n && isDigit(text[i]))
            ++i;
        return i - from;
    };
    while (i < n && isBlank(text[i]))
        ++i;
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    qsizetype mantissa = digits();
    if (i < n && text[i] == u'.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0)
        return false;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        if (i < n && (text[i] == u'+' || text[i] == u'-'))
            ++i;
        if (digits() == 0)
            return false;
    }
    while (i < n && isBlank(text[i]))
        ++i;
    if (i != n)
        return false;
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return false;
    if (value)
        *value = v;
    return true;
}

bool parse(const QString &text, QByteArray &bytes)
{
    if (!text.contains(QLatin1Char('/')))
        return false;
    const QStringList parts = text.split(QLatin1Char('/'));
    QByteArray out;
    for (qsizetype i = 1; i < parts.size(); ++i) {
        double v = 0;
        if (!isNumeric(parts[i], &v))
            return false;
        const double rounded = v >= 0 && v < 256 ? std::nearbyint(v) : 0;
        out.append(char(quint8(rounded > 255 ? 0 : rounded)));
    }
    bytes = out;
    return true;
}

QString format(const QByteArray &bytes)
{
    QString out;
    for (char b : bytes)
        out += QLatin1Char('/') + QString::number(uchar(b));
    return out;
}

} // namespace ByteNotation
