#pragma once

#include "Tolvi/design/CardOverlay.h"
#include "Tolvi/design/DesignTokens.h"
#include "Tolvi/design/TolviTheme.h"
#include "TolviCore/ai/AIAction.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <functional>

class QHBoxLayout;
class QKeySequence;
class QMessageBox;
class QVBoxLayout;

namespace tolvi {

class ClipTextEditor;

// The pieces both text editors of the history window are made of: the card with its header,
// the plate behind the text, the footer's status line and buttons, and their dialogs. The
// compact panel's editor takes its two texts from here too.
namespace EditorOverlayParts {

// The card of an editor over the history window: minimum, ideal and maximum size, the margin
// around it and the backdrop's black at 0.18.
TolviCardOverlay::Geometry cardGeometry(QSize minimum, QSize ideal, QSize maximum);
// The card's surface: a rounded plate of radius 18 in the raised surface colour, washed with
// the card's tint at 0.035 and outlined finely. It is opaque: without the blur of a glass
// material the window's text would show through the card and be read with the card's own.
class CardSurface : public QWidget {
    Q_OBJECT
public:
    explicit CardSurface(TolviDesign::ColorToken tint, QWidget* parent = nullptr);
    // The widget the card is laid out in.
    QWidget* content() const { return m_content; }

