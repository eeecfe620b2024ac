#pragma once

#include "Dialogs.h"

#include <QList>
#include <QString>

#include <functional>

namespace kdxtest {

// Records every message box and answers the open-file dialog as told.
// Installed on construction, removed on destruction.
class RecordingDialogs final : public platform::Dialogs
{
public:
    struct Box
    {
        QString text;
        QString title;
        platform::MsgIcon icon;
    };

    RecordingDialogs() { platform::setDialogs(this); }
    ~RecordingDialogs() override { platform::setDialogs(nullptr); }

    void messageBox(const QString &text, const QString &title, platform::MsgIcon icon) override
    {
        boxes.append({text, title, icon});
        if (onMessageBox)
            onMessageBox(boxes.last());
    }
    bool openFile(const QString &title, const QString &initialDir, const QString &filter,
                  QString &fileName) override
    {
        openFileCalls.append({title, initialDir, filter});
        if (fileToChoose.isEmpty())
            return false;
        fileName = fileToChoose;
        return true;
    }

    QList<Box> boxes;
    std::function<void(const Box &)> onMessageBox;
    struct OpenFileCall
    {
        QString title, initialDir, filter;
    };
    QList<OpenFileCall> openFileCalls;
    QString fileToChoose; // empty: the user cancels
};

} // namespace kdxtest
