// The editors' text: what the user did not touch comes back byte for byte, whatever the
// document makes of line breaks, and the character count follows edits without recounting.
#include "Tolvi/inspector/ClipTextEditor.h"
#include "Tolvi/inspector/EditorDocuments.h"
#include "Tolvi/inspector/FontCoverage.h"
#include "Tolvi/inspector/IncrementalCharacterCount.h"
#include "Tolvi/inspector/LooksLikeCode.h"
#include "Tolvi/inspector/ShownText.h"
#include "TolviCore/model/ClipboardTextDraft.h"
#include "TolviCore/model/UnicodeText.h"
#include "TolviCore/text/TextCharacters.h"

#include <QFontInfo>
#include <QGlyphRun>
#include <QMimeData>
#include <QPointer>
#include <QRawFont>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>

#include <gtest/gtest.h>

#include <bitset>
#include <thread>

using namespace tolvi;

namespace {

const QString nbsp = QString(QChar(0x00A0));
const QString lineSeparator = QString(QChar(0x2028));
const QString paragraphSeparator = QString(QChar(0x2029));

class Editor : public ClipTextEditor {
public:
    using ClipTextEditor::createMimeDataFromSelection;
};

void insertAt(QPlainTextEdit& editor, int position, const QString& text)
{
    QTextCursor cursor(editor.document());
    cursor.setPosition(position);
    cursor.insertText(text);
}

void removeRange(QPlainTextEdit& editor, int from, int to)
{
    QTextCursor cursor(editor.document());
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

// Gives the editor a text and waits until it shows all of it (a text of many paragraphs is made
// into a document off the main thread).
void load(ClipTextEditor& editor, const QString& text)
{
    editor.setStoredText(text);
    ASSERT_TRUE(QTest::qWaitFor([&editor] { return !editor.isLoading(); }, 30'000));
}

QString copied(Editor& editor, int from, int to)
{
    QTextCursor cursor(editor.document());
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    editor.setTextCursor(cursor);
    std::unique_ptr<QMimeData> data(editor.createMimeDataFromSelection());
    return data->text();
}

} // namespace

TEST(ClipTextEditorTest, UntouchedTextComesBackExactlyAndShowsNoChange)
{
    const QString texts[] = {
        QStringLiteral("Dear team,\r\n\r\nthe report is attached.\r\nBest"),
        QStringLiteral("old\rmac\rlines"),
        QStringLiteral("mixed\r\nbreaks\nand\rmore\n"),
        QStringLiteral("price:") + nbsp + QStringLiteral("42") + nbsp + QStringLiteral("EUR"),
        QStringLiteral("soft") + lineSeparator + QStringLiteral("break") + paragraphSeparator + QStringLiteral("para"),
        QStringLiteral("noncharacters ") + QChar(0xFDD0) + QChar(0xFDD1) + QStringLiteral(" end"),
        QString(30'000, QLatin1Char('x')) + QStringLiteral("\r\n") + QStringLiteral("tail"),
    };
    Editor editor;
    for (const QString& text : texts) {
        editor.setStoredText(text);
        EXPECT_EQ(editor.storedText(), text);
        EXPECT_TRUE(editor.isUntouched());
        EXPECT_EQ(editor.document()->toRawText(), editor.buffer().displayText());
        ClipboardTextDraft draft(text);
        draft.editedText = editor.storedText();
        EXPECT_FALSE(draft.hasUnsavedChanges());
        // A copy of everything carries the stored form, not the document's.
        EXPECT_EQ(copied(editor, 0, editor.document()->characterCount() - 1), text);
    }
}

TEST(ClipTextEditorTest, EditsKeepEverythingElseAsStored)
{
    const QString text = QStringLiteral("first\r\nsecond") + nbsp + QStringLiteral("line\r\nthird");
    Editor editor;
    editor.setStoredText(text);

    // Typing into the second line leaves both CR LF pairs and the non-breaking space.
    insertAt(editor, 8, QStringLiteral("XY"));
    EXPECT_EQ(editor.storedText(), QStringLiteral("first\r\nseXYcond") + nbsp + QStringLiteral("line\r\nthird"));
    EXPECT_FALSE(editor.isUntouched());

    // A new line break takes the text's own style.
    insertAt(editor, 0, paragraphSeparator);
    EXPECT_TRUE(editor.storedText().startsWith(QStringLiteral("\r\nfirst\r\n")));

    // Deleting what was typed, or undoing it, gives the text back untouched.
    removeRange(editor, 0, 1);
    removeRange(editor, 8, 10);
    EXPECT_TRUE(editor.isUntouched());
    EXPECT_EQ(editor.storedText(), text);
    removeRange(editor, 3, 12);
    EXPECT_NE(editor.storedText(), text);
    editor.undo();
    EXPECT_EQ(editor.storedText(), text);
    EXPECT_TRUE(editor.isUntouched());

    // Two edits far apart leave the CR LF between them alone.
    insertAt(editor, 0, QStringLiteral("A"));
    insertAt(editor, editor.document()->characterCount() - 1, QStringLiteral("Z"));
    EXPECT_EQ(editor.storedText(), QStringLiteral("A") + text + QStringLiteral("Z"));

    // After a save the shown text is the loaded one; edits go on from there.
    editor.rebase();
    EXPECT_TRUE(editor.isUntouched());
    EXPECT_EQ(editor.storedText(), QStringLiteral("A") + text + QStringLiteral("Z"));
    insertAt(editor, 1, paragraphSeparator);
    EXPECT_EQ(copied(editor, 0, 8), QStringLiteral("A\r\nfirst\r\n"));

    // Where a lone CR and an LF come to meet, the text still reads as the two breaks shown.
    editor.setStoredText(QStringLiteral("a\rb\nc"));
    removeRange(editor, 2, 3);
    EXPECT_EQ(EditorTextBuffer(editor.storedText()).displayText(), editor.document()->toRawText());
}

TEST(ClipTextEditorTest, KeyboardTypingIsFollowed)
{
    Editor editor;
    editor.setStoredText(QStringLiteral("a\r\nb"));
    editor.show();
    editor.moveCursor(QTextCursor::End);
    QTest::keyClicks(&editor, QStringLiteral("cd"));
    QTest::keyClick(&editor, Qt::Key_Return);
    QTest::keyClicks(&editor, QStringLiteral("e"));
    EXPECT_EQ(editor.storedText(), QStringLiteral("a\r\nbcd\r\ne"));
    editor.selectAll();
    QTest::keyClick(&editor, Qt::Key_Delete);
    EXPECT_EQ(editor.storedText(), QString());
    editor.undo();
    EXPECT_EQ(editor.storedText(), QStringLiteral("a\r\nbcd\r\ne"));
}

TEST(ClipTextEditorTest, LongLinesAreShownInPiecesThatNeverReachTheText)
{
    QString line;
    while (line.size() < 60'000)
        line += QStringLiteral("word%1 ").arg(line.size());
    const QString text = QStringLiteral("head\r\n") + line + QStringLiteral("\r\ntail");
    Editor editor;
    editor.setStoredText(text);
    EXPECT_GT(editor.document()->blockCount(), 20);
    int longest = 0;
    for (QTextBlock block = editor.document()->begin(); block.isValid(); block = block.next())
        longest = std::max(longest, block.length());
    EXPECT_LT(longest, int(EditorTextBuffer::longLineLength));
    EXPECT_EQ(editor.storedText(), text);

    // A copy across a cut has no line break there; an edit next to a cut keeps the line whole.
    const QTextBlock second = editor.document()->findBlockByNumber(2);
    const int cut = second.position() - 1;
    EXPECT_EQ(copied(editor, cut - 5, cut + 5),
              QStringView(text).mid(editor.buffer().storedText(0, cut - 5).size(), 9).toString());
    removeRange(editor, cut, cut + 1);
    insertAt(editor, cut, QStringLiteral("!"));
    QString expected = text;
    expected.insert(editor.buffer().storedText(0, cut).size(), QLatin1Char('!'));
    EXPECT_EQ(editor.storedText(), expected);
}

TEST(ClipTextEditorTest, OneCharacterOfThousandsOfMarksIsShownInPiecesAndComesBackWhole)
{
    // No definite character boundary anywhere: the line is cut between code points all the same.
    const QString accents = QStringLiteral("e") + QString(49'999, QChar(0x0301));
    QString emoji;
    for (int i = 0; i < 16'000; ++i)
        emoji += (i > 0 ? QString(QChar(0x200D)) : QString()) + QString::fromUcs4(U"\U0001F469", 1);
    for (const QString& text : {accents, emoji}) {
        Editor editor;
        load(editor, text);
        int longest = 0;
        int mostPictographs = 0;
        for (QTextBlock block = editor.document()->begin(); block.isValid(); block = block.next()) {
            longest = std::max(longest, block.length());
            EXPECT_FALSE(block.text().startsWith(QChar(0xDC69))) << "a cut splits a surrogate pair";
            int pictographs = 0;
            for (const char32_t c : block.text().toUcs4())
                pictographs += TextCharacters::isPictograph(c) ? 1 : 0;
            mostPictographs = std::max(mostPictographs, pictographs);
        }
        EXPECT_LT(longest, int(EditorTextBuffer::longLineLength));
        // A piece of joined emoji holds a few of them: laying it out decodes each one's picture
        // of a colour emoji font, and every piece is a line of the editor's screenful.
        EXPECT_LE(mostPictographs, TextCharacters::shownPiecePictographs);
        EXPECT_EQ(editor.storedText(), text);
        editor.selectAll();
        std::unique_ptr<QMimeData> data(editor.createMimeDataFromSelection());
        EXPECT_EQ(data->text(), text);
    }
}

TEST(ClipTextEditorTest, ATextOfManyParagraphsIsShownWholeOnceMadeAndKeepsWhatWasTypedMeanwhile)
{
    QString text;
    for (int line = 0; line < 30'000; ++line)
        text += QStringLiteral("line %1\r\n").arg(line);
    Editor editor;
    editor.setStoredText(text);
    ASSERT_TRUE(editor.isLoading());
    EXPECT_LE(editor.document()->blockCount(), int(ClipTextEditor::loadingParagraphs) + 1);
    EXPECT_EQ(editor.storedText(), text);
    // Typed before the whole text is there: applied once it is, in order, where the cursor was.
    QTest::keyClicks(&editor, QStringLiteral("ab"));
    QTest::keyClick(&editor, Qt::Key_Left);
    QTest::keyClick(&editor, Qt::Key_X);
    EXPECT_EQ(editor.storedText(), text);
    QSignalSpy loaded(&editor, &ClipTextEditor::loaded);
    ASSERT_TRUE(loaded.wait(30'000));
    EXPECT_FALSE(editor.isLoading());
    EXPECT_EQ(editor.document()->blockCount(), 30'001);
    EXPECT_EQ(editor.storedText(), QStringLiteral("axb") + text);
    EXPECT_EQ(editor.textCursor().position(), 2);

    // A newer text given while one is made is the one shown; the document of many paragraphs
    // it replaces is destroyed off the main thread.
    const QPointer<QTextDocument> whole = editor.document();
    editor.setStoredText(text);
    const QString second = text + QStringLiteral("second");
    load(editor, second);
    EXPECT_EQ(editor.storedText(), second);
    EXPECT_TRUE(editor.isUntouched());
    EXPECT_EQ(editor.document()->toRawText(), editor.buffer().displayText());
    ShownText::workPool().waitForDone();
    EXPECT_TRUE(whole.isNull());

    // A read-only view stays so, selectable by keyboard, and keeps nothing typed for later.
    const Qt::TextInteractionFlags selectable = Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard;
    editor.setReadOnly(true);
    editor.setTextInteractionFlags(selectable);
    editor.setStoredText(text);
    QTest::keyClick(&editor, Qt::Key_Y);
    ASSERT_TRUE(QTest::qWaitFor([&editor] { return !editor.isLoading(); }, 30'000));
    EXPECT_EQ(editor.textInteractionFlags(), selectable);
    EXPECT_EQ(editor.storedText(), text);
}

// A document let go of on a thread it does not belong to is destroyed all the same, from its
// own thread's turn of the event loop.
TEST(EditorDocumentsTest, ADocumentLetGoOfOnAnotherThreadIsDestroyed)
{
    auto* document = new QTextDocument;
    document->setPlainText(QStringLiteral("a\nfew\nlines"));
    const QPointer<QTextDocument> watched = document;
    std::thread([document] { EditorDocuments::retire(document); }).join();
    EXPECT_FALSE(watched.isNull()) << "destroyed on a thread it does not belong to";
    EXPECT_TRUE(QTest::qWaitFor(
        [&watched] {
            ShownText::workPool().waitForDone();
            return watched.isNull();
        },
        10'000));
}

TEST(ClipTextEditorTest, OnlyPiecesOfJoinedEmojiKeepGlyphsAndNoneOfAnOldFont)
{
    // The pieces of one character of many joined emoji keep their shaped glyphs once laid out;
    // a change of the font must shape them anew, or they would be painted in the old one.
    // Longer than a line the editor shows whole; hearts, which the test fonts draw.
    QString emoji;
    for (int i = 0; i < 6'000; ++i)
        emoji += (i > 0 ? QString(QChar(0x200D)) : QString()) + QChar(0x2764);
    auto families = [](const QTextBlock& block) {
        QStringList names;
        for (const QGlyphRun& run : block.layout()->glyphRuns(0, block.length()))
            names << run.rawFont().familyName();
        names.removeDuplicates();
        return names;
    };
    Editor editor;
    editor.resize(400, 300);
    editor.show();
    editor.setStoredText(emoji);
    editor.grab();
    const QTextBlock first = editor.document()->begin();
    ASSERT_GT(editor.document()->blockCount(), 1) << "the character is shown in pieces";
    ASSERT_GT(first.layout()->lineCount(), 0);
    EXPECT_TRUE(first.layout()->cacheEnabled()) << "a piece of the character keeps its glyphs";
    const QStringList before = families(first);
    ASSERT_FALSE(before.isEmpty());

    editor.setMonospaced(true);
    editor.grab();
    ASSERT_GT(first.layout()->lineCount(), 0);
    const QStringList after = families(first);
    EXPECT_NE(after, before) << "the piece is still shaped in " << before.join(u',').toStdString();
    EXPECT_TRUE(after.contains(QFontInfo(editor.font()).family())) << after.join(u',').toStdString();
    EXPECT_EQ(editor.storedText(), emoji);

    // An ordinary paragraph with an emoji keeps nothing: kept glyphs last as long as its lines.
    Editor plain;
    plain.resize(400, 300);
    plain.show();
    plain.setStoredText(QStringLiteral("Hi ") + QChar(0x2764) + QStringLiteral(" there"));
    plain.grab();
    ASSERT_GT(plain.document()->begin().layout()->lineCount(), 0);
    EXPECT_FALSE(plain.document()->begin().layout()->cacheEnabled());
}

TEST(ClipTextEditorTest, BidirectionalControlsShowAsMarksAndAreKeptInTheText)
{
    // "invoice_" RLO "fdp.exe": shown with the override in effect it would read "invoice_exe.pdf".
    const QString text = QStringLiteral("invoice_") + QChar(0x202E) + QStringLiteral("fdp.exe") + QChar(0x202C)
        + QStringLiteral("\n") + QChar(0x2067) + QStringLiteral("x") + QChar(0x2069) + QChar(0x200F);
    Editor editor;
    editor.setStoredText(text);
    const QString shown = editor.document()->toPlainText();
    for (QChar c : {QChar(0x202E), QChar(0x202C), QChar(0x2067), QChar(0x2069), QChar(0x200F)})
        EXPECT_FALSE(shown.contains(c)) << "U+" << QString::number(c.unicode(), 16).toStdString() << " is in effect";
    EXPECT_EQ(shown, QStringLiteral("invoice_\u21E0fdp.exe\u21E4\n\u21E0x\u21E4\u21E0"));
    EXPECT_EQ(editor.storedText(), text);
    EXPECT_EQ(copied(editor, 0, 17), text.left(17));

    // An edit elsewhere keeps the controls as stored.
    insertAt(editor, 0, QStringLiteral("> "));
    EXPECT_EQ(editor.storedText(), QStringLiteral("> ") + text);
}

TEST(ClipTextEditorTest, RandomEditsAreFollowedExactly)
{
    const QStringList pieces = {QStringLiteral("a"), QStringLiteral("word "), paragraphSeparator, nbsp,
                                QStringLiteral("é"), QString::fromUtf8("\xF0\x9F\x91\x8D"), lineSeparator};
    QRandomGenerator random(7);
    Editor editor;
    editor.setStoredText(QStringLiteral("one\r\ntwo\rthree\nfour") + nbsp + QStringLiteral("five"));
    for (int step = 0; step < 400; ++step) {
        const int length = editor.document()->characterCount() - 1;
        const int choice = random.bounded(10);
        if (choice < 5) {
            insertAt(editor, random.bounded(length + 1), pieces[random.bounded(int(pieces.size()))]);
        } else if (choice < 8 && length > 0) {
            const int from = random.bounded(length);
            removeRange(editor, from, std::min(length, from + 1 + random.bounded(4)));
        } else if (choice == 8) {
            editor.undo();
        } else {
            editor.redo();
        }
        const QString shown = editor.document()->toRawText();
        ASSERT_EQ(editor.buffer().currentDisplayText(), shown) << "step " << step;
        // The stored text reads as exactly what is shown.
        ASSERT_EQ(EditorTextBuffer(editor.storedText()).displayText(), shown) << "step " << step;
    }
}

// The buffer keeps no display of its own: built a range at a time, in pieces of any size, it is
// the display, and it is what the document shows; it reads as the stored text with its breaks
// and bidirectional controls shown and characters no font shows boxed (a cut of a long line
// adds a separator and nothing else); the stored text comes back whole and from any split of
// the display.
TEST(EditorTextBufferTest, TheDisplayBuiltInPiecesIsTheStoredTextShown)
{
    // The editors box what the machine's fonts lack (the test's fonts have no ideographs).
    const std::shared_ptr<const FontCoverage> coverage = FontCoverage::installedWhenReady();
    QString longLine;
    while (longLine.size() < 25'000)
        longLine += QStringLiteral("w%1 ").arg(longLine.size());
    QString ideographs;
    for (int i = 0; i < 24'000; ++i)
        ideographs += QChar(0x4E00 + i % 500);
    const QString texts[] = {
        QStringLiteral("a\r\nb\rc\nd") + lineSeparator + QStringLiteral("e") + paragraphSeparator + QStringLiteral("f"),
        QStringLiteral("\r\n\r\n\rstart with breaks") + nbsp + QStringLiteral("\n\r"),
        QStringLiteral("bidi ") + QChar(0x202E) + QStringLiteral("txt.exe") + QChar(0x202C) + QChar(0x2066) + QChar(0x200F),
        QChar(0xFDD0) + QStringLiteral("non") + QChar(0xFDD1) + QStringLiteral("characters"),
        QStringLiteral("head\r\n") + longLine + QStringLiteral("\r\n") + longLine + QChar(0x202E) + QStringLiteral("\rtail"),
        ideographs + QStringLiteral("\r\n") + QStringLiteral("e") + QString(12'000, QChar(0x0301)),
        QString(),
    };
    QRandomGenerator random(3);
    for (const QString& text : texts) {
        EditorTextBuffer buffer;
        buffer.setFontCoverage(coverage);
        buffer.load(text);
        const QString display = buffer.displayText();
        ASSERT_EQ(display.size(), buffer.loadedDisplayLength());
        EXPECT_EQ(buffer.storedText(), text);

        // In pieces of any size.
        for (qsizetype piece : {qsizetype(1), qsizetype(7), qsizetype(4096), qsizetype(0)}) {
            QString joined;
            for (qsizetype from = 0; from < display.size();) {
                const qsizetype length = piece > 0 ? piece : 1 + random.bounded(3000);
                joined += buffer.displayText(from, length);
                from += length;
            }
            ASSERT_EQ(joined, display) << "pieces of " << piece;
        }

        // The stored text shown: every break one separator (CR LF too), every bidirectional
        // control its mark, every other character itself; the cuts add separators only.
        QString shown;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char16_t c = text.at(i).unicode();
            if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
            if (c == u'\r' || c == u'\n' || c == 0x2029 || c == 0xFDD0 || c == 0xFDD1)
                shown += paragraphSeparator;
            else if (const char16_t mark = TextCharacters::bidiControlMark(c))
                shown += QChar(mark);
            else
                shown += QChar(QChar::isSurrogate(c) ? c : coverage->shownAs(c));
        }
        qsizetype cuts = 0;
        qsizetype at = 0;
        for (QChar c : display) {
            if (at < shown.size() && shown.at(at) == c) {
                ++at;
                continue;
            }
            ASSERT_EQ(c, QChar(0x2029)) << "the display differs from the text at " << at;
            ++cuts;
        }
        EXPECT_EQ(at, shown.size());
        if (text.size() > EditorTextBuffer::longLineLength)
            EXPECT_GT(cuts, 0);
        else
            EXPECT_EQ(cuts, 0);

        // The document shows exactly that.
        Editor editor;
        editor.setStoredText(text);
        EXPECT_EQ(editor.document()->toRawText(), display);
        EXPECT_EQ(editor.storedText(), text);

        // Any split of the display gives the stored text back in two parts.
        for (int i = 0; i < 20 && !display.isEmpty(); ++i) {
            const qsizetype split = random.bounded(int(display.size() + 1));
            EXPECT_EQ(buffer.storedText(0, split) + buffer.storedText(split, display.size()), text);
        }
    }
}

TEST(EditorTextBufferTest, CharactersNoFontShowsAreShownAsABoxAndKeptInTheText)
{
    std::bitset<0x10000> shown;
    shown.set();
    for (char16_t c = 0x4E00; c <= 0x9FFF; ++c)
        shown.reset(c);
    shown.reset(0x0301); // a mark is drawn on its letter, never as a box of its own
    shown.reset(0x200D);
    const auto coverage = std::make_shared<const FontCoverage>(shown);
    ASSERT_EQ(coverage->box(), char16_t(0x25A1));
    const QString text = QStringLiteral("ab \u4E2D\u6587 e\u0301\u200D \U0002000B x");
    EditorTextBuffer buffer;
    buffer.setFontCoverage(coverage);
    buffer.load(text);
    EXPECT_EQ(buffer.displayText(), QStringLiteral("ab \u25A1\u25A1 e\u0301\u200D \U0002000B x"));
    // The inspector lays its pieces out the same way.
    EXPECT_EQ(coverage->shown(text), buffer.displayText());
    EXPECT_EQ(buffer.storedText(), text);
    // A copy of the boxes is a copy of what they stand for.
    EXPECT_EQ(buffer.storedText(3, 5), QStringLiteral("\u4E2D\u6587"));

    // Deleted and put back (undo puts back what the editor showed): the text as loaded.
    ASSERT_TRUE(buffer.replace(3, 1, QString()));
    EXPECT_EQ(buffer.storedText(), QStringLiteral("ab \u6587 e\u0301\u200D \U0002000B x"));
    ASSERT_TRUE(buffer.replace(3, 0, QString(QChar(0x25A1))));
    EXPECT_TRUE(buffer.isUntouched());
    EXPECT_EQ(buffer.storedText(), text);
    // Typed, a box is a box and an ideograph an ideograph.
    ASSERT_TRUE(buffer.replace(0, 0, QStringLiteral("\u4E2D\u25A1")));
    EXPECT_EQ(buffer.storedText(), QStringLiteral("\u4E2D\u25A1") + text);

    // A coverage set after a load is for the next text: the display of a loaded text never changes.
    EditorTextBuffer plain;
    plain.load(text);
    plain.setFontCoverage(coverage);
    EXPECT_EQ(plain.displayText(), text);
    plain.load(text);
    EXPECT_EQ(plain.displayText(), QStringLiteral("ab \u25A1\u25A1 e\u0301\u200D \U0002000B x"));
}

// The families that show emoji come after the font's own, once each, and only when known.
TEST(FontCoverageTest, NamesTheFamiliesThatShowEmojiAfterTheFontsOwn)
{
    std::bitset<0x10000> shown;
    QFont font(QStringLiteral("DejaVu Sans"), 13);
    EXPECT_EQ(FontCoverage(shown).withPictographFamilies(font).families(), font.families());
    const FontCoverage coverage(shown, {QStringLiteral("Emoji One"), QStringLiteral("Emoji Two")});
    const QFont named = coverage.withPictographFamilies(font);
    EXPECT_EQ(named.families(),
              (QStringList{QStringLiteral("DejaVu Sans"), QStringLiteral("Emoji One"), QStringLiteral("Emoji Two")}));
    EXPECT_EQ(named.pointSizeF(), 13);
    EXPECT_EQ(coverage.withPictographFamilies(named).families(), named.families());
}

TEST(IncrementalCharacterCountTest, FollowsEditsAsAFullCountWould)
{
    // Pieces whose clustering depends on neighbours: combining marks, joiners, flags, CR LF,
    // controls, Hangul jamo, emoji modifiers.
    QStringList pieces = {
        QStringLiteral("a"),      QStringLiteral(" "),       QString(QChar(0x0301)), QStringLiteral("\r"),
        QStringLiteral("\n"),     QString(QChar(0x008F)),    QString(QChar(0x200D)), QString(QChar(0x1100)),
        QString(QChar(0x1161)),   QString(QChar(0xAC00)),    QStringLiteral("漢"),   QString(QChar(0x00BD)),
        QString::fromUtf8("\xF0\x9F\x87\xAB"), QString::fromUtf8("\xF0\x9F\x87\xB7"),
        QString::fromUtf8("\xF0\x9F\x91\xA9"), QString::fromUtf8("\xF0\x9F\x8F\xBD"),
    };
    auto run = [&pieces](quint32 seed) {
        QRandomGenerator random(seed);
        QString text = QStringLiteral("start ") + QString(5000, QLatin1Char('x'));
        IncrementalCharacterCount count;
        ASSERT_EQ(count.count(text), UnicodeText::characterCount(text));
        for (int step = 0; step < 3000; ++step) {
            const qsizetype at = random.bounded(int(text.size() + 1));
            if (random.bounded(3) == 0 && !text.isEmpty()) {
                text.remove(std::min(at, text.size() - 1), 1 + random.bounded(3));
            } else {
                QString insert;
                for (int i = random.bounded(1, 4); i > 0; --i)
                    insert += pieces[random.bounded(int(pieces.size()))];
                text.insert(at, insert);
            }
            ASSERT_EQ(count.count(text), UnicodeText::characterCount(text)) << "seed " << seed << " step " << step;
        }
    };
    for (quint32 seed : {11u, 12u, 13u})
        run(seed);
    // Thai clusters are worked out per run of text: counted whole, still right.
    pieces += {QString(QChar(0x0E01)), QString(QChar(0x0E33)), QString(QChar(0x0E34))};
    run(14);
}

// Each marker alone makes a text look like code, at its start, in its middle or at its end;
// what only resembles one does not.
// A long text counted a piece at a time gives the whole count, whatever meets where two pieces
// meet: CR LF, combining marks, joined emoji, flags, jamo; a Thai text is counted whole.
TEST(IncrementalCharacterCountTest, CountingInPiecesGivesTheWholeCount)
{
    const QStringList pieces = {
        QStringLiteral("word "), QStringLiteral("\r\n"), QStringLiteral("e") + QChar(0x0301) + QChar(0x0302),
        QString::fromUtf8("\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x92\xBB"), QString::fromUtf8("\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7"),
        QString(QChar(0x1100)) + QChar(0x1161), QStringLiteral("漢字"), QStringLiteral("x"),
    };
    QRandomGenerator random(21);
    for (int round = 0; round < 3; ++round) {
        QString text;
        while (text.size() < 3 * IncrementalCharacterCount::countedPieceLength + 777)
            text += pieces[random.bounded(int(pieces.size()))];
        EXPECT_EQ(IncrementalCharacterCount::countInPieces(text), UnicodeText::characterCount(text)) << round;
    }
    // Around every place a piece may end: a run of combining marks across it.
    QString marks = QString(IncrementalCharacterCount::countedPieceLength - 3, QLatin1Char('a'))
        + QStringLiteral("e") + QString(20, QChar(0x0301)) + QString(70'000, QLatin1Char('b'));
    EXPECT_EQ(IncrementalCharacterCount::countInPieces(marks), UnicodeText::characterCount(marks));
    const QString thai = QString(IncrementalCharacterCount::countedPieceLength + 100, QChar(0x0E01)) + QChar(0x0E33);
    EXPECT_EQ(IncrementalCharacterCount::countInPieces(thai), UnicodeText::characterCount(thai));
}

TEST(LooksLikeCodeTest, EachMarkerAloneAndNoNearMiss)
{
    const QString words = QStringLiteral("plain words of a letter, nothing more");
    for (const char* marker : {"```", "func ", "let ", "const ", "=>", "{", "</"}) {
        const QString m = QLatin1String(marker);
        EXPECT_TRUE(looksLikeCode(m + words)) << marker;
        EXPECT_TRUE(looksLikeCode(words + m + words)) << marker;
        EXPECT_TRUE(looksLikeCode(words + m)) << marker;
    }
    for (const char* nearMiss : {"``", "func", "let", "Const ", "= >", "<", "/", "< /", "fun c ", "con st "})
        EXPECT_FALSE(looksLikeCode(words + QLatin1String(nearMiss) + words)) << nearMiss;
    EXPECT_FALSE(looksLikeCode(QString()));
}

TEST(LooksLikeCodeTrackerTest, AnswersAsTheWholeTestWould)
{
    // Fragments that make and break markers as they meet ("con" + "st ", "=" + ">", ...).
    const QStringList pieces = {QStringLiteral("con"), QStringLiteral("st "), QStringLiteral("="),
                                QStringLiteral(">"),   QStringLiteral("<"),   QStringLiteral("/"),
                                QStringLiteral("{"),   QStringLiteral("le"),  QStringLiteral("t "),
                                QStringLiteral("``"),  QStringLiteral("`"),   QStringLiteral("word ")};
    QRandomGenerator random(5);
    QString text = QString(3000, QLatin1Char('a'));
    LooksLikeCodeTracker tracker;
    for (int step = 0; step < 4000; ++step) {
        const qsizetype at = random.bounded(int(text.size() + 1));
        if (random.bounded(2) == 0 && !text.isEmpty())
            text.remove(std::min(at, text.size() - 1), 1 + random.bounded(4));
        else
            text.insert(at, pieces[random.bounded(int(pieces.size()))]);
        ASSERT_EQ(tracker.test(text), looksLikeCode(text)) << "step " << step;
        // The one pass over the text answers as a search for each marker would.
        bool anyMarker = false;
        for (const char* marker : {"```", "func ", "let ", "const ", "=>", "{", "</"})
            anyMarker |= text.contains(QLatin1String(marker));
        ASSERT_EQ(looksLikeCode(text), anyMarker) << "step " << step;
    }
}
