#include "server/LocalIPDialog.h"

#include "server/ServerCommands.h"
#include "suitlib/SuitLib.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>

namespace telvo {

namespace {

// Dialog units: a quarter of the font's average character width across, an eighth of its
// height down.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font) {
        QFontMetrics metrics(font);
        const QString letters =
            QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        x_ = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
        y_ = metrics.height();
    }
    int X(int units) const { return (units * x_ + 2) / 4; }
    int Y(int units) const { return (units * y_ + 4) / 8; }
    QRect Rect(int x, int y, int w, int h) const { return {X(x), Y(y), X(w), Y(h)}; }

private:
    int x_ = 6;
    int y_ = 13;
};

} // namespace

CLocalIPDialog::CLocalIPDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Choose Local IP address"));
    setModal(true);
    QFont font(QStringLiteral("MS Sans Serif"), 8);
    font.setStyleHint(QFont::SansSerif);
    setFont(font);
    const DialogUnits du(font);
    setFixedSize(du.X(162), du.Y(71));

    auto* label = new QLabel(QStringLiteral("Local IP addresses for:"), this);
    label->setGeometry(du.Rect(10, 5, 140, 8));
    hostName_ = new QLabel(QStringLiteral("Hostname"), this);
    hostName_->setObjectName(QString::number(HostNameId));
    hostName_->setGeometry(du.Rect(10, 15, 140, 8));

    list_ = new QComboBox(this);
    list_->setObjectName(QString::number(AddressListId));
    list_->setEditable(false);
    // 162 units is the height the list drops to; closed it is one line high.
    list_->setGeometry(du.X(10), du.Y(25), du.X(140), list_->sizeHint().height());
    list_->setMaxVisibleItems(std::max(1, du.Y(162) / std::max(1, list_->sizeHint().height())));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setGeometry(du.Rect(25, 50, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("2"));
    cancel->setGeometry(du.Rect(85, 50, 50, 14));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CLocalIPDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!initialised_) {
        initialised_ = true;
        OnInitDialog();
    }
}

void CLocalIPDialog::OnInitDialog() {
    char host[512] = {};
    uint32_t count = 0;
    int status = NetworkGetLocalIPs(host, sizeof host, &count);
    if (status != 0) {
        ShowServerMessage(LocalIPsMessage(status));
        return;
    }
    hostName_->setText(QString::fromLocal8Bit(host));
    list_->clear();
    int selected = 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t address = NetworkGetLocalIP(i);
        if (address == m_address) {
            selected = static_cast<int>(i);
        }
        char text[16] = {};
        NetworkToString(address, text);
        list_->addItem(QString::fromLatin1(text));
    }
    list_->setCurrentIndex(list_->count() > 0 ? selected : -1);
    list_->update();
}

void CLocalIPDialog::accept() {
    // With no entry selected the list's -1 goes to the library as it is.
    m_address = NetworkGetLocalIP(static_cast<uint32_t>(list_->currentIndex()));
    QDialog::accept();
}

void OnEnableServer(QWidget* parent) {
    OnEnableServer([parent](uint32_t preselect) -> std::optional<uint32_t> {
        CLocalIPDialog dialog(parent);
        dialog.m_address = preselect;
        if (dialog.exec() != QDialog::Accepted) {
            return std::nullopt;
        }
        return dialog.m_address;
    });
}

} // namespace telvo
