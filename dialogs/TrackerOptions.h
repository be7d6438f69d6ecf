#pragma once

#include <QDialog>

#include <filesystem>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace telvo {

class Platform;

// "Tracker Options": the tracker fields of the actor data, and the coordinate file and number
// of emitters kept in the tracker's own "Vexomark.ini". The command handler fills the values
// before exec and takes them after OK. Controls carry their ids as object names.
class CTrackerOptions : public QDialog {
public:
    enum Control {
        FilterId = 1053,
        OffsetXId = 1070,
        OffsetYId = 1071,
        OffsetZId = 1072,
        CoordinateFileId = 1077,
        BrowseId = 1078,
        EmittersId = 1079,
        UseTrackerId = 1082,
        MarkerNodeId = 1083,
        RelativeId = 1125,
    };

    // Boxes and the file chooser go through the port; vexomarkIni is the tracker's file.
    CTrackerOptions(Platform& port, std::filesystem::path vexomarkIni, QWidget* parent = nullptr);

    float m_filterCoefficient = 0.0f;
    float m_offsetX = 0.0f;
    float m_offsetY = 0.0f;
    float m_offsetZ = 0.0f;
    std::string m_coordinateFileName;
    int m_numEmitters = 1;
    int m_useTracker = 0;
    int m_relative = 0;
    std::string m_coordinateFilePath;
    std::string m_coordinateFileDir; // where browsing starts: the path's folder
    bool m_coordinateFileChanged = false;
    int m_markerNode = 0;

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnInitDialog();
    void OnBrowse();
    void SetCoordinateFilePath(const std::string& path);
    bool ReadControls();
    void PutControls();

    Platform& port_;
    std::filesystem::path ini_;
    QLineEdit* file_ = nullptr;
    QLineEdit* emitters_ = nullptr;
    QLineEdit* offset_[3] = {};
    QComboBox* node_ = nullptr;
    QCheckBox* useTracker_ = nullptr;
    QCheckBox* relative_ = nullptr;
    QLineEdit* filter_ = nullptr;
    bool initialised_ = false;
};

// The Tracker Options command (32890).
void OnTrackerOptions(Platform& port, QWidget* parent, const std::filesystem::path& vexomarkIni);

} // namespace telvo
