#include "RunFile.h"

namespace {

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\f')
        || c == QLatin1Char('\v');
}

// The characters a backslash protects inside double quotes, as in a shell.
bool escapableInDoubleQuotes(QChar c)
{
    return c == QLatin1Char('"') || c == QLatin1Char('\\') || c == QLatin1Char('$') || c == QLatin1Char('`');
}

} // namespace

bool RunFile::splitWords(const QString &line, QStringList *words, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    QStringList out;
    QString word;
    bool inWord = false; // also true for a word made of nothing but "" or ''
    const qsizetype n = line.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = line[i];
        if (isBlank(c)) {
            if (inWord)
                out.append(word);
            word.clear();
            inWord = false;
        } else if (c == QLatin1Char('#') && !inWord) {
            break;
        } else if (c == QLatin1Char('\\')) {
            if (i + 1 >= n) {
                return fail(QStringLiteral("a backslash at the end of the line"));
            }
            word += line[++i];
            inWord = true;
        } else if (c == QLatin1Char('\'')) {
            const qsizetype end = line.indexOf(QLatin1Char('\''), i + 1);
            if (end < 0) {
                return fail(QStringLiteral("a ' without its closing '"));
            }
            word += line.mid(i + 1, end - i - 1);
            i = end;
            inWord = true;
        } else if (c == QLatin1Char('"')) {
            qsizetype j = i + 1;
            for (; j < n && line[j] != QLatin1Char('"'); ++j) {
                if (line[j] == QLatin1Char('\\') && j + 1 < n && escapableInDoubleQuotes(line[j + 1]))
                    ++j;
                word += line[j];
            }
            if (j >= n) {
                return fail(QStringLiteral("a \" without its closing \""));
            }
            i = j;
            inWord = true;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        out.append(word);
    if (words)
        *words = out;
    return true;
}

bool RunFile::parse(const QString &text, QList<Line> *lines, QString *error)
{
    QString body = text;
    if (body.startsWith(QChar(0xFEFF)))
        body.remove(0, 1);
    QList<Line> out;
    const QStringList raw = body.split(QLatin1Char('\n'));
    for (int i = 0; i < raw.size(); ++i) {
        Line line;
        line.number = i + 1;
        QString why;
        if (!splitWords(raw[i], &line.words, &why)) {
            if (error)
                *error = QStringLiteral("line %1: %2").arg(line.number).arg(why);
            return false;
        }
        if (!line.words.isEmpty())
            out.append(line);
    }
    if (lines)
        *lines = out;
    return true;
}
