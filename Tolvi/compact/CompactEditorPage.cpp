#include "Tolvi/compact/CompactEditorPage.h"

#include "Tolvi/compact/CompactPanelState.h"
#include "Tolvi/design/Segments.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/design/TolviPrimaryButton.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/inspector/ClipTextEditor.h"
#include "Tolvi/inspector/EditorOverlayParts.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace tolvi {

using TolviDesign::withOpacity;

namespace {

using TolviDesign::ColorToken;
using TolviDesign::Typography;

QString menuText(const QString& text)
{
    return QString(text).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

// One half of the editor's "Original" / "Edited" switch.
class SegmentButton final : public QToolButton {
public:
    SegmentButton(const QString& title, QWidget* parent) : QToolButton(parent)
    {
        setText(title);
        setUpSegment(this);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const DesignContext context = DesignContext::of(this);
        const QRectF body = QRectF(rect()).adjusted(1, 1, -1, -1);
        if (isChecked())
            paintChosenSegment(painter, body, context);
        painter.setFont(TolviDesign::font(isChecked() ? Typography::bodyStrong : Typography::body));
        painter.setPen(context.color(isChecked() ? ColorToken::ink : ColorToken::muted));
        painter.drawText(body, Qt::AlignCenter, text());
    }
};

// The editor's text area: a rounded, lightly tinted plate behind the text.
class TextPlate final : public QWidget {
public:
    explicit TextPlate(QWidget* parent) : QWidget(parent) {}
    void setTint(qreal opacity)
    {
        m_tint = opacity;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const DesignContext context = DesignContext::of(this);
        const QRectF body = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        painter.setPen(QPen(withOpacity(context.color(ColorToken::ink), 0.08), 1));
        QColor fill = context.color(ColorToken::canvas);
        fill.setAlphaF(0.6f);
        painter.setBrush(fill);
        painter.drawRoundedRect(body, 12, 12);
        painter.setPen(Qt::NoPen);
        painter.setBrush(withOpacity(context.color(ColorToken::ink), m_tint));
        painter.drawRoundedRect(body, 12, 12);
    }

private:
    qreal m_tint = 0.025;
};

// An AI action's button: its symbol and title, or a turning progress arc while it runs.
class AIActionButton final : public QToolButton {
public:
    AIActionButton(const AIAction& action, QWidget* parent) : QToolButton(parent), m_action(action)
    {
        setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        setText(menuText(action.title));
        setAccessibleName(action.title);
        setToolTip(QStringLiteral("AI sends only this selected text when you press an AI action."));
        m_timer.setInterval(60);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
            m_angle = (m_angle + 30) % 360;
            update();
        });
        updateIcon();
    }
    const AIAction& action() const { return m_action; }
    void setRunning(bool running)
    {
        if (running == m_running)
            return;
        m_running = running;
        running ? m_timer.start() : m_timer.stop();
        update();
    }

protected:
    void changeEvent(QEvent* event) override
    {
        QToolButton::changeEvent(event);
        if (event->type() == QEvent::PaletteChange || event->type() == QEvent::EnabledChange)
            updateIcon();
    }
    void paintEvent(QPaintEvent* event) override
    {
        if (!m_running) {
            QToolButton::paintEvent(event);
            return;
        }
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF box(width() / 2.0 - 8, height() / 2.0 - 8, 16, 16);
        painter.setPen(QPen(DesignContext::of(this).color(ColorToken::electricBlue), 2, Qt::SolidLine, Qt::RoundCap));
        painter.drawArc(box.adjusted(2, 2, -2, -2), -m_angle * 16, 270 * 16);
    }

private:
    void updateIcon()
    {
        QString symbol = QStringLiteral("sparkles");
        if (m_action.id == AIAction::draftReply().id)
            symbol = QStringLiteral("envelope");
        else if (m_action.id == AIAction::fixWriting().id)
            symbol = QStringLiteral("checkmark.circle");
        setIcon(QIcon(SymbolCatalog::pixmap(symbol, 14, DesignContext::of(this).color(ColorToken::electricBlue),
                                            devicePixelRatioF())));
    }

    AIAction m_action;
    bool m_running = false;
    int m_angle = 0;
    QTimer m_timer;
};

} // namespace

