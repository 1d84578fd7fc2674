#include "Tolvi/history/HistoryContentSplit.h"

#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/history/HistoryDivider.h"
#include "Tolvi/history/NarrowClipActions.h"

#include <QListView>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>

namespace tolvi {

namespace {

// A filled area in one colour token (the inspector's place).
class CanvasArea final : public QWidget {
public:
    explicit CanvasArea(QWidget* parent) : QWidget(parent)
    {
        // The canvas colour is opaque and covers every pixel: what lies beneath (the window's
        // backdrop) is not painted again each time the inspector changes.
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), DesignContext::of(this).color(TolviDesign::ColorToken::canvas));
    }
};

} // namespace

HistoryContentSplit::HistoryContentSplit(QListView* list, QWidget* parent)
    : QWidget(parent),
      m_list(list)
{
    m_list->setParent(this);
    m_divider = new HistoryDivider(Qt::Vertical, this);
    m_bottomDivider = new HistoryDivider(Qt::Horizontal, this);
    m_inspector = new CanvasArea(this);
    m_narrowActions = new QWidget(this);
    m_narrowActions->setObjectName(QStringLiteral("narrowActionsPlace"));
    auto* actionsLayout = new QVBoxLayout(m_narrowActions);
    actionsLayout->setContentsMargins(0, 0, 0, 0);
    m_inspector->setObjectName(QStringLiteral("inspectorPlace"));
}

int HistoryContentSplit::wideListWidth(int width)
{
    return int(std::min(std::max(width * 0.44, 330.0), 430.0));
}

void HistoryContentSplit::setNarrowStrip(NarrowClipActions* strip)
{
    m_narrowStrip = strip;
    m_narrowActions->layout()->addWidget(strip);
    relayout();
}

void HistoryContentSplit::setHasLens(bool hasLens)
{
    m_hasLens = hasLens;
    relayout();
}

void HistoryContentSplit::resizeEvent(QResizeEvent*)
{
    relayout();
}

void HistoryContentSplit::paintEvent(QPaintEvent*)
{
    if (!isWide())
        return;
    QPainter painter(this);
    QColor tint(Qt::black);
    tint.setAlphaF(0.035);
    painter.fillRect(m_list->geometry(), tint);
}

void HistoryContentSplit::relayout()
{
    const int w = width();
    const int h = height();
    if (isWide()) {
        const int listWidth = wideListWidth(w);
        m_list->setGeometry(0, 0, listWidth, h);
        m_divider->setGeometry(listWidth, 0, 1, h);
        m_inspector->setGeometry(listWidth + 1, 0, std::max(0, w - listWidth - 1), h);
        m_divider->show();
        m_inspector->setVisible(m_hasLens);
        m_bottomDivider->hide();
        m_narrowActions->hide();
        return;
    }
    m_divider->hide();
    m_inspector->hide();
    int stripHeight = 0;
    if (m_hasLens && m_narrowStrip)
        stripHeight = m_narrowStrip->preferredHeight(w);
    const bool strip = m_hasLens && stripHeight > 0;
    const int listHeight = strip ? std::max(0, h - stripHeight - 1) : h;
    m_list->setGeometry(0, 0, w, listHeight);
    m_bottomDivider->setVisible(strip);
    m_narrowActions->setVisible(strip);
    if (strip) {
        m_bottomDivider->setGeometry(0, listHeight, w, 1);
        m_narrowActions->setGeometry(0, listHeight + 1, w, stripHeight);
    }
}

} // namespace tolvi
