#include "Tolvi/inspector/EditorOverlayParts.h"

#include "Tolvi/design/Badges.h"
#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/design/ThemedWidgets.h"
#include "Tolvi/design/TolviPrimaryButton.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/inspector/ClipTextEditor.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPainter>
#include <QShortcut>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTextDocument>
#include <QVBoxLayout>

namespace tolvi::EditorOverlayParts {

using TolviDesign::ColorToken;
using TolviDesign::Typography;

namespace {

QColor withAlpha(QColor color, qreal opacity)
{
    color.setAlphaF(color.alphaF() * opacity);
    return color;
}

void paintFocusRing(QPainter& painter, const QRectF& rect, qreal radius, const DesignContext& context)
{
    painter.save();
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(context.color(ColorToken::electricBlue), 2));
    painter.drawPath(roundedShape(rect.adjusted(1, 1, -1, -1), radius));
    painter.restore();
}

const QString aiHelp = QStringLiteral("AI sends only this selected text when you press an AI action.");

constexpr int noticeSymbol = 14;
constexpr int noticeSpacing = 6;

} // namespace

TolviCardOverlay::Geometry cardGeometry(QSize minimum, QSize ideal, QSize maximum)
{
    TolviCardOverlay::Geometry geometry;
    geometry.minimum = minimum;
    geometry.ideal = ideal;
    geometry.maximum = maximum;
    geometry.margin = 28;
    geometry.backdropOpacity = 0.18;
    geometry.shadowCornerRadius = 18;
    return geometry;
}

CardSurface::CardSurface(ColorToken tint, QWidget* parent)
    : QWidget(parent),
      m_tint(tint),
      m_content(new QWidget(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_content);
}

void CardSurface::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const DesignContext context = DesignContext::of(this);
    const QPainterPath shape = roundedShape(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius);
    painter.fillPath(shape, context.color(ColorToken::raisedSurface));
    painter.fillPath(shape, withAlpha(context.color(m_tint), 0.035));
    painter.setPen(QPen(context.color(ColorToken::glassStroke), 1));
    painter.drawPath(shape);
}

QColor failureColor(const DesignContext& context)
{
    return context.appearance == ThemeAppearance::dark ? QColor(0xFF, 0x7B, 0x7B) : QColor(0xC8, 0x2A, 0x3A);
}

// ---- StatusLine -------------------------------------------------------------------------

StatusLine::StatusLine(QWidget* parent)
    : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setFont(TolviDesign::font(Typography::meta));
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setMinimumWidth(60);
}

void StatusLine::setStatus(const QString& text, bool isFailure)
{
    if (text == m_text && isFailure == m_failure)
        return;
    m_text = text;
    m_failure = isFailure;
    setText(text);
    // A message can carry a provider's own words: shown as written, never as markup.
    setToolTip(text.isEmpty() ? QString() : Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal));
    setAccessibleName(text);
    update();
    emit fitChanged();
}

bool StatusLine::fits() const
{
    return fontMetrics().horizontalAdvance(m_text) <= contentsRect().width();
}

void StatusLine::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    emit fitChanged();
}

