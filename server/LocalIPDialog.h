#pragma once

#include <QDialog>

#include <cstdint>

class QComboBox;
class QLabel;

namespace telvo {

// "Choose Local IP address": this machine's host name and IPv4 addresses. The caller sets
// m_address to the address to preselect and reads the chosen one after OK.
class CLocalIPDialog : public QDialog {
public:
    enum Control { AddressListId = 1190, HostNameId = 1191 };

    explicit CLocalIPDialog(QWidget* parent = nullptr);

    uint32_t m_address = 0;

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnInitDialog();

    QLabel* hostName_ = nullptr;
    QComboBox* list_ = nullptr;
    bool initialised_ = false;
};

// Enable Server with this dialog choosing the address.
void OnEnableServer(QWidget* parent);

} // namespace telvo
