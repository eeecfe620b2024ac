#pragma once

// What the two window programs share as desktop applications: --help and
// --version, the desktop entry they belong to and the window icon.

#include <QLocale>
#include <QString>
#include <QStringList>

#include <optional>

namespace platform::desktop {

struct Program
{
    QString name;       // the program file, "kdx-utility"
    QString desktopId;  // its desktop entry without ".desktop", the application id
    QString summary;    // the line under "Usage:" in --help
    QString options;    // the program's own options for --help, one line each, or empty
    QStringList switches; // those options, taken without a value: "--vt100"
};

// Answers --help and --version from the bare arguments, before QApplication
// exists, so both work without a display, and refuses (status 64, a word on
// standard error) any option or argument that is neither these nor one of Qt's
// own (-platform, -style ...), which are left to QApplication. Gives the exit
// status when the program is done.
std::optional<int> answerCommandLine(int argc, char **argv, const Program &program);

// The --help text.
QString helpText(const Program &program);

// Names the application after the program, gives it the project's version,
// ties its windows to the desktop entry (Wayland matches windows to launchers
// by it), sets the icon (the installed theme icon, else our own copy) and
// installs the translations for the user's language.
void setUp(const Program &program);

// Qt's own translations (dialog buttons, context menus) and ours for the first
// of the locale's languages that has them, from the share folder beside the
// programs (installed, or the build tree's). No translation leaves the texts
// in English, as written in the code. True when ours was found.
bool installTranslations(const QLocale &locale);

} // namespace platform::desktop
