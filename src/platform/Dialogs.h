#pragma once

#include <QString>

namespace platform {

enum class MsgIcon { None, Information, Exclamation, Critical };

// Message boxes and the open-file dialog. The driver and the windows reach them
// only through this interface; GUI programs install the Qt widgets version,
// command-line programs keep the default, which writes to standard error.
class Dialogs
{
public:
    virtual ~Dialogs() = default;

    // A message box with a single OK button.
    virtual void messageBox(const QString &text, const QString &title, MsgIcon icon) = 0;

    // Runs an open-file dialog. Returns false when the user cancelled; then
    // fileName is left unchanged.
    virtual bool openFile(const QString &title, const QString &initialDir, const QString &filter,
                          QString &fileName) = 0;
};

Dialogs &dialogs();

// Installs another implementation; nullptr restores the default. The caller keeps
// ownership.
void setDialogs(Dialogs *d);

} // namespace platform
