#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>

class QLabel;

namespace telvo {

// "About TelvoView": the program's version and the suit library's.
class CAboutBox : public QDialog {
public:
    enum Control { VersionId = 1041 };

    explicit CAboutBox(QWidget* parent = nullptr);

    // The two version lines for a library version number (low 16 bits major, high 16 minor).
    static QString VersionText(std::uint32_t libraryVersion);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel* version_ = nullptr;
};

} // namespace telvo
