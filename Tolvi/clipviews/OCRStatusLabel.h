#pragma once

#include "Tolvi/design/DesignTokens.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QWidget>

namespace tolvi {

// Where text recognition stands for an image: a symbol and a fixed message for one status.
class OCRStatusLabel : public QWidget {
    Q_OBJECT
public:
    struct Presentation {
        QString systemImage;
        TolviDesign::ColorToken symbolColor;
        QString message;
    };
    static Presentation presentation(ClipboardStore::OCRStatus status);

    explicit OCRStatusLabel(ClipboardStore::OCRStatus status, QWidget* parent = nullptr);
    ClipboardStore::OCRStatus status() const { return m_status; }
    void setStatus(ClipboardStore::OCRStatus status);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ClipboardStore::OCRStatus m_status;
};

} // namespace tolvi
