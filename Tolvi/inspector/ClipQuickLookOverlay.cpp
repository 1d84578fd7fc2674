#include "Tolvi/inspector/ClipQuickLookOverlay.h"

#include "Tolvi/design/Badges.h"
#include "Tolvi/design/DesignTokens.h"
#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/clipviews/ThumbnailCache.h"
#include "Tolvi/inspector/ClipDetectedKind.h"
#include "Tolvi/inspector/ClipQuickLookImagePreview.h"
#include "Tolvi/inspector/ClipQuickLookParts.h"
#include "Tolvi/inspector/ClipTextEditor.h"
#include "Tolvi/inspector/ShownText.h"
#include "TolviCore/model/ReferenceDate.h"
#include "TolviCore/search/ClipboardFormatter.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegion>
#include <QResizeEvent>
#include <QStackedWidget>
#include <QTextDocument>
#include <QVBoxLayout>

namespace tolvi {

using TolviDesign::ColorToken;
using TolviDesign::Typography;

namespace {

QFont previewTextFont(bool monospaced)
{
    QFont font = TolviDesign::systemFont(14);
    if (monospaced) {
        font.setFamily(QStringLiteral("monospace"));
        font.setStyleHint(QFont::Monospace);
    }
    return font;
}

// A read-only, selectable view of text over a plate, in the preview's font.
template <typename View>
View* makeReadOnlyView(QWidget* parent)
{
    auto* view = new View(parent);
    view->setReadOnly(true);
    view->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    view->setFrameShape(QFrame::NoFrame);
    view->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    view->document()->setDocumentMargin(14);
    view->setFont(previewTextFont(false));
    return view;
}

QPlainTextEdit* makeTextView(QWidget* parent)
{
    auto* view = makeReadOnlyView<QPlainTextEdit>(parent);
    view->setAutoFillBackground(false);
    view->viewport()->setAutoFillBackground(false);
    QPalette palette = view->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    view->setPalette(palette);
    return view;
}

// The clip's text: the editor that shows long lines in pieces, read-only, so that any text
// shows without laying out a huge line at once, and a copy gives the text as stored.
ClipTextEditor* makeClipTextView(QWidget* parent)
{
    auto* view = makeReadOnlyView<ClipTextEditor>(parent);
    view->setLeavesBackground(true);
    return view;
}

} // namespace

using namespace quicklook;

TolviCardOverlay::Geometry ClipQuickLookOverlay::previewGeometry()
{
    Geometry geometry;
    geometry.minimum = QSize(460, 380);
    geometry.ideal = QSize(680, 560);
    geometry.maximum = QSize(820, 740);
    geometry.margin = 28;
    geometry.backdropOpacity = 0.13;
    geometry.shadowCornerRadius = 18;
    return geometry;
}

ClipQuickLookOverlay::ClipQuickLookOverlay(const ClipboardItem& item, Actions actions, Environment environment,
                                           QWidget* host, QuickLookTab selectedTab)
    : TolviCardOverlay(new Card, previewGeometry(), host),
      m_item(item),
      m_actions(std::move(actions)),
      m_environment(std::move(environment)),
      m_selectedTab(selectedTab)
{
    setObjectName(QStringLiteral("clipQuickLook"));
    if (!m_environment.now)
        m_environment.now = [] { return ReferenceDate::now(); };
    buildCard();
    connect(this, &TolviCardOverlay::backdropClicked, this, &ClipQuickLookOverlay::requestClose);
    if (m_environment.store)
        connect(m_environment.store, &ClipboardStore::itemsChanged, this, &ClipQuickLookOverlay::storeChanged);
    showClip(m_item);
}

ClipQuickLookOverlay::~ClipQuickLookOverlay() = default;

void ClipQuickLookOverlay::buildCard()
{
    auto* content = new QWidget;
    static_cast<TolviGlassSurface*>(card())->setContentWidget(content);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(12);
    layout->addWidget(buildHeader());

    m_picker = new TabPicker(card());
    m_picker->chosen = [this](QuickLookTab tab) { setSelectedTab(tab); };
    layout->addWidget(m_picker);

    m_pages = new QStackedWidget(card());
    m_pages->addWidget(buildPreviewPage());
    m_pages->addWidget(buildOCRPage());
    m_pages->addWidget(buildDetailsPage());
    layout->addWidget(m_pages, 1);
}

QWidget* ClipQuickLookOverlay::buildHeader()
{
    auto* header = new QWidget(card());
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);
    m_kindTile = new KindTile(header);
    row->addWidget(m_kindTile);

