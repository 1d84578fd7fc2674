#pragma once

#include "Tolvi/design/Announcements.h"
#include "Tolvi/inspector/ClipDetectedKind.h"
#include "TolviCore/model/ClipboardItem.h"
#include "TolviCore/model/Pinboard.h"
#include "TolviCore/store/ClipboardStore.h"
#include "TolviCore/text/TextTransform.h"

#include <QList>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QMenu;
class QScrollArea;
class QVBoxLayout;

namespace tolvi {

class ClipFileList;
class ClipImagePreview;
class InspectorBusyIndicator;
class InspectorButton;
class LineLimitedLabel;
class OCRStatusLabel;
class SelectablePlainText;
class ThumbnailCache;
class TolviBadge;
class TolviIconTile;

// The inspector pane beside the history list, for one clip: a header naming the kind of clip
// with the Quick Look button, the primary actions (Paste, Paste As, Copy, Edit, Pin, Board),
// and a scrolling column with the text-recognition controls of an image, the note about file
// references, the clip's full preview, its badges and the "Actions" card of one-click tools.
//
// Everything shown is derived from the input the host gives; the host gives it again whenever
// the clip, its recognition bookkeeping, the boards or the multi-paste choice change, and only
// what that change touches is redone (an unchanged clip costs nothing). Every change goes out
// through the host's actions; the pane changes nothing itself. Return pastes the clip while the
// keyboard focus is inside the pane.
class ClipLensView : public QWidget {
    Q_OBJECT
public:
    using OCRStatus = ClipboardStore::OCRStatus;

    // The host's operations. Empty ones do nothing; an empty retryOCR offers no read or retry
    // button.
    struct Actions {
        std::function<void(const ClipboardItem&)> pasteItem;
        std::function<void(const QString&)> pasteText;
        std::function<void(const ClipboardItem&)> copyItem;
        std::function<void(const QString&)> copyText;
        std::function<void(const ClipboardItem&)> editItem;
        std::function<void(const ClipboardItem&)> togglePinned;
        std::function<void(const Pinboard&, const ClipboardItem&)> togglePinboard;
        std::function<void(const ClipboardItem&)> toggleQueue;
        std::function<void(const ClipboardItem&)> openPreview;
        std::function<void(const ClipboardItem&)> retryOCR;
        // The clip as the host holds it now, for menu entries chosen after the clip changed.
        std::function<std::optional<ClipboardItem>(const QUuid&)> lookUp;
    };

    // What the pane shows.
    struct Input {
        explicit Input(ClipboardItem item) : item(std::move(item)) {}

        ClipboardItem item;
        // Every board, in the user's order.
        QList<Pinboard> pinboards;
        // The clip is in the multi-paste choice.
        bool isQueued = false;
        // For an image: recognition runs now, and the status last recorded for it.
        bool isRecognizingText = false;
        std::optional<OCRStatus> ocrStatus;
        // Whether the quick editor and the full-size preview can open now; their buttons are
        // disabled while they cannot.
        bool canEdit = true;
        bool canOpenPreview = true;
    };

    // now: seconds since 2001-01-01 UTC, for the clip's age.
    ClipLensView(Actions actions, ThumbnailCache* thumbnails, std::function<double()> now, QWidget* parent = nullptr);
    ~ClipLensView() override;

    void setInput(const Input& input);
    const std::optional<Input>& input() const { return m_input; }

    // ---- Derived values ---------------------------------------------------------------------
    // The clip's kind: its file references when it keeps any, else its content's kind.
    ClipDetectedKind detectedKind() const { return m_kind; }
    // Whether the read or retry button is offered for the input.
    static bool canRetryOCR(const Input& input, bool canRetry);
    // The line under the recognition status, if the state has one.
    static std::optional<QString> ocrExplanation(const Input& input);
    // What screen readers are told about recognition, if anything.
    static std::optional<QString> ocrAnnouncement(const Input& input);
    // Whether a text is previewed in the monospaced font.
    static bool looksLikeCode(const QString& text);
    // The transforms offered as one-click tools for a text, at most six.
    static QList<TextTransform> prioritizedTransforms(const QString& text);
    static QString systemImage(TextTransform transform);
    // The Board menu's entries: each board's name as a menu text, and its symbol, or a check
    // mark when the clip is on the board.
    struct BoardEntry {
        Pinboard board;
        QString menuText;
        QString systemImage;
        bool holdsClip = false;
    };
    static QList<BoardEntry> boardEntries(const ClipboardItem& item, const QList<Pinboard>& boards);
    // What Copy Paths copies: the clip's file paths, one a line.
    static QString copiedPaths(const ClipboardItem& item);

