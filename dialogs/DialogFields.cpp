#include "DialogFields.h"

#include "platform/Platform.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <charconv>

namespace telvo {

namespace {

template <typename T> std::optional<T> ParseWhole(const QString& text) {
    const QByteArray bytes = text.trimmed().toLatin1();
    const char* first = bytes.constData();
    const char* last = first + bytes.size();
    if (last - first > 1 && first[0] == '+' && first[1] != '-') {
        ++first;
    }
    T value{};
    auto [end, error] = std::from_chars(first, last, value);
    if (first == last || error != std::errc() || end != last) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::optional<uint32_t> ParseUnsigned(const QString& text) {
    if (text.trimmed().startsWith(QLatin1Char('-'))) {
        return std::nullopt;
    }
    return ParseWhole<uint32_t>(text);
}

std::optional<int> ParseInteger(const QString& text) {
    return ParseWhole<int>(text);
}

QString NumberText(float value) {
    char text[32];
    auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return QString::fromLatin1(text, error == std::errc() ? static_cast<int>(end - text) : 0);
}

void Refuse(Platform& port, QWidget* field, const std::string& message) {
    port.MessageBox(message, MessageButtons::Ok, MessageIcon::None);
    field->setFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(field)) {
        edit->selectAll();
    }
}

QVBoxLayout* ButtonColumn(QPushButton* ok, QPushButton* cancel) {
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    return buttons;
}

void PlaceBesideButtons(QDialog* dialog, QLayout* fields, QVBoxLayout* buttons) {
    buttons->addStretch(1);
    auto* layout = new QHBoxLayout(dialog);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addLayout(fields);
    layout->addSpacing(12);
    layout->addLayout(buttons);
}

} // namespace telvo
