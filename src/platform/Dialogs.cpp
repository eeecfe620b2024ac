#include "Dialogs.h"

#include <cstdio>

namespace platform {

namespace {

class ConsoleDialogs final : public Dialogs
{
public:
    void messageBox(const QString &text, const QString &title, MsgIcon) override
    {
        std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text));
    }
    bool openFile(const QString &, const QString &, const QString &, QString &) override
    {
        return false;
    }
};

Dialogs *g_dialogs = nullptr;

} // namespace

Dialogs &dialogs()
{
    static ConsoleDialogs console;
    return g_dialogs ? *g_dialogs : console;
}

void setDialogs(Dialogs *d)
{
    g_dialogs = d;
}

} // namespace platform
