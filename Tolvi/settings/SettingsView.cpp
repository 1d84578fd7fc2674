#include "Tolvi/settings/SettingsView.h"

#include "Tolvi/design/Badges.h"
#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/clipviews/HistoryStorageNotice.h"
#include "Tolvi/services/capture/AppExclusionStore.h"
#include "Tolvi/settings/ExcludedAppChooser.h"
#include "Tolvi/settings/SettingsComponents.h"
#include "Tolvi/settings/WindowModalDialogs.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace tolvi {

using TolviDesign::ColorToken;
using TolviDesign::Typography;

namespace {

constexpr int sidebarWidth = 188;

// The sidebar's column: a faint plate set off from the detail by a hairline.
class SidebarColumn final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const DesignContext context = DesignContext::of(this);
        painter.fillRect(rect(), context.color(ColorToken::softFill));
        painter.fillRect(QRect(width() - 1, 0, 1, height()), context.color(ColorToken::glassStroke));
    }
};

// A sidebar row: the section's symbol and title, on a rounded fill while selected.
class SidebarDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const std::optional<SettingsSection> section =
            settingssection::fromRawValue(index.data(Qt::UserRole).toString());
        if (!section)
            return;
        const DesignContext context = DesignContext::of(option.widget);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const QRectF row = QRectF(option.rect).adjusted(0, 1, 0, -1);
        if (option.state & QStyle::State_Selected)
            painter->fillPath(roundedShape(row, 7), context.color(ColorToken::focusedRowFill));
        else if (option.state & QStyle::State_MouseOver)
            painter->fillPath(roundedShape(row, 7), context.color(ColorToken::rowFill));
        const qreal side = 16;
        SymbolCatalog::paint(*painter, QRectF(row.left() + 10, row.center().y() - side / 2, side, side),
                             settingssection::systemImage(*section), context.color(ColorToken::electricBlue));
        painter->setFont(TolviDesign::font(Typography::body));
        painter->setPen(context.color(ColorToken::ink));
        painter->drawText(row.adjusted(10 + side + 8, 0, -6, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          settingssection::title(*section));
        if (option.state & QStyle::State_HasFocus) {
            painter->setPen(QPen(context.color(ColorToken::focusedRowStroke), 1));
            painter->drawPath(roundedShape(row.adjusted(0.5, 0.5, -0.5, -0.5), 7));
        }
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        return {option.rect.width(), 32};
    }
};

QScrollArea* scrolling(QWidget* page, QWidget* parent)
{
    auto* area = new QScrollArea(parent);
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    area->viewport()->setAutoFillBackground(false);
    area->setAutoFillBackground(false);
    page->setAutoFillBackground(false);
    area->setWidget(page);
    return area;
}

} // namespace

