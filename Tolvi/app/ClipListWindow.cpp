#include "Tolvi/app/ClipListWindow.h"

#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/panels/EscapeClosingPanel.h"
#include "TolviCore/search/ClipboardFormatter.h"
#include "TolviCore/search/ClipboardSearch.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QAbstractListModel>
#include <QListView>
#include <QVBoxLayout>

namespace tolvi {

namespace {
constexpr int kPreviewLimit = 90;
} // namespace

// The rows of the list: the filtered clips themselves, titled only when a row is painted, so a
// long history opens without formatting every clip first.
class ClipListModel final : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    void setItems(QList<ClipboardItem> items)
    {
        beginResetModel();
        m_items = std::move(items);
        endResetModel();
    }

    const ClipboardItem* itemAt(int row) const
    {
        return row >= 0 && row < m_items.size() ? &m_items[row] : nullptr;
    }

    int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : int(m_items.size()); }

    QVariant data(const QModelIndex& index, int role) const override
    {
        const ClipboardItem* item = itemAt(index.row());
        if (!item || role != Qt::DisplayRole)
            return {};
        QString title = ClipboardFormatter::menuPreview(*item, kPreviewLimit);
        if (item->isPinned())
            title.prepend(QStringLiteral("Pinned · "));
        return title;
    }

private:
    QList<ClipboardItem> m_items;
};

ClipListWindow::ClipListWindow(ClipboardStore& store, QString title, PasteAction paste,
                               std::function<void()> beforeShow, TolviTheme* theme, QObject* parent)
    : QObject(parent),
      m_store(store),
      m_title(std::move(title)),
      m_paste(std::move(paste)),
      m_beforeShow(std::move(beforeShow)),
      m_theme(theme)
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
    if (m_theme)
        tolviConsoleAppearance(m_panel, m_theme);
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
    m_model = new ClipListModel(this);
    m_list = new QListView(m_panel);
    m_list->setUniformItemSizes(true);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setModel(m_model);
    layout->addWidget(heading);
    layout->addWidget(m_search);
    layout->addWidget(m_list, 1);

    connect(m_search, &QLineEdit::textChanged, this, &ClipListWindow::reload);
    connect(m_list, &QListView::activated, this, &ClipListWindow::pasteSelected);
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
            const int count = m_model->rowCount({});
            if (count == 0)
                return true;
            const int row = std::clamp(m_list->currentIndex().row() + step, 0, count - 1);
            m_list->setCurrentIndex(m_model->index(row));
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
    m_model->setItems(ClipboardSearch::filter(m_store.items(), criteria, now));
    m_list->setCurrentIndex(m_model->index(0));
}

void ClipListWindow::pasteSelected()
{
    const ClipboardItem* row = m_list ? m_model->itemAt(m_list->currentIndex().row()) : nullptr;
    if (!row)
        return;
    const std::optional<ClipboardItem> item = m_store.item(row->id());
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
