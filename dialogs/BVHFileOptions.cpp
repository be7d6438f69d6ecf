#include "BVHFileOptions.h"

#include "DialogFields.h"

#include "core/Text.h"
#include "platform/Platform.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace telvo {

CBVHFileOptions::CBVHFileOptions(Platform& port, QWidget* parent) : QDialog(parent), port_(port) {
    setWindowTitle(QStringLiteral("BVH File Options"));
    setModal(true);

    auto* ok = new QPushButton(QStringLiteral("OK"));
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CBVHFileOptions::accept);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &CBVHFileOptions::reject);

    const struct {
        const char* label;
        const char* name;
        float* value;
    } fields[] = {{"Foot Length", "footLength", &m_footLength},
                  {"Heel Width", "heelWidth", &m_heelWidth},
                  {"Ball Width", "ballWidth", &m_ballWidth},
                  {"Shorten Outside", "shortenOutside", &m_shortenOutside}};
    auto* boxes = new QVBoxLayout;
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        auto* edit = new QLineEdit;
        edit->setObjectName(QString::fromLatin1(fields[i].name));
        auto* label = new QLabel(QString::fromLatin1(fields[i].label));
        label->setBuddy(edit);
        boxes->addWidget(label);
        boxes->addWidget(edit);
        fields_[i] = {edit, fields[i].value};
    }

    PlaceBesideButtons(this, boxes, ButtonColumn(ok, cancel));

    QWidget* order[] = {
        ok, cancel, fields_[0].edit, fields_[1].edit, fields_[2].edit, fields_[3].edit};
    for (std::size_t i = 1; i < std::size(order); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
    ok->setFocus();
}

void CBVHFileOptions::showEvent(QShowEvent* event) {
    // A window shown again by the window manager keeps what the user typed.
    if (!event->spontaneous()) {
        for (const Field& field : fields_) {
            field.edit->setText(
                QString::fromStdString(Format("%g", static_cast<double>(*field.value))));
        }
    }
    QDialog::showEvent(event);
}

void CBVHFileOptions::accept() {
    std::array<float, 4> read{};
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        const std::optional<float> number = ParseNumber(fields_[i].edit->text().toStdString());
        if (!number) {
            Refuse(port_, fields_[i].edit, "Please enter a number.");
            return;
        }
        read[i] = *number;
    }
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        *fields_[i].value = read[i];
    }
    QDialog::accept();
}

} // namespace telvo
