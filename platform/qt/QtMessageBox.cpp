#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtText.h"

#include <QAbstractButton>
#include <QMessageBox>

#include <optional>

namespace telvo {

namespace {

QMessageBox::StandardButtons ToQt(MessageButtons buttons) {
    switch (buttons) {
    case MessageButtons::Ok:
        return QMessageBox::Ok;
    case MessageButtons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case MessageButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case MessageButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MessageButtons::RetryCancel:
        return QMessageBox::Retry | QMessageBox::Cancel;
    case MessageButtons::AbortRetryIgnore:
        return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
    }
    return QMessageBox::Ok;
}

// The first button is the default, as the platform's own boxes have it.
QMessageBox::StandardButton FirstButton(MessageButtons buttons) {
    switch (buttons) {
    case MessageButtons::Ok:
    case MessageButtons::OkCancel:
        return QMessageBox::Ok;
    case MessageButtons::YesNo:
    case MessageButtons::YesNoCancel:
        return QMessageBox::Yes;
    case MessageButtons::RetryCancel:
        return QMessageBox::Retry;
    case MessageButtons::AbortRetryIgnore:
        return QMessageBox::Abort;
    }
    return QMessageBox::Ok;
}

QMessageBox::Icon ToQt(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::None:
        return QMessageBox::NoIcon;
    case MessageIcon::Exclamation:
        return QMessageBox::Warning;
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Question:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

std::optional<MessageAnswer> FromQt(QMessageBox::StandardButton b) {
    switch (b) {
    case QMessageBox::Ok:
        return MessageAnswer::Ok;
    case QMessageBox::Cancel:
        return MessageAnswer::Cancel;
    case QMessageBox::Abort:
        return MessageAnswer::Abort;
    case QMessageBox::Retry:
        return MessageAnswer::Retry;
    case QMessageBox::Ignore:
        return MessageAnswer::Ignore;
    case QMessageBox::Yes:
        return MessageAnswer::Yes;
    case QMessageBox::No:
        return MessageAnswer::No;
    default:
        return std::nullopt;
    }
}

} // namespace

int ExecListed(QDialog& dialog, DialogList* shownFor) {
    if (shownFor != nullptr) {
        shownFor->emplace_back(&dialog);
    }
    const int result = dialog.exec();
    if (shownFor != nullptr) {
        std::erase_if(*shownFor, [&](const QPointer<QDialog>& p) {
            return p.isNull() || p.data() == &dialog;
        });
    }
    return result;
}

MessageAnswer RunMessageBox(QWidget* parent, const std::string& text, MessageButtons buttons,
                            MessageIcon icon, const std::string& detail, DialogList* shownFor) {
    QMessageBox box(ToQt(icon), QStringLiteral("TelvoView"), QString(), ToQt(buttons), parent);
    box.setTextFormat(Qt::PlainText);
    box.setText(ToQt(text));
    if (!detail.empty()) {
        box.setDetailedText(ToQt(detail));
    }
    box.setDefaultButton(FirstButton(buttons));
    ExecListed(box, shownFor);
    if (QAbstractButton* clicked = box.clickedButton()) {
        if (auto answer = FromQt(box.standardButton(clicked))) {
            return *answer;
        }
    }
    return DismissAnswer(buttons);
}

} // namespace telvo
