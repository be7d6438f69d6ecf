#include "platform/qt/QtText.h"

#include <QByteArray>
#include <QFile>

namespace telvo {

QString ToQt(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QString PathToQt(const std::string& s) {
    return QFile::decodeName(QByteArray(s.data(), static_cast<qsizetype>(s.size())));
}

std::string PathFromQt(const QString& s) {
    const QByteArray bytes = QFile::encodeName(s);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QString WithoutDot(const std::string& extension) {
    QString s = ToQt(extension);
    while (s.startsWith(QLatin1Char('.'))) {
        s.remove(0, 1);
    }
    return s;
}

} // namespace telvo
