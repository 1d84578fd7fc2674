#include "Tolvi/inspector/ClipTextEditor.h"

#include "Tolvi/design/DesignTokens.h"
#include "Tolvi/design/ThemedWidgets.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/inspector/GlyphKeepingTextLayout.h"
#include "Tolvi/inspector/ShownText.h"
#include "TolviCore/text/TextCharacters.h"

#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPointer>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <utility>

namespace tolvi {

ClipTextEditor::ClipTextEditor(QWidget* parent)
    : QPlainTextEdit(parent)
{
    auto* shown = new QTextDocument(this);
    shown->setDocumentLayout(new GlyphKeepingTextLayout(shown));
    shown->setDefaultFont(font());
    setDocument(shown);
    setFrameShape(QFrame::NoFrame);
    setTabChangesFocus(false);
    setFont(TolviDesign::systemFont(fontSize));
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(true);
    applyBackground();
    connectDocument();
    // Known by the time a text is shown, as a rule: the first editor starts working it out.
    FontCoverage::installed();
}

ClipTextEditor::~ClipTextEditor()
{
    // A document of many paragraphs is destroyed off the main thread.
    if (document()->blockCount() > EditorDocuments::offMainThreadBlocks) {
        QTextDocument* shown = document();
        disconnect(shown, nullptr, this, nullptr);
        setDocument(nullptr);
        EditorDocuments::retire(shown);
    }
}

void ClipTextEditor::connectDocument()
{
    connect(document(), &QTextDocument::contentsChange, this, &ClipTextEditor::followChange);
    // Every piece of one change has arrived: the buffer must hold what the document holds.
    connect(document(), &QTextDocument::contentsChanged, this, [this] {
        if (m_loading)
            return;
        if (m_buffer.displayLength() != document()->characterCount() - 1)
            m_buffer.resynchronize(document()->toRawText());
        emit storedTextEdited();
    });
}

EditorDocuments::Settings ClipTextEditor::documentSettings() const
{
    const QTextDocument* shown = document();
    return {shown->defaultFont(), shown->documentMargin(), shown->defaultTextOption(), shown->isUndoRedoEnabled()};
}

void ClipTextEditor::putInPlace(QTextDocument* replacement)
{
    QTextDocument* previous = document();
    disconnect(previous, nullptr, this, nullptr);
    replacement->setParent(this);
    setDocument(replacement);
    connectDocument();
    EditorDocuments::retire(previous);
}

void ClipTextEditor::setStoredText(const QString& text)
{
    cancelLoading();
    m_loading = true;
    m_cursorToEndWhenShown = false;
    m_buffer.setFontCoverage(FontCoverage::installed());
    m_buffer.load(text);
    // Emptying a document of many paragraphs takes as long as destroying it.
    if (document()->blockCount() > EditorDocuments::offMainThreadBlocks)
        putInPlace(EditorDocuments::blank(documentSettings(), this));
    m_holdsPictographs = TextCharacters::holdsPictograph(text);
    applyShownFont();
    const bool offMainThread = m_buffer.loadedParagraphCount() > EditorDocuments::offMainThreadBlocks
        || m_buffer.loadedDisplayLength() > EditorDocuments::offMainThreadLength;
    // The first piece resets the document and its undo history as setPlainText does; the
    // others are added at its end, never to be undone.
    QString first = m_buffer.displayText(0, handedPieceLength);
    qsizetype shown = m_buffer.loadedDisplayLength();
    if (offMainThread) {
        // Its first paragraphs, until the whole text is there.
        qsizetype end = -1;
        for (qsizetype paragraph = 0; paragraph < loadingParagraphs; ++paragraph) {
            end = first.indexOf(QChar::ParagraphSeparator, end + 1);
            if (end < 0)
                break;
        }
        if (end >= 0)
            first.truncate(end);
        else if (first.size() < m_buffer.loadedDisplayLength() && first.back().isHighSurrogate())
            first.chop(1);
        shown = first.size();
    }
    setPlainText(first);
    if (shown > handedPieceLength) {
        const bool undo = document()->isUndoRedoEnabled();
        document()->setUndoRedoEnabled(false);
        QTextCursor end(document());
        end.movePosition(QTextCursor::End);
        end.beginEditBlock();
        appendPieces(end, handedPieceLength, shown);
        end.endEditBlock();
        document()->setUndoRedoEnabled(undo);
        document()->setModified(false);
    }
    m_loading = false;
    if (offMainThread)
        startLoading();
    else
        checkLoaded();
}

void ClipTextEditor::startLoading()
{
    m_waiting = true;
    const quint64 load = ++m_load;
    // Nothing is edited in what is shown meanwhile: typing is kept (keepsWhileLoading).
    m_flagsWhenLoaded = textInteractionFlags();
    setTextInteractionFlags(m_flagsWhenLoaded & ~Qt::TextEditable);
    ShownText::computeOffMainThread<Built>(
        this,
        [buffer = m_buffer, settings = documentSettings(), mainThread = thread()] {
            Built built{EditorDocuments::build(buffer, settings), std::nullopt};
            QTextDocument* document = built.document->get();
            if (!EditorDocuments::showsLoadedText(*document, buffer))
                built.differs = document->toRawText();
            document->moveToThread(mainThread);
            return built;
        },
        [this, load](Built built) {
            if (load == m_load && m_waiting)
                finishLoading(std::move(built));
        });
}

void ClipTextEditor::finishLoading(Built built)
{
    const QTextCursor shownCursor = textCursor();
    const int anchor = shownCursor.anchor();
    const int position = shownCursor.position();
    const int scroll = verticalScrollBar()->value();
    QTextDocument* whole = built.document->take();
    // The editor's font changed while the document was made.
    if (whole->defaultFont() != document()->defaultFont())
        whole->setDefaultFont(document()->defaultFont());
    m_loading = true;
    putInPlace(whole);
    m_loading = false;
    // What is shown counts as what the user sees (see checkLoaded()).
    if (built.differs)
        m_buffer.resynchronize(*built.differs);
    m_waiting = false;
    setTextInteractionFlags(m_flagsWhenLoaded);
    QTextCursor cursor(whole);
    cursor.setPosition(anchor);
    cursor.setPosition(position, QTextCursor::KeepAnchor);
    setTextCursor(cursor);
    verticalScrollBar()->setValue(scroll);
    if (std::exchange(m_cursorToEndWhenLoaded, false))
        moveCursorToEnd();
    const std::vector<std::unique_ptr<QEvent>> typed = std::move(m_typedWhileLoading);
    m_typedWhileLoading.clear();
    // A key may close what holds the editor.
    const QPointer<ClipTextEditor> self(this);
    for (const std::unique_ptr<QEvent>& event : typed) {
        QCoreApplication::sendEvent(this, event.get());
        if (!self)
            return;
    }
    emit loaded();
}

void ClipTextEditor::cancelLoading()
{
    if (!m_waiting)
        return;
    m_waiting = false;
    ++m_load;
    setTextInteractionFlags(m_flagsWhenLoaded);
    m_cursorToEndWhenLoaded = false;
    // Typed for a text no longer shown.
    m_typedWhileLoading.clear();
}

bool ClipTextEditor::keepsWhileLoading(QEvent* event)
{
    if (!m_waiting || !(m_flagsWhenLoaded & Qt::TextEditable))
        return false;
    // Once something is kept, all that follows it is kept too, so that it applies in order.
    bool keeps = !m_typedWhileLoading.empty();
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<const QKeyEvent*>(event);
        keeps = keeps || (!key->text().isEmpty() && key->key() != Qt::Key_Escape);
    } else {
        keeps = true;
    }
    if (keeps) {
        m_typedWhileLoading.emplace_back(event->clone());
        event->accept();
    }
    return keeps;
}

