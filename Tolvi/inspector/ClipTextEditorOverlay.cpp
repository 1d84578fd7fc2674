#include "Tolvi/inspector/ClipTextEditorOverlay.h"

#include "Tolvi/design/Segments.h"
#include "Tolvi/design/TolviPrimaryButton.h"
#include "Tolvi/inspector/ClipTextEditor.h"
#include "Tolvi/inspector/EditorOverlayParts.h"
#include "Tolvi/inspector/EditorStatusText.h"
#include "Tolvi/inspector/LooksLikeCode.h"
#include "Tolvi/inspector/ShownText.h"
#include "Tolvi/panels/PanelCommandBus.h"
#include "TolviCore/model/ReferenceDate.h"
#include "TolviCore/model/UnicodeText.h"
#include "TolviCore/search/ClipboardFormatter.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QHBoxLayout>
#include <QMessageBox>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace tolvi {

using namespace EditorOverlayParts;
using TolviDesign::ColorToken;

namespace {

const QString staleDraftMessage =
    QStringLiteral("Your draft changed while the request was running. The result was not applied.");

} // namespace

ClipTextEditorOverlay::ClipTextEditorOverlay(const ClipboardItem& item, const ClipboardStore& store, Actions actions,
                                             bool showsAIControls, QWidget* dialogOwner, QWidget* host,
                                             std::function<double()> now)
    : TolviCardOverlay(new CardSurface(ColorToken::mint), EditorOverlayParts::cardGeometry(minimumCardSize, idealCardSize, maximumCardSize), host),
      m_item(item),
      m_store(store),
      m_actions(std::move(actions)),
      m_showsAIControls(showsAIControls && bool(m_actions.runAIAction)),
      m_dialogOwner(dialogOwner),
      m_now(now ? std::move(now) : [] { return ReferenceDate::now(); })
{
    setObjectName(QStringLiteral("quickEditOverlay"));
    buildCard();
    const QString text = item.content().isText() ? item.content().textValue() : QString();
    m_draft = ClipboardTextDraft(text);
    showInEditor(text);
    m_originalCount = countOf(text);

    connect(this, &TolviCardOverlay::backdropClicked, this, &ClipTextEditorOverlay::requestClose);
    connect(&store, &ClipboardStore::itemsChanged, this, &ClipTextEditorOverlay::followStore);
    PanelCommandBus::shared().subscribe(PanelKeyboardCommand::dismissHistoryOverlay, nullptr, this,
                                        [this] { requestClose(); });
    m_subtitle->setStatus(ClipboardFormatter::metadata(m_item, m_now()), false);
    render();
}

ClipTextEditorOverlay::~ClipTextEditorOverlay()
{
    // A question still open belongs to this card: it goes with it, unanswered.
    dropQuestion(m_question);
}

void ClipTextEditorOverlay::buildCard()
{
    QVBoxLayout* column = makeCardColumn(this);
    QWidget* surface = column->parentWidget();

    const Header header = makeHeader(QStringLiteral("pencil.line"), ColorToken::mint, QStringLiteral("Quick Edit"),
                                     QStringLiteral("Close editor"), surface);
    m_subtitle = header.subtitle;
    m_close = header.closeButton;
    connect(m_close, &QAbstractButton::clicked, this, &ClipTextEditorOverlay::requestClose);
    column->addWidget(header.widget);

    // The version picker over the text.
    auto* track = new SegmentTrack(surface);
    m_originalTab = new SegmentButton(QStringLiteral("Original"), track);
    m_editedTab = new SegmentButton(QStringLiteral("Edited"), track);
    layOutSegments(track, {m_originalTab, m_editedTab});
    track->setAccessibleName(QStringLiteral("Version"));
    connect(m_originalTab, &QAbstractButton::clicked, this, [this] { setEditorTab(TextEditorTab::original); });
    connect(m_editedTab, &QAbstractButton::clicked, this, [this] { setEditorTab(TextEditorTab::edited); });
    column->addWidget(track);

    m_plate = new TextPlate(surface);
    auto* plateLayout = new QVBoxLayout(m_plate);
    plateLayout->setContentsMargins(8, 8, 8, 8);
    m_stack = new QStackedWidget(m_plate);
    plateLayout->addWidget(m_stack);
    const VersionTexts texts =
        makeVersionTexts(m_stack, QStringLiteral("quickEditText"), QStringLiteral("quickEditOriginal"));
    m_editor = texts.edited;
    m_original = texts.original;
    m_stack->addWidget(m_editor);
    m_stack->addWidget(m_original);
    column->addWidget(m_plate, 1);
    connect(m_editor, &ClipTextEditor::storedTextEdited, this, &ClipTextEditorOverlay::editorEdited);

    m_notice = new NoticeLine(surface);
    column->addWidget(m_notice);
    const Footer footerParts = makeFooter(surface, column);
    m_statusOverflow = footerParts.overflow;
    m_status = footerParts.status;
    QHBoxLayout* footer = footerParts.row;
    for (const AIAction& action : AIAction::textActions()) {
        auto* button = new AIActionButton(action, surface);
        button->setVisible(m_showsAIControls);
        connect(button, &QAbstractButton::clicked, this, [this, action] { runAI(action); });
        m_aiButtons.append(button);
        footer->addWidget(button);
    }
    const FooterButtons buttons = finishFooter(footerParts, surface, column, QStringLiteral("Paste"), this,
                                               {[this] { save(); }, [this] { copy(); }, [this] { paste(); }});
    m_save = buttons.save;
    m_copy = buttons.copy;
    m_paste = buttons.primary;
    surface->setFocusProxy(m_editor);
    card()->installEventFilter(this);
}

