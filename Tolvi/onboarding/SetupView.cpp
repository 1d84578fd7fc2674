#include "Tolvi/onboarding/SetupView.h"

#include "Tolvi/design/Badges.h"
#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/TolviPrimaryButton.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/onboarding/OnboardingWidgets.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace tolvi {

using namespace onboarding;

using TolviDesign::ColorToken;
using TolviDesign::Typography;

namespace setupstep {

std::optional<SetupStep> fromRawValue(int raw)
{
    if (raw < 0 || raw >= int(allCases.size()))
        return std::nullopt;
    return allCases[std::size_t(raw)];
}

QString systemImage(SetupStep step)
{
    switch (step) {
    case SetupStep::welcome:
        return QStringLiteral("doc.on.clipboard");
    case SetupStep::howItWorks:
        return QStringLiteral("bolt.fill");
    case SetupStep::basics:
        return QStringLiteral("wand.and.stars");
    case SetupStep::tryIt:
        return QStringLiteral("arrow.up.forward.square");
    }
    return QStringLiteral("doc.on.clipboard");
}

DesignColor tint(SetupStep step)
{
    switch (step) {
    case SetupStep::welcome:
        return ColorToken::electricBlue;
    case SetupStep::howItWorks:
        return ColorToken::violet;
    case SetupStep::basics:
        return ColorToken::amber;
    case SetupStep::tryIt:
        return ColorToken::mint;
    }
    return ColorToken::electricBlue;
}

} // namespace setupstep

namespace {

// The console backdrop washed with the tour's gradient and a few faint slanted rules.
class TourBackdrop final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const DesignContext context = DesignContext::of(this);
        const qreal radius = context.translucencyAvailable ? TolviConsoleBackdrop::regularRadius : 0;
        TolviConsoleBackdrop::paint(painter, rect(), TolviConsoleBackdrop::regularRadius, context);
        painter.setClipPath(roundedShape(rect(), radius));

        QLinearGradient wash(rect().topLeft(), rect().bottomRight());
        wash.setColorAt(0.0, Tone{ColorToken::electricBlue, 0.16}.resolve(context));
        wash.setColorAt(1.0 / 3, Tone{ColorToken::mint, 0.07}.resolve(context));
        wash.setColorAt(2.0 / 3, Tone{ColorToken::amber, 0.08}.resolve(context));
        wash.setColorAt(1.0, Qt::transparent);
        painter.fillRect(rect(), wash);

        constexpr int rules = 7;
        constexpr qreal spacing = 18;
        const qreal columnHeight = rules + (rules - 1) * spacing;
        painter.translate(width() / 2.0, height() / 2.0 - 18);
        painter.rotate(-8);
        const QColor rule = Tone{ColorToken::ink, 0.035}.resolve(context);
        for (int i = 0; i < rules; ++i) {
            const qreal y = -columnHeight / 2 + i * (1 + spacing);
            painter.fillRect(QRectF(-width() / 2.0 - 60, y, width() + 120, 1), rule);
        }
    }
};

// One capsule per step: the current one long, the ones reached in their tints.
class ProgressPips final : public QWidget {
public:
    explicit ProgressPips(QWidget* parent) : QWidget(parent) { setFixedSize(sizeHint()); }

    void setStep(SetupStep step)
    {
        m_step = step;
        update();
    }

    QSize sizeHint() const override
    {
        const int count = int(setupstep::allCases.size());
        return {currentWidth + (count - 1) * otherWidth + (count - 1) * spacing, height};
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const DesignContext context = DesignContext::of(this);
        qreal x = 0;
        for (SetupStep step : setupstep::allCases) {
            const qreal w = step == m_step ? currentWidth : otherWidth;
            const Tone fill = int(step) <= int(m_step) ? Tone{setupstep::tint(step)} : Tone{ColorToken::ink, 0.12};
            painter.fillPath(roundedShape(QRectF(x, 0, w, height), height / 2.0), fill.resolve(context));
            x += w + spacing;
        }
    }

private:
    static constexpr int currentWidth = 28;
    static constexpr int otherWidth = 8;
    static constexpr int spacing = 6;
    static constexpr int height = 8;
    SetupStep m_step = SetupStep::welcome;
};

} // namespace

