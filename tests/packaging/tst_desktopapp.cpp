// SPDX-License-Identifier: MIT
// The window programs' start: which arguments end the program before any
// window exists, and what the application tells the desktop.

#include "DesktopApp.h"

#include <QApplication>
#include <QIcon>
#include <QtTest>

#include <optional>
#include <vector>

using platform::desktop::Program;

namespace {

const Program kProgram {QStringLiteral("kdx-utility"), QStringLiteral("org.example.test_app"),
                        QStringLiteral("Tests the start."),
                        QStringLiteral("      --vt100    open the VT100 Mode Test window instead\n"),
                        {QStringLiteral("--vt100")}};

} // namespace

class tst_DesktopApp : public QObject
{
    Q_OBJECT

private slots:
    void answerCommandLine_data();
    void answerCommandLine();
    void setUpTiesTheWindowsToTheEntry();
};

void tst_DesktopApp::answerCommandLine_data()
{
    // The exit status, or -1 where the window is to open.
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::newRow("no arguments") << QStringList {} << -1;
    QTest::newRow("--help") << QStringList {"--help"} << 0;
    QTest::newRow("-h") << QStringList {"-h"} << 0;
    QTest::newRow("--version") << QStringList {"--version"} << 0;
    QTest::newRow("after Qt's options") << QStringList {"-style", "fusion", "--version"} << 0;
    // Qt's own options are single-dash words, not bundles of letters: this one
    // holds an "h" but is no request for help.
    QTest::newRow("-platformpluginpath") << QStringList {"-platformpluginpath", "/nowhere"} << -1;
    QTest::newRow("-platform") << QStringList {"-platform", "offscreen"} << -1;
    QTest::newRow("Qt's with two dashes and =") << QStringList {"--style=fusion", "-reverse"} << -1;
    // A Qt option's value is not taken for an argument of ours.
    QTest::newRow("a value like a word") << QStringList {"-qwindowtitle", "Shop 3"} << -1;
    QTest::newRow("the program's own switch") << QStringList {"-style", "fusion", "--vt100"} << -1;
    QTest::newRow("--bogus") << QStringList {"--bogus"} << 64;
    QTest::newRow("bundled letters") << QStringList {"-hv"} << 64;
    QTest::newRow("a stray word") << QStringList {"COM1"} << 64;
    QTest::newRow("unknown after Qt's") << QStringList {"-style", "fusion", "--bogus", "--help"} << 64;
}

void tst_DesktopApp::answerCommandLine()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    std::vector<QByteArray> storage {"kdx-utility"};
    for (const QString &a : args)
        storage.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &b : storage)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    const std::optional<int> got = platform::desktop::answerCommandLine(int(storage.size()), argv.data(), kProgram);
    QCOMPARE(got.value_or(-1), status);
}

void tst_DesktopApp::setUpTiesTheWindowsToTheEntry()
{
    platform::desktop::setUp(kProgram);
    QCOMPARE(QGuiApplication::desktopFileName(), kProgram.desktopId);
    QCOMPARE(QCoreApplication::applicationName(), kProgram.name);
    QVERIFY(QCoreApplication::applicationVersion().count(QLatin1Char('.')) == 2);
    // No icon theme has the test's id: our own icon must be drawable.
    const QPixmap icon = QApplication::windowIcon().pixmap(48, 48);
    QVERIFY(!icon.isNull());
    const QImage image = icon.toImage();
    QVERIFY2(image.pixelColor(24, 20).alpha() > 0, "the middle of the icon is drawn");
    QVERIFY(platform::desktop::helpText(kProgram).startsWith(QLatin1String("Usage: kdx-utility [OPTION]...\nTests the start.\n")));
}

QTEST_MAIN(tst_DesktopApp)
#include "tst_desktopapp.moc"
