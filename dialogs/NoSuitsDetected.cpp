#include "NoSuitsDetected.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace telvo {

CNoSuitsDetected::CNoSuitsDetected(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("No KVX Suits Detected"));
    setModal(true);

    auto* text = new QLabel(QStringLiteral(
        "No KVX Suits detected.\n\nCheck the box to prevent looking for suits on startup in "
        "the future.  You can turn this feature back on in the Options menu."));
    text->setWordWrap(true);
    text->setMinimumWidth(360);

    checkBox_ = new QCheckBox(QStringLiteral("Don't look for suits on startup in the future."));
    checkBox_->setObjectName(QStringLiteral("check"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    const struct {
        const char* text;
        Result result;
    } kinds[] = {{"Abort", Abort}, {"Retry", Retry}, {"Ignore", Ignore}};
    for (const auto& kind : kinds) {
        auto* button = new QPushButton(QString::fromLatin1(kind.text));
        button->setObjectName(QString::fromLatin1(kind.text).toLower());
        button->setAutoDefault(false);
        const Result result = kind.result;
        connect(button, &QPushButton::clicked, this, [this, result] { Finish(result); });
        if (result == Abort) {
            button->setDefault(true);
        }
        buttons->addWidget(button);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addSpacing(8);
    layout->addWidget(checkBox_);
    layout->addSpacing(8);
    layout->addLayout(buttons);
}

void CNoSuitsDetected::SetDontLookForSuits(bool on) {
    m_dontLookForSuits = on ? 1 : 0;
    checkBox_->setChecked(on);
}

void CNoSuitsDetected::Finish(Result result) {
    m_dontLookForSuits = checkBox_->isChecked() ? 1 : 0;
    done(result);
}

void CNoSuitsDetected::reject() {
    done(Cancel);
}

} // namespace telvo
