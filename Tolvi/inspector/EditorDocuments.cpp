#include "Tolvi/inspector/EditorDocuments.h"

#include "Tolvi/inspector/EditorTextBuffer.h"
#include "Tolvi/inspector/GlyphKeepingTextLayout.h"
#include "Tolvi/inspector/ShownText.h"

#include <QCoreApplication>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QThread>

#include <algorithm>
#include <utility>

namespace tolvi::EditorDocuments {

namespace {

// A document is given a text, and compared with one, in pieces of this many characters.
constexpr qsizetype pieceLength = 16'384;

} // namespace

void retire(QTextDocument* document)
{
    if (!document)
        return;
    if (document->thread() != QThread::currentThread()) {
        // The last holder let go on another thread (one that handed it on, say).
        QMetaObject::invokeMethod(document, [document] { retire(document); }, Qt::QueuedConnection);
        return;
    }
    document->setParent(nullptr);
    // A document still on its way when the application ends goes with the events not delivered,
    // while their list is locked: nothing may move to another thread then.
    if (document->blockCount() <= offMainThreadBlocks || QCoreApplication::closingDown()) {
        delete document;
        return;
    }
    // Belonging to no thread, it can be destroyed on any.
    document->moveToThread(nullptr);
    ShownText::workPool().start([document] { delete document; });
}

QTextDocument* Handed::take()
{
    return std::exchange(m_document, nullptr);
}

QTextDocument* blank(const Settings& settings, QObject* parent)
{
    auto* document = new QTextDocument(parent);
    document->setUndoRedoEnabled(settings.undoRedo);
    document->setDocumentLayout(new GlyphKeepingTextLayout(document));
    document->setDefaultFont(settings.font);
    document->setDocumentMargin(settings.margin);
    document->setDefaultTextOption(settings.option);
    return document;
}

Owned build(const EditorTextBuffer& buffer, const Settings& settings)
{
    QTextDocument* document = blank(settings, nullptr);
    document->setUndoRedoEnabled(false);
    {
        // One edit block: the layout hears of one change, once the whole text is in.
        QTextCursor cursor(document);
        cursor.beginEditBlock();
        const qsizetype length = buffer.loadedDisplayLength();
        for (qsizetype from = 0; from < length; from += pieceLength)
            cursor.insertText(buffer.displayText(from, pieceLength));
        cursor.endEditBlock();
    }
    // Every paragraph gets its layout object here (a view makes them all when it is given the
    // document); the view lays out only what it shows.
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        block.layout();
    document->setUndoRedoEnabled(settings.undoRedo);
    document->setModified(false);
    return std::make_shared<Handed>(document);
}

bool showsLoadedText(const QTextDocument& document, const EditorTextBuffer& buffer)
{
    const qsizetype length = buffer.loadedDisplayLength();
    if (document.characterCount() - 1 != length)
        return false;
    QTextCursor cursor(const_cast<QTextDocument*>(&document));
    for (qsizetype from = 0; from < length; from += pieceLength) {
        const qsizetype to = std::min(length, from + pieceLength);
        cursor.setPosition(int(from));
        cursor.setPosition(int(to), QTextCursor::KeepAnchor);
        if (cursor.selectedText() != buffer.displayText(from, to - from))
            return false;
    }
    return true;
}

} // namespace tolvi::EditorDocuments