void StatusLine::paintEvent(QPaintEvent*)
{
    if (m_hidesWhenCut && !fits())
        return;
    QPainter painter(this);
    const DesignContext context = DesignContext::of(this);
    painter.setFont(font());
    painter.setPen(m_failure ? failureColor(context) : context.color(ColorToken::muted));
    const QString shown = fontMetrics().elidedText(m_text, Qt::ElideRight, contentsRect().width());
    painter.drawText(contentsRect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
}

// ---- NoticeLine -------------------------------------------------------------------------

NoticeLine::NoticeLine(QWidget* parent)
    : QWidget(parent)
{
    setFont(TolviDesign::font(Typography::meta));
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    hide();
}

void NoticeLine::setNotice(const QString& text, bool isFailure)
{
    if (text == m_text && isFailure == m_failure)
        return;
    m_text = text;
    m_failure = isFailure;
    setAccessibleName(text);
    setVisible(!text.isEmpty());
    updateGeometry();
    update();
}

QRectF NoticeLine::textRect(int width) const
{
    const qreal left = noticeSymbol + noticeSpacing;
    const QRect bounds = fontMetrics().boundingRect(QRect(0, 0, std::max(1, int(width - left)), 10'000),
                                                    Qt::TextWordWrap | Qt::AlignLeft, m_text);
    return QRectF(left, 0, width - left, std::max(bounds.height(), noticeSymbol));
}

QSize NoticeLine::sizeHint() const
{
    return {300, heightForWidth(300)};
}

QSize NoticeLine::minimumSizeHint() const
{
    return {100, fontMetrics().height()};
}

int NoticeLine::heightForWidth(int width) const
{
    return m_text.isEmpty() ? 0 : int(std::ceil(textRect(width).height()));
}

void NoticeLine::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const DesignContext context = DesignContext::of(this);
    const QColor tone = m_failure ? failureColor(context) : context.color(ColorToken::amber);
    const qreal symbolTop = (fontMetrics().height() - noticeSymbol) / 2.0;
    SymbolCatalog::paint(painter, QRectF(0, symbolTop, noticeSymbol, noticeSymbol),
                         QStringLiteral("exclamationmark.triangle"), tone);
    painter.setFont(font());
    painter.setPen(m_failure ? tone : context.color(ColorToken::ink));
    painter.drawText(textRect(width()), Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, m_text);
}

// ---- TextPlate --------------------------------------------------------------------------

TextPlate::TextPlate(QWidget* parent)
    : QWidget(parent)
{
}

void TextPlate::setTintOpacity(qreal opacity)
{
    if (opacity == m_tint)
        return;
    m_tint = opacity;
    update();
}

void TextPlate::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const DesignContext context = DesignContext::of(this);
    const QRectF body = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const QPainterPath shape = roundedShape(body, 12);
    painter.fillPath(shape, context.color(ColorToken::canvas));
    painter.fillPath(shape, withAlpha(context.color(ColorToken::ink), m_tint));
    painter.setPen(QPen(withAlpha(context.color(ColorToken::ink), 0.08), 1));
    painter.drawPath(shape);
}

// ---- SymbolButton -----------------------------------------------------------------------

SymbolButton::SymbolButton(const QString& systemImage, int frame, int symbolSide, QWidget* parent)
    : QToolButton(parent),
      m_systemImage(systemImage),
      m_frame(frame),
      m_symbolSide(symbolSide)
{
    setFocusPolicy(Qt::TabFocus);
    setAutoRaise(true);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
}

void SymbolButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const DesignContext context = DesignContext::of(this);
    const QRectF frame = QRectF(rect());
    if (underMouse() && isEnabled())
        painter.fillPath(roundedShape(frame, 6), withAlpha(context.color(ColorToken::ink), 0.07));
    if (!isEnabled())
        painter.setOpacity(0.35);
    else if (isDown())
        painter.setOpacity(0.6);
    const QRectF symbol(frame.center().x() - m_symbolSide / 2.0, frame.center().y() - m_symbolSide / 2.0,
                        m_symbolSide, m_symbolSide);
    SymbolCatalog::paint(painter, symbol, m_systemImage, context.color(ColorToken::muted));
    if (hasFocus()) {
        painter.setOpacity(1);
        paintFocusRing(painter, frame, 6, context);
    }
}

// ---- Header -----------------------------------------------------------------------------