void ClipTextEditor::keyPressEvent(QKeyEvent* event)
{
    if (!keepsWhileLoading(event))
        QPlainTextEdit::keyPressEvent(event);
}

void ClipTextEditor::inputMethodEvent(QInputMethodEvent* event)
{
    if (!keepsWhileLoading(event))
        QPlainTextEdit::inputMethodEvent(event);
}

void ClipTextEditor::moveCursorToEnd()
{
    if (m_waiting) {
        m_cursorToEndWhenLoaded = true;
        return;
    }
    m_cursorToEndWhenShown = !isVisible();
    if (!m_cursorToEndWhenShown)
        moveCursor(QTextCursor::End);
}

void ClipTextEditor::showEvent(QShowEvent* event)
{
    QPlainTextEdit::showEvent(event);
    if (m_cursorToEndWhenShown) {
        m_cursorToEndWhenShown = false;
        moveCursor(QTextCursor::End);
    }
}

void ClipTextEditor::replaceStoredText(const QString& text)
{
    if (m_waiting) {
        // What is shown is not the whole text: undoing the change would bring back a part of
        // it as if it were all.
        setStoredText(text);
        return;
    }
    m_loading = true;
    m_cursorToEndWhenShown = false;
    m_buffer.setFontCoverage(FontCoverage::installed());
    m_buffer.load(text);
    m_holdsPictographs = TextCharacters::holdsPictograph(text);
    applyShownFont();
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.select(QTextCursor::Document);
    cursor.removeSelectedText();
    appendPieces(cursor, 0, m_buffer.loadedDisplayLength());
    cursor.endEditBlock();
    m_loading = false;
    checkLoaded();
    QTextCursor start(document());
    setTextCursor(start);
}

void ClipTextEditor::appendPieces(QTextCursor& cursor, qsizetype from, qsizetype to)
{
    // Inside one edit block: the document reports one change, and nothing is laid out until
    // the whole text is in.
    for (; from < to; from += handedPieceLength)
        cursor.insertText(m_buffer.displayText(from, std::min(handedPieceLength, to - from)));
}