    auto* titles = new QVBoxLayout;
    titles->setSpacing(2);
    auto* title = new TextLine(Typography::title, ColorToken::ink, Qt::ElideRight, header);
    title->setText(QStringLiteral("Quick Look"));
    m_subtitle = new TextLine(Typography::meta, ColorToken::muted, Qt::ElideRight, header);
    titles->addWidget(title);
    titles->addWidget(m_subtitle);
    row->addLayout(titles, 1);

    const struct {
        Control control;
        const char* title;
        const char* symbol;
    } buttons[] = {
        // Desktops open addresses in their default browser: the globe stands for it.
        {Control::openLink, "Open Link", "globe"},
        {Control::copyOCRText, "Copy OCR Text", "text.viewfinder"},
        {Control::copy, "Copy", "doc.on.doc"},
        {Control::paste, "Paste", "arrow.down.doc"},
        {Control::close, "Close", "xmark"},
    };
    for (const auto& entry : buttons) {
        auto* button = new HeaderButton(QString::fromLatin1(entry.title), QString::fromLatin1(entry.symbol), header);
        button->setObjectName(QStringLiteral("quickLook.") + QString::fromLatin1(entry.title).remove(QLatin1Char(' ')));
        row->addWidget(button);
        m_headerButtons.append(button);
        const Control control = entry.control;
        connect(button, &QAbstractButton::clicked, this, [this, control] {
            // The host's action may change the history, and so this overlay, or remove it: it
            // gets copies and nothing of the overlay is read after it.
            switch (control) {
            case Control::openLink:
                openLink();
                break;
            case Control::copyOCRText:
                if (const auto text = ClipQuickLook::ocrText(m_item); text && m_actions.copyText)
                    std::function<void(const QString&)>(m_actions.copyText)(*text);
                break;
            case Control::copy:
                if (m_actions.copyItem)
                    std::function<void(const ClipboardItem&)>(m_actions.copyItem)(ClipboardItem(m_item));
                break;
            case Control::paste:
                if (m_actions.pasteItem)
                    std::function<void(const ClipboardItem&)>(m_actions.pasteItem)(ClipboardItem(m_item));
                break;
            case Control::close:
                requestClose();
                break;
            case Control::openFromLinkCard:
            case Control::copyExtractedText:
                break;
            }
        });
    }
    return header;
}

namespace {

// The column a page of the card is laid out in.
QVBoxLayout* makePageColumn(QWidget* page)
{
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    return column;
}

// A read-only text view on `plate`, the plate taking the rest of `column`.
template <typename View>
View* addPlatedTextView(QVBoxLayout* column, Plate* plate, View* view, const QString& objectName,
                        const QString& accessibleName)
{
    auto* plateLayout = new QVBoxLayout(plate);
    plateLayout->setContentsMargins(1, 1, 1, 1);
    view->setObjectName(objectName);
    view->setAccessibleName(accessibleName);
    plateLayout->addWidget(view);
    column->addWidget(plate, 1);
    return view;
}

} // namespace

