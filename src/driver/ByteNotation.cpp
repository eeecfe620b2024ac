#include "ByteNotation.h"

#include <QRegularExpression>
#include <QStringList>

#include <cmath>

namespace ByteNotation {

bool isNumeric(const QString &text, double *value)
{
    static const QRegularExpression number(
        QStringLiteral(R"(^\s*[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?\s*$)"));
    if (!number.match(text).hasMatch())
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
