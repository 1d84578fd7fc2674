#pragma once

#include "Tolvi/clipviews/HistoryStorageNotice.h"
#include "Tolvi/history/HistoryContentSplit.h"
#include "Tolvi/history/HistoryOverlayPresenter.h"
#include "Tolvi/history/HistoryWindowState.h"

#include <QMessageBox>
#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <functional>

class QLineEdit;
class QListView;
class QMenu;
class QStackedWidget;
class QVBoxLayout;

namespace tolvi {

class BoardManagementView;
class ClipListModel;
class ClipQuickLookOverlay;
class ClipTextEditorOverlay;
class EmptyHistoryView;
class NewSnippetOverlay;
class PasteQueueNotice;
class PasteService;
class PreferencesStore;
class ThumbnailCache;

// The history window's content: the search section, the clip list with the inspector place
// beside it (or the narrow action strip under it), the empty states, and the places the header,
// the notices, the footer and the overlays take. It shows the state of a HistoryWindowState
// and turns the user's input into its commands; keyboard commands reach it through the panel
// command bus, posted for `panel`.
class ClipboardHistoryPanel : public QWidget {
    Q_OBJECT
public:
    ClipboardHistoryPanel(HistoryWindowState& state, ThumbnailCache* thumbnails, QWidget* panel,
                          PreferencesStore* preferences = nullptr, QWidget* parent = nullptr);
    ~ClipboardHistoryPanel() override;

    HistoryWindowState& state() const { return m_state; }
    QLineEdit* searchField() const { return m_search; }
    QListView* list() const { return m_list; }
    ClipListModel& model() const { return *m_model; }
    EmptyHistoryView* emptyView() const { return m_empty; }
    bool isShowingList() const;
    // The window is wide enough for the inspector beside the list.
    bool isWideLayout() const;

    // Where the other pieces of the window go.
    QWidget* headerPlace() const { return m_headerPlace; }
    QWidget* noticePlace() const { return m_noticePlace; }
    QWidget* filterBarPlace() const { return m_filterBarPlace; }
    QWidget* inspectorPlace() const;
    QWidget* narrowActionsPlace() const;
    QWidget* footerPlace() const { return m_footerPlace; }
    QWidget* overlayHost() const { return m_overlays->host(); }

    // Puts the storage notice and the paste-queue notice under the header. The queue notice is
    // left out of sight while an overlay, sheet or confirmation is open.
    void installNotices(PasteService& pasteService, HistoryStorageNotice::Actions storageActions);
    HistoryStorageNotice* storageNotice() const { return m_storageNotice; }
    PasteQueueNotice* pasteQueueNotice() const { return m_queueNotice; }

    // Where the full-size preview's links open: the desktop's default browser (QDesktopServices
    // while none is set).
    void setOpenUrl(std::function<bool(const QUrl&)> openUrl) { m_overlays->setOpenUrl(std::move(openUrl)); }
    // The full-size preview while the state previews a clip.
    ClipQuickLookOverlay* previewOverlay() const { return m_overlays->previewOverlay(); }

    // The open clear-history confirmation, if any.
    QMessageBox* clearHistoryConfirmation() const { return m_overlays->clearHistoryConfirmation(); }
    // The board sheet while it is shown (also while it goes out).
    BoardManagementView* boardSheet() const { return m_overlays->boardSheet(); }
    // The quick-edit and new-snippet cards, while they are shown (also while they go out).
    ClipTextEditorOverlay* quickEditOverlay() const { return m_overlays->quickEditOverlay(); }
    NewSnippetOverlay* newSnippetOverlay() const { return m_overlays->newSnippetOverlay(); }
    // The context menu of a row, as a right click or the menu key opens it.
    QMenu* makeRowMenu(const QUuid& itemID, QWidget* parent);

    static constexpr int minimumWidth = 520;
    static constexpr int minimumHeight = 430;
    static constexpr int wideLayoutWidth = HistoryContentSplit::wideLayoutWidth;

    // Shows the places that hold something, with their dividers.
    void updatePlaces();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildSearchSection(QVBoxLayout* layout);
    void styleScrollBar();
    void showFilteredItems();
    void showLens();
    void applySearchFocus(bool focused);
    void applyOverlays();
    void scrollToPending();
    void openRowMenu(const QPoint& position);
    void focusChanged(QWidget* old, QWidget* now);

    HistoryWindowState& m_state;
    ThumbnailCache* m_thumbnails;
    QPointer<QWidget> m_panel;
    ClipListModel* m_model = nullptr;
    QWidget* m_headerPlace = nullptr;
    QWidget* m_noticePlace = nullptr;
    QWidget* m_filterBarPlace = nullptr;
    QWidget* m_footerPlace = nullptr;
    QWidget* m_footerDivider = nullptr;
    HistoryStorageNotice* m_storageNotice = nullptr;
    PasteQueueNotice* m_queueNotice = nullptr;
    QWidget* m_queueNoticeHolder = nullptr;
    QWidget* m_body = nullptr;
    QLineEdit* m_search = nullptr;
    QListView* m_list = nullptr;
    QStackedWidget* m_content = nullptr;
    EmptyHistoryView* m_empty = nullptr;
    HistoryContentSplit* m_split = nullptr;
    HistoryOverlayPresenter* m_overlays = nullptr;
    bool m_syncingCurrent = false;
};

} // namespace tolvi
