#include "DisplayModel.h"

#include <QCoreApplication>
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
    QStringList c {QString::fromLatin1(QT_TRANSLATE_NOOP("DisplayModel", "30- U.S.A")),      QString::fromLatin1(QT_TRANSLATE_NOOP("DisplayModel", "31- France")),      QString::fromLatin1(QT_TRANSLATE_NOOP("DisplayModel", "32- Germany")),
                   QString::fromLatin1(QT_TRANSLATE_NOOP("DisplayModel", "33- U.K.")),       QString::fromLatin1(QT_TRANSLATE_NOOP("DisplayModel", "34- Denmark I")),   QString::fromLatin1(QT_TRANSLATE_NOOP("DisplayModel", "35- Sweden")),
                   QString::fromLatin1(QT_TRANSLATE_NOOP("DisplayModel", "36- Italy")),      QString::fromLatin1(QT_TRANSLATE_NOOP("DisplayModel", "37- Spain")),       QString::fromLatin1(QT_TRANSLATE_NOOP("DisplayModel", "38- Japan")),
                   QString::fromLatin1(QT_TRANSLATE_NOOP("DisplayModel", "39- Norway")),     QString::fromLatin1(QT_TRANSLATE_NOOP("DisplayModel", "3A- Denmark II")),  QString::fromLatin1(QT_TRANSLATE_NOOP("DisplayModel", "3B- East Europe")),
                   QString::fromLatin1(QT_TRANSLATE_NOOP("DisplayModel", "3C- Russian")),    QString::fromLatin1(QT_TRANSLATE_NOOP("DisplayModel", "3D- Hebrew")),      QString::fromLatin1(QT_TRANSLATE_NOOP("DisplayModel", "3E- Greek"))};
    if (portuguese)
        c << QString::fromLatin1(QT_TRANSLATE_NOOP("DisplayModel", "3F- Portuguese"));
    return c;
}

const QStringList kUsualParities {QStringLiteral("N,8,1"), QStringLiteral("O,7,1"), QStringLiteral("E,7,1")};
const QStringList kEightBitParities {QStringLiteral("N,8,1"), QStringLiteral("O,8,1"), QStringLiteral("E,8,1")};
const QStringList kKdxlParities {QStringLiteral("N,8,1"), QStringLiteral("O,7,1"), QStringLiteral("E,7,1"),
                                 QStringLiteral("o,8,1"), QStringLiteral("e,8,1")};
const QStringList kModes {QString::fromLatin1(QT_TRANSLATE_NOOP("DisplayModel", "Mode 1 (Horizontal Scroll)")), QString::fromLatin1(QT_TRANSLATE_NOOP("DisplayModel", "Mode 2 (Vertical Scroll)")),
                          QString::fromLatin1(QT_TRANSLATE_NOOP("DisplayModel", "Mode 3 (Blinking)")),          QString::fromLatin1(QT_TRANSLATE_NOOP("DisplayModel", "Mode 1 + 2")),
                          QString::fromLatin1(QT_TRANSLATE_NOOP("DisplayModel", "Mode 1 + 3")),                 QString::fromLatin1(QT_TRANSLATE_NOOP("DisplayModel", "Mode 2 + 3")),
                          QString::fromLatin1(QT_TRANSLATE_NOOP("DisplayModel", "Mode 1 + 2 + 3"))};
const QStringList kShortModes {QString::fromLatin1(QT_TRANSLATE_NOOP("DisplayModel", "Mode 1 (Showing Continuously)")),
                               QString::fromLatin1(QT_TRANSLATE_NOOP("DisplayModel", "Mode 2 (Horixontal Scroll)")), QString::fromLatin1(QT_TRANSLATE_NOOP("DisplayModel", "Mode 1 + 2"))};

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
    t[11].toEpsonCaption = QString::fromLatin1(QT_TRANSLATE_NOOP("DisplayModel", "Switch to EPSON Command"));
    t[11].toNativeCaption = QString::fromLatin1(QT_TRANSLATE_NOOP("DisplayModel", "Switch to PRYX Command"));

    t[12].title = QStringLiteral("KDXM Utility");
    t[12].nativeTabCaption = QString::fromLatin1(QT_TRANSLATE_NOOP("DisplayModel", "Group A"));
    t[12].epsonTabCaption = QString::fromLatin1(QT_TRANSLATE_NOOP("DisplayModel", "Group B"));
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

QString DisplayModel::translated(const QString &text)
{
    return QCoreApplication::translate("DisplayModel", text.toUtf8().constData());
}

QStringList DisplayModel::translated(const QStringList &texts)
{
    QStringList out;
    for (const QString &t : texts)
        out << translated(t);
    return out;
}
