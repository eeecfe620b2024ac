#pragma once

#include <QString>

#include <cstdint>

namespace kdxdisplay {

// The character sets the display can be told to use. The first fourteen are the
// usual national replacement sets of such displays (twelve codes between 0x23
// and 0x7E change glyph); the rest swap the upper half for another code page.
enum class NationalSet {
    Usa,
    France,
    Germany,
    Uk,
    DenmarkI,
    Sweden,
    Italy,
    SpainI,
    Japan,
    Norway,
    DenmarkII,
    SpainII,
    LatinAmerica,
    Korea,
    Greek,
    EastEurope,
    Russian,
    Hebrew,
    Portuguese,
};

QString nationalSetName(NationalSet set);

// The native "I" command takes 0x30-0x3F (or 0x00-0x0F); false for other codes.
bool nationalSetFromNativeCode(std::uint8_t code, NationalSet *set);
// ESC "R" n of the EPSON and VT100 sets takes 0-14.
bool nationalSetFromEpson(std::uint8_t n, NationalSet *set);

// The glyph of the lamp-test character 0xB2: every dot of the cell lit.
constexpr char32_t kAllDotsGlyph = U'\u2588';

// The glyph the display shows for a character code under the given set: code
// page 437 shapes (0xB2 is the all-dots cell), national replacements applied.
char32_t glyphFor(std::uint8_t code, NationalSet set);

// The plain code page 437 shape, 0x00 shown as a blank.
char32_t cp437Glyph(std::uint8_t code);

QString glyphString(char32_t glyph);

} // namespace kdxdisplay