bool ClipTextEditorOverlay::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == card() && event->type() == QEvent::Resize)
        fitFooter();
    return TolviCardOverlay::eventFilter(watched, event);
}

void ClipTextEditorOverlay::fitFooter()
{
    // A card too narrow for the footer with every label shows the AI actions by their symbols.
    if (!m_showsAIControls)
        return;
    constexpr int roomForStatus = 120;
    int needed = 2 * 16 + roomForStatus + m_save->sizeHint().width() + m_copy->sizeHint().width()
        + m_paste->sizeHint().width();
    for (AIActionButton* button : std::as_const(m_aiButtons)) {
        const bool wasCompact = button->isCompact();
        button->setCompact(false);
        needed += button->sizeHint().width();
        button->setCompact(wasCompact);
    }
    const bool compact = card()->width() < needed;
    for (AIActionButton* button : std::as_const(m_aiButtons))
        button->setCompact(compact);
}

QAbstractButton* ClipTextEditorOverlay::saveButton() const
{
    return m_save;
}

QAbstractButton* ClipTextEditorOverlay::copyButton() const
{
    return m_copy;
}

QAbstractButton* ClipTextEditorOverlay::pasteButton() const
{
    return m_paste;
}

QAbstractButton* ClipTextEditorOverlay::closeButton() const
{
    return m_close;
}

QList<QAbstractButton*> ClipTextEditorOverlay::aiButtons() const
{
    QList<QAbstractButton*> buttons;
    for (AIActionButton* button : m_aiButtons)
        buttons.append(button);
    return buttons;
}

void ClipTextEditorOverlay::showEvent(QShowEvent* event)
{
    TolviCardOverlay::showEvent(event);
    // Typing goes straight into the text.
    if (m_tab == TextEditorTab::edited)
        m_editor->setFocus(Qt::OtherFocusReason);
}

// ---- Derived values ---------------------------------------------------------------------

QString ClipTextEditorOverlay::editorStatus() const
{
    if (m_aiErrorMessage)
        return *m_aiErrorMessage;
    if (m_runningAIActionID) {
        if (*m_runningAIActionID == AIAction::draftReply().id)
            return QStringLiteral("Drafting reply...");
        if (*m_runningAIActionID == AIAction::fixWriting().id)
            return QStringLiteral("Fixing writing...");
        return QStringLiteral("Running AI...");
    }
    if (m_originalCount < 0)
        return {}; // counted off the main thread
    if (ShownText::isCut(m_draft.editedText))
        return EditorStatusText::characterCount(m_originalCount);
    return EditorStatusText::characterStatus(m_editedCount.count(m_draft.editedText),
                                             m_originalCount, m_draft.hasUnsavedChanges());
}

QString ClipTextEditorOverlay::notice() const
{
    if (m_refusal)
        return *m_refusal;
    if (ShownText::isCut(m_draft.editedText))
        return QStringLiteral("Too long to edit here: only the beginning is shown. Copy and Paste use the whole text.");
    if (m_clipGone)
        return QStringLiteral("This clip is no longer in the history. Save keeps your text as a new clip.");
    if (m_changedElsewhere)
        return QStringLiteral("This clip was changed elsewhere after you opened it. Saving asks before it replaces "
                              "that text.");
    return {};
}

