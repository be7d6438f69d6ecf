#include "TrackerOptions.h"

#include "DialogFields.h"
#include "core/Text.h"
#include "engine/EngineState.h"
#include "engine/SuitOptions.h"
#include "platform/Platform.h"
#include "platform/PrivateProfile.h"
#include "suitlib/SuitLib.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace telvo {

namespace {

constexpr const char* Section = "Vexomark";
// The path buffer holds 259 characters; the dialog takes at most 128 of them on OK.
constexpr std::size_t PathCapacity = 260;
constexpr int MaxFileNameLength = 128;

template <typename W> W* Named(W* widget, int id) {
    widget->setObjectName(QString::number(id));
    return widget;
}

} // namespace

CTrackerOptions::CTrackerOptions(Platform& port, std::filesystem::path vexomarkIni, QWidget* parent)
    : QDialog(parent), port_(port), ini_(std::move(vexomarkIni)) {
    setWindowTitle(QStringLiteral("Tracker Options"));
    setModal(true);

    file_ = Named(new QLineEdit, CoordinateFileId);
    file_->setReadOnly(true);
    file_->setMinimumWidth(280);
    auto* browse = Named(new QPushButton(QStringLiteral("Browse...")), BrowseId);
    browse->setAutoDefault(false);
    emitters_ = Named(new QLineEdit, EmittersId);
    emitters_->setReadOnly(true);
    emitters_->setMaximumWidth(60);
    node_ = Named(new QComboBox, MarkerNodeId);
    useTracker_ = Named(new QCheckBox(QStringLiteral("Use Tracker")), UseTrackerId);
    relative_ = Named(new QCheckBox(QStringLiteral("Relative")), RelativeId);
    filter_ = Named(new QLineEdit, FilterId);
    filter_->setMaximumWidth(80);
    auto* ok = Named(new QPushButton(QStringLiteral("OK")), 1);
    ok->setDefault(true);
    auto* cancel = Named(new QPushButton(QStringLiteral("Cancel")), 2);
    cancel->setAutoDefault(false);

    auto* offsets = new QGroupBox(QStringLiteral("Marker Offset"));
    auto* offsetRow = new QHBoxLayout(offsets);
    const char* axes[] = {"X", "Y", "Z"};
    for (int i = 0; i < 3; ++i) {
        offset_[i] = Named(new QLineEdit, OffsetXId + i);
        offset_[i]->setMaximumWidth(70);
        offsetRow->addWidget(new QLabel(QString::fromLatin1(axes[i])));
        offsetRow->addWidget(offset_[i]);
    }

    connect(browse, &QPushButton::clicked, this, &CTrackerOptions::OnBrowse);
    connect(node_, &QComboBox::activated, this, [this](int entry) {
        if (entry >= 0) {
            m_markerNode = entry;
        }
    });
    connect(ok, &QPushButton::clicked, this, &CTrackerOptions::accept);
    connect(cancel, &QPushButton::clicked, this, &CTrackerOptions::reject);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Vexomark coordinate file:")), 0, 0, 1, 3);
    grid->addWidget(file_, 1, 0, 1, 2);
    grid->addWidget(browse, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Number of Emitters (set with VexomarkShow)")), 2, 0,
                    1, 2);
    grid->addWidget(emitters_, 2, 2);
    grid->addWidget(offsets, 3, 0, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Marker Node")), 4, 0);
    grid->addWidget(node_, 4, 1);
    grid->addWidget(useTracker_, 5, 0);
    grid->addWidget(relative_, 5, 1);
    grid->addWidget(new QLabel(QStringLiteral("Filter Coefficient:")), 6, 0);
    grid->addWidget(filter_, 6, 1);

    PlaceBesideButtons(this, grid, ButtonColumn(ok, cancel));
}

void CTrackerOptions::showEvent(QShowEvent* event) {
    if (!initialised_) {
        initialised_ = true;
        OnInitDialog();
    }
    QDialog::showEvent(event);
}

void CTrackerOptions::OnInitDialog() {
    PutControls();
    m_numEmitters = GetPrivateProfileInt(Section, "NumEmitters", 1, ini_);
    node_->clear();
    for (int i = 0; i < SkeletonNodeCount; ++i) {
        node_->addItem(QString::fromUtf8(GyroGetNodeName(i)));
    }
    node_->setCurrentIndex(m_markerNode >= 0 && m_markerNode < SkeletonNodeCount ? m_markerNode
                                                                                 : -1);
    SetCoordinateFilePath(
        GetPrivateProfileString(Section, "CoordinateFile", "", PathCapacity, ini_));
    PutControls();
}

void CTrackerOptions::SetCoordinateFilePath(const std::string& path) {
    m_coordinateFilePath = path;
    // An empty path or a bare name has no folder: browsing starts where the chooser likes.
    m_coordinateFileDir = std::filesystem::path(path).parent_path().string();
    m_coordinateFileName = path;
}

void CTrackerOptions::OnBrowse() {
    FileChooser request;
    request.mode = FileChooser::Mode::Open;
    request.filters = {{"Vexomark coordinate file (*.crd)", "*.crd"}};
    request.defaultExtension = ".crd";
    request.initialName = m_coordinateFilePath;
    request.initialDirectory = m_coordinateFileDir;
    request.pathMustExist = true;
    const FileChoice choice = port_.ChooseFile(request);
    // A longer path does not fit the tracker's buffer: a cut one would name another file.
    if (!choice.accepted || choice.path.size() >= PathCapacity) {
        return;
    }
    // The library reads the file's name from there: a name it never got must not show as taken.
    if (!WritePrivateProfileString(Section, "CoordinateFile", choice.path, ini_)) {
        port_.MessageBox(Format("Error writing file %s", ini_.c_str()), MessageButtons::Ok,
                         MessageIcon::Exclamation,
                         "The tracker keeps the coordinate file it had: " + m_coordinateFilePath);
        return;
    }
    SetCoordinateFilePath(choice.path);
    m_coordinateFileChanged = true;
    PutControls();
}

bool CTrackerOptions::ReadControls() {
    m_useTracker = useTracker_->isChecked() ? 1 : 0;
    m_relative = relative_->isChecked() ? 1 : 0;
    const QString name = file_->text();
    if (name.size() > MaxFileNameLength) {
        Refuse(port_, file_, Format("Please enter no more than %d characters.", MaxFileNameLength));
        return false;
    }
    m_coordinateFileName = name.toStdString();
    const std::optional<int> emitters = ParseInteger(emitters_->text());
    if (!emitters) {
        Refuse(port_, emitters_, "Please enter an integer.");
        return false;
    }
    m_numEmitters = *emitters;
    float* values[] = {&m_offsetX, &m_offsetY, &m_offsetZ, &m_filterCoefficient};
    QLineEdit* boxes[] = {offset_[0], offset_[1], offset_[2], filter_};
    for (int i = 0; i < 4; ++i) {
        const std::optional<float> number = ParseNumber(boxes[i]->text().toStdString());
        if (!number) {
            Refuse(port_, boxes[i], "Please enter a number.");
            return false;
        }
        *values[i] = *number;
    }
    return true;
}

void CTrackerOptions::PutControls() {
    file_->setText(QString::fromStdString(m_coordinateFileName));
    emitters_->setText(QString::number(m_numEmitters));
    offset_[0]->setText(NumberText(m_offsetX));
    offset_[1]->setText(NumberText(m_offsetY));
    offset_[2]->setText(NumberText(m_offsetZ));
    useTracker_->setChecked(m_useTracker != 0);
    relative_->setChecked(m_relative != 0);
    filter_->setText(NumberText(m_filterCoefficient));
}

void CTrackerOptions::accept() {
    if (ReadControls()) {
        QDialog::accept();
    }
}

void OnTrackerOptions(Platform& port, QWidget* parent, const std::filesystem::path& vexomarkIni) {
    CTrackerOptions dialog(port, vexomarkIni, parent);
    BeginTrackerOptions();
    TrackerFields fields = TrackerFieldsOf(Engine.ActorData);
    dialog.m_useTracker = fields.useTracker;
    dialog.m_relative = fields.relative;
    dialog.m_offsetX = fields.offsetX;
    dialog.m_offsetY = fields.offsetY;
    dialog.m_offsetZ = fields.offsetZ;
    dialog.m_markerNode = fields.markerNode;
    dialog.m_filterCoefficient = fields.filterCoefficient;
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (accepted) {
        fields = {dialog.m_offsetX,    dialog.m_offsetY,    dialog.m_offsetZ,
                  dialog.m_markerNode, dialog.m_useTracker, dialog.m_filterCoefficient,
                  dialog.m_relative};
    }
    EndTrackerOptions(accepted ? &fields : nullptr, dialog.m_coordinateFileChanged);
}

} // namespace telvo
