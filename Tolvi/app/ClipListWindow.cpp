#include "Tolvi/app/ClipListWindow.h"

#include "Tolvi/panels/EscapeClosingPanel.h"
#include "TolviCore/search/ClipboardFormatter.h"
#include "TolviCore/search/ClipboardSearch.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

namespace tolvi {

namespace {
constexpr int kPreviewLimit = 90;
constexpr int kIdRole = Qt::UserRole + 1;
} // namespace

ClipListWindow::ClipListWindow(ClipboardStore& store, QString title, PasteAction paste,
                               std::function<void()> beforeShow, QObject* parent)
    : QObject(parent),
      m_store(store),
      m_title(std::move(title)),
      m_paste(std::move(paste)),
      m_beforeShow(std::move(beforeShow))
{
    connect(&m_store, &ClipboardStore::itemsChanged, this, [this] {
        if (isVisible())
            reload();
    });
}

ClipListWindow::~ClipListWindow()
{
    delete m_panel;
}

bool ClipListWindow::isVisible() const
{
    return m_panel && m_panel->isVisible();
}

void ClipListWindow::build()
{
    m_panel = new EscapeClosingPanel();
    m_panel->setWindowTitle(m_title);
    m_panel->resize(560, 420);
    auto* layout = new QVBoxLayout(m_panel);
    auto* heading = new QLabel(m_title, m_panel);
    heading->setTextFormat(Qt::PlainText);
    QFont font = heading->font();
    font.setBold(true);
    heading->setFont(font);
    m_search = new QLineEdit(m_panel);
    m_search->setPlaceholderText(QStringLiteral("Search clips"));
    m_search->setClearButtonEnabled(true);
    m_list = new QListWidget(m_panel);
    m_list->setUniformItemSizes(true);
    layout->addWidget(heading);
    layout->addWidget(m_search);
    layout->addWidget(m_list, 1);

    connect(m_search, &QLineEdit::textChanged, this, &ClipListWindow::reload);
    connect(m_list, &QListWidget::itemActivated, this, &ClipListWindow::pasteSelected);
    m_panel->setEscapeHandler([this] { hide(); });
    m_panel->setKeyDownHandler([this](QKeyEvent* event) {
        switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            pasteSelected();
            return true;
        case Qt::Key_Up:
        case Qt::Key_Down: {
            const int step = event->key() == Qt::Key_Up ? -1 : 1;
            const int row = std::clamp(m_list->currentRow() + step, 0, std::max(0, m_list->count() - 1));
            m_list->setCurrentRow(row);
            return true;
        }
        default:
            return false;
        }
    });
}

void ClipListWindow::reload()
{
    if (!m_list)
        return;
    const ClipboardSearchCriteria criteria(m_search->text(), ClipboardSearchContentFilter::all,
                                           ClipboardSearchScope::all(), ClipboardSearchDateFilter::anyTime, false);
    const double now = QDateTime::currentMSecsSinceEpoch() / 1000.0 - 978307200.0;
    const QList<ClipboardItem> items = ClipboardSearch::filter(m_store.items(), criteria, now);
    m_list->clear();
    for (const ClipboardItem& item : items) {
        QString title = ClipboardFormatter::menuPreview(item, kPreviewLimit);
        if (item.isPinned())
            title.prepend(QStringLiteral("Pinned · "));
        auto* row = new QListWidgetItem(title, m_list);
        row->setData(kIdRole, item.id());
    }
    m_list->setCurrentRow(m_list->count() > 0 ? 0 : -1);
}

void ClipListWindow::pasteSelected()
{
    QListWidgetItem* row = m_list ? m_list->currentItem() : nullptr;
    if (!row)
        return;
    const std::optional<ClipboardItem> item = m_store.item(row->data(kIdRole).toUuid());
    if (!item)
        return;
    hide();
    if (m_paste)
        m_paste(*item);
}

void ClipListWindow::show()
{
    if (m_beforeShow && !isVisible())
        m_beforeShow();
    if (!m_panel)
        build();
    m_search->clear();
    reload();
    m_panel->makeKeyAndOrderFront();
    m_search->setFocus();
}

void ClipListWindow::hide()
{
    if (m_panel)
        m_panel->hide();
}

void ClipListWindow::toggle()
{
    if (isVisible())
        hide();
    else
        show();
}

} // namespace tolvi