void ClipTextEditor::rebase()
{
    m_buffer.rebase();
    // Nothing is edited while the document is made.
    if (m_waiting || documentShowsLoadedText())
        return;
    // The cuts of a long line fall elsewhere for the saved text: show it anew where it was.
    const int position = textCursor().position();
    const int scroll = verticalScrollBar()->value();
    setStoredText(m_buffer.loadedText());
    QTextCursor cursor(document());
    cursor.setPosition(std::clamp(position, 0, document()->characterCount() - 1));
    setTextCursor(cursor);
    verticalScrollBar()->setValue(scroll);
}

bool ClipTextEditor::documentShowsLoadedText() const
{
    return EditorDocuments::showsLoadedText(*document(), m_buffer);
}

void ClipTextEditor::checkLoaded()
{
    // The document is expected to show the buffer's display exactly; should it have turned some
    // character into another, what it shows counts as a change of that character, so nothing
    // is ever saved that the user did not see.
    if (!documentShowsLoadedText())
        m_buffer.resynchronize(document()->toRawText());
}

void ClipTextEditor::followChange(int position, int removed, int added)
{
    if (m_loading)
        return;
    // The document counts its final paragraph separator in some changes; the buffer does not
    // hold it. What does not fit is put right once the whole change has arrived.
    const qsizetype length = document()->characterCount() - 1;
    const qsizetype held = m_buffer.displayLength();
    if (position < 0 || position > held)
        return;
    const qsizetype removedHeld = std::min<qsizetype>(removed, held - position);
    const qsizetype addedEnd = std::min<qsizetype>(qsizetype(position) + added, length);
    QString addedText;
    if (addedEnd > position) {
        QTextCursor cursor(document());
        cursor.setPosition(position);
        cursor.setPosition(int(addedEnd), QTextCursor::KeepAnchor);
        addedText = cursor.selectedText();
    }
    m_buffer.replace(position, removedHeld, addedText);
}

QMimeData* ClipTextEditor::createMimeDataFromSelection() const
{
    const QTextCursor cursor = textCursor();
    if (!cursor.hasSelection())
        return QPlainTextEdit::createMimeDataFromSelection();
    auto* data = new QMimeData;
    data->setText(m_buffer.storedText(cursor.selectionStart(), cursor.selectionEnd()));
    return data;
}

void ClipTextEditor::setPlateTint(qreal opacity)
{
    if (opacity == m_plateTint)
        return;
    m_plateTint = opacity;
    applyBackground();
}

void ClipTextEditor::setLeavesBackground(bool leaves)
{
    if (leaves == m_leavesBackground)
        return;
    m_leavesBackground = leaves;
    viewport()->setAutoFillBackground(!leaves);
    applyBackground();
}

void ClipTextEditor::applyBackground()
{
    const DesignContext context = DesignContext::of(this);
    const QColor canvas = context.color(TolviDesign::ColorToken::canvas);
    const QColor ink = context.color(TolviDesign::ColorToken::ink);
    const qreal a = m_plateTint * ink.alphaF();
    const QColor fill = m_leavesBackground ? QColor(Qt::transparent)
                                           : QColor::fromRgbF(canvas.redF() * (1 - a) + ink.redF() * a,
                                                              canvas.greenF() * (1 - a) + ink.greenF() * a,
                                                              canvas.blueF() * (1 - a) + ink.blueF() * a);
    // The window's slim scroll bar: a handle in the muted ink, without arrows or a track.
    const QString scrollStyle = slimScrollBarStyleSheet(context, QStringLiteral("2px 0 2px 0"));
    if (verticalScrollBar()->styleSheet() != scrollStyle)
        verticalScrollBar()->setStyleSheet(scrollStyle);
    QPalette palette = this->palette();
    if (palette.color(QPalette::Base) == fill)
        return;
    palette.setColor(QPalette::Base, fill);
    m_applyingBackground = true;
    setPalette(palette);
    m_applyingBackground = false;
}

void ClipTextEditor::applyShownFont()
{
    // A text of emoji names the families that show them after the editor's own (see
    // FontCoverage), so that the editor's font never looks for them through every other.
    QFont shown = font();
    if (m_holdsPictographs) {
        if (const std::shared_ptr<const FontCoverage> coverage = FontCoverage::installed())
            shown = coverage->withPictographFamilies(shown);
    }
    if (document()->defaultFont() != shown)
        document()->setDefaultFont(shown);
}

void ClipTextEditor::changeEvent(QEvent* event)
{
    QPlainTextEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        applyShownFont();
    // A new theme, or the editor placed in a window of another one.
    if ((event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange) && !m_applyingBackground)
        applyBackground();
}

void ClipTextEditor::setMonospaced(bool monospaced)
{
    if (monospaced == m_monospaced)
        return;
    m_monospaced = monospaced;
    QFont font = TolviDesign::systemFont(fontSize);
    if (monospaced) {
        font.setFamily(QStringLiteral("monospace"));
        font.setStyleHint(QFont::Monospace);
    }
    setFont(font);
}

} // namespace tolvi
