#pragma once

#include <QDialog>

#include <array>

class QLineEdit;

namespace telvo {

class Platform;

// "BVH File Options": the four foot measurements the suit library uses for BVH files. The
// caller copies the settings into the values before exec and back after OK.
class CBVHFileOptions : public QDialog {
public:
    enum Control {
        FootLengthId = 1019,
        HeelWidthId = 1020,
        BallWidthId = 1174,
        ShortenOutsideId = 1178
    };

    // Boxes (a box that holds no number) go through the port.
    explicit CBVHFileOptions(Platform& port, QWidget* parent = nullptr);

    float m_footLength = 0.0f;
    float m_heelWidth = 0.0f;
    float m_ballWidth = 0.0f;
    float m_shortenOutside = 0.0f;

    // Takes the four boxes over, or names the first that holds no number and stays open.
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct Field {
        QLineEdit* edit;
        float* value;
    };
    Platform& port_;
    std::array<Field, 4> fields_{};
};

} // namespace telvo