SettingsView::SettingsView(SettingsDependencies& dependencies, QWidget* parent)
    : QWidget(parent)
    , m_d(dependencies)
{
    setObjectName(QStringLiteral("tolviSettingsView"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // Sidebar.
    auto* sidebarColumn = new SidebarColumn(this);
    sidebarColumn->setFixedWidth(sidebarWidth);
    auto* sidebarLayout = new QVBoxLayout(sidebarColumn);
    sidebarLayout->setContentsMargins(10, 22, 10, 10);
    m_sidebar = new QListWidget(sidebarColumn);
    m_sidebar->setObjectName(QStringLiteral("tolviSettingsSidebar"));
    m_sidebar->setFrameShape(QFrame::NoFrame);
    m_sidebar->setItemDelegate(new SidebarDelegate(m_sidebar));
    m_sidebar->setMouseTracking(true);
    m_sidebar->setAutoFillBackground(false);
    m_sidebar->viewport()->setAutoFillBackground(false);
    m_sidebar->setFont(TolviDesign::font(Typography::body));
    m_sidebar->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    for (SettingsSection section : settingssection::allCases) {
        auto* item = new QListWidgetItem(settingssection::title(section), m_sidebar);
        item->setData(Qt::UserRole, settingssection::rawValue(section));
    }
    sidebarLayout->addWidget(m_sidebar);
    layout->addWidget(sidebarColumn);

    // Detail.
    auto* detail = new QWidget(this);
    auto* detailLayout = new QVBoxLayout(detail);
    detailLayout->setContentsMargins(0, 0, 0, 0);
    detailLayout->setSpacing(0);

    auto* header = new QHBoxLayout();
    header->setContentsMargins(22, 18, 22, 18);
    header->setSpacing(12);
    m_headerTile = new TolviIconTile(settingssection::systemImage(m_selection), ColorToken::electricBlue, detail);
    header->addWidget(m_headerTile);
    auto* headerTexts = new QVBoxLayout();
    headerTexts->setSpacing(2);
    m_headerTitle = new TokenLabel(QString(), Typography::title, std::nullopt, detail);
    m_headerSubtitle = new TokenLabel(QString(), Typography::meta, DesignColor(ColorToken::muted), detail);
    headerTexts->addWidget(m_headerTitle);
    headerTexts->addWidget(m_headerSubtitle);
    header->addLayout(headerTexts);
    header->addStretch(1);
    detailLayout->addLayout(header);

    HistoryStorageNotice::Actions noticeActions;
    noticeActions.historyFilePath = m_d.historyFilePath;
    noticeActions.openUrl = m_d.actions.openUrl;
    if (m_d.actions.exportHistory) {
        noticeActions.exportCopy = [this] { m_d.actions.exportHistory(filePanels(), alerts(), dialogParent()); };
    }
    m_notice = new HistoryStorageNotice(m_d.clipboardStore, std::move(noticeActions), detail);
    auto* noticeRow = new QHBoxLayout();
    noticeRow->setContentsMargins(22, 0, 22, 10);
    noticeRow->addWidget(m_notice);
    detailLayout->addLayout(noticeRow);

    m_banner = new QWidget(detail);
    m_banner->setObjectName(QStringLiteral("tolviCaptureBlockedBanner"));
    auto* banner = new QHBoxLayout(m_banner);
    banner->setContentsMargins(22, 10, 22, 10);
    banner->setSpacing(10);
    banner->addWidget(new SymbolView(QStringLiteral("exclamationmark.triangle"), ColorToken::amber, 16, 1, m_banner));
    banner->addWidget(new TokenLabel(QStringLiteral("Capture is blocked because app exclusions could not be read."),
                                     Typography::meta, std::nullopt, m_banner));
    banner->addStretch(1);
    m_review = new QPushButton(QStringLiteral("Review Exclusions"), m_banner);
    banner->addWidget(m_review);
    detailLayout->addWidget(m_banner);

    detailLayout->addWidget(new SettingsDivider(detail));

    m_stack = new QStackedWidget(detail);
    m_general = new GeneralSettingsPage(m_d, *this, nullptr);
    m_capture = new CaptureSettingsPage(m_d, *this, nullptr);
    m_exclusions = new ExclusionSettingsPage(m_d, *this, nullptr);
    m_privacy = new PrivacySettingsPage(m_d, *this, nullptr);
    for (QWidget* page : std::initializer_list<QWidget*>{m_general, m_capture, m_exclusions, m_privacy})
        m_stack->addWidget(scrolling(page, m_stack));
    detailLayout->addWidget(m_stack, 1);
    layout->addWidget(detail, 1);

    connect(m_sidebar, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row < int(settingssection::allCases.size()))
            setSelection(settingssection::allCases.at(row));
    });
    connect(m_review, &QPushButton::clicked, this, [this] { setSelection(SettingsSection::exclusions); });
    connect(&m_d.exclusions, &AppExclusionStore::loadIssueChanged, this, &SettingsView::renderBanner);

    setSelection(SettingsSection::general);
    renderBanner();
}

SettingsView::~SettingsView() = default;

void SettingsView::setSelection(SettingsSection section)
{
    m_selection = section;
    const int index = int(section);
    if (m_sidebar->currentRow() != index)
        m_sidebar->setCurrentRow(index);
    m_stack->setCurrentIndex(index);
    m_headerTile->setSystemImage(settingssection::systemImage(section));
    m_headerTitle->setText(settingssection::title(section));
    m_headerSubtitle->setText(settingssection::subtitle(section));
}

QString SettingsView::headerTitle() const
{
    return m_headerTitle->text();
}

void SettingsView::renderBanner()
{
    m_banner->setVisible(m_d.exclusions.loadIssue().has_value());
}

Alerts& SettingsView::alerts()
{
    if (!m_alerts)
        m_alerts = std::make_unique<WindowModalAlerts>(window());
    return *m_alerts;
}

FilePanels& SettingsView::filePanels()
{
    if (!m_filePanels)
        m_filePanels = std::make_unique<WindowModalFilePanels>(window());
    return *m_filePanels;
}

void SettingsView::chooseExcludedApp()
{
    if (m_d.exclusions.loadIssue())
        return;
    if (!m_chooser)
        m_chooser = new ExcludedAppChooser(m_d.exclusions, m_d.workspace, m_d.applicationFolders, m_d.ownIdentifier,
                                           window());
    m_chooser->present();
}

} // namespace tolvi