QWidget* ClipQuickLookOverlay::buildPreviewPage()
{
    m_previewKinds = new QStackedWidget(card());

    m_textPage = new QWidget(m_previewKinds);
    QVBoxLayout* column = makePageColumn(m_textPage);
    m_linkCard = new LinkCard(m_textPage);
    column->addWidget(m_linkCard);
    connect(m_linkCard->openButton(), &QAbstractButton::clicked, this, &ClipQuickLookOverlay::openLink);
    auto* plate = new Plate(ColorToken::ink, 0.035, m_textPage);
    m_textPlate = plate;
    m_text = addPlatedTextView(column, plate, makeClipTextView(plate), QStringLiteral("quickLookText"),
                               QStringLiteral("Clip text"));
    m_cutNote = new TextLine(Typography::meta, ColorToken::muted, Qt::ElideRight, m_textPage);
    m_cutNote->setText(ShownText::note());
    m_cutNote->setVisible(false);
    column->addWidget(m_cutNote);
    m_previewKinds->addWidget(m_textPage);

    m_image = new ImagePreview(m_environment.thumbnails, m_previewKinds);
    m_image->setAccessibleName(QStringLiteral("Image preview"));
    m_previewKinds->addWidget(m_image);
    return m_previewKinds;
}

QWidget* ClipQuickLookOverlay::buildOCRPage()
{
    auto* page = new QWidget(card());
    QVBoxLayout* column = makePageColumn(page);

    auto* heading = new QHBoxLayout;
    heading->setSpacing(6);
    heading->addWidget(new TolviSymbolMark(QStringLiteral("text.viewfinder"), ColorToken::ink,
                                           SymbolCatalog::pixelSizeForPointSize(13), page));
    auto* label = new TextLine(Typography::bodyStrong, ColorToken::ink, Qt::ElideRight, page);
    label->setText(QStringLiteral("Extracted Text"));
    heading->addWidget(label, 1);
    auto* copy = new QPushButton(QStringLiteral("Copy OCR Text"), page);
    copy->setObjectName(QStringLiteral("quickLookCopyExtracted"));
    copy->setAutoDefault(false);
    m_copyExtracted = copy;
    heading->addWidget(copy);
    column->addLayout(heading);
    connect(copy, &QAbstractButton::clicked, this, [this] {
        if (const auto text = ClipQuickLook::ocrText(m_item); text && m_actions.copyText)
            std::function<void(const QString&)>(m_actions.copyText)(*text);
    });

    auto* ocrPlate = new Plate(ColorToken::mint, 0.05, page);
    m_ocrText = addPlatedTextView(column, ocrPlate, makeTextView(ocrPlate), QStringLiteral("quickLookOCRText"),
                                  QStringLiteral("Extracted text"));
    return page;
}

QWidget* ClipQuickLookOverlay::buildDetailsPage()
{
    auto* page = new QWidget(card());
    QVBoxLayout* column = makePageColumn(page);
    auto* heading = new TextLine(Typography::bodyStrong, ColorToken::ink, Qt::ElideRight, page);
    heading->setText(QStringLiteral("Clip Details"));
    column->addWidget(heading);
    m_details = new DetailsTable(page);
    column->addWidget(m_details);
    column->addStretch(1);
    return page;
}

void ClipQuickLookOverlay::setItem(const ClipboardItem& item)
{
    if (item.sharesDataWith(m_item))
        return;
    m_item = item;
    showClip(m_item);
}

