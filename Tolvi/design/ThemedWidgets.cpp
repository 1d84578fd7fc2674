#include "Tolvi/design/ThemedWidgets.h"

#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

namespace tolvi {

using TolviDesign::ColorToken;

QString slimScrollBarStyleSheet(const DesignContext& context, const QString& margin)
{
    QColor handle = context.color(ColorToken::muted);
    handle.setAlphaF(0.45f);
    return QStringLiteral("QScrollBar:vertical { background: transparent; width: 10px; margin: %2; }"
                          "QScrollBar::handle:vertical { background: %1; border-radius: 4px; min-height: 32px; }"
                          "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
                          "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }")
        .arg(handle.name(QColor::HexArgb), margin);
}

QMessageBox* makeThemedWarningBox(QWidget* owner)
{
    auto* box = new QMessageBox(owner);
    box->setAttribute(Qt::WA_DeleteOnClose);
    const DesignContext context = DesignContext::of(owner);
    QPalette palette = TolviTheme::palette(context.appearance);
    palette.setColor(QPalette::Window, context.color(ColorToken::raisedSurface));
    box->setPalette(palette);
    box->setAutoFillBackground(true);
    box->setWindowModality(Qt::WindowModal);
    box->setIcon(QMessageBox::Warning);
    box->setWindowTitle(QStringLiteral("Tolvi"));
    return box;
}

void reserveMessageWidth(QMessageBox* box, int width)
{
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout()))
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Expanding), grid->rowCount(), 0, 1,
                      grid->columnCount());
}

} // namespace tolvi