Header makeHeader(const QString& systemImage, ColorToken tint, const QString& title, const QString& closeLabel,
                  QWidget* parent)
{
    Header header;
    header.widget = new QWidget(parent);
    auto* row = new QHBoxLayout(header.widget);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);
    row->addWidget(new TolviIconTile(systemImage, tint, header.widget), 0, Qt::AlignVCenter);

    auto* titles = new QVBoxLayout;
    titles->setSpacing(2);
    auto* titleLabel = new QLabel(title, header.widget);
    titleLabel->setTextFormat(Qt::PlainText);
    titleLabel->setFont(TolviDesign::font(Typography::title));
    titleLabel->setForegroundRole(QPalette::WindowText);
    titles->addWidget(titleLabel);
    header.subtitle = new StatusLine(header.widget);
    titles->addWidget(header.subtitle);
    row->addLayout(titles, 1);

    header.closeButton = new SymbolButton(QStringLiteral("xmark"), 26, 12, header.widget);
    header.closeButton->setAccessibleName(closeLabel);
    header.closeButton->setToolTip(QStringLiteral("Close"));
    row->addWidget(header.closeButton, 0, Qt::AlignVCenter);
    return header;
}

// ---- The card's layout -----------------------------------------------------------------

QVBoxLayout* makeCardColumn(TolviCardOverlay* overlay)
{
    QWidget* surface = static_cast<CardSurface*>(overlay->card())->content();
    auto* column = new QVBoxLayout(surface);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(12);
    return column;
}

Footer makeFooter(QWidget* surface, QVBoxLayout* column)
{
    Footer footer;
    footer.overflow = new NoticeLine(surface);
    column->addWidget(footer.overflow);
    footer.row = new QHBoxLayout;
    // The buttons keep a ring margin of 4 on each side: 8 between their bodies.
    footer.row->setSpacing(0);
    footer.status = new StatusLine(surface);
    footer.status->setHidesWhenCut(true);
    StatusLine* status = footer.status;
    NoticeLine* overflow = footer.overflow;
    QObject::connect(status, &StatusLine::fitChanged, overflow, [status, overflow] {
        overflow->setNotice(status->fits() ? QString() : status->status(), status->isFailure());
    });
    footer.row->addWidget(footer.status, 1);
    return footer;
}

void addCardShortcut(QWidget* surface, const QKeySequence& keys, QObject* receiver, std::function<void()> act)
{
    auto* shortcut = new QShortcut(keys, surface);
    shortcut->setContext(Qt::WidgetWithChildrenShortcut);
    QObject::connect(shortcut, &QShortcut::activated, receiver, std::move(act));
}

FooterButtons finishFooter(const Footer& footer, QWidget* surface, QVBoxLayout* column, const QString& primaryTitle,
                           QObject* receiver, const FooterActions& actions)
{
    FooterButtons buttons;
    buttons.save = new FooterButton(QStringLiteral("Save"), surface);
    buttons.copy = new FooterButton(QStringLiteral("Copy"), surface);
    buttons.primary = new TolviPrimaryButton(primaryTitle, surface);
    footer.row->addWidget(buttons.save);
    footer.row->addWidget(buttons.copy);
    footer.row->addWidget(buttons.primary);
    column->addLayout(footer.row);
    QObject::connect(buttons.save, &QAbstractButton::clicked, receiver, actions.save);
    QObject::connect(buttons.copy, &QAbstractButton::clicked, receiver, actions.copy);
    QObject::connect(buttons.primary, &QAbstractButton::clicked, receiver, actions.primary);
    addCardShortcut(surface, QKeySequence(Qt::CTRL | Qt::Key_S), receiver, actions.save);
    addCardShortcut(surface, QKeySequence(Qt::CTRL | Qt::Key_Return), receiver, actions.primary);
    addCardShortcut(surface, QKeySequence(Qt::CTRL | Qt::Key_Enter), receiver, actions.primary);
    return buttons;
}