void ClipQuickLookOverlay::showClip(const ClipboardItem& item)
{
    const QString* text = item.content().textIf();
    if (text && text->size() > ShownText::countedInPlaceLimit) {
        // A long text is looked at whole once, off the main thread; until the answers are there
        // the card says "Detecting..." and the counts "Counting...".
        m_inPlaceFindings.reset();
        m_detection.ask(*text, [item] { return ClipQuickLook::findings(item); },
                        [this](const ClipQuickLook::TextFindings&) { showFindings(); });
        m_counting.ask(*text, [counted = *text] { return ClipQuickLook::textCounts(counted); },
                       [this](const ClipQuickLook::TextCounts&) { showDetails(); });
    } else {
        m_detection.clear();
        m_counting.clear();
        m_inPlaceFindings = ClipQuickLook::findings(item);
    }

    const std::optional<QString> recognized = ClipQuickLook::ocrText(item);
    button(Control::copyOCRText)->setVisible(recognized.has_value());

    if (const ClipboardImage* image = item.content().imageIf()) {
        m_image->setImage(*image);
        m_previewKinds->setCurrentWidget(m_image);
        m_shownText.clear();
        m_text->setStoredText(QString());
    } else {
        m_image->setImage(std::nullopt);
        const QString& shown = item.content().textValue();
        if (shown != m_shownText || m_shownText.isNull()) {
            m_shownText = shown;
            m_text->setStoredText(ShownText::shownPart(shown));
        }
        m_cutNote->setVisible(ShownText::isCut(shown));
        m_previewKinds->setCurrentWidget(m_textPage);
    }

    const QString ocr = recognized.value_or(QString());
    if (ocr != m_shownOCRText) {
        m_shownOCRText = ocr;
        m_ocrText->setPlainText(ocr);
    }
    m_copyExtracted->setEnabled(recognized.has_value());

    showFindings();

    const QList<QuickLookTab> available = ClipQuickLook::availableTabs(item);
    if (available != m_availableTabs || m_availableTabs.isEmpty()) {
        m_availableTabs = available;
        normalizeSelectedTab();
    }
    showSelectedTab();
}

const std::optional<ClipQuickLook::TextFindings>& ClipQuickLookOverlay::findings() const
{
    return m_detection.isAsked() ? m_detection.answer() : m_inPlaceFindings;
}

void ClipQuickLookOverlay::showFindings()
{
    const std::optional<ClipQuickLook::TextFindings>& found = findings();
    if (found)
        m_kindTile->setSymbol(found->kind.systemImage(), found->kind.tint());
    else
        m_kindTile->setSymbol(QStringLiteral("ellipsis"), ColorToken::muted);
    const QString kind = found ? found->kind.title() : ClipQuickLook::detectingText();
    m_subtitle->setText(kind + QStringLiteral(" - ") + ClipboardFormatter::metadata(m_item, m_environment.now()));

    const bool hasLink = found && found->link;
    button(Control::openLink)->setVisible(hasLink);
    if (m_item.content().isText()) {
        m_linkCard->setVisible(hasLink);
        if (hasLink)
            m_linkCard->setLink(*found->link);
        const QFont font = previewTextFont(found && found->monospaced);
        if (m_text->font() != font)
            m_text->setFont(font);
    }
    showDetails();
}

void ClipQuickLookOverlay::showDetails()
{
    const std::optional<ClipQuickLook::TextCounts> counts =
        m_counting.isAsked() ? m_counting.answer() : std::nullopt;
    m_details->setRows(ClipQuickLook::detailRows(m_item, findings(), counts));
}

void ClipQuickLookOverlay::openLink()
{
    // The address is made for the desktop only now: a QUrl holds another copy of it.
    const std::optional<ClipQuickLook::TextFindings>& found = findings();
    if (found && found->link && m_actions.openUrl)
        std::function<bool(const QUrl&)>(m_actions.openUrl)(found->link->url());
}

void ClipQuickLookOverlay::normalizeSelectedTab()
{
    const QuickLookTab normalized = ClipQuickLook::normalizedTab(m_selectedTab, m_availableTabs);
    if (normalized == m_selectedTab)
        return;
    m_selectedTab = normalized;
    emit selectedTabChanged(m_selectedTab);
}

void ClipQuickLookOverlay::setSelectedTab(QuickLookTab tab)
{
    if (!m_availableTabs.contains(tab) || tab == m_selectedTab) {
        showSelectedTab();
        return;
    }
    m_selectedTab = tab;
    showSelectedTab();
    emit selectedTabChanged(m_selectedTab);
}