// ---- Following the text and the clip ----------------------------------------------------

void ClipTextEditorOverlay::showInEditor(const QString& text)
{
    // A text too long to lay out is shown by its first part, read-only: the draft keeps the
    // whole text, which Copy and Paste use.
    const bool cut = ShownText::isCut(text);
    m_editor->setReadOnly(cut);
    m_editor->setStoredText(ShownText::shownPart(text));
    if (cut)
        m_editor->setMonospaced(looksLikeCode(m_editor->storedText()));
}

qsizetype ClipTextEditorOverlay::countOf(const QString& text)
{
    if (text.size() <= ShownText::countedInPlaceLimit)
        return m_editedCount.count(text);
    // Counted off the main thread, with the look for the scripts that are always counted whole;
    // the status shows the count once it is there, and the count of the edited text goes on
    // from it.
    struct Counted {
        qsizetype count = 0;
        bool tailored = false;
    };
    ShownText::computeOffMainThread<Counted>(
        this,
        [text] {
            return Counted{IncrementalCharacterCount::countInPieces(text),
                           IncrementalCharacterCount::holdsTailoredScript(text)};
        },
        [this, text](Counted counted) {
            if (!m_draft.originalText.isSharedWith(text))
                return;
            m_originalCount = counted.count;
            m_editedCount.seed(text, counted.count, counted.tailored);
            render();
        });
    return -1;
}

void ClipTextEditorOverlay::editorEdited()
{
    m_draft.editedText = m_editor->storedText();
    m_refusal.reset();
    render();
}

void ClipTextEditorOverlay::loadText(const QString& text)
{
    // The clip's own text, shown anew: nothing was typed that could be lost.
    m_draft = ClipboardTextDraft(text);
    showInEditor(text);
    m_editedCount.reset();
    m_originalCount = countOf(text);
    m_originalLoaded = false;
    showTab();
}

std::optional<ClipboardItem> ClipTextEditorOverlay::successor() const
{
    // The history keeps one clip per text: a clip recorded again with the text this card
    // started from is the card's clip under its new id.
    const QString& base = m_draft.originalText;
    if (base.isEmpty())
        return std::nullopt;
    const qsizetype count = m_store.itemCount();
    for (qsizetype i = 0; i < count; ++i) {
        const ClipboardItem& clip = m_store.itemAt(i);
        if (clip.content().textEquals(base))
            return clip;
    }
    // The same text in another normalisation form (of about the same length).
    std::optional<QString> canonical;
    for (qsizetype i = 0; i < count; ++i) {
        const ClipboardItem& clip = m_store.itemAt(i);
        const ClipboardContent& content = clip.content();
        const qsizetype size = content.textSize();
        if (!content.isText() || size * 4 < base.size() * 3 || size * 3 > base.size() * 4 + 3)
            continue;
        if (!canonical)
            canonical = UnicodeText::canonicalForm(base);
        // ASCII is its own canonical form.
        const std::optional<QByteArrayView> ascii = content.asciiTextIf();
        if (ascii ? *canonical == QLatin1StringView(*ascii)
                  : UnicodeText::canonicalForm(content.transientText()) == *canonical)
            return clip;
    }
    return std::nullopt;
}

void ClipTextEditorOverlay::followStore()
{
    if (m_saving || m_closed)
        return;
    const bool isTextClip = m_item.content().isText() || m_clipGone;
    std::optional<ClipboardItem> current = m_store.item(m_item.id());
    if (!isTextClip) {
        // An image has nothing to edit; only its header follows.
        if (current)
            m_item = *current;
        m_subtitle->setStatus(ClipboardFormatter::metadata(m_item, m_now()), false);
        return;
    }
    if (!current || !current->content().isText())
        current = successor();
    if (!current) {
        m_clipGone = true;
        m_changedElsewhere = false;
        render();
        return;
    }
    m_clipGone = false;
    m_item = *current;
    m_subtitle->setStatus(ClipboardFormatter::metadata(m_item, m_now()), false);
    const QString& text = m_item.content().textValue();
    if (UnicodeText::canonicallyEqual(text, m_draft.originalText)) {
        m_changedElsewhere = false;
    } else if (!m_draft.hasUnsavedChanges()) {
        loadText(text);
        m_changedElsewhere = false;
    } else if (UnicodeText::canonicallyEqual(text, m_draft.editedText)) {
        // Another window saved the very text typed here: nothing is left unsaved.
        m_draft.originalText = text;
        m_originalCount = m_editedCount.count(m_draft.editedText);
        m_originalLoaded = false;
        m_changedElsewhere = false;
        showTab();
    } else {
        m_changedElsewhere = true;
    }
    render();
}

