#pragma once

#include <QVector>
#include <QWidget>

class QPushButton;
class TabHost;

// Tab 3, "Send by ASCII": one button for every code 0 to 255; a click sends
// that single byte and shows its outcome in the host's status line.
class AsciiTab : public QWidget
{
    Q_OBJECT
public:
    AsciiTab(TabHost &host, QWidget *parent = nullptr);

    void cmdASCII1_Click(int Index);
    void cmdASCII2_Click(int Index);

    // Codes 0 to 127 and 128 to 255.
    QVector<QPushButton *> cmdASCII1;
    QVector<QPushButton *> cmdASCII2;

private:
    TabHost &m_host;
};
