#pragma once

// How the option dialogs read their edit boxes and refuse what a box cannot take.

#include <QString>

#include <cstdint>
#include <optional>
#include <string>

class QDialog;
class QLayout;
class QPushButton;
class QVBoxLayout;
class QWidget;

namespace telvo {

class Platform;

// Whole numbers as typed: blanks around them and a sign in front allowed, nothing else.
std::optional<uint32_t> ParseUnsigned(const QString& text);
std::optional<int> ParseInteger(const QString& text);
// The shortest text that reads back to the same float, so that OK on an unchanged box
// stores what was there.
QString NumberText(float value);

// OK above Cancel, for a column of buttons beside the fields; more may be added below.
QVBoxLayout* ButtonColumn(QPushButton* ok, QPushButton* cancel);
// The fields on the left, the buttons at the top right; the dialog keeps its size.
void PlaceBesideButtons(QDialog* dialog, QLayout* fields, QVBoxLayout* buttons);

// The message once (OK, no icon), then the focus on the field with its text selected.
void Refuse(Platform& port, QWidget* field, const std::string& message);

} // namespace telvo