CompactEditorPage::CompactEditorPage(CompactPanelState& state, QWidget* parent)
    : QWidget(parent),
      m_state(state)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(10);

    auto* track = new TolviSegmentTrack(this);
    m_originalTab = new SegmentButton(QStringLiteral("Original"), track);
    m_editedTab = new SegmentButton(QStringLiteral("Edited"), track);
    layOutSegments(track, {m_originalTab, m_editedTab});
    track->setAccessibleName(QStringLiteral("Version"));
    layout->addWidget(track);
    connect(m_originalTab, &QAbstractButton::clicked, this, [this] { m_state.setEditorTab(CompactEditorTab::original); });
    connect(m_editedTab, &QAbstractButton::clicked, this, [this] { m_state.setEditorTab(CompactEditorTab::edited); });

    auto* plate = new TextPlate(this);
    plate->setMinimumHeight(190);
    auto* plateLayout = new QVBoxLayout(plate);
    plateLayout->setContentsMargins(6, 6, 6, 6);
    m_textStack = new QStackedWidget(plate);
    plateLayout->addWidget(m_textStack);
    const EditorOverlayParts::VersionTexts texts = EditorOverlayParts::makeVersionTexts(
        m_textStack, QStringLiteral("compactEditor"), QStringLiteral("compactOriginalText"));
    m_editor = texts.edited;
    m_original = texts.original;
    m_longTextNote = new QLabel(QStringLiteral("This text is too long to edit here. Copy and Paste use all of it, "
                                               "exactly as stored."),
                                m_textStack);
    m_longTextNote->setObjectName(QStringLiteral("compactLongTextNote"));
    m_longTextNote->setTextFormat(Qt::PlainText);
    m_longTextNote->setWordWrap(true);
    m_longTextNote->setAlignment(Qt::AlignCenter);
    m_longTextNote->setContentsMargins(24, 0, 24, 0);
    m_longTextNote->setFont(TolviDesign::font(Typography::body));
    m_textStack->addWidget(m_original);
    m_textStack->addWidget(m_editor);
    m_textStack->addWidget(m_longTextNote);
    layout->addWidget(plate, 1);
    // Only the user's own edits arrive here; a draft shown anew does not echo back.
    connect(m_editor, &ClipTextEditor::storedTextEdited, this,
            [this] { m_state.setEditedText(m_editor->storedText()); });
    connect(&m_state, &CompactPanelState::editorTabChanged, plate, [this, plate] {
        plate->setTint(m_state.editorTab() == CompactEditorTab::edited ? 0.025 : 0.045);
    });

    auto* bottom = new QHBoxLayout;
    bottom->setSpacing(8);
    m_status = new QLabel(this);
    m_status->setTextFormat(Qt::PlainText);
    m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_status->setMinimumWidth(90);
    m_status->setFont(TolviDesign::font(Typography::meta));
    bottom->addWidget(m_status, 1);
    if (m_state.featureFlags().aiRewriteEnabled()) {
        for (const AIAction& action : {AIAction::fixWriting(), AIAction::draftReply()}) {
            auto* button = new AIActionButton(action, this);
            m_aiButtons.append(button);
            bottom->addWidget(button);
            connect(button, &QToolButton::clicked, this, [this, action] { m_state.runAIInEditor(action); });
        }
    }
    // Tool buttons: as narrow as their labels, so the status keeps its room at the smallest width.
    m_save = new QToolButton(this);
    m_save->setText(QStringLiteral("Save"));
    m_save->setToolTip(QStringLiteral("Save (Ctrl+S)"));
    m_copy = new QToolButton(this);
    m_copy->setText(QStringLiteral("Copy"));
    m_paste = new TolviPrimaryButton(QStringLiteral("Paste"), this);
    m_paste->setToolTip(QStringLiteral("Paste (Ctrl+Return)"));
    bottom->addWidget(m_save);
    bottom->addWidget(m_copy);
    bottom->addWidget(m_paste);
    // One height for the row: the tool buttons stand as tall as the primary button beside them.
    const int rowHeight = m_paste->sizeHint().height();
    QList<QAbstractButton*> toolButtons = m_aiButtons;
    toolButtons << m_save << m_copy;
    for (QAbstractButton* button : toolButtons)
        button->setMinimumHeight(rowHeight);
    layout->addLayout(bottom);
    connect(m_save, &QAbstractButton::clicked, this, [this] { m_state.saveEditedText(); });
    connect(m_copy, &QAbstractButton::clicked, this, [this] { m_state.copyEditedText(); });
    connect(m_paste, &QPushButton::clicked, this, [this] { m_state.pasteEditedText(); });

    // Ctrl+S and Ctrl+Return while the editor (or anything of its page) has focus. The text area
    // would take Ctrl+Return as a line break, so it is caught before it.
    auto* save = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), this);
    save->setContext(Qt::WidgetWithChildrenShortcut);
    connect(save, &QShortcut::activated, this, [this] { m_state.saveEditedText(); });
    for (const int key : {int(Qt::Key_Return), int(Qt::Key_Enter)}) {
        auto* paste = new QShortcut(QKeySequence(Qt::CTRL | key), this);
        paste->setContext(Qt::WidgetWithChildrenShortcut);
        connect(paste, &QShortcut::activated, this, [this] { m_state.pasteEditedText(); });
    }
    m_editor->installEventFilter(this);

    connect(&m_state, &CompactPanelState::draftReplaced, this, &CompactEditorPage::showDraft);
    connect(&m_state, &CompactPanelState::editorTabChanged, this, &CompactEditorPage::showEditorTab);
    connect(&m_state, &CompactPanelState::editorStatusChanged, this, &CompactEditorPage::showEditorStatus);
    connect(&m_state, &CompactPanelState::editorFocusRequested, this, [this] {
        if (m_state.mode() == CompactPanelMode::editor && m_state.editorTab() == CompactEditorTab::edited)
            m_editor->setFocus(Qt::OtherFocusReason);
    });
}

