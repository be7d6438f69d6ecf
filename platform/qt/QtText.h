#pragma once

// Our texts in Qt's terms: texts are UTF-8, paths are the file system's bytes.

#include <QString>

#include <string>

namespace telvo {

QString ToQt(const std::string& s);
QString PathToQt(const std::string& s);
std::string PathFromQt(const QString& s);
// An extension without its leading dots, as QFileDialog's default suffix takes it.
QString WithoutDot(const std::string& extension);

} // namespace telvo
