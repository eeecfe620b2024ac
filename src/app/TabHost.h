#pragma once

#include <QtGlobal>
#include <QString>

#include <functional>

class CKDX;

// What a tab of the main window needs from the window that holds it: the one
// display driver, the busy guard that keeps a second command from starting,
// and the status line. frmMain is the host in the program; a test may host a
// single tab.
class TabHost
{
public:
    virtual ~TabHost() = default;

    // The driver, created on first use.
    virtual CKDX &kdx() = 0;

    // False when a command is already running; otherwise the window is busy
    // (hourglass, tabs disabled, status line empty) until endCommand.
    virtual bool beginCommand() = 0;
    virtual void endCommand() = 0;
    virtual bool isBusy() const = 0;
    // True when a new command would be turned away: busy, or the port is
    // owned by something else (a firmware transfer).
    virtual bool commandRefused() const { return isBusy(); }
    // True while the window restores its lists at start.
    virtual bool isLoading() const = 0;

    // The outcome of a command in the status line: "OK" for 0, otherwise the
    // driver's text (with the reason when the port would not open).
    virtual void showResult(qint32 result) = 0;
    // The outcome of bytes sent without an acknowledge to wait for: said as
    // sent, not as acknowledged.
    virtual void showSent(qint32 result) = 0;

    // A message box for a parameter that cannot be sent.
    virtual void refuse(const QString &text) = 0;

    // A command that can be stopped shows the window's Cancel button (Esc
    // presses it too) while it runs; an empty function takes the button away.
    virtual void setCancel(std::function<void()> cancel) { Q_UNUSED(cancel); }
    // What a long command is doing, or how it ended, in the status line.
    virtual void showStatus(const QString &text) { Q_UNUSED(text); }

    // The settings store's application name.
    virtual QString settingsName() const = 0;
};
