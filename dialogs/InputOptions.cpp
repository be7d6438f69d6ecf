#include "InputOptions.h"

#include "DialogFields.h"
#include "core/Settings.h"
#include "core/Text.h"
#include "engine/SuitOptions.h"
#include "platform/Platform.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include <cstring>

namespace telvo {

namespace {

constexpr float MinFrameRate = 1.0f;
constexpr float MaxFrameRate = 1000.0f;
constexpr int MaxDelay = 999;

float FrameRateOf(const SuitInfo& info) {
    return 120.0f / static_cast<float>(info.FrameDivider == 0 ? 1 : info.FrameDivider);
}

// count × rate + 0.5 and count ÷ rate + 0.5, truncated, held to 32 bits.
uint32_t Rounded(double value) {
    if (!(value >= 0.0)) {
        return 0;
    }
    return value < 4294967295.0 ? static_cast<uint32_t>(value) : UINT32_MAX;
}

QString SuitText(const SuitInfo& info) {
    const auto number = static_cast<int>(info.Identity & 0xFFFF);
    const std::size_t length = strnlen(info.Name, sizeof info.Name);
    if (length == 0) {
        return QString::fromStdString(Format("KVX%d", number));
    }
    return QString::fromStdString(Format("KVX%d \"", number)) +
           QString::fromUtf8(info.Name, static_cast<int>(length)) + QLatin1Char('"');
}

template <typename W> W* Named(W* widget, int id) {
    widget->setObjectName(QString::number(id));
    return widget;
}

} // namespace

CInputOptions::CInputOptions(Platform& port, QWidget* parent) : QDialog(parent), port_(port) {
    setWindowTitle(QStringLiteral("Input Options"));
    setModal(true);

    suits_ = Named(new QComboBox, SuitListId);
    suits_->setMinimumContentsLength(20);
    frameRate_ = Named(new QLineEdit, FrameRateId);
    frameRate_->setReadOnly(true);
    stop_ = Named(new QCheckBox(QStringLiteral("Stop recording after:")), StopId);
    count_ = Named(new QLineEdit, CountId);
    frames_ = Named(new QRadioButton(QStringLiteral("Frames")), FramesId);
    seconds_ = Named(new QRadioButton(QStringLiteral("Seconds")), SecondsId);
    auto* unit = new QButtonGroup(this);
    unit->addButton(frames_);
    unit->addButton(seconds_);
    delayEnable_ = Named(new QCheckBox(QStringLiteral("Delay before Record or Live in seconds")),
                         DelayEnableId);
    delay_ = Named(new QLineEdit, DelayId);
    beep_ = Named(new QCheckBox(QStringLiteral("Beep on Live and start/stop Record")), BeepId);
    pcSpeaker_ = Named(new QCheckBox(QStringLiteral("Use PC Speaker for beep")), PCSpeakerId);
    autoload_ = Named(
        new QCheckBox(QStringLiteral("Automatically load last actor file on startup")), AutoloadId);
    units_ = Named(new QComboBox, UnitsId);
    auto* findSuits = Named(new QPushButton(QStringLiteral("Find Suits")), FindSuitsId);
    findSuits->setAutoDefault(false);
    auto* ok = Named(new QPushButton(QStringLiteral("OK")), 1);
    ok->setDefault(true);
    auto* cancel = Named(new QPushButton(QStringLiteral("Cancel")), 2);
    cancel->setAutoDefault(false);
    for (QLineEdit* edit : {frameRate_, count_, delay_}) {
        edit->setMaximumWidth(80);
    }

    connect(suits_, &QComboBox::activated, this, [this] { OnSuitChanged(); });
    connect(units_, &QComboBox::activated, this, &CInputOptions::OnUnitsChanged);
    connect(frames_, &QRadioButton::clicked, this, &CInputOptions::OnFrames);
    connect(seconds_, &QRadioButton::clicked, this, &CInputOptions::OnSeconds);
    connect(findSuits, &QPushButton::clicked, this, [this] { FindSuits(); });
    connect(ok, &QPushButton::clicked, this, &CInputOptions::accept);
    connect(cancel, &QPushButton::clicked, this, &CInputOptions::reject);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("GyroSuit:")), 0, 0);
    grid->addWidget(suits_, 0, 1, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Frame Rate in frames per second:")), 1, 0, 1, 2);
    grid->addWidget(frameRate_, 1, 2);
    grid->addWidget(stop_, 2, 0);
    grid->addWidget(count_, 2, 1);
    grid->addWidget(frames_, 2, 2);
    grid->addWidget(seconds_, 2, 3);
    grid->addWidget(delayEnable_, 3, 0, 1, 2);
    grid->addWidget(delay_, 3, 2);
    grid->addWidget(beep_, 4, 0, 1, 4);
    grid->addWidget(pcSpeaker_, 5, 0, 1, 4);
    grid->addWidget(autoload_, 6, 0, 1, 4);
    grid->addWidget(new QLabel(QStringLiteral("Units:")), 7, 0);
    grid->addWidget(units_, 7, 1, 1, 2);

    QVBoxLayout* buttons = ButtonColumn(ok, cancel);
    buttons->addSpacing(12);
    buttons->addWidget(findSuits);
    PlaceBesideButtons(this, grid, buttons);
}