    static constexpr qreal cornerRadius = 18;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TolviDesign::ColorToken m_tint;
    QWidget* m_content;
};

// The colour of failure messages in the window's appearance.
QColor failureColor(const DesignContext& context);

// A one-line text in the meta style: muted, or in the failure colour. Too long a text is cut
// with an ellipsis; the whole of it is the tooltip and what assistive technologies read.
class StatusLine : public QLabel {
    Q_OBJECT
public:
    explicit StatusLine(QWidget* parent = nullptr);
    void setStatus(const QString& text, bool isFailure);
    QString status() const { return m_text; }
    bool isFailure() const { return m_failure; }
    // Whether the whole text fits on the line as it is laid out now.
    bool fits() const;
    // A line that gives its text to another place when it does not fit draws nothing then.
    void setHidesWhenCut(bool hides) { m_hidesWhenCut = hides; }

signals:
    // fits() may answer differently.
    void fitChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QString m_text;
    bool m_failure = false;
    bool m_hidesWhenCut = false;
};

// A notice between the text and the footer: a warning symbol and a sentence, amber for what
// happened to the clip and in the failure colour for a refused save. Hidden while empty.
class NoticeLine : public QWidget {
    Q_OBJECT
public:
    explicit NoticeLine(QWidget* parent = nullptr);
    void setNotice(const QString& text, bool isFailure);
    QString notice() const { return m_text; }
    bool isFailure() const { return m_failure; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRectF textRect(int width) const;

    QString m_text;
    bool m_failure = false;
};

// The rounded plate behind an editor's text: the canvas colour, the ink at `tintOpacity` over
// it and a fine outline.
class TextPlate : public QWidget {
    Q_OBJECT
public:
    explicit TextPlate(QWidget* parent = nullptr);
    void setTintOpacity(qreal opacity);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    qreal m_tint = 0.025;
};

// A symbol-only button in a square frame, for the header's close button.
class SymbolButton : public QToolButton {
    Q_OBJECT
public:
    SymbolButton(const QString& systemImage, int frame, int symbolSide, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {m_frame, m_frame}; }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_systemImage;
    int m_frame;
    int m_symbolSide;
};

// The header: the tinted symbol tile, the title over one muted line, the close button.
struct Header {
    QWidget* widget = nullptr;
    StatusLine* subtitle = nullptr;
    SymbolButton* closeButton = nullptr;
};
Header makeHeader(const QString& systemImage, TolviDesign::ColorToken tint, const QString& title,
                  const QString& closeLabel, QWidget* parent);

// The card's column on its surface: margins of 16 and 12 between the rows.
QVBoxLayout* makeCardColumn(TolviCardOverlay* overlay);

// The footer under the text: the status line, and above the footer the notice that shows the
// status wrapped when it is too long for its line. The overflow notice is in `column` already;
// the row is the caller's to fill and add.
struct Footer {
    QHBoxLayout* row = nullptr;
    StatusLine* status = nullptr;
    NoticeLine* overflow = nullptr;
};
Footer makeFooter(QWidget* surface, QVBoxLayout* column);

// A keyboard shortcut for the whole card (its surface and the widgets in it).
void addCardShortcut(QWidget* surface, const QKeySequence& keys, QObject* receiver, std::function<void()> act);

// A question that belongs to a card goes with it, unanswered.
void dropQuestion(QMessageBox* question);
// Closes a question that no longer has anyone to answer to, without an answer.
void closeQuestion(QPointer<QMessageBox>& question);

// One half of a two-way switch ("Original" / "Edited").
class SegmentButton : public QAbstractButton {
    Q_OBJECT
public:
    SegmentButton(const QString& title, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The track the two segments lie in.
class SegmentTrack : public QWidget {
    Q_OBJECT
public:
    explicit SegmentTrack(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A footer button in the platform's look, drawn as large as the primary button's body, with
// the same margin kept for the focus ring around it.
class FooterButton : public QPushButton {
    Q_OBJECT
public:
    explicit FooterButton(const QString& title, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& position) const override;
    QRect body() const;
    void paintBody(QPainter& painter, bool withLabel);
};

// The button of one AI action: its symbol and title; while the action's request runs a small
// spinning indicator (16 by 16) takes the label's place.
class AIActionButton : public FooterButton {
    Q_OBJECT
public:
    explicit AIActionButton(const AIAction& action, QWidget* parent = nullptr);
    const AIAction& action() const { return m_action; }
    void setRunning(bool running);
    bool isRunning() const { return m_running; }
    // Only the symbol, for a card too narrow for every label (the title stays its tooltip and
    // what assistive technologies read).
    void setCompact(bool compact);
    bool isCompact() const { return m_compact; }
    static QString symbolName(const AIAction& action);

protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void updateIcon();

    AIAction m_action;
    bool m_running = false;
    bool m_compact = false;
    int m_angle = 0;
    QTimer m_spin;
};

// The end of the footer: Save, Copy and the card's primary button titled `primaryTitle`, each
// running its action on `receiver`; Ctrl+S saves and Ctrl+Return or Ctrl+Enter runs the primary
// action anywhere on the card. The footer's row then goes into the column.
struct FooterButtons {
    FooterButton* save = nullptr;
    FooterButton* copy = nullptr;
    QPushButton* primary = nullptr;
};
struct FooterActions {
    std::function<void()> save;
    std::function<void()> copy;
    std::function<void()> primary;
};
FooterButtons finishFooter(const Footer& footer, QWidget* surface, QVBoxLayout* column, const QString& primaryTitle,
                           QObject* receiver, const FooterActions& actions);

// The two texts of an editor with versions, made in `parent` and named `editedName` and
// `originalName`: the edited text, and the saved one, read-only on a slightly darker plate but
// selectable.
struct VersionTexts {
    ClipTextEditor* edited = nullptr;
    ClipTextEditor* original = nullptr;
};
VersionTexts makeVersionTexts(QWidget* parent, const QString& editedName, const QString& originalName);

// A window-modal question over `owner`, opened with open(): the buttons in the given order
// (the last one is the default and answers Escape); `answered` gets the index of the button
// chosen (the last one's when the box closes otherwise). The box deletes itself.
QMessageBox* ask(QWidget* owner, const QString& title, const QString& message, const QStringList& buttons,
                 std::function<void(int)> answered);

// Asks over `owner` whether the unsaved text of `card` goes: "Discard Changes" runs `discard`,
// "Keep Editing" (the default) runs `keep`. `question` is the card's own and holds the box
// while it is open; nothing runs once the card is gone.
void askToDiscard(QPointer<QMessageBox>& question, QObject* card, QWidget* owner, const QString& title,
                  const QString& message, std::function<void()> discard, std::function<void()> keep);

} // namespace EditorOverlayParts
} // namespace tolvi
