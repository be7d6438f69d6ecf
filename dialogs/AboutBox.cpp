#include "AboutBox.h"

#include "suitlib/SuitLib.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace telvo {

CAboutBox::CAboutBox(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About TelvoView"));
    setModal(true);

    version_ = new QLabel;
    version_->setObjectName(QStringLiteral("version"));
    version_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    // The legal notice, an empty line and the two-line credit.
    auto* notice = new QLabel(QStringLiteral(
        "Copyright (C) the TelvoView developers.\nThis program is provided as is, without "
        "warranty of any kind.\n\nWritten by the TelvoView team.\nMotion capture for inertial "
        "suits."));
    notice->setObjectName(QStringLiteral("notice"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(version_);
    layout->addWidget(notice);
    layout->addWidget(buttons);
}

QString CAboutBox::VersionText(std::uint32_t libraryVersion) {
    const int major = static_cast<int>(libraryVersion & 0xFFFFu);
    const int minor = static_cast<int>(libraryVersion >> 16);
    return QString::asprintf("TelvoView Version 11.6\nTelvoria.dll Version %d.%d\n", major, minor);
}

void CAboutBox::showEvent(QShowEvent* event) {
    version_->setText(VersionText(GyroVersion()));
    QDialog::showEvent(event);
}

} // namespace telvo