SetupView::SetupView(Actions actions, Facts facts, QWidget* parent)
    : QWidget(parent)
    , m_actions(std::move(actions))
    , m_facts(std::move(facts))
{
    setFixedSize(viewSize);
    setObjectName(QStringLiteral("tolvi.setup"));
    setFocusPolicy(Qt::StrongFocus);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    auto* backdrop = new TourBackdrop(this);
    root->addWidget(backdrop);

    auto* column = new QVBoxLayout(backdrop);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(makeHeader());

    m_pages = new QStackedWidget(backdrop);
    m_pages->addWidget(makeWelcomePage());
    m_pages->addWidget(makeHowItWorksPage());
    m_pages->addWidget(makeBasicsPage());
    m_pages->addWidget(makeTryItPage());
    auto* contentArea = new QWidget(backdrop);
    auto* contentLayout = new QVBoxLayout(contentArea);
    contentLayout->setContentsMargins(28, 10, 28, 18);
    contentLayout->addWidget(m_pages);
    column->addWidget(contentArea, 1);
    column->addWidget(makeFooter());

    auto* close = new PanelCloseButton(backdrop);
    connect(close, &QAbstractButton::clicked, this, [this] {
        if (m_actions.close)
            m_actions.close();
    });
    close->pinToCorner(10);

    refreshFrame();
}

QWidget* SetupView::makeHeader()
{
    auto* header = new QWidget(this);
    m_headerRow = new QHBoxLayout(header);
    m_headerRow->setContentsMargins(28, 28, 28, 18);
    m_headerRow->setSpacing(14);

    // The tile and the badge take the step's tint, so they are made afresh for each step.
    m_headerTile = new QWidget(header);
    m_headerRow->addWidget(m_headerTile);

    auto* titles = new QVBoxLayout();
    titles->setSpacing(4);
    auto* name = new TokenLabel(QStringLiteral("Tolvi"), onboardingFont(21, QFont::Bold), {ColorToken::ink}, header);
    auto* tagline = new TokenLabel(QStringLiteral("Smart Paste for Linux"), TolviDesign::font(Typography::meta),
                                   {ColorToken::muted}, header);
    for (TokenLabel* label : {name, tagline}) {
        label->setWordWrap(false);
        titles->addWidget(label);
    }
    m_headerRow->addLayout(titles);
    m_headerRow->addStretch(1);

    auto* capsule = new ToneBox(0, {ColorToken::surface, 0.55}, Tone{ColorToken::ink, 0.08}, header);
    capsule->setCircle(true);
    auto* capsuleLayout = new QHBoxLayout(capsule);
    capsuleLayout->setContentsMargins(10, 8, 10, 8);
    auto* pips = new ProgressPips(capsule);
    capsuleLayout->addWidget(pips);
    m_pips = pips;
    m_headerRow->addWidget(capsule, 0, Qt::AlignVCenter);

    m_stepBadge = new TolviBadge(QString(), QStringLiteral("sparkles"), ColorToken::electricBlue, header);
    m_headerRow->addWidget(m_stepBadge, 0, Qt::AlignVCenter);
    return header;
}

QWidget* SetupView::makeFooter()
{
    auto* footer = new MaterialBand(Qt::TopEdge, this);
    auto* row = new QHBoxLayout(footer);
    row->setContentsMargins(28, 16, 28, 16);
    row->setSpacing(10);

    auto add = [&](QAbstractButton* button, std::optional<SetupStep> onlyOn, bool isDefault,
                   std::function<void()> action) {
        button->setObjectName(QStringLiteral("tolvi.setup.") + button->text());
        row->addWidget(button);
        connect(button, &QAbstractButton::clicked, this, std::move(action));
        m_footerButtons.append({button, onlyOn, isDefault});
    };
    auto finishThen = [this](std::function<void()> Actions::*then) {
        return [this, then] {
            if (m_actions.completeSetup)
                m_actions.completeSetup();
            if (m_actions.*then)
                (m_actions.*then)();
        };
    };

    add(borderedButton(QStringLiteral("Back"), footer), std::nullopt, false, [this] { goBack(); });
    row->addStretch(1);
    add(new PlainTextButton(QStringLiteral("Skip Tour"), footer), SetupStep::welcome, false,
        finishThen(&Actions::close));
    add(new TolviPrimaryButton(QStringLiteral("Show Me"), footer), SetupStep::welcome, true,
        [this] { setStep(SetupStep::howItWorks); });
    add(new TolviPrimaryButton(QStringLiteral("Next"), footer), SetupStep::howItWorks, true,
        [this] { setStep(SetupStep::basics); });
    add(borderedButton(QStringLiteral("Open Full Window"), footer), SetupStep::basics, false,
        finishThen(&Actions::openHistory));
    add(new TolviPrimaryButton(QStringLiteral("Try It"), footer), SetupStep::basics, true,
        [this] { setStep(SetupStep::tryIt); });
    // There is no settings page that grants XTEST, so the last step has no permission button.
    add(borderedButton(QStringLiteral("Done"), footer), SetupStep::tryIt, false, finishThen(&Actions::close));
    add(new TolviPrimaryButton(QStringLiteral("Open Compact Mode"), footer), SetupStep::tryIt, true,
        finishThen(&Actions::tryDemo));
    return footer;
}

