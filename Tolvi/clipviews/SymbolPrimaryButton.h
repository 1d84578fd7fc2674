#pragma once

#include "Tolvi/design/TolviPrimaryButton.h"

namespace tolvi {

// The primary button with a symbol before its title, both in the label colour and centred
// together on the body. The title is shown as it is written (an ampersand is no mnemonic) and
// is what assistive technologies read until the button is given a name of its own.
class SymbolPrimaryButton : public TolviPrimaryButton {
    Q_OBJECT
public:
    SymbolPrimaryButton(const QString& title, const QString& systemImage, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_title;
    QString m_systemImage;
};

} // namespace tolvi
