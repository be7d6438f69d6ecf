#pragma once

#include "suitlib/SuitLib.h"

#include <QDialog>

#include <cstdint>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;

namespace telvo {

class Platform;

// "Input Options": which suit the program reads, and the capture options. The command
// handler fills the values before exec and copies them back after OK. Controls carry their
// ids as object names.
class CInputOptions : public QDialog {
public:
    enum Control {
        StopId = 1026,
        FramesId = 1028,
        SecondsId = 1029,
        FrameRateId = 1031,
        CountId = 1032,
        SuitListId = 1034,
        DelayId = 1042,
        DelayEnableId = 1043,
        BeepId = 1044,
        FindSuitsId = 1046,
        AutoloadId = 1048,
        UnitsId = 1051,
        PCSpeakerId = 1068,
    };

    // Boxes and the wait cursor go through the port.
    explicit CInputOptions(Platform& port, QWidget* parent = nullptr);

    float m_frameRate = 30.0f;
    uint32_t m_count = 10;
    int m_stopEnabled = 0;
    int m_suitIndex = 0;
    int m_delayEnabled = 0;
    int m_delay = 0;
    int m_beep = 0;
    int m_autoload = 0;
    int m_pcSpeaker = 0;
    int m_countInFrames = 0;
    // The stop limit in the unit of m_countInFrames, as the setting holds it. Only a click on
    // Frames or Seconds converts, at the rate shown: going through frames at the suit's rate
    // and back at another (30 with no suit listed) changed the limit.
    uint32_t m_limit = 0;
    SuitInfo m_suitInfo{};
    int m_units = -1; // -1 "Default", else a unit of GyroGetUnitName

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnInitDialog();
    void FindSuits();
    void OnSuitChanged();
    void OnUnitsChanged(int entry);
    void OnFrames();
    void OnSeconds();
    // The controls into the values; on a value it cannot take, its message once, the focus on
    // its control and false (the values read before it are kept).
    bool ReadControls();
    void PutControls();

    Platform& port_;
    QComboBox* suits_ = nullptr;
    QLineEdit* frameRate_ = nullptr;
    QCheckBox* stop_ = nullptr;
    QLineEdit* count_ = nullptr;
    QRadioButton* frames_ = nullptr;
    QRadioButton* seconds_ = nullptr;
    QCheckBox* delayEnable_ = nullptr;
    QLineEdit* delay_ = nullptr;
    QCheckBox* beep_ = nullptr;
    QCheckBox* pcSpeaker_ = nullptr;
    QCheckBox* autoload_ = nullptr;
    QComboBox* units_ = nullptr;
    bool initialised_ = false;
};

// The Input Options command (32834): closes the suit, runs the dialog, stores the settings
// after OK and opens the chosen suit (after Cancel the previous one).
void OnInputOptions(Platform& port, QWidget* parent);

} // namespace telvo
