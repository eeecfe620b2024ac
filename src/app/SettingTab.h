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
    // Looks for the display at every line setting it has, with the window
    // alive and Cancel or Esc to stop, and offers what it found.
    void cmdFindDisplay_Click();

    // Re-reads the port map and shows which device the chosen number stands for.
    void updateComportDevice();

    QComboBox *cboComport = nullptr;
    QPushButton *cmdFindDisplay = nullptr;
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
    // The Setting tab's lists set to a found rate and framing; false with the
    // reason when the lists have no such entry.
    bool useFound(const QString &baud, const QString &framing);

    TabHost &m_host;
};
