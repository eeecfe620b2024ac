#pragma once

#include "Dialogs.h"

namespace platform {

// QMessageBox and QFileDialog, parented to the active window.
class WidgetDialogs final : public Dialogs
{
public:
    void messageBox(const QString &text, const QString &title, MsgIcon icon) override;
    bool openFile(const QString &title, const QString &initialDir, const QString &filter,
                  QString &fileName) override;

    // Installs a process-wide instance as the dialogs in use.
    static void install();

    static QString toQtFilter(const QString &filter);
};

} // namespace platform