bool CompactEditorPage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_editor && event->type() == QEvent::ShortcutOverride) {
        // Ctrl+Return is the editor's Paste, never a line break.
        auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            && (key->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier) {
            event->ignore();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CompactEditorPage::showDraft()
{
    const ClipboardTextDraft& draft = m_state.draft();
    if (m_state.isDraftTooLongToEdit()) {
        // Nothing of it is laid out; the editor lets go of the text it held.
        if (!m_editor->document()->isEmpty())
            m_editor->setStoredText(QString());
    } else if (m_editor->storedText() != draft.editedText) {
        m_editor->setStoredText(draft.editedText);
        m_editor->moveCursorToEnd();
    }
    m_editedLooksLikeCode.reset();
    showEditorTab();
}

void CompactEditorPage::showEditorTab()
{
    const ClipboardTextDraft& draft = m_state.draft();
    const bool edited = m_state.editorTab() == CompactEditorTab::edited;
    m_editedTab->setChecked(edited);
    m_originalTab->setChecked(!edited);
    if (m_state.isDraftTooLongToEdit()) {
        m_textStack->setCurrentWidget(m_longTextNote);
        return;
    }
    // The saved text is laid out when it is looked at, and again after a save changed it.
    if (!edited && m_original->buffer().loadedText() != draft.originalText) {
        m_original->setStoredText(draft.originalText);
        m_original->setMonospaced(CompactPanelState::looksLikeCode(draft.originalText));
    }
    m_textStack->setCurrentWidget(edited ? m_editor : m_original);
}

void CompactEditorPage::showEditorStatus()
{
    const ClipboardTextDraft& draft = m_state.draft();
    m_status->setText(m_state.editorStatus());
    QPalette palette = m_status->palette();
    palette.setColor(QPalette::WindowText, m_state.editorStatusIsError()
                                               ? QColor(0xD7, 0x3A, 0x49)
                                               : DesignContext::of(this).color(ColorToken::muted));
    m_status->setPalette(palette);
    const bool usable = draft.canUseEditedText();
    m_save->setEnabled(m_state.canSaveEditedText());
    m_copy->setEnabled(usable);
    m_paste->setEnabled(usable);
    for (QAbstractButton* button : std::as_const(m_aiButtons)) {
        auto* ai = static_cast<AIActionButton*>(button);
        ai->setRunning(m_state.runningAIActionID() == ai->action().id);
        ai->setEnabled(m_state.canRunAIInEditor());
    }
    if (!m_state.isDraftTooLongToEdit())
        m_editor->setMonospaced(m_editedLooksLikeCode.test(draft.editedText));
    if (m_state.editorTab() == CompactEditorTab::original)
        showEditorTab();
}

} // namespace tolvi