// ---- Actions ----------------------------------------------------------------------------

void ClipTextEditorOverlay::save()
{
    if (m_closed || m_question || !m_draft.canUseEditedText())
        return;
    if (m_clipGone) {
        writeAsNewClip();
        return;
    }
    if (!m_draft.hasUnsavedChanges())
        return;
    if (m_changedElsewhere) {
        QPointer<ClipTextEditorOverlay> self(this);
        m_question = ask(m_dialogOwner ? m_dialogOwner.data() : window(), QStringLiteral("Replace the changed clip?"),
                         QStringLiteral("This clip was changed elsewhere after you opened it. Saving replaces that "
                                        "text with yours."),
                         {QStringLiteral("Replace"), QStringLiteral("Save as New Clip"), QStringLiteral("Keep Editing")},
                         [self](int choice) {
                             if (!self)
                                 return;
                             self->m_question = nullptr;
                             if (choice == 0)
                                 self->writeToClip();
                             else if (choice == 1)
                                 self->writeAsNewClip();
                             self->m_editor->setFocus(Qt::OtherFocusReason);
                         });
        return;
    }
    writeToClip();
}

void ClipTextEditorOverlay::writeToClip()
{
    if (m_closed)
        return;
    const QString text = m_draft.editedText;
    m_saving = true;
    const bool stored = m_actions.saveText && m_actions.saveText(m_item, text);
    m_saving = false;
    if (stored) {
        markSaved(text);
        followStore();
    } else {
        // Gone meanwhile, or refused for a reason of the history's.
        followStore();
        if (!m_clipGone)
            m_refusal = refusalReason();
    }
    showTab();
    render();
}

void ClipTextEditorOverlay::writeAsNewClip()
{
    if (m_closed)
        return;
    const QString text = m_draft.editedText;
    m_saving = true;
    const bool stored = m_actions.saveAsNewClip && m_actions.saveAsNewClip(text);
    m_saving = false;
    if (!stored) {
        m_refusal = refusalReason();
        render();
        return;
    }
    markSaved(text);
    // The new clip is the one that holds the text now.
    m_clipGone = false;
    m_item = ClipboardItem(QUuid(), text, m_now());
    if (std::optional<ClipboardItem> clip = successor())
        m_item = *clip;
    else
        m_clipGone = true;
    followStore();
    showTab();
    render();
}

void ClipTextEditorOverlay::markSaved(const QString& text)
{
    m_draft.markSaved();
    m_editor->rebase();
    m_originalCount = m_editedCount.count(text);
    m_originalLoaded = false;
    m_refusal.reset();
    m_changedElsewhere = false;
}

QString ClipTextEditorOverlay::refusalReason() const
{
    if (m_store.storageIssue() == ClipboardStore::StorageIssue::loadFailed)
        return QStringLiteral("The history file could not be read, so this edit cannot be saved.");
    if (const std::optional<QString>& issue = m_store.lastCaptureIssue())
        return *issue;
    return QStringLiteral("This edit could not be saved.");
}

void ClipTextEditorOverlay::copy()
{
    if (m_closed || !m_draft.canUseEditedText() || !m_actions.copyText)
        return;
    m_actions.copyText(m_draft.editedText);
}

void ClipTextEditorOverlay::paste()
{
    if (m_closed || !m_draft.canUseEditedText() || !m_actions.pasteText)
        return;
    m_actions.pasteText(m_draft.editedText);
}

void ClipTextEditorOverlay::runAI(const AIAction& action)
{
    if (!m_showsAIControls || m_closed)
        return;
    if (!m_draft.canUseEditedText())
        return;
    if (m_runningAIActionID)
        return;
    m_aiErrorMessage.reset();
    m_runningAIActionID = action.id;
    const QUuid request = QUuid::createUuid();
    m_aiRequestID = request;
    const QString input = m_draft.editedText;
    render();
    QPointer<ClipTextEditorOverlay> self(this);
    m_actions.runAIAction(action, input, this, [self, request, input](AIResult result) {
        if (self)
            self->finishAI(request, input, result);
    });
}