void CInputOptions::showEvent(QShowEvent* event) {
    if (!initialised_) {
        initialised_ = true;
        OnInitDialog();
    }
    QDialog::showEvent(event);
}

void CInputOptions::OnInitDialog() {
    PutControls();
    (m_countInFrames != 0 ? frames_ : seconds_)->setChecked(true);
    FindSuits();
    m_count = m_limit;
    units_->clear();
    units_->addItem(QStringLiteral("Default"));
    for (int i = 0; i < 5; ++i) {
        units_->addItem(QString::fromUtf8(GyroGetUnitName(i)));
    }
    units_->setCurrentIndex(m_units >= -1 && m_units < 5 ? m_units + 1 : -1);
    PutControls();
}

void CInputOptions::FindSuits() {
    port_.SetWaitCursor(true);
    GyroFindSuits();
    port_.SetWaitCursor(false);

    suits_->clear();
    m_suitIndex = -1;
    m_frameRate = 30.0f;
    for (int i = 0; i < GyroNumSuits(); ++i) {
        SuitInfo info{};
        if (GyroEnumerateSuitInfo(i, &info) == 0) {
            continue;
        }
        suits_->addItem(SuitText(info));
        // The later of two suits with one number wins.
        if ((info.Identity & 0xFFFF) == (m_suitInfo.Identity & 0xFFFF)) {
            m_suitIndex = i;
        }
    }
    if (m_suitIndex < 0 && GyroNumSuits() > 0) {
        m_suitIndex = 0;
    }
    if (m_suitIndex != -1) {
        if (SuitInfo info{}; GyroEnumerateSuitInfo(m_suitIndex, &info) != 0) {
            m_frameRate = FrameRateOf(info);
        }
    }
    PutControls();
}

void CInputOptions::OnSuitChanged() {
    ReadControls();
    if (m_suitIndex < 0) {
        m_suitIndex = 0;
    }
    SuitInfo info{};
    m_frameRate = GyroEnumerateSuitInfo(m_suitIndex, &info) != 0 ? FrameRateOf(info) : 30.0f;
    PutControls();
}

void CInputOptions::OnUnitsChanged(int entry) {
    if (entry >= 0) {
        m_units = entry - 1;
    }
}

void CInputOptions::OnFrames() {
    if (m_countInFrames != 0) {
        return;
    }
    m_countInFrames = 1;
    ReadControls();
    m_count = Rounded(m_count * static_cast<double>(m_frameRate) + 0.5);
    PutControls();
}

void CInputOptions::OnSeconds() {
    if (m_countInFrames == 0) {
        return;
    }
    m_countInFrames = 0;
    ReadControls();
    m_count = Rounded(m_count / static_cast<double>(m_frameRate) + 0.5);
    PutControls();
}

