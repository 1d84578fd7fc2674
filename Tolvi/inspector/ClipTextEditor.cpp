#include "Tolvi/inspector/ClipTextEditor.h"

#include "Tolvi/design/DesignTokens.h"
#include "Tolvi/design/ThemedWidgets.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/inspector/GlyphKeepingTextLayout.h"

#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

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
    connect(document(), &QTextDocument::contentsChange, this, &ClipTextEditor::followChange);
    // Known by the time a text is shown, as a rule: the first editor starts working it out.
    FontCoverage::installed();
    // Every piece of one change has arrived: the buffer must hold what the document holds.
    connect(document(), &QTextDocument::contentsChanged, this, [this] {
        if (m_loading)
            return;
        if (m_buffer.displayLength() != document()->characterCount() - 1)
            m_buffer.resynchronize(document()->toRawText());
        emit storedTextEdited();
    });
}

void ClipTextEditor::setStoredText(const QString& text)
{
    m_loading = true;
    m_cursorToEndWhenShown = false;
    m_buffer.setFontCoverage(FontCoverage::installed());
    m_buffer.load(text);
    // The first piece resets the document and its undo history as setPlainText does; the
    // others are added at its end, never to be undone.
    setPlainText(m_buffer.displayText(0, handedPieceLength));
    if (m_buffer.loadedDisplayLength() > handedPieceLength) {
        const bool undo = document()->isUndoRedoEnabled();
        document()->setUndoRedoEnabled(false);
        QTextCursor end(document());
        end.movePosition(QTextCursor::End);
        end.beginEditBlock();
        appendPieces(end, handedPieceLength);
        end.endEditBlock();
        document()->setUndoRedoEnabled(undo);
        document()->setModified(false);
    }
    m_loading = false;
    checkLoaded();
}

void ClipTextEditor::moveCursorToEnd()
{
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
    m_loading = true;
    m_cursorToEndWhenShown = false;
    m_buffer.setFontCoverage(FontCoverage::installed());
    m_buffer.load(text);
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.select(QTextCursor::Document);
    cursor.removeSelectedText();
    appendPieces(cursor, 0);
    cursor.endEditBlock();
    m_loading = false;
    checkLoaded();
    QTextCursor start(document());
    setTextCursor(start);
}

void ClipTextEditor::appendPieces(QTextCursor& cursor, qsizetype from)
{
    // Inside one edit block: the document reports one change, and nothing is laid out until
    // the whole text is in.
    const qsizetype length = m_buffer.loadedDisplayLength();
    for (; from < length; from += handedPieceLength)
        cursor.insertText(m_buffer.displayText(from, handedPieceLength));
}

void ClipTextEditor::rebase()
{
    m_buffer.rebase();
    if (documentShowsLoadedText())
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
    // Compared a paragraph at a time: neither side is copied whole, and nothing is laid out.
    const qsizetype length = m_buffer.loadedDisplayLength();
    if (document()->characterCount() - 1 != length)
        return false;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        const qsizetype from = block.position();
        const QString text = block.text();
        if (text != m_buffer.displayText(from, text.size()))
            return false;
        // Between two paragraphs the display has its separator too.
        const qsizetype end = from + text.size();
        if (end < length && m_buffer.displayText(end, 1) != QString(QChar::ParagraphSeparator))
            return false;
    }
    return true;
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

void ClipTextEditor::changeEvent(QEvent* event)
{
    QPlainTextEdit::changeEvent(event);
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