VersionTexts makeVersionTexts(QWidget* parent, const QString& editedName, const QString& originalName)
{
    VersionTexts texts;
    texts.edited = new ClipTextEditor(parent);
    texts.edited->setObjectName(editedName);
    texts.edited->setAccessibleName(QStringLiteral("Edited text"));
    texts.original = new ClipTextEditor(parent);
    texts.original->setObjectName(originalName);
    texts.original->setAccessibleName(QStringLiteral("Original text"));
    texts.original->setReadOnly(true);
    texts.original->setPlateTint(0.045);
    texts.original->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    return texts;
}

void dropQuestion(QMessageBox* question)
{
    if (question) {
        question->disconnect();
        question->deleteLater();
    }
}

void closeQuestion(QPointer<QMessageBox>& question)
{
    if (question) {
        question->disconnect();
        question->close();
        question = nullptr;
    }
}

// ---- Segments ---------------------------------------------------------------------------

SegmentButton::SegmentButton(const QString& title, QWidget* parent)
    : QAbstractButton(parent)
{
    setText(title);
    setCheckable(true);
    setAutoExclusive(true);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
}

QSize SegmentButton::sizeHint() const
{
    const QFontMetrics metrics(TolviDesign::font(Typography::bodyStrong));
    return {metrics.horizontalAdvance(text()) + 28, 26};
}

void SegmentButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const DesignContext context = DesignContext::of(this);
    const QRectF body = QRectF(rect()).adjusted(1, 1, -1, -1);
    if (isChecked()) {
        painter.setPen(QPen(context.color(ColorToken::glassStroke), 1));
        painter.setBrush(context.color(ColorToken::raisedSurface));
        painter.drawPath(roundedShape(body, 6));
    }
    painter.setFont(TolviDesign::font(isChecked() ? Typography::bodyStrong : Typography::body));
    painter.setPen(context.color(isChecked() ? ColorToken::ink : ColorToken::muted));
    painter.drawText(body, Qt::AlignCenter, text());
    if (hasFocus())
        paintFocusRing(painter, QRectF(rect()), 7, context);
}

SegmentTrack::SegmentTrack(QWidget* parent)
    : QWidget(parent)
{
}

void SegmentTrack::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(roundedShape(QRectF(rect()), 8), withAlpha(DesignContext::of(this).color(ColorToken::ink), 0.06));
}

// ---- Buttons ----------------------------------------------------------------------------

FooterButton::FooterButton(const QString& title, QWidget* parent)
    : QPushButton(title, parent)
{
    setAutoDefault(false);
}

QRect FooterButton::body() const
{
    const int m = TolviPrimaryButtonStyle::ringMargin;
    return rect().adjusted(m, m, -m, -m);
}

bool FooterButton::hitButton(const QPoint& position) const
{
    return body().contains(position);
}

void FooterButton::paintBody(QPainter& painter, bool withLabel)
{
    QStyleOptionButton option;
    initStyleOption(&option);
    option.rect = body();
    if (!withLabel) {
        option.text.clear();
        option.icon = QIcon();
    }
    style()->drawControl(QStyle::CE_PushButton, &option, &painter, this);
}

void FooterButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paintBody(painter, true);
}

QSize FooterButton::sizeHint() const
{
    const int m = TolviPrimaryButtonStyle::ringMargin;
    const int height = TolviPrimaryButtonStyle::bodySize(QStringLiteral("Save")).height() + 2 * m;
    int width = fontMetrics().horizontalAdvance(text()) + 2 * (TolviPrimaryButtonStyle::horizontalPadding + 3) + 2 * m;
    if (!icon().isNull())
        width += iconSize().width() + 6;
    return {width, height};
}

AIActionButton::AIActionButton(const AIAction& action, QWidget* parent)
    : FooterButton(QString(action.title).replace(QLatin1Char('&'), QStringLiteral("&&")), parent),
      m_action(action)
{
    setAccessibleName(action.title);
    setToolTip(aiHelp);
    setIconSize(QSize(14, 14));
    m_spin.setInterval(60);
    connect(&m_spin, &QTimer::timeout, this, [this] {
        m_angle = (m_angle + 30) % 360;
        update();
    });
    updateIcon();
}