bool CInputOptions::ReadControls() {
    m_suitIndex = suits_->currentIndex();
    m_stopEnabled = stop_->isChecked() ? 1 : 0;
    m_delayEnabled = delayEnable_->isChecked() ? 1 : 0;
    m_beep = beep_->isChecked() ? 1 : 0;
    m_pcSpeaker = pcSpeaker_->isChecked() ? 1 : 0;
    m_autoload = autoload_->isChecked() ? 1 : 0;
    const std::optional<float> rate = ParseNumber(frameRate_->text().toStdString());
    if (!rate || *rate < MinFrameRate || *rate > MaxFrameRate) {
        Refuse(port_, frameRate_,
               Format("Please enter a number between %g and %g.", static_cast<double>(MinFrameRate),
                      static_cast<double>(MaxFrameRate)));
        return false;
    }
    m_frameRate = *rate;
    const std::optional<uint32_t> count = ParseUnsigned(count_->text());
    if (!count) {
        Refuse(port_, count_, "Please enter a positive integer.");
        return false;
    }
    m_count = *count;
    const std::optional<int> delay = ParseInteger(delay_->text());
    if (!delay) {
        Refuse(port_, delay_, "Please enter an integer.");
        return false;
    }
    if (*delay < 0 || *delay > MaxDelay) {
        Refuse(port_, delay_, Format("Please enter an integer between %d and %d.", 0, MaxDelay));
        return false;
    }
    m_delay = *delay;
    return true;
}

void CInputOptions::PutControls() {
    frameRate_->setText(NumberText(m_frameRate));
    count_->setText(QString::number(m_count));
    stop_->setChecked(m_stopEnabled != 0);
    suits_->setCurrentIndex(m_suitIndex < suits_->count() ? m_suitIndex : -1);
    delayEnable_->setChecked(m_delayEnabled != 0);
    delay_->setText(QString::number(m_delay));
    beep_->setChecked(m_beep != 0);
    pcSpeaker_->setChecked(m_pcSpeaker != 0);
    autoload_->setChecked(m_autoload != 0);
}

void CInputOptions::accept() {
    if (!ReadControls()) {
        return;
    }
    m_countInFrames = frames_->isChecked() ? 1 : 0;
    m_limit = m_count;
    if (GyroNumSuits() != 0) {
        SuitInfo chosen{};
        if (GyroEnumerateSuitInfo(m_suitIndex, &chosen) == 0) {
            port_.MessageBox("Invalid suit selected", MessageButtons::Ok, MessageIcon::None);
            return;
        }
        m_suitInfo = chosen;
    }
    QDialog::accept();
}

void OnInputOptions(Platform& port, QWidget* parent) {
    CInputOptions dialog(port, parent);
    dialog.m_suitInfo = CloseSuitForInputOptions();
    SettingsValues& s = Settings;
    dialog.m_countInFrames = s.RecordFramesOrSeconds;
    dialog.m_stopEnabled = s.RecordStop;
    dialog.m_delayEnabled = s.RecordDelayEnable;
    dialog.m_delay = s.RecordDelay;
    dialog.m_beep = s.RecordBeep;
    dialog.m_pcSpeaker = s.PCBeep;
    dialog.m_autoload = s.Autoload;
    dialog.m_units = s.Units;
    dialog.m_limit = static_cast<uint32_t>(s.RecordLimitFS.load());
    if (dialog.exec() == QDialog::Accepted) {
        s.RecordFramesOrSeconds = dialog.m_countInFrames;
        s.RecordStop = dialog.m_stopEnabled;
        s.RecordDelayEnable = dialog.m_delayEnabled;
        s.RecordDelay = dialog.m_delay;
        s.RecordBeep = dialog.m_beep;
        s.PCBeep = dialog.m_pcSpeaker;
        s.Autoload = dialog.m_autoload;
        s.Units = dialog.m_units;
        s.RecordLimitFS = static_cast<int>(dialog.m_limit);
    }
    ReopenSuit(dialog.m_suitInfo);
}

} // namespace telvo
