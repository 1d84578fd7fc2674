#pragma once

#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QUuid>

#include <functional>

class QMessageBox;
class QWidget;

namespace tolvi {

class BoardManagementView;
class ClipQuickLookOverlay;
class ClipTextEditorOverlay;
class HistoryWindowState;
class NewSnippetOverlay;
class ThumbnailCache;
class TolviCardOverlay;

// What the history window opens over its content, brought in and taken away as its state asks:
// the full-size preview, the board sheet, the quick-edit and new-snippet cards (on a host over
// the whole content) and the clear-history confirmation (window-modal on `dialogOwner`). Once
// a card has gone the keyboard focus goes back to `list`.
class HistoryOverlayPresenter : public QObject {
    Q_OBJECT
public:
    HistoryOverlayPresenter(HistoryWindowState& state, ThumbnailCache* thumbnails, QWidget* content,
                            QPointer<QWidget> dialogOwner, QWidget* list);
    ~HistoryOverlayPresenter() override;

    // The widget the cards lie on, over the whole content.
    QWidget* host() const { return m_host; }
    // The host takes the content's size again.
    void fitHost();
    // Shows what the state has open now and takes away what it closed.
    void apply();

    // Where the full-size preview's links open: the desktop's default browser (QDesktopServices
    // while none is set).
    void setOpenUrl(std::function<bool(const QUrl&)> openUrl);
    ClipQuickLookOverlay* previewOverlay() const;
    BoardManagementView* boardSheet() const;
    ClipTextEditorOverlay* quickEditOverlay() const;
    NewSnippetOverlay* newSnippetOverlay() const;
    QMessageBox* clearHistoryConfirmation() const { return m_confirmation; }

private:
    QWidget* dialogOwner() const;
    void focusList();
    void applyPreview();
    void applyBoardSheet();
    void applyEditorOverlays();
    void presentClearHistoryConfirmation();
    // Puts a card on the host and lets it come in.
    void presentCard(TolviCardOverlay* card);
    // Lets a card go out, then deletes it (and hides the host once no card is left on it) and
    // calls `afterwards`.
    void dismissCard(TolviCardOverlay* card, std::function<void()> afterwards = {});

    HistoryWindowState& m_state;
    ThumbnailCache* m_thumbnails;
    QWidget* m_content;
    QPointer<QWidget> m_dialogOwner;
    QPointer<QWidget> m_list;
    QWidget* m_host = nullptr;
    QPointer<QMessageBox> m_confirmation;
    QPointer<ClipQuickLookOverlay> m_preview;
    std::function<bool(const QUrl&)> m_openUrl;
    QPointer<TolviCardOverlay> m_boardSheet;
    QPointer<ClipTextEditorOverlay> m_quickEdit;
    // The clip the window asked to edit (the card may follow it to a new id).
    QUuid m_quickEditRequest;
    QPointer<NewSnippetOverlay> m_newSnippet;
};

} // namespace tolvi
