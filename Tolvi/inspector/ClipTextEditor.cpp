#include "Tolvi/inspector/ClipTextEditor.h"

#include "Tolvi/design/DesignTokens.h"
#include "Tolvi/design/ThemedWidgets.h"
#include "Tolvi/design/TolviTheme.h"

#include <QMimeData>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace tolvi {

ClipTextEditor::ClipTextEditor(QWidget* parent)
    : QPlainTextEdit(parent)
{
    setFrameShape(QFrame::NoFrame);
    setTabChangesFocus(false);
    setFont(TolviDesign::systemFont(fontSize));
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(true);
    applyBackground();
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

void ClipTextEditor::setStoredText(const QString& text)
{
    m_loading = true;
    m_buffer.load(text);
    setPlainText(m_buffer.displayText());
    m_loading = false;
    checkLoaded();
}

void ClipTextEditor::replaceStoredText(const QString& text)
{
    m_loading = true;
    m_buffer.load(text);
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.select(QTextCursor::Document);
    cursor.insertText(m_buffer.displayText());
    cursor.endEditBlock();
    m_loading = false;
    checkLoaded();
    QTextCursor start(document());
    setTextCursor(start);
}

void ClipTextEditor::rebase()
{
    m_buffer.rebase();
    if (document()->toRawText() == m_buffer.displayText())
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

void ClipTextEditor::checkLoaded()
{
    // The document is expected to show the buffer's display exactly; should it have turned some
    // character into another, what it shows counts as a change of that character, so nothing
    // is ever saved that the user did not see.
    const QString shown = document()->toRawText();
    if (shown != m_buffer.displayText())
        m_buffer.resynchronize(shown);
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
