#pragma once

#include "Tolvi/panels/WindowControllers.h"
#include "Tolvi/history/HistoryWindowActions.h"
#include "Tolvi/panels/EscapeClosingPanel.h"
#include "TolviCore/featureflags/FeatureFlags.h"

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>

#include <exception>
#include <functional>

class QKeyEvent;

namespace tolvi {

class UnsavedDrafts;

class AIService;
class ClipboardHistoryPanel;
class ClipboardStore;
class HistoryWindowState;
class KeyValueSettings;
class PasteService;
class PreferencesStore;
class ThumbnailCache;
class TolviTheme;
class UsageMetricsStore;

// Owns the history window: makes its panel and content once, records the paste target each
// time it opens, places it, turns its key presses into panel commands and every action of its
// content into calls on the store, the paste service, the AI service and the usage counters.
class ClipboardPanelController final : public QObject, public HistoryWindowControlling {
    Q_OBJECT
public:
    struct Dependencies {
        ClipboardStore& store;
        FeatureFlags featureFlags;
        UsageMetricsStore& usageMetrics;
        PasteService& pasteService;
        // The user's preferences the window shows and changes (theme, capture); none: not shown.
        PreferencesStore* preferences = nullptr;
        // Absent: the window offers no AI actions that could run.
        AIService* aiService = nullptr;
        // Asks for text recognition of an image again; empty when that is not possible.
        std::function<void(const ClipboardItem&)> retryOCR;
        std::function<void()> showSetup;
        TolviTheme* theme = nullptr;
        // Where the window's size is kept between launches; none: not kept.
        KeyValueSettings* settings = nullptr;
        ThumbnailCache* thumbnails = nullptr;
        // The identifier this program records as the source of the snippets written in it.
        QString bundleIdentifier;
        // The sentence shown for an error a board operation throws.
        std::function<QString(const std::exception&)> describeError;
        // Seconds since 2001-01-01 UTC; the system clock when empty.
        std::function<double()> now;
        // The history file (its folder is what the storage notice shows); the default one when empty.
        QString historyFilePath{};
        // Opens a folder or web page in the user's programs; QDesktopServices when empty.
        std::function<bool(const QUrl&)> openUrl{};
        // The archive export flow, with its dialogs parented to the given window; none: not offered.
        std::function<void(QWidget* parent)> exportHistory{};
        // Where the text typed into Quick Edit and New Snippet goes when the program ends, and
        // comes back from at the next start; none: not kept.
        UnsavedDrafts* drafts = nullptr;
        // Where the pointer is, in screen coordinates: the window opens on the screen that holds
        // it. QCursor::pos() when empty.
        std::function<QPoint()> pointerPosition{};
    };

    static inline const QString frameAutosaveName = QStringLiteral("TolviConsoleHistoryPanel");
    static inline const QString windowTitle = QStringLiteral("Tolvi");
    static constexpr QSize initialSize{860, 640};
    static constexpr QSize minimumSize{520, 430};
    static constexpr QSize maximumSize{980, 900};

    explicit ClipboardPanelController(Dependencies dependencies, QObject* parent = nullptr);
    ~ClipboardPanelController() override;

    bool hasWindow() const override;
    bool isWindowVisible() const override;
    void orderOut() override;
    // X11 offers no way to keep a window out of screen captures.
    void setHiddenFromScreenCapture(bool) override {}
    void show(bool opensNewSnippet) override;
    void toggle() override;

    EscapeClosingPanel* panel() const { return m_panel; }
    ClipboardHistoryPanel* view() const { return m_view; }
    HistoryWindowState* windowState() const { return m_state; }
    PreferencesStore* preferences() const { return m_dependencies.preferences; }
    bool blocksHistoryShortcuts() const { return m_blocksHistoryShortcuts; }

    // The window's size on a screen whose usable area is `visible`, from its current size:
    // never grown, shrunk to fit, never below the minimum. And the place of its top-left corner.
    static QSize fittedSize(const QRect& visible, const QSize& current);
    static QPoint origin(const QRect& visible, const QSize& size);

private:
    EscapeClosingPanel* makePanel();
    void installContent(bool opensNewSnippet);
    void position();
    bool handleKey(QKeyEvent* event);
    HistoryWindowActions makeActions();
    void saveSize() const;
    void joinUnsavedDrafts();

    Dependencies m_dependencies;
    QPointer<EscapeClosingPanel> m_panel;
    HistoryWindowState* m_state = nullptr;
    ClipboardHistoryPanel* m_view = nullptr;
    bool m_blocksHistoryShortcuts = false;
    bool m_hasInstalledContent = false;
};

} // namespace tolvi
