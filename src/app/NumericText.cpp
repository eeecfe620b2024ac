#include "NumericText.h"

#include <cmath>

namespace numericText {

double leadingNumber(const QString &text)
{
    int i = 0;
    const int n = int(text.size());
    while (i < n && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t')))
        ++i;

    if (i + 1 < n && text[i] == QLatin1Char('&') && text[i + 1].toUpper() == QLatin1Char('H')) {
        double value = 0;
        for (i += 2; i < n; ++i) {
            const char16_t c = text[i].toLower().unicode();
            int digit = 0;
            if (c >= u'0' && c <= u'9')
                digit = c - u'0';
            else if (c >= u'a' && c <= u'f')
                digit = c - u'a' + 10;
            else
                break;
            value = value * 16 + digit;
        }
        return value;
    }

    double sign = 1;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        if (text[i] == QLatin1Char('-'))
            sign = -1;
        ++i;
    }
    double value = 0;
    while (i < n && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9')) {
        value = value * 10 + (text[i].unicode() - '0');
        ++i;
    }
    if (i < n && text[i] == QLatin1Char('.')) {
        double scale = 0.1;
        for (++i; i < n && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i) {
            value += (text[i].unicode() - '0') * scale;
            scale /= 10;
        }
    }
    return sign * value;
}

bool toInt16(double value, qint16 &out)
{
    if (!std::isfinite(value))
        return false;
    const double r = std::nearbyint(value); // default rounding: halves to even
    if (r < -32768 || r > 32767)
        return false;
    out = qint16(r);
    return true;
}

} // namespace numericText
