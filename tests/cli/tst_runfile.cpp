// kdxctl run files: words split as a shell splits them, line numbers kept.

#include "RunFile.h"

#include <QtTest>

using Words = QList<QStringList>;

class tst_RunFile : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
};

void tst_RunFile::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("numbers");
    QTest::addColumn<Words>("words");
    QTest::addColumn<QString>("error");

    QTest::newRow("one command a line") << "intl 32\nposition 3\n" << QList<int> {1, 2}
                                        << Words {{"intl", "32"}, {"position", "3"}} << QString();
    QTest::newRow("blank and comment lines keep the numbering")
        << "# rack 4\n\n   \nintl 32   # Germany\n\t# done\nversion" << QList<int> {4, 6}
        << Words {{"intl", "32"}, {"version"}} << QString();
    QTest::newRow("# inside a word is text") << "send a#b" << QList<int> {1} << Words {{"send", "a#b"}} << QString();
    QTest::newRow("double quotes") << "send \"Hello  world\"" << QList<int> {1} << Words {{"send", "Hello  world"}}
                                   << QString();
    QTest::newRow("quoted #") << "send \"#1\" '#2'" << QList<int> {1} << Words {{"send", "#1", "#2"}} << QString();
    QTest::newRow("single quotes keep backslashes and double quotes")
        << "send 'a\\b \"c\"'" << QList<int> {1} << Words {{"send", "a\\b \"c\""}} << QString();
    QTest::newRow("escapes inside double quotes") << "send \"say \\\"hi\\\" \\\\ \\$1\"" << QList<int> {1}
                                                  << Words {{"send", "say \"hi\" \\ $1"}} << QString();
    QTest::newRow("other backslashes inside double quotes stay") << "send \"C:\\dir\\n\"" << QList<int> {1}
                                                                 << Words {{"send", "C:\\dir\\n"}} << QString();
    QTest::newRow("backslash outside quotes") << "send a\\ b \\#c \\'" << QList<int> {1}
                                              << Words {{"send", "a b", "#c", "'"}} << QString();
    QTest::newRow("quoted parts join") << "send \"a b\"'c'd" << QList<int> {1} << Words {{"send", "a bcd"}} << QString();
    QTest::newRow("an empty word") << "send \"\"\nsend ''" << QList<int> {1, 2} << Words {{"send", ""}, {"send", ""}}
                                   << QString();
    QTest::newRow("CR LF lines") << "intl 32\r\nsend \"x y\"\r\n" << QList<int> {1, 2}
                                 << Words {{"intl", "32"}, {"send", "x y"}} << QString();
    QTest::newRow("a byte order mark") << QString(QChar(0xFEFF)) + "version" << QList<int> {1} << Words {{"version"}}
                                       << QString();
    QTest::newRow("text beyond ASCII") << "send \"Grüße\"" << QList<int> {1} << Words {{"send", "Grüße"}} << QString();
    QTest::newRow("nothing") << "" << QList<int> {} << Words {} << QString();

    QTest::newRow("unterminated double quote") << "intl 32\nsend \"abc\nversion" << QList<int> {} << Words {}
                                               << "line 2: a \" without its closing \"";
    QTest::newRow("quotes do not span lines") << "send 'abc\ndef'" << QList<int> {} << Words {}
                                              << "line 1: a ' without its closing '";
    QTest::newRow("backslash at the end") << "\n\nsend abc\\" << QList<int> {} << Words {}
                                          << "line 3: a backslash at the end of the line";
    QTest::newRow("a backslashed closing quote") << "send \"abc\\\"" << QList<int> {} << Words {}
                                                 << "line 1: a \" without";
}

void tst_RunFile::parse()
{
    QFETCH(QString, text);
    QFETCH(QList<int>, numbers);
    QFETCH(Words, words);
    QFETCH(QString, error);

    QList<RunFile::Line> lines;
    QString why;
    const bool ok = RunFile::parse(text, &lines, &why);
    if (!error.isEmpty()) {
        QVERIFY(!ok);
        QVERIFY2(why.startsWith(error), qPrintable(why));
        QVERIFY(lines.isEmpty());
        return;
    }
    QVERIFY2(ok, qPrintable(why));
    QList<int> gotNumbers;
    Words gotWords;
    for (const RunFile::Line &l : lines) {
        gotNumbers.append(l.number);
        gotWords.append(l.words);
    }
    QCOMPARE(gotNumbers, numbers);
    QCOMPARE(gotWords, words);
}

QTEST_GUILESS_MAIN(tst_RunFile)
#include "tst_runfile.moc"
