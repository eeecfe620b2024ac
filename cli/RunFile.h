#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// A run file: one kdxctl command per line, in the words of the command line.
// Words are split as a shell splits them: blanks separate, '...' keeps
// everything, "..." keeps everything but \" \\ \$ \`, a backslash outside quotes
// keeps the next character, and # at the start of a word comments out the rest
// of the line. Blank and comment lines are skipped; every command keeps the
// number of its line for error reports.
class RunFile
{
public:
    struct Line
    {
        int number = 0; // from 1
        QStringList words;
    };

    // False with "line N: why" for an unterminated quote or a backslash at the
    // end of a line; nothing is returned then, so no command runs from a file
    // that is not whole.
    static bool parse(const QString &text, QList<Line> *lines, QString *error);

    // One line's words; false with the reason.
    static bool splitWords(const QString &line, QStringList *words, QString *error);
};
