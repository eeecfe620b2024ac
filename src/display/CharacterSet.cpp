#include "CharacterSet.h"

#include <QList>
#include <QStringDecoder>

#include <array>

namespace kdxdisplay {

namespace {

// Code page 437: 0x00-0x1F shapes, then 0x7F, then 0x80-0xFF.
constexpr char32_t kLow[32] = {
    U' ', U'☺', U'☻', U'♥', U'♦', U'♣', U'♠', U'•', U'◘', U'○', U'◙', U'♂', U'♀', U'♪', U'♫', U'☼',
    U'►', U'◄', U'↕', U'‼', U'¶', U'§', U'▬', U'↨', U'↑', U'↓', U'→', U'←', U'∟', U'↔', U'▲', U'▼',
};

constexpr char32_t kHigh[128] = {
    U'Ç', U'ü', U'é', U'â', U'ä', U'à', U'å', U'ç', U'ê', U'ë', U'è', U'ï', U'î', U'ì', U'Ä', U'Å',
    U'É', U'æ', U'Æ', U'ô', U'ö', U'ò', U'û', U'ù', U'ÿ', U'Ö', U'Ü', U'¢', U'£', U'¥', U'₧', U'ƒ',
    U'á', U'í', U'ó', U'ú', U'ñ', U'Ñ', U'ª', U'º', U'¿', U'⌐', U'¬', U'½', U'¼', U'¡', U'«', U'»',
    U'░', U'▒', U'▓', U'│', U'┤', U'╡', U'╢', U'╖', U'╕', U'╣', U'║', U'╗', U'╝', U'╜', U'╛', U'┐',
    U'└', U'┴', U'┬', U'├', U'─', U'┼', U'╞', U'╟', U'╚', U'╔', U'╩', U'╦', U'╠', U'═', U'╬', U'╧',
    U'╨', U'╤', U'╥', U'╙', U'╘', U'╒', U'╓', U'╫', U'╪', U'┘', U'┌', U'█', U'▄', U'▌', U'▐', U'▀',
    U'α', U'ß', U'Γ', U'π', U'Σ', U'σ', U'µ', U'τ', U'Φ', U'Θ', U'Ω', U'δ', U'∞', U'φ', U'ε', U'∩',
    U'≡', U'±', U'≥', U'≤', U'⌠', U'⌡', U'÷', U'≈', U'°', U'∙', U'·', U'√', U'ⁿ', U'²', U'■', U' ',
};

// The twelve codes a national set may change, in the order of the table below.
constexpr std::uint8_t kNationalCodes[12] = {0x23, 0x24, 0x40, 0x5B, 0x5C, 0x5D,
                                             0x5E, 0x60, 0x7B, 0x7C, 0x7D, 0x7E};

// One row per replacement set, Usa to Korea; the rest use the U.S. row.
constexpr char32_t kNational[14][12] = {
    {U'#', U'$', U'@', U'[', U'\\', U']', U'^', U'`', U'{', U'|', U'}', U'~'}, // U.S.A
    {U'#', U'$', U'à', U'°', U'ç', U'§', U'^', U'`', U'é', U'ù', U'è', U'¨'},  // France
    {U'#', U'$', U'§', U'Ä', U'Ö', U'Ü', U'^', U'`', U'ä', U'ö', U'ü', U'ß'},  // Germany
    {U'£', U'$', U'@', U'[', U'\\', U']', U'^', U'`', U'{', U'|', U'}', U'~'}, // U.K.
    {U'#', U'$', U'@', U'Æ', U'Ø', U'Å', U'^', U'`', U'æ', U'ø', U'å', U'~'},  // Denmark I
    {U'#', U'¤', U'É', U'Ä', U'Ö', U'Å', U'Ü', U'é', U'ä', U'ö', U'å', U'ü'},  // Sweden
    {U'#', U'$', U'@', U'°', U'\\', U'é', U'^', U'ù', U'à', U'ò', U'è', U'ì'}, // Italy
    {U'₧', U'$', U'@', U'¡', U'Ñ', U'¿', U'^', U'`', U'¨', U'ñ', U'}', U'~'},  // Spain I
    {U'#', U'$', U'@', U'[', U'¥', U']', U'^', U'`', U'{', U'|', U'}', U'~'},  // Japan
    {U'#', U'¤', U'É', U'Æ', U'Ø', U'Å', U'Ü', U'é', U'æ', U'ø', U'å', U'ü'},  // Norway
    {U'#', U'$', U'É', U'Æ', U'Ø', U'Å', U'Ü', U'é', U'æ', U'ø', U'å', U'ü'},  // Denmark II
    {U'#', U'$', U'á', U'¡', U'Ñ', U'¿', U'é', U'`', U'í', U'ñ', U'ó', U'ú'},  // Spain II
    {U'#', U'$', U'á', U'¡', U'Ñ', U'¿', U'é', U'ü', U'í', U'ñ', U'ó', U'ú'},  // Latin America
    {U'#', U'$', U'@', U'[', U'₩', U']', U'^', U'`', U'{', U'|', U'}', U'~'},  // Korea
};

// Upper halves of the sets that swap the whole code page, decoded once.
struct CodePage
{
    std::array<char32_t, 128> high {};
    bool valid = false;
};

CodePage loadCodePage(const char *name)
{
    CodePage page;
    QStringDecoder decoder(name);
    if (!decoder.isValid())
        return page;
    QByteArray bytes(128, '\0');
    for (int i = 0; i < 128; ++i)
        bytes[i] = char(0x80 + i);
    const QString text = decoder.decode(bytes);
    const QList<uint> ucs = text.toUcs4();
    if (ucs.size() != 128)
        return page;
    for (int i = 0; i < 128; ++i)
        page.high[size_t(i)] = ucs[i] == 0xFFFD ? kHigh[i] : char32_t(ucs[i]);
    page.valid = true;
    return page;
}

const CodePage *codePageFor(NationalSet set)
{
    static const CodePage greek = loadCodePage("IBM737");
    static const CodePage eastEurope = loadCodePage("IBM852");
    static const CodePage russian = loadCodePage("IBM866");
    static const CodePage hebrew = loadCodePage("IBM862");
    static const CodePage portuguese = loadCodePage("IBM860");
    const CodePage *p = nullptr;
    switch (set) {
    case NationalSet::Greek: p = &greek; break;
    case NationalSet::EastEurope: p = &eastEurope; break;
    case NationalSet::Russian: p = &russian; break;
    case NationalSet::Hebrew: p = &hebrew; break;
    case NationalSet::Portuguese: p = &portuguese; break;
    default: break;
    }
    return p && p->valid ? p : nullptr;
}

} // namespace

QString nationalSetName(NationalSet set)
{
    switch (set) {
    case NationalSet::Usa: return QStringLiteral("U.S.A");
    case NationalSet::France: return QStringLiteral("France");
    case NationalSet::Germany: return QStringLiteral("Germany");
    case NationalSet::Uk: return QStringLiteral("U.K.");
    case NationalSet::DenmarkI: return QStringLiteral("Denmark I");
    case NationalSet::Sweden: return QStringLiteral("Sweden");
    case NationalSet::Italy: return QStringLiteral("Italy");
    case NationalSet::SpainI: return QStringLiteral("Spain");
    case NationalSet::Japan: return QStringLiteral("Japan");
    case NationalSet::Norway: return QStringLiteral("Norway");
    case NationalSet::DenmarkII: return QStringLiteral("Denmark II");
    case NationalSet::SpainII: return QStringLiteral("Spain II");
    case NationalSet::LatinAmerica: return QStringLiteral("Latin America");
    case NationalSet::Korea: return QStringLiteral("Korea");
    case NationalSet::Greek: return QStringLiteral("Greek");
    case NationalSet::EastEurope: return QStringLiteral("East Europe");
    case NationalSet::Russian: return QStringLiteral("Russian");
    case NationalSet::Hebrew: return QStringLiteral("Hebrew");
    case NationalSet::Portuguese: return QStringLiteral("Portuguese");
    }
    return QString();
}

bool nationalSetFromNativeCode(std::uint8_t code, NationalSet *set)
{
    static constexpr NationalSet kNative[16] = {
        NationalSet::Usa,       NationalSet::France,     NationalSet::Germany, NationalSet::Uk,
        NationalSet::DenmarkI,  NationalSet::Sweden,     NationalSet::Italy,   NationalSet::SpainI,
        NationalSet::Japan,     NationalSet::Norway,     NationalSet::DenmarkII, NationalSet::EastEurope,
        NationalSet::Russian,   NationalSet::Hebrew,     NationalSet::Greek,   NationalSet::Portuguese,
    };
    if ((code & 0xF0) != 0x30 && (code & 0xF0) != 0x00)
        return false;
    *set = kNative[code & 0x0F];
    return true;
}

bool nationalSetFromEpson(std::uint8_t n, NationalSet *set)
{
    if (n > 14)
        return false;
    *set = static_cast<NationalSet>(n);
    return true;
}

char32_t cp437Glyph(std::uint8_t code)
{
    if (code < 0x20)
        return kLow[code];
    if (code == 0x7F)
        return U'⌂';
    if (code >= 0x80)
        return kHigh[code - 0x80];
    return char32_t(code);
}

char32_t glyphFor(std::uint8_t code, NationalSet set)
{
    // The display's lamp-test character lights every dot of its cell.
    if (code == 0xB2)
        return kAllDotsGlyph;
    const int row = static_cast<int>(set);
    if (row < 14) {
        for (int i = 0; i < 12; ++i) {
            if (kNationalCodes[i] == code)
                return kNational[row][i];
        }
    }
    if (code >= 0x80) {
        if (const CodePage *page = codePageFor(set))
            return page->high[code - 0x80];
    }
    return cp437Glyph(code);
}

QString glyphString(char32_t glyph)
{
    return QString::fromUcs4(&glyph, 1);
}

} // namespace kdxdisplay
