#pragma once

#include "Tolvi/design/CardOverlay.h"
#include "Tolvi/inspector/ClipQuickLook.h"
#include "Tolvi/inspector/ClipTextEditor.h"
#include "Tolvi/inspector/LatestAnswer.h"
#include "TolviCore/model/ClipboardItem.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

class QAbstractButton;
class QPlainTextEdit;
class QStackedWidget;

namespace tolvi {

class ClipboardStore;
class ThumbnailCache;

namespace quicklook {
class DetailsTable;
class ImagePreview;
class KindTile;
class LinkCard;
class TabPicker;
class TextLine;
} // namespace quicklook

// The full-size preview of one clip, on a card over a dimmed window: its whole text or
// picture, the text recognised in an image and a table of details, with a row of actions (open
// the link, copy the recognised text, copy, paste, close). It shows the clip as the store holds
// it now: it looks the clip up again whenever the history changes, and closes when the clip is
// gone. Pictures are decoded at the size shown, off the main thread. Main thread only.
class ClipQuickLookOverlay final : public TolviCardOverlay {
    Q_OBJECT
public:
    // What the host does for the overlay. The overlay stays open after every action but close.
    struct Actions {
        std::function<void(const ClipboardItem&)> pasteItem;
        std::function<void(const ClipboardItem&)> copyItem;
        std::function<void(const QString&)> copyText;
        // Removes the overlay (the backdrop, "Close", and a clip that left the history ask for it).
        std::function<void()> close;
        // Hands a web address to the desktop's default browser; its answer is not used.
        std::function<bool(const QUrl&)> openUrl;
    };

    struct Environment {
        // The history the clip is looked up in again on every change; none: the clip as given.
        ClipboardStore* store = nullptr;
        // Where pictures are decoded; none: pictures show as unavailable.
        ThumbnailCache* thumbnails = nullptr;
        // Seconds since 2001-01-01 UTC, for the age in the subtitle; the system clock when empty.
        std::function<double()> now;
    };

    enum class Control {
        // Header.
        openLink,
        copyOCRText,
        copy,
        paste,
        close,
        // The link card's "Open" and the OCR tab's "Copy OCR Text".
        openFromLinkCard,
        copyExtractedText,
    };

    // What the picture of an image clip shows now.
    enum class ImageState { none, pending, ready, unavailable };

    // The card: 460 x 380 to 820 x 740 points, ideally 680 x 560, 28 from the host's edges,
    // over a backdrop of black at 13%.
    static Geometry previewGeometry();

    ClipQuickLookOverlay(const ClipboardItem& item, Actions actions, Environment environment, QWidget* host,
                         QuickLookTab selectedTab = QuickLookTab::preview);
    ~ClipQuickLookOverlay() override;

    const ClipboardItem& item() const { return m_item; }
    // Shows the clip as it is now (the same clip changed, or recorded again under another id).
    void setItem(const ClipboardItem& item);

    QuickLookTab selectedTab() const { return m_selectedTab; }
    void setSelectedTab(QuickLookTab tab);
    // The tabs the picker offers now.
    const QList<QuickLookTab>& availableTabs() const { return m_availableTabs; }

    // The host's own corners, when they are rounded: the dimmed backdrop keeps within them.
    void setHostCornerRadius(qreal radius);

    // Asks the host to close (once).
    void requestClose();
    // Puts the keyboard focus on what the selected tab shows.
    void takeFocus();

    // The parts, for hosts and tests.
    QAbstractButton* button(Control control) const;
    // Whether the control is on the card now (hidden ones are not).
    bool offers(Control control) const;
    QAbstractButton* tabButton(QuickLookTab tab) const;
    ClipTextEditor* textView() const { return m_text; }
    QPlainTextEdit* ocrTextView() const { return m_ocrText; }
    QWidget* imageView() const;
    QWidget* linkCard() const;
    // The note under the first part of a text too long to show whole.
    QWidget* cutNote() const;
    // Whether the findings of a long text are still being worked out ("Detecting...").
    bool isDetecting() const { return !findings().has_value(); }
    ImageState imageState() const;
    QString subtitle() const;
    // The rows the details tab shows now.
    QList<ClipQuickLook::DetailRow> shownDetailRows() const;

signals:
    void selectedTabChanged(QuickLookTab tab);

protected:
    // Focus given to the overlay goes to what the selected tab shows.
    void focusInEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildCard();
    QWidget* buildHeader();
    QWidget* buildPreviewPage();
    QWidget* buildOCRPage();
    QWidget* buildDetailsPage();
    void showClip(const ClipboardItem& item);
    // The findings of the clip shown, once they are there.
    const std::optional<ClipQuickLook::TextFindings>& findings() const;
    // The header, the link card, the text's font and the details, for the findings there are.
    void showFindings();
    void showDetails();
    void openLink();
    void normalizeSelectedTab();
    void showSelectedTab();
    void storeChanged();

    ClipboardItem m_item;
    Actions m_actions;
    Environment m_environment;
    QuickLookTab m_selectedTab;
    QList<QuickLookTab> m_availableTabs;
    bool m_closeRequested = false;
    qreal m_hostCornerRadius = 0;

    quicklook::KindTile* m_kindTile = nullptr;
    quicklook::TextLine* m_subtitle = nullptr;
    QList<QAbstractButton*> m_headerButtons;
    quicklook::TabPicker* m_picker = nullptr;
    QStackedWidget* m_pages = nullptr;
    QStackedWidget* m_previewKinds = nullptr;
    QWidget* m_textPage = nullptr;
    quicklook::LinkCard* m_linkCard = nullptr;
    QWidget* m_textPlate = nullptr;
    ClipTextEditor* m_text = nullptr;
    // Under a text too long to show whole.
    quicklook::TextLine* m_cutNote = nullptr;
    // The text the view was given last (the view itself reads back paragraph separators).
    QString m_shownText;
    quicklook::ImagePreview* m_image = nullptr;
    QPlainTextEdit* m_ocrText = nullptr;
    QString m_shownOCRText;
    QAbstractButton* m_copyExtracted = nullptr;
    quicklook::DetailsTable* m_details = nullptr;
    // What a long text's look at all of it found, and its counts: worked out off the main
    // thread for the text shown now. A short text's findings are worked out in place.
    LatestAnswer<ClipQuickLook::TextFindings> m_detection{this};
    LatestAnswer<ClipQuickLook::TextCounts> m_counting{this};
    std::optional<ClipQuickLook::TextFindings> m_inPlaceFindings;
};

} // namespace tolvi
