#include "DisplayModel.h"

#include <QList>

namespace {

QStringList rates(bool fast)
{
    QStringList r {QStringLiteral("38400"), QStringLiteral("19200"), QStringLiteral("9600"), QStringLiteral("4800"),
                   QStringLiteral("2400"), QStringLiteral("1200"), QStringLiteral("600")};
    if (fast)
        r.prepend(QStringLiteral("115200"));
    return r;
}

QStringList codes(bool portuguese)
{
    QStringList c {QStringLiteral("30- U.S.A"),      QStringLiteral("31- France"),      QStringLiteral("32- Germany"),
                   QStringLiteral("33- U.K."),       QStringLiteral("34- Denmark I"),   QStringLiteral("35- Sweden"),
                   QStringLiteral("36- Italy"),      QStringLiteral("37- Spain"),       QStringLiteral("38- Japan"),
                   QStringLiteral("39- Norway"),     QStringLiteral("3A- Denmark II"),  QStringLiteral("3B- East Europe"),
                   QStringLiteral("3C- Russian"),    QStringLiteral("3D- Hebrew"),      QStringLiteral("3E- Greek")};
    if (portuguese)
        c << QStringLiteral("3F- Portuguese");
    return c;
}

const QStringList kUsualParities {QStringLiteral("N,8,1"), QStringLiteral("O,7,1"), QStringLiteral("E,7,1")};
const QStringList kEightBitParities {QStringLiteral("N,8,1"), QStringLiteral("O,8,1"), QStringLiteral("E,8,1")};
const QStringList kKdxlParities {QStringLiteral("N,8,1"), QStringLiteral("O,7,1"), QStringLiteral("E,7,1"),
                                 QStringLiteral("o,8,1"), QStringLiteral("e,8,1")};
const QStringList kModes {QStringLiteral("Mode 1 (Horizontal Scroll)"), QStringLiteral("Mode 2 (Vertical Scroll)"),
                          QStringLiteral("Mode 3 (Blinking)"),          QStringLiteral("Mode 1 + 2"),
                          QStringLiteral("Mode 1 + 3"),                 QStringLiteral("Mode 2 + 3"),
                          QStringLiteral("Mode 1 + 2 + 3")};
const QStringList kShortModes {QStringLiteral("Mode 1 (Showing Continuously)"),
                               QStringLiteral("Mode 2 (Horixontal Scroll)"), QStringLiteral("Mode 1 + 2")};

DisplayModel model(int selector, const char *name, int rows, int columns)
{
    DisplayModel m;
    m.selector = selector;
    m.name = QString::fromLatin1(name);
    m.rows = rows;
    m.columns = columns;
    m.baudRates = rates(false);
    m.parities = kUsualParities;
    m.internationalCodes = codes(false);
    m.demoModes = kModes;
    return m;
}

QList<DisplayModel> buildTable()
{
    QList<DisplayModel> t {
        model(0, "KDXC - P1", 2, 20), model(1, "KDXC - P2", 2, 20), model(2, "KDXDA", 2, 20),
        model(3, "KDXDB", 2, 20),     model(4, "KDXE", 2, 20),      model(5, "KDXG", 2, 20),
        model(6, "KDXH", 4, 20),      model(7, "KDXJ", 4, 20),      model(8, "KDXK", 4, 40),
        model(9, "KDXL", 2, 20),      model(10, "KDXA", 2, 20),     model(11, "KDXB", 2, 20),
        model(12, "KDXM", 2, 20),
    };
    for (int s : {0, 2, 3, 8, 10})
        t[s].epsonTab = false;
    t[1].nativeTab = false;

    t[5].title = QStringLiteral("KDXG Utility");
    t[5].baudRates = rates(true);
    t[5].internationalCodes = codes(true);

    t[7].parities = kEightBitParities;
    t[8].demoModes = kShortModes;
    t[9].parities = kKdxlParities;
    t[9].epsonToggles = false;

    t[10].title = QStringLiteral("KDXA Utility");

    t[11].title = QStringLiteral("KDXB Utility");
    t[11].toEpsonCaption = QStringLiteral("Switch to EPSON Command");
    t[11].toNativeCaption = QStringLiteral("Switch to PRYX Command");

    t[12].title = QStringLiteral("KDXM Utility");
    t[12].nativeTabCaption = QStringLiteral("Group A");
    t[12].epsonTabCaption = QStringLiteral("Group B");
    return t;
}

} // namespace

const DisplayModel &DisplayModel::of(int selector)
{
    static const QList<DisplayModel> table = buildTable();
    static const DisplayModel none = [] {
        DisplayModel m = model(-1, "", 0, 0);
        return m;
    }();
    return selector >= 0 && selector < table.size() ? table[selector] : none;
}
