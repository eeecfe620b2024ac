#pragma once

#include <QWidget>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class TabHost;
struct DisplayModel;

// Tab 0, "Setting": the PC side of the serial link (port, baud rate, parity),
// which only reaches the driver and the settings store, and the frame
// "Miscellaneous" with the lamp test and the entries to the firmware update and
// the VT100 test.
class SettingTab : public QWidget
{
    Q_OBJECT
public:
    SettingTab(TabHost &host, QWidget *parent = nullptr);

    void FillParityList(const DisplayModel &model);
    void FillPortAndRateLists(const DisplayModel &model);
    // Restores port, baud rate and parity, which hands them to the driver.
    void restoreSettings();

    void cboComport_Click();
    void cboBaudRate_Click();
    void cboParity_Click();
    void cmdLightTube_Click();

    // Re-reads the port map and shows which device the chosen number stands for.
    void updateComportDevice();

    QComboBox *cboComport = nullptr;
    QLabel *lblComportDevice = nullptr;
    QComboBox *cboBaudRate = nullptr;
    QComboBox *cboParity = nullptr;
    QGroupBox *fraRS232 = nullptr;
    QGroupBox *fraMiscellaneous = nullptr;
    QPushButton *cmdLightTube = nullptr;
    QPushButton *cmdFirmwireUpdate = nullptr;
    QPushButton *cmdMis = nullptr;
    QGroupBox *fraDisplayType = nullptr;
    QComboBox *cboKDXType = nullptr;

private:
    TabHost &m_host;
};
