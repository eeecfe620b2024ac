#pragma once

#include <QString>
#include <QStringList>

// What the main window derives from the display-type selector g_KDXType: one
// row per model in place of switches spread over the window.
struct DisplayModel
{
    int selector = -1;
    QString name;                       // "KDXB"
    QString title = QStringLiteral("KDX Utility");
    int rows = 0;
    int columns = 0;
    bool nativeTab = true;              // "Main(PRYX)"
    bool epsonTab = true;               // "Adv.(EPSON)"
    QString nativeTabCaption;           // empty: the design-time caption
    QString epsonTabCaption;
    QString toEpsonCaption;             // cmdPRYX(11), empty: the design-time caption
    QString toNativeCaption;            // cmdPRYX(12)
    QStringList baudRates;              // both baud-rate lists
    QStringList parities;               // both parity lists; the text is what the driver gets
    QStringList internationalCodes;
    QStringList demoModes;
    bool epsonToggles = true;           // "cursor on", "reverse" and the Blink "Set"

    int cells() const { return rows * columns; }

    // The row of a selector; a value outside 0 to 12 gives a model of no cells.
    static const DisplayModel &of(int selector);

    // The lists' entries and the captions above in the user's language; the
    // fields keep the English, which the window's code reads.
    static QString translated(const QString &text);
    static QStringList translated(const QStringList &texts);
};
