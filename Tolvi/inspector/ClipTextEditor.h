#pragma once

#include "Tolvi/inspector/EditorDocuments.h"
#include "Tolvi/inspector/EditorTextBuffer.h"

#include <QPlainTextEdit>

#include <memory>
#include <optional>
#include <vector>

class QTextCursor;

namespace tolvi {

// A plain-text editor for clip text that gives back what it was given: the text it shows is
// followed by an EditorTextBuffer, so line breaks and characters the user did not touch keep
// their stored form (QPlainTextEdit::toPlainText would turn CR LF, lone CRs, U+2028 and U+2029
// into LF and non-breaking spaces into spaces). A copy of a selection carries the stored form
// too. Read the text with storedText(), never with toPlainText().
//
// Its look: the system font at 13 points (monospaced on request), no frame, the colour of the
// plate it lies on. (A plain-text layout spaces lines by the font alone; it has no extra line
// spacing.)
//
// A text of more paragraphs than EditorDocuments::offMainThreadBlocks (or longer than
// offMainThreadLength) is made into a document off the main thread (see EditorDocuments): until
// it is in place the editor shows its first paragraphs and takes no edits, and what the user
// types meanwhile is kept and applied, in order, once the whole text is there. A document of
// that many paragraphs is destroyed off the main thread too.
class ClipTextEditor : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit ClipTextEditor(QWidget* parent = nullptr);
    ~ClipTextEditor() override;

    // Shows a stored text, untouched; the undo history starts again.
    void setStoredText(const QString& text);
    // Shows a stored text in place of the content as one step the user can undo.
    void replaceStoredText(const QString& text);
    QString storedText() const { return m_buffer.storedText(); }
    // Puts the cursor at the end of the text and scrolls there: at once in a shown editor, else
    // once it is shown. A hidden editor has no final size yet: whatever it laid out to scroll to
    // the end would be laid out again at its size (every emoji measured anew), so it waits.
    void moveCursorToEnd();
    // Nothing differs from the text shown last by setStoredText() or replaceStoredText().
    bool isUntouched() const { return m_buffer.isUntouched(); }
    // What is shown now counts as what was loaded (after a save); the undo history stays.
    void rebase();
    const EditorTextBuffer& buffer() const { return m_buffer; }
    // The text given last is still being made into a document (the editor shows its beginning).
    bool isLoading() const { return m_waiting; }

    void setMonospaced(bool monospaced);
    bool isMonospaced() const { return m_monospaced; }
    // The editor lies on a plate of the canvas colour with the ink over it at this opacity: it
    // fills its own area in that colour, so a keystroke repaints the editor alone, not the
    // window under the card.
    void setPlateTint(qreal opacity);
    // Leaves its area unfilled, for a plate that paints itself under the editor (rounded ones).
    void setLeavesBackground(bool leaves);

    static constexpr qreal fontSize = 13;
    // The document is given a text in pieces of this many characters, so that no whole copy of
    // the display is ever made beside the document's own.
    static constexpr qsizetype handedPieceLength = 16'384;
    // What is shown of a text while its document is made: its first paragraphs.
    static constexpr qsizetype loadingParagraphs = 200;

signals:
    // The stored text changed by the user's hand (not by setStoredText or replaceStoredText).
    void storedTextEdited();
    // The whole text given last is shown.
    void loaded();

protected:
    QMimeData* createMimeDataFromSelection() const override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    struct Built {
        EditorDocuments::Owned document;
        // What the document holds, when it is not the buffer's display exactly.
        std::optional<QString> differs;
    };

    void connectDocument();
    EditorDocuments::Settings documentSettings() const;
    // Puts a document in place of the one shown, which is retired.
    void putInPlace(QTextDocument* replacement);
    void followChange(int position, int removed, int added);
    void appendPieces(QTextCursor& cursor, qsizetype from, qsizetype to);
    bool documentShowsLoadedText() const;
    void checkLoaded();
    void startLoading();
    void finishLoading(Built built);
    void cancelLoading();
    // Kept while the document is made, for an editor that takes edits once it is in place.
    bool keepsWhileLoading(QEvent* event);
    void applyBackground();
    void applyShownFont();

    EditorTextBuffer m_buffer;
    bool m_loading = false;
    bool m_holdsPictographs = false;
    // A document is being made for the text loaded last (the request's number).
    bool m_waiting = false;
    quint64 m_load = 0;
    Qt::TextInteractionFlags m_flagsWhenLoaded;
    bool m_cursorToEndWhenLoaded = false;
    std::vector<std::unique_ptr<QEvent>> m_typedWhileLoading;
    bool m_cursorToEndWhenShown = false;
    bool m_monospaced = false;
    qreal m_plateTint = 0.025;
    bool m_applyingBackground = false;
    bool m_leavesBackground = false;
};

} // namespace tolvi
