#pragma once

#include "CKDX.h"
#include "TabHost.h"

#include <QScrollArea>
#include <QStringList>

#include <memory>

// Holds a single tab of the main window for a test: its own driver, a busy
// flag, and a record of what the tab reported.
class TabTestHost : public TabHost
{
public:
    CKDX &kdx() override
    {
        if (!m_kdx)
            m_kdx = std::make_unique<CKDX>();
        return *m_kdx;
    }
    bool beginCommand() override
    {
        if (busy)
            return false;
        busy = true;
        status.clear();
        return true;
    }
    void endCommand() override { busy = false; }
    bool isBusy() const override { return busy; }
    bool isLoading() const override { return loading; }
    void showResult(qint32 result) override
    {
        results << result;
        status = result == 0 ? QStringLiteral("OK") : CKDX::ErrorDescription(result);
    }
    void showStatus(const QString &text) override { status = text; }
    void showSent(qint32 result) override
    {
        showResult(result);
        if (result == 0)
            status = QStringLiteral("Sent; the display gave no acknowledge");
    }
    void refuse(const QString &text) override { refusals << text; }
    QString settingsName() const override { return QStringLiteral("Tab Test"); }

    // A driver set up as the Setting tab would leave it.
    void useLine(int port = 1)
    {
        kdx().setCommPort(port);
        kdx().setBaudRate(QStringLiteral("19200"));
        kdx().setParity(QStringLiteral("N,8,1"));
    }

    bool busy = false;
    bool loading = false;
    QString status = QStringLiteral("untouched");
    QList<qint32> results;
    QStringList refusals;

private:
    std::unique_ptr<CKDX> m_kdx;
};

// A tab on a page that scrolls, as the window shows it.
template <class Tab>
struct ScrolledTab
{
    explicit ScrolledTab(TabTestHost &host)
        : tab(new Tab(host))
    {
        area.setWidget(tab);
        area.setWidgetResizable(true);
        area.resize(area.widget()->sizeHint().width() + 40, 200);
    }
    QScrollArea area;
    Tab *tab;
};
