// kdxctl-manpage IN OUT: writes kdxctl's man page from the page's text IN, in
// which the lines `.\" generated: options` and `.\" generated: commands` are
// replaced by the options and commands of kdxctl's own tables. The page thus
// describes every option and command the program takes, however the tables
// grow.

#include "Commands.h"

#include <QFile>
#include <QRegularExpression>
#include <QTextStream>

#include <cstdio>

using namespace kdxctl;

namespace {

// A text as roff shows it: the usage text's lines of one help joined into one
// paragraph, backslashes and hyphens escaped, a line that would start with a
// control character guarded.
QString roff(QString text)
{
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\\'), QStringLiteral("\\e"));
    text.replace(QLatin1Char('-'), QStringLiteral("\\-"));
    if (text.startsWith(QLatin1Char('.')) || text.startsWith(QLatin1Char('\'')))
        text.prepend(QStringLiteral("\\&"));
    return text;
}

QString sentence(const QString &help)
{
    QString text = help.trimmed();
    if (!text.isEmpty() && !text.endsWith(QLatin1Char('.')))
        text += QLatin1Char('.');
    return roff(text.left(1).toUpper() + text.mid(1));
}

// An option the usage text leaves undescribed is explained where another
// option or a command names it.
QString describedWith(const QString &option)
{
    QStringList where;
    const QRegularExpression named(QStringLiteral("%1(?![\\w-])").arg(QRegularExpression::escape(option)));
    for (const GlobalOption &o : globalOptions()) {
        if (o.help.contains(named))
            where << QStringLiteral("\\fB\\-\\-%1\\fR").arg(roff(o.name));
    }
    for (const Command &c : commands()) {
        if (c.help.contains(named))
            where << QStringLiteral("the command \\fB%1\\fR").arg(roff(c.name));
    }
    if (where.isEmpty())
        return QString();
    return QStringLiteral("Described under %1.").arg(where.join(QStringLiteral(", ")));
}

QString optionsSection()
{
    QString out;
    for (const GlobalOption &o : globalOptions()) {
        const QString name = QStringLiteral("\\-\\-") + roff(o.name);
        out += QStringLiteral(".TP\n");
        out += o.valueName.isEmpty() ? QStringLiteral("\\fB%1\\fR\n").arg(name)
                                     : QStringLiteral("\\fB%1\\fR \\fI%2\\fR\n").arg(name, roff(o.valueName));
        const QString text = o.help.isEmpty() ? describedWith(QStringLiteral("--") + o.name) : sentence(o.help);
        if (text.isEmpty()) {
            std::fprintf(stderr, "kdxctl-manpage: --%s has no help, and no other help names it\n", qPrintable(o.name));
            return QString();
        }
        out += text + QLatin1Char('\n');
    }
    return out;
}

QString commandsSection()
{
    QString out;
    for (const Command &c : commands()) {
        out += QStringLiteral(".TP\n");
        out += c.synopsis.isEmpty() ? QStringLiteral("\\fB%1\\fR\n").arg(roff(c.name))
                                    : QStringLiteral("\\fB%1\\fR \\fI%2\\fR\n").arg(roff(c.name), roff(c.synopsis));
        out += sentence(c.help) + QLatin1Char('\n');
    }
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fputs("usage: kdxctl-manpage IN OUT\n", stderr);
        return 64;
    }
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "kdxctl-manpage: %s: %s\n", argv[1], qPrintable(in.errorString()));
        return 66;
    }
    QString page;
    int replaced = 0;
    for (const QString &line : QString::fromUtf8(in.readAll()).split(QLatin1Char('\n'))) {
        if (line == QLatin1String(".\\\" generated: options")) {
            const QString options = optionsSection();
            if (options.isEmpty())
                return 65;
            page += options;
            ++replaced;
        } else if (line == QLatin1String(".\\\" generated: commands")) {
            page += commandsSection();
            ++replaced;
        } else {
            page += line + QLatin1Char('\n');
        }
    }
    if (replaced != 2) {
        std::fprintf(stderr, "kdxctl-manpage: %s lacks the lines for the options and commands\n", argv[1]);
        return 65;
    }
    page.chop(1); // the split's empty last piece
    QFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(page.toUtf8()) < 0 || !out.flush()) {
        std::fprintf(stderr, "kdxctl-manpage: %s: %s\n", argv[2], qPrintable(out.errorString()));
        return 73;
    }
    return 0;
}
