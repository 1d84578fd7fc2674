#pragma once

#include "Tolvi/panels/WindowControllers.h"
#include "Tolvi/compact/CompactClipboardPanel.h"
#include "Tolvi/compact/CompactPanelState.h"
#include "Tolvi/clipviews/HistoryStorageNotice.h"
#include "Tolvi/panels/EscapeClosingPanel.h"
#include "Tolvi/panels/PanelKeyboardRouting.h"
#include "TolviCore/featureflags/FeatureFlags.h"

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>

#include <functional>
#include <optional>

class QKeyEvent;

namespace tolvi {

class AIService;
class ClipboardStore;
class PasteService;
class ThumbnailCache;
class TolviTheme;
class UnsavedDrafts;
class UsageMetricsStore;

// Owns the compact quick-paste panel: makes its window and content once, records the paste
// target each time it opens, places it under the pointer, turns its key presses into compact
// commands and every action of its content into calls on the paste service, the AI service
// and the usage counters.
class CompactClipboardPanelController final : public QObject, public CompactPanelControlling {
    Q_OBJECT
public:
    struct Dependencies {
        ClipboardStore& store;
        FeatureFlags featureFlags;
        UsageMetricsStore& usageMetrics;
        PasteService& pasteService;
        // Absent: no AI action can run.
        AIService* aiService = nullptr;
        // Asks for text recognition of an image again; empty when that is not possible.
        std::function<void(const ClipboardItem&)> retryOCR = {};
        TolviTheme* theme = nullptr;
        ThumbnailCache* thumbnails = nullptr;
        // Seconds since 2001-01-01 UTC; the system clock when empty.
        std::function<double()> now = {};
        // The full-size preview of a clip over the panel; none: the panel offers no preview.
        CompactClipboardPanel::PreviewFactory makePreview = {};
        // What the storage notice under the top bar offers for a storage problem: the history
        // file whose folder it shows (the default one when empty), how it opens a folder, and
        // the export of a copy of the history held in memory ("Export Copy…" after a failed
        // save; none when empty), as the history window's notice does.
        QString historyFilePath = {};
        std::function<bool(const QUrl&)> openUrl = {};
        std::function<void(QWidget* parent)> exportHistory = {};
        // Where the pointer is, in global coordinates; QCursor::pos() when empty.
        std::function<QPoint()> pointerPosition = {};
        // Where the editor's typed text goes when the program ends, and comes back from at the
        // next start; none: not kept.
        UnsavedDrafts* drafts = nullptr;
    };

    static inline const QString windowTitle = QStringLiteral("Tolvi Compact");
    static constexpr int idealWidth = 520;
    static constexpr QSize minimumSize{420, 220};
    static constexpr QSize maximumSize{840, 720};

    explicit CompactClipboardPanelController(Dependencies dependencies, QObject* parent = nullptr);
    ~CompactClipboardPanelController() override;

    bool hasWindow() const override;
    bool isWindowVisible() const override;
    void orderOut() override;
    // X11 offers no way to keep a window out of screen captures.
    void setHiddenFromScreenCapture(bool) override {}
    void show() override;
    void toggle() override;

    EscapeClosingPanel* panel() const { return m_panel; }
    CompactClipboardPanel* view() const { return m_view; }
    CompactPanelState* panelState() const { return m_state; }
    CompactPanelMode panelMode() const { return m_panelMode; }
    bool isModalInteractionActive() const { return m_modalInteractionActive; }

    // The top-left corner of a panel of `size` opened with the pointer at `pointer` on a screen
    // whose usable area is `available`: centred under the pointer (18 points below it, or above
    // it when there is no room below), at least 16 points inside the area sideways and 18 points
    // at the top and bottom; centred in the area along a side it does not fit.
    static QPoint placement(const QPoint& pointer, const QRect& available, const QSize& size);
    // The top-left corner that keeps a panel at `frame` inside `available` with the same
    // margins, moving it as little as it can (centred along a side it does not fit).
    static QPoint keptInside(const QRect& frame, const QRect& available);

    // The command a key press makes in the panel, if any: nothing while editing or while a
    // modal interaction is up, nothing for the text editor.
    static std::optional<CompactKeyboardCommand> keyCommand(int key, Qt::KeyboardModifiers modifiers,
                                                            PanelKeyboardRouting::Focus focus, CompactPanelMode mode,
                                                            bool modalInteractionActive);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    EscapeClosingPanel* makePanel();
    void installContent();
    void position();
    bool handleKey(QKeyEvent* event);
    CompactPanelActions makeActions();
    void applyPanelHeight(int height);
    // The usable area of the screen that holds `point` (or the panel's, or the primary one).
    QRect availableArea(const QPoint& point) const;
    void restoreFocus();
    void joinUnsavedDrafts();

    Dependencies m_dependencies;
    QPointer<EscapeClosingPanel> m_panel;
    CompactPanelState* m_state = nullptr;
    CompactClipboardPanel* m_view = nullptr;
    CompactPanelMode m_panelMode = CompactPanelMode::results;
    bool m_modalInteractionActive = false;
    bool m_hasInstalledContent = false;
    bool m_hasAppeared = false;
    // Opened above the pointer (no room under it): the panel grows upward.
    bool m_opensAbovePointer = false;
};

} // namespace tolvi