    // ---- Pieces, for the window and for tests -----------------------------------------------
    TolviIconTile* iconTile() const { return m_iconTile; }
    LineLimitedLabel* titleLabel() const { return m_title; }
    LineLimitedLabel* metadataLabel() const { return m_metadata; }
    InspectorButton* quickLookButton() const { return m_quickLook; }
    InspectorButton* pasteButton() const { return m_paste; }
    InspectorButton* pasteAsButton() const { return m_pasteAs; }
    InspectorButton* copyButton() const { return m_copy; }
    InspectorButton* editButton() const { return m_edit; }
    InspectorButton* pinButton() const { return m_pin; }
    InspectorButton* boardButton() const { return m_board; }
    QMenu* pasteAsMenu() const { return m_pasteAsMenu; }
    QMenu* boardMenu() const { return m_boardMenu; }
    QScrollArea* scrollArea() const { return m_scroll; }
    QWidget* ocrCard() const { return m_ocrCard; }
    OCRStatusLabel* ocrStatusLabel() const { return m_ocrStatus; }
    QWidget* ocrStatusRow() const { return m_ocrStatusRow; }
    InspectorBusyIndicator* ocrProgress() const { return m_ocrProgress; }
    QLabel* ocrExplanationLabel() const { return m_ocrExplanation; }
    InspectorButton* ocrButton() const { return m_ocrButton; }
    QLabel* fileNote() const { return m_fileNote; }
    QLabel* cutNote() const { return m_cutNote; }
    SelectablePlainText* textPreview() const { return m_textPreview; }
    ClipImagePreview* imagePreview() const { return m_imagePreview; }
    ClipFileList* fileList() const { return m_fileList; }
    QList<TolviBadge*> badges() const { return m_badges; }
    InspectorButton* selectButton() const { return m_select; }
    // The card's tools for the clip, in order.
    QList<InspectorButton*> toolButtons() const { return m_tools; }
    QLabel* noActionsLabel() const { return m_noActions; }
    LineLimitedLabel* recognizedTextPreview() const { return m_recognizedPreview; }
    TolviAccessibilityAnnouncement* announcement() const { return m_announcement; }

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildHeader(QVBoxLayout* layout);
    void buildPrimaryActions(QVBoxLayout* layout);
    void buildColumn(QVBoxLayout* layout);
    void buildOCRCard(QVBoxLayout* column);
    void buildActionsCard(QVBoxLayout* column);
    void styleScrollBar();

    void showHeader();
    void showPrimaryActions();
    void showOCRControls(bool otherClip);
    void showPreview();
    void showBadges();
    void showTools();
    void fillPasteAsMenu();
    void fillBoardMenu();
    // Runs an action with the clip shown, if any.
    void withItem(const std::function<void(const Actions&, const ClipboardItem&)>& act) const;
    InspectorButton* addTool(QWidget* container, const QString& title, const QString& systemImage,
                             std::function<void()> act);

    Actions m_actions;
    ThumbnailCache* m_thumbnails;
    std::function<double()> m_now;
    std::optional<Input> m_input;
    ClipDetectedKind m_kind{ClipboardContent::text(QString())};

    TolviIconTile* m_iconTile = nullptr;
    LineLimitedLabel* m_title = nullptr;
    LineLimitedLabel* m_metadata = nullptr;
    InspectorButton* m_quickLook = nullptr;
    InspectorButton* m_paste = nullptr;
    InspectorButton* m_pasteAs = nullptr;
    InspectorButton* m_copy = nullptr;
    InspectorButton* m_edit = nullptr;
    InspectorButton* m_pin = nullptr;
    InspectorButton* m_board = nullptr;
    QMenu* m_pasteAsMenu = nullptr;
    QMenu* m_boardMenu = nullptr;
    QScrollArea* m_scroll = nullptr;
    QWidget* m_ocrCard = nullptr;
    QWidget* m_ocrStatusRow = nullptr;
    InspectorBusyIndicator* m_ocrProgress = nullptr;
    OCRStatusLabel* m_ocrStatus = nullptr;
    QLabel* m_ocrExplanation = nullptr;
    QWidget* m_ocrButtonRow = nullptr;
    InspectorButton* m_ocrButton = nullptr;
    QLabel* m_fileNote = nullptr;
    // Under the first part of a text too long to show whole.
    QLabel* m_cutNote = nullptr;
    SelectablePlainText* m_textPreview = nullptr;
    ClipImagePreview* m_imagePreview = nullptr;
    ClipFileList* m_fileList = nullptr;
    QWidget* m_badgeRow = nullptr;
    QList<TolviBadge*> m_badges;
    InspectorButton* m_select = nullptr;
    QVBoxLayout* m_cardLayout = nullptr;
    QWidget* m_toolArea = nullptr;
    QList<InspectorButton*> m_tools;
    QLabel* m_noActions = nullptr;
    LineLimitedLabel* m_recognizedPreview = nullptr;
    QPointer<TolviAccessibilityAnnouncement> m_announcement;
};

} // namespace tolvi