void ClipQuickLookOverlay::showSelectedTab()
{
    m_picker->setVisible(m_availableTabs.size() >= 2);
    m_picker->offer(m_availableTabs, m_selectedTab);
    const int page = m_selectedTab == QuickLookTab::preview ? 0 : m_selectedTab == QuickLookTab::ocr ? 1 : 2;
    // The focus stays inside the card when the page it was on goes.
    const bool hadFocus = m_pages->currentWidget() && m_pages->currentWidget()->isAncestorOf(QApplication::focusWidget());
    m_pages->setCurrentIndex(page);
    if (hadFocus)
        takeFocus();
}

void ClipQuickLookOverlay::takeFocus()
{
    QWidget* target = m_picker->segment(m_selectedTab);
    switch (m_selectedTab) {
    case QuickLookTab::preview:
        target = m_item.content().isImage() ? static_cast<QWidget*>(m_image) : m_text;
        break;
    case QuickLookTab::ocr:
        target = m_ocrText;
        break;
    case QuickLookTab::details:
        break;
    }
    if (target)
        target->setFocus(Qt::OtherFocusReason);
}

void ClipQuickLookOverlay::setHostCornerRadius(qreal radius)
{
    m_hostCornerRadius = radius;
    QResizeEvent event(size(), size());
    resizeEvent(&event);
}

void ClipQuickLookOverlay::resizeEvent(QResizeEvent* event)
{
    TolviCardOverlay::resizeEvent(event);
    if (m_hostCornerRadius <= 0) {
        clearMask();
        return;
    }
    setMask(QRegion(roundedShape(QRectF(rect()), m_hostCornerRadius).toFillPolygon().toPolygon()));
}

void ClipQuickLookOverlay::focusInEvent(QFocusEvent* event)
{
    TolviCardOverlay::focusInEvent(event);
    takeFocus();
}

void ClipQuickLookOverlay::storeChanged()
{
    if (m_closeRequested || isDismissing())
        return;
    const std::optional<ClipboardItem> current = ClipQuickLook::currentClip(*m_environment.store, m_item);
    if (!current) {
        requestClose();
        return;
    }
    setItem(*current);
}

void ClipQuickLookOverlay::requestClose()
{
    if (m_closeRequested)
        return;
    m_closeRequested = true;
    // The host may delete the overlay while it closes.
    if (const std::function<void()> close = m_actions.close)
        close();
}


QAbstractButton* ClipQuickLookOverlay::button(Control control) const
{
    switch (control) {
    case Control::openLink:
        return m_headerButtons.value(0);
    case Control::copyOCRText:
        return m_headerButtons.value(1);
    case Control::copy:
        return m_headerButtons.value(2);
    case Control::paste:
        return m_headerButtons.value(3);
    case Control::close:
        return m_headerButtons.value(4);
    case Control::openFromLinkCard:
        return m_linkCard->openButton();
    case Control::copyExtractedText:
        return m_copyExtracted;
    }
    return nullptr;
}

bool ClipQuickLookOverlay::offers(Control control) const
{
    QAbstractButton* control_ = button(control);
    if (!control_ || control_->isHidden())
        return false;
    switch (control) {
    case Control::openFromLinkCard:
        return m_selectedTab == QuickLookTab::preview && m_item.content().isText() && !m_linkCard->isHidden();
    case Control::copyExtractedText:
        return m_selectedTab == QuickLookTab::ocr;
    default:
        return true;
    }
}

QAbstractButton* ClipQuickLookOverlay::tabButton(QuickLookTab tab) const
{
    return m_picker->segment(tab);
}

QWidget* ClipQuickLookOverlay::imageView() const
{
    return m_image;
}

QWidget* ClipQuickLookOverlay::linkCard() const
{
    return m_linkCard;
}

QWidget* ClipQuickLookOverlay::cutNote() const
{
    return m_cutNote;
}

ClipQuickLookOverlay::ImageState ClipQuickLookOverlay::imageState() const
{
    return m_image->state();
}

QString ClipQuickLookOverlay::subtitle() const
{
    return m_subtitle->text();
}

QList<ClipQuickLook::DetailRow> ClipQuickLookOverlay::shownDetailRows() const
{
    return m_details->rows();
}

} // namespace tolvi