QString AIActionButton::symbolName(const AIAction& action)
{
    if (action.id == AIAction::fixWriting().id)
        return QStringLiteral("checkmark.circle");
    if (action.id == AIAction::draftReply().id)
        return QStringLiteral("envelope");
    return QStringLiteral("sparkles");
}

void AIActionButton::setRunning(bool running)
{
    if (running == m_running)
        return;
    m_running = running;
    // Under reduced motion the indicator stands still.
    if (running && !DesignContext::of(this).reduceMotion)
        m_spin.start();
    else
        m_spin.stop();
    update();
}

void AIActionButton::setCompact(bool compact)
{
    if (compact == m_compact)
        return;
    m_compact = compact;
    setText(compact ? QString() : QString(m_action.title).replace(QLatin1Char('&'), QStringLiteral("&&")));
    setToolTip(compact ? Qt::convertFromPlainText(m_action.title + QStringLiteral(": ") + aiHelp, Qt::WhiteSpaceNormal)
                       : aiHelp);
}

void AIActionButton::changeEvent(QEvent* event)
{
    FooterButton::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::EnabledChange)
        updateIcon();
}

void AIActionButton::updateIcon()
{
    const DesignContext context = DesignContext::of(this);
    QColor color = context.color(ColorToken::electricBlue);
    if (!isEnabled())
        color = withAlpha(color, 0.45);
    setIcon(QIcon(SymbolCatalog::pixmap(symbolName(m_action), 14, color, devicePixelRatioF())));
}

void AIActionButton::paintEvent(QPaintEvent* event)
{
    if (!m_running) {
        FooterButton::paintEvent(event);
        return;
    }
    // The button's body without its label, then the indicator in the label's place.
    QPainter painter(this);
    paintBody(painter, false);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box(width() / 2.0 - 8, height() / 2.0 - 8, 16, 16);
    painter.setPen(QPen(DesignContext::of(this).color(ColorToken::electricBlue), 2, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(box.adjusted(2, 2, -2, -2), -m_angle * 16, 270 * 16);
}

// ---- Questions --------------------------------------------------------------------------

QMessageBox* ask(QWidget* owner, const QString& title, const QString& message, const QStringList& buttons,
                 std::function<void(int)> answered)
{
    QMessageBox* box = makeThemedWarningBox(owner);
    box->setTextFormat(Qt::PlainText);
    box->setText(title);
    box->setInformativeText(message);
    // Action roles keep the buttons in this order on every desktop.
    QList<QPushButton*> made;
    for (const QString& label : buttons)
        made.append(box->addButton(label, QMessageBox::ActionRole));
    reserveMessageWidth(box, 380);
    if (!made.isEmpty()) {
        box->setDefaultButton(made.last());
        box->setEscapeButton(made.last());
    }
    QObject::connect(box, &QMessageBox::finished, box, [box, made, answered = std::move(answered)] {
        const auto chosen = made.indexOf(qobject_cast<QPushButton*>(box->clickedButton()));
        if (answered)
            answered(chosen >= 0 ? int(chosen) : int(made.size()) - 1);
    });
    box->open();
    return box;
}

void askToDiscard(QPointer<QMessageBox>& question, QObject* card, QWidget* owner, const QString& title,
                  const QString& message, std::function<void()> discard, std::function<void()> keep)
{
    QPointer<QObject> alive(card);
    QPointer<QMessageBox>* slot = &question;
    question = ask(owner, title, message, {QStringLiteral("Discard Changes"), QStringLiteral("Keep Editing")},
                   [alive, slot, discard = std::move(discard), keep = std::move(keep)](int choice) {
                       if (!alive)
                           return;
                       *slot = nullptr;
                       if (choice == 0)
                           discard();
                       else
                           keep();
                   });
}

} // namespace tolvi::EditorOverlayParts