void SetupView::refreshFrame()
{
    for (const FooterButton& entry : m_footerButtons) {
        const bool shown = entry.onlyOn ? *entry.onlyOn == m_step : m_step != SetupStep::welcome;
        entry.button->setVisible(shown);
    }

    QWidget* header = m_headerTile->parentWidget();
    auto* tile = new TolviIconTile(setupstep::systemImage(m_step), setupstep::tint(m_step), header);
    tile->setFixedSize(44, 44);
    delete m_headerRow->replaceWidget(m_headerTile, tile);
    delete m_headerTile;
    m_headerTile = tile;

    auto* badge = new TolviBadge(QStringLiteral("%1 of %2").arg(int(m_step) + 1).arg(setupstep::allCases.size()),
                                 QStringLiteral("sparkles"), setupstep::tint(m_step), header);
    badge->setObjectName(QStringLiteral("tolvi.setup.progress"));
    delete m_headerRow->replaceWidget(m_stepBadge, badge);
    m_headerRow->setAlignment(badge, Qt::AlignVCenter);
    delete m_stepBadge;
    m_stepBadge = badge;

    static_cast<ProgressPips*>(m_pips)->setStep(m_step);
}

void SetupView::setStep(SetupStep step)
{
    if (step == m_step)
        return;
    const bool animates = isVisible() && DesignContext::of(this).animationDuration(stepAnimationMilliseconds) > 0;
    const QPixmap leaving = animates ? m_pages->currentWidget()->grab() : QPixmap();
    m_step = step;
    m_pages->setCurrentIndex(int(step));
    refreshFrame();
    animate(leaving, int(step));
}

void SetupView::goBack()
{
    static constexpr std::array<SetupStep, 4> previous{SetupStep::welcome, SetupStep::welcome,
                                                       SetupStep::howItWorks, SetupStep::basics};
    setStep(previous[std::size_t(m_step)]);
}

void SetupView::animate(const QPixmap& leavingPicture, int toIndex)
{
    if (m_leavingPage)
        delete m_leavingPage;  // a step change still under way ends at once
    for (int i = 0; i < m_pages->count(); ++i) {
        m_pages->widget(i)->setGraphicsEffect(nullptr);
        m_pages->widget(i)->move(0, 0);
    }
    const int duration = DesignContext::of(this).animationDuration(stepAnimationMilliseconds);
    if (duration <= 0 || leavingPicture.isNull())
        return;

    QWidget* entering = m_pages->widget(toIndex);
    const int distance = m_pages->width();

    // The page that leaves is a picture of itself, over the stack, fading as it slides away.
    auto* snapshot = new QLabel(m_pages->parentWidget());
    snapshot->setPixmap(leavingPicture);
    snapshot->setAttribute(Qt::WA_TransparentForMouseEvents);
    snapshot->setGeometry(m_pages->geometry());
    snapshot->show();
    m_leavingPage = snapshot;

    auto* leavingOpacity = new QGraphicsOpacityEffect(snapshot);
    snapshot->setGraphicsEffect(leavingOpacity);
    auto* enteringOpacity = new QGraphicsOpacityEffect(entering);
    enteringOpacity->setOpacity(0);
    entering->setGraphicsEffect(enteringOpacity);

    auto* group = new QParallelAnimationGroup(snapshot);
    auto addAnimation = [&](QObject* target, const QByteArray& property, const QVariant& from, const QVariant& to) {
        auto* animation = new QPropertyAnimation(target, property, group);
        animation->setDuration(duration);
        animation->setEasingCurve(QEasingCurve::InOutQuad);
        animation->setStartValue(from);
        animation->setEndValue(to);
        group->addAnimation(animation);
    };
    addAnimation(enteringOpacity, "opacity", 0.0, 1.0);
    addAnimation(entering, "pos", QPoint(distance, 0), QPoint(0, 0));
    addAnimation(leavingOpacity, "opacity", 1.0, 0.0);
    addAnimation(snapshot, "pos", snapshot->pos(), snapshot->pos() + QPoint(distance, 0));

    QPointer<QWidget> enteringPage(entering);
    connect(group, &QAbstractAnimation::finished, this, [this, enteringPage] {
        if (enteringPage) {
            enteringPage->setGraphicsEffect(nullptr);
            enteringPage->move(0, 0);
        }
        if (m_leavingPage)
            m_leavingPage->deleteLater();
    });
    group->start();
}

void SetupView::activateDefaultAction()
{
    if (QAbstractButton* button = defaultButton())
        button->click();
}

QAbstractButton* SetupView::defaultButton() const
{
    for (const FooterButton& entry : m_footerButtons) {
        if (entry.isDefault && entry.onlyOn == m_step)
            return entry.button;
    }
    return nullptr;
}

QList<QAbstractButton*> SetupView::visibleFooterButtons() const
{
    QList<QAbstractButton*> buttons;
    for (const FooterButton& entry : m_footerButtons) {
        if (entry.onlyOn ? *entry.onlyOn == m_step : m_step != SetupStep::welcome)
            buttons << entry.button;
    }
    return buttons;
}

} // namespace tolvi