void ClipTextEditorOverlay::finishAI(const QUuid& request, const QString& input, const AIResult& result)
{
    // A closed card, or a result of another request, changes nothing.
    if (m_closed || request != m_aiRequestID)
        return;
    m_runningAIActionID.reset();
    if (!result.isSuccess()) {
        const AIErrorPtr error = result.error();
        m_aiErrorMessage = error ? error->errorDescription() : QStringLiteral("The AI request failed.");
    } else if (m_draft.editedText == input) {
        m_draft.applyAIResult(result.text());
        m_editor->replaceStoredText(result.text());
        m_draft.editedText = m_editor->storedText();
        m_tab = TextEditorTab::edited;
        showTab();
        m_editor->setFocus(Qt::OtherFocusReason);
    } else {
        m_aiErrorMessage = staleDraftMessage;
    }
    render();
}

void ClipTextEditorOverlay::setEditorTab(TextEditorTab tab)
{
    m_tab = tab;
    showTab();
    render();
}

void ClipTextEditorOverlay::restoreEditedText(const QString& text)
{
    if (m_closed)
        return;
    m_editor->replaceStoredText(text);
    m_draft.editedText = m_editor->storedText();
    m_refusal.reset();
    m_tab = TextEditorTab::edited;
    showTab();
    render();
}

void ClipTextEditorOverlay::requestClose()
{
    if (m_closed || isDismissing())
        return;
    if (m_question) {
        m_question->activateWindow();
        return;
    }
    if (!m_draft.hasUnsavedChanges()) {
        finishClose();
        return;
    }
    askToDiscard(m_question, this, m_dialogOwner ? m_dialogOwner.data() : window(),
                 QStringLiteral("Discard unsaved changes?"), QStringLiteral("Your edited text has not been saved."),
                 [this] { finishClose(); }, [this] { m_editor->setFocus(Qt::OtherFocusReason); });
}

void ClipTextEditorOverlay::finishClose()
{
    m_closed = true;
    // Whatever a running request brings back belongs to no one now.
    m_aiRequestID = QUuid::createUuid();
    if (m_actions.close)
        m_actions.close();
}

void ClipTextEditorOverlay::endSession()
{
    m_closed = true;
    m_aiRequestID = QUuid::createUuid();
    closeQuestion(m_question);
}

// ---- Showing it -------------------------------------------------------------------------

void ClipTextEditorOverlay::showTab()
{
    const bool edited = m_tab == TextEditorTab::edited;
    if (!edited && !m_originalLoaded) {
        const QString shown = ShownText::shownPart(m_draft.originalText);
        m_original->setStoredText(shown);
        m_original->setMonospaced(looksLikeCode(shown));
        m_originalLoaded = true;
    }
    m_editedTab->setChecked(edited);
    m_originalTab->setChecked(!edited);
    m_stack->setCurrentWidget(edited ? m_editor : m_original);
    m_plate->setTintOpacity(edited ? 0.025 : 0.045);
}

void ClipTextEditorOverlay::render()
{
    const bool usable = m_draft.canUseEditedText();
    const bool unsaved = m_draft.hasUnsavedChanges();
    m_status->setStatus(editorStatus(), m_aiErrorMessage.has_value());
    const QString notice = this->notice();
    m_notice->setNotice(notice, m_refusal.has_value());
    m_save->setText(m_clipGone ? QStringLiteral("Save as New Clip") : QStringLiteral("Save"));
    m_save->setEnabled(usable && (unsaved || m_clipGone) && !m_closed);
    m_copy->setEnabled(usable);
    m_paste->setEnabled(usable);
    for (AIActionButton* button : std::as_const(m_aiButtons)) {
        button->setRunning(m_runningAIActionID == button->action().id);
        button->setEnabled(usable && !m_runningAIActionID);
    }
    if (!ShownText::isCut(m_draft.editedText))
        m_editor->setMonospaced(m_editedLooksLikeCode.test(m_draft.editedText));
    m_editedTab->setChecked(m_tab == TextEditorTab::edited);
    m_originalTab->setChecked(m_tab == TextEditorTab::original);
}

} // namespace tolvi
