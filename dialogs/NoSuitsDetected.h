#pragma once

#include <QDialog>

class QCheckBox;

namespace telvo {

// "No KVX Suits Detected": asked at start-up while no suit is found. Each button ends the
// dialog with its own result and takes over the check box; Escape and the close box end it
// with Cancel and leave the value as it was.
class CNoSuitsDetected : public QDialog {
public:
    enum Result { Cancel = 2, Abort = 3, Retry = 4, Ignore = 5 };
    enum Control { CheckBoxId = 1050 };

    explicit CNoSuitsDetected(QWidget* parent = nullptr);

    // Checked means: do not look for suits at start-up any more.
    int m_dontLookForSuits = 0;

    // Sets the box and the value together, before the dialog runs.
    void SetDontLookForSuits(bool on);

    void reject() override;

private:
    void Finish(Result result);

    QCheckBox* checkBox_ = nullptr;
};

} // namespace telvo
