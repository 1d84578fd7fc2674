#pragma once

#include <QFont>
#include <QString>
#include <QTextOption>

#include <memory>

class QObject;
class QTextDocument;

namespace tolvi {

class EditorTextBuffer;

// The documents of the clip text editors for a long text or one of many paragraphs: a document
// makes an object of every paragraph, so filling one with tens of thousands of them, and
// destroying it, takes hundreds of milliseconds. Those are done on the views' worker threads
// (ShownText::workPool()); the main thread only puts a finished document in place.
namespace EditorDocuments {

// What a new document takes from the one it replaces.
struct Settings {
    QFont font;
    qreal margin = 4;
    QTextOption option;
    bool undoRedo = true;
};

// Destroys a document off the main thread (at once when it is small), from the thread it belongs
// to. It must be free of every view and cursor.
void retire(QTextDocument* document);

// A document that belongs to no view: retired when the last copy of the pointer goes, unless
// taken before.
class Handed {
public:
    explicit Handed(QTextDocument* document) : m_document(document) {}
    ~Handed() { retire(m_document); }
    Handed(const Handed&) = delete;
    Handed& operator=(const Handed&) = delete;

    QTextDocument* get() const { return m_document; }
    QTextDocument* take();

private:
    QTextDocument* m_document;
};
using Owned = std::shared_ptr<Handed>;

// An empty plain-text document (GlyphKeepingTextLayout) with those settings.
QTextDocument* blank(const Settings& settings, QObject* parent);

// A plain-text document (GlyphKeepingTextLayout) showing the buffer's loaded display, made on
// the calling thread and belonging to it.
Owned build(const EditorTextBuffer& buffer, const Settings& settings);

// Whether the document shows the buffer's loaded display exactly; compared a piece at a time,
// so that no whole copy of either is made.
bool showsLoadedText(const QTextDocument& document, const EditorTextBuffer& buffer);

// Documents with more paragraphs than this, or texts longer than this (UTF-16 units), are made
// off the main thread; documents of that many paragraphs are destroyed there too.
constexpr int offMainThreadBlocks = 1'000;
constexpr qsizetype offMainThreadLength = 200'000;

} // namespace EditorDocuments
} // namespace tolvi
