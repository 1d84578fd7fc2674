#include "Tolvi/inspector/BoardManagementView.h"

#include "Tolvi/design/Announcements.h"
#include "Tolvi/design/DesignTokens.h"
#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/design/ThemedWidgets.h"
#include "Tolvi/design/TolviPrimaryButton.h"
#include "Tolvi/design/TolviTheme.h"
#include "TolviCore/model/ClipboardHistoryImportError.h"
#include "TolviCore/store/ClipboardStore.h"
#include "TolviCore/text/TextCharacters.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace tolvi {

using TolviDesign::ColorToken;
using TolviDesign::Typography;

namespace {

constexpr int rowPadding = 10;
constexpr int rowSpacing = 10;
constexpr qreal rowCornerRadius = 10;
constexpr int rowSymbolSize = 16;
constexpr int rowSymbolGap = 8;

// A user's text on a button: "&" stands for itself, not for a mnemonic.
QString buttonText(const QString& userText)
{
    QString text = userText;
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

QLabel* makeLabel(const QString& text, Typography style, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(TolviDesign::font(style));
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    return label;
}

QToolButton* makeSymbolButton(QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setIconSize(QSize(rowSymbolSize, rowSymbolSize));
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

} // namespace

// ---- The list's model and delegate --------------------------------------------------------

// The boards as the store lists them, one row each.
class BoardListModel final : public QAbstractListModel {
public:
    enum Role { symbolRole = Qt::UserRole + 1 };

    using QAbstractListModel::QAbstractListModel;

    // Takes the store's list and returns the rows that have no editor yet. The sheet's own
    // changes (a name, a board added at the end or removed, two neighbours swapped) change
    // only what they touch, so the other rows keep their editors (and the keyboard focus); any
    // other change rebuilds every row.
    QList<int> setBoards(const QList<Pinboard>& boards)
    {
        const qsizetype count = m_boards.size();
        qsizetype first = 0;
        while (first < std::min(count, boards.size()) && boards[first].id() == m_boards[first].id())
            ++first;
        const auto sameFrom = [&](qsizetype mine, qsizetype theirs) {
            for (; mine < count && theirs < boards.size(); ++mine, ++theirs) {
                if (boards[theirs].id() != m_boards[mine].id())
                    return false;
            }
            return mine == count && theirs == boards.size();
        };
        QList<int> fresh;
        if (first == count && boards.size() == count) {
            // The same rows.
        } else if (first == count && boards.size() == count + 1) {
            beginInsertRows({}, int(count), int(count));
            m_boards.append(boards.last());
            endInsertRows();
            fresh.append(int(count));
        } else if (boards.size() == count - 1 && sameFrom(first + 1, first)) {
            beginRemoveRows({}, int(first), int(first));
            m_boards.removeAt(first);
            endRemoveRows();
        } else if (boards.size() == count && first + 1 < count && boards[first].id() == m_boards[first + 1].id()
                   && boards[first + 1].id() == m_boards[first].id() && sameFrom(first + 2, first + 2)) {
            beginMoveRows({}, int(first + 1), int(first + 1), {}, int(first));
            m_boards.swapItemsAt(first, first + 1);
            endMoveRows();
        } else {
            beginResetModel();
            m_boards = boards;
            endResetModel();
            for (int row = 0; row < m_boards.size(); ++row)
                fresh.append(row);
            return fresh;
        }
        for (qsizetype i = 0; i < boards.size(); ++i) {
            if (boards[i] == m_boards[i])
                continue;
            m_boards[i] = boards[i];
            emit dataChanged(index(int(i)), index(int(i)));
        }
        return fresh;
    }

    const Pinboard& board(int row) const { return m_boards.at(row); }
    int rowOf(const QUuid& id) const
    {
        for (qsizetype i = 0; i < m_boards.size(); ++i) {
            if (m_boards[i].id() == id)
                return int(i);
        }
        return -1;
    }

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : int(m_boards.size()); }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || index.row() >= m_boards.size())
            return {};
        const Pinboard& board = m_boards.at(index.row());
        switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return board.name();
        case symbolRole:
            return board.systemName();
        default:
            return {};
        }
    }

private:
    QList<Pinboard> m_boards;
};

// Draws each row's surface and the board's symbol; the row's controls are its persistent
// editor, laid over the rest of the row.
class BoardRowDelegate final : public QStyledItemDelegate {
public:
    BoardRowDelegate(std::function<void(BoardRowEditor*)> editorCreated, QObject* parent)
        : QStyledItemDelegate(parent), m_editorCreated(std::move(editorCreated))
    {
        m_rowHeight = BoardRowEditor().sizeHint().height() + 2 * rowPadding;
    }

    static QRect rowRect(const QRect& item) { return item.adjusted(0, 0, 0, -rowSpacing); }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        return QSize(option.rect.width(), m_rowHeight + rowSpacing);
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const DesignContext context = DesignContext::of(option.widget);
        const QRectF row = rowRect(option.rect);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(context.color(ColorToken::surface));
        painter->drawRoundedRect(row, rowCornerRadius, rowCornerRadius);
        const QRectF symbol(row.left() + rowPadding, row.center().y() - rowSymbolSize / 2.0, rowSymbolSize,
                            rowSymbolSize);
        SymbolCatalog::paint(*painter, symbol, index.data(BoardListModel::symbolRole).toString(),
                             context.color(ColorToken::ink));
        painter->restore();
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        auto* editor = new BoardRowEditor(parent);
        if (m_editorCreated)
            m_editorCreated(editor);
        return editor;
    }

    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        const QRect row = rowRect(option.rect);
        editor->setGeometry(row.adjusted(rowPadding + rowSymbolSize + rowSymbolGap, rowPadding, -rowPadding, -rowPadding));
    }

    // The sheet keeps the names and shows them; nothing goes through the model.
    void setEditorData(QWidget*, const QModelIndex&) const override {}
    void setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const override {}

protected:
    // The controls handle their own keys (Return saves, Tab moves on); the item views' editing
    // keys and focus handling do not apply to them.
    bool eventFilter(QObject*, QEvent*) override { return false; }

private:
    std::function<void(BoardRowEditor*)> m_editorCreated;
    int m_rowHeight = 0;
};

// ---- BoardRowEditor ---------------------------------------------------------------------

BoardRowEditor::BoardRowEditor(QWidget* parent) : QWidget(parent)
{
    setAutoFillBackground(false);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);

    m_name = new QLineEdit(this);
    m_name->setPlaceholderText(QStringLiteral("Board name"));
    m_name->setFont(TolviDesign::font(Typography::body));
    row->addWidget(m_name, 1);

    m_save = new QPushButton(QStringLiteral("Save"), this);
    m_save->setAutoDefault(false);
    m_save->setFocusPolicy(Qt::StrongFocus);
    row->addWidget(m_save);

    m_up = makeSymbolButton(this);
    m_down = makeSymbolButton(this);
    m_remove = makeSymbolButton(this);
    row->addWidget(m_up);
    row->addWidget(m_down);
    row->addWidget(m_remove);
    paintIcons();

    connect(m_name, &QLineEdit::textEdited, this, [this](const QString& text) { emit nameEdited(m_boardID, text); });
    connect(m_name, &QLineEdit::returnPressed, this, [this] { emit saveRequested(m_boardID); });
    connect(m_save, &QPushButton::clicked, this, [this] { emit saveRequested(m_boardID); });
    connect(m_up, &QToolButton::clicked, this, [this] { emit moveRequested(m_boardID, -1); });
    connect(m_down, &QToolButton::clicked, this, [this] { emit moveRequested(m_boardID, 1); });
    connect(m_remove, &QToolButton::clicked, this, [this] { emit removeRequested(m_boardID); });
}

void BoardRowEditor::showBoard(const Pinboard& board, const QString& fieldText, bool canSave, bool canMoveUp,
                               bool canMoveDown, bool canRemove)
{
    m_boardID = board.id();
    if (m_shownName.isNull() || board.name() != m_shownName) {
        m_shownName = board.name();
        // The stored name, whatever is typed in the field.
        m_name->setAccessibleName(QStringLiteral("Name of %1 board").arg(board.name()));
        m_save->setAccessibleName(QStringLiteral("Save name of %1 board").arg(board.name()));
        m_up->setAccessibleName(QStringLiteral("Move %1 up").arg(board.name()));
        m_down->setAccessibleName(QStringLiteral("Move %1 down").arg(board.name()));
        m_remove->setAccessibleName(QStringLiteral("Remove %1 board").arg(board.name()));
    }
    // Setting the same text again would move the cursor of a field being typed in. A field set
    // anew shows the start of a long name, not its end.
    if (m_name->text() != fieldText) {
        m_name->setText(fieldText);
        if (!m_name->hasFocus())
            m_name->setCursorPosition(0);
    }
    m_save->setEnabled(canSave);
    m_up->setEnabled(canMoveUp);
    m_down->setEnabled(canMoveDown);
    m_remove->setEnabled(canRemove);
}

QWidget* BoardRowEditor::control(Control control) const
{
    switch (control) {
    case Control::name:
        return m_name;
    case Control::save:
        return m_save;
    case Control::up:
        return m_up;
    case Control::down:
        return m_down;
    case Control::remove:
        return m_remove;
    }
    return m_name;
}

std::optional<BoardRowEditor::Control> BoardRowEditor::controlOf(const QWidget* widget) const
{
    for (Control candidate : {Control::name, Control::save, Control::up, Control::down, Control::remove}) {
        const QWidget* item = control(candidate);
        if (widget == item || (widget && item->isAncestorOf(widget)))
            return candidate;
    }
    return std::nullopt;
}

void BoardRowEditor::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        paintIcons();
}

// The symbols in the ink colour, and dimmed where a button takes no input.
void BoardRowEditor::paintIcons()
{
    const DesignContext context = DesignContext::of(this);
    const qreal ratio = devicePixelRatioF();
    QColor dimmed = context.color(ColorToken::muted);
    dimmed.setAlphaF(dimmed.alphaF() * 0.55);
    const auto icon = [&](const QString& name) {
        QIcon result;
        result.addPixmap(SymbolCatalog::pixmap(name, rowSymbolSize, context.color(ColorToken::ink), ratio),
                         QIcon::Normal);
        result.addPixmap(SymbolCatalog::pixmap(name, rowSymbolSize, dimmed, ratio), QIcon::Disabled);
        return result;
    };
    m_up->setIcon(icon(QStringLiteral("arrow.up")));
    m_down->setIcon(icon(QStringLiteral("arrow.down")));
    m_remove->setIcon(icon(QStringLiteral("trash")));
}

// ---- BoardManagementView ----------------------------------------------------------------

BoardManagementView::BoardManagementView(ClipboardStore& store, QWidget* parent)
    : QWidget(parent), m_store(store)
{
    setObjectName(QStringLiteral("boardManagementSheet"));
    setAccessibleName(QStringLiteral("Boards"));
    setMinimumSize(minimumSheetSize);
    setMaximumHeight(maximumSheetHeight);
    // Holds the keyboard while a change is saved and its buttons take no input.
    setFocusPolicy(Qt::ClickFocus);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(22, 22, 22, 22);
    column->setSpacing(16);

    auto* header = new QHBoxLayout();
    header->setSpacing(10);
    header->addWidget(makeLabel(QStringLiteral("Boards"), Typography::title, this));
    header->addStretch(1);
    m_saving = makeLabel(QStringLiteral("Saving\u2026"), Typography::meta, this);
    m_saving->setObjectName(QStringLiteral("boardSavingLabel"));
    m_saving->setForegroundRole(QPalette::PlaceholderText);
    m_saving->hide();
    header->addWidget(m_saving);
    m_done = new QPushButton(QStringLiteral("Done"), this);
    m_done->setObjectName(QStringLiteral("boardDoneButton"));
    m_done->setAutoDefault(false);
    header->addWidget(m_done);
    column->addLayout(header);

    QLabel* explanation =
        makeLabel(QStringLiteral("Organize saved clips. Removing a board keeps its clips in history."), Typography::meta,
                  this);
    explanation->setForegroundRole(QPalette::PlaceholderText);
    explanation->setWordWrap(true);
    column->addWidget(explanation);

    auto* addRow = new QHBoxLayout();
    m_newName = new QLineEdit(this);
    m_newName->setObjectName(QStringLiteral("newBoardNameField"));
    m_newName->setPlaceholderText(QStringLiteral("New board name"));
    m_newName->setAccessibleName(QStringLiteral("New board name"));
    m_newName->setAccessibleDescription(
        QStringLiteral("Enter a name up to 80 characters, then press Return to add the board."));
    m_newName->setFont(TolviDesign::font(Typography::body));
    addRow->addWidget(m_newName, 1);
    m_add = new TolviPrimaryButton(QStringLiteral("Add Board"), this);
    m_add->setObjectName(QStringLiteral("addBoardButton"));
    addRow->addWidget(m_add, 0, Qt::AlignVCenter);
    column->addLayout(addRow);

    m_errorLine = new QWidget(this);
    {
        auto* line = new QHBoxLayout(m_errorLine);
        line->setContentsMargins(0, 0, 0, 0);
        line->setSpacing(6);
        const int side = SymbolCatalog::pixelSizeForPointSize(TolviDesign::layoutPointSize(Typography::meta));
        line->addWidget(new TolviSymbolMark(QStringLiteral("exclamationmark.circle"), ColorToken::ink, side, m_errorLine),
                        0, Qt::AlignTop);
        m_errorText = makeLabel(QString(), Typography::meta, m_errorLine);
        m_errorText->setObjectName(QStringLiteral("boardErrorLabel"));
        m_errorText->setWordWrap(true);
        line->addWidget(m_errorText, 1);
    }
    m_errorLine->hide();
    column->addWidget(m_errorLine);

    m_model = new BoardListModel(this);
    m_list = new QListView(this);
    m_list->setObjectName(QStringLiteral("boardList"));
    m_list->setAccessibleName(QStringLiteral("Boards"));
    m_list->setModel(m_model);
    m_list->setItemDelegate(new BoardRowDelegate([this](BoardRowEditor* editor) { editorCreated(editor); }, m_list));
    m_list->setUniformItemSizes(true);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab goes through the rows' controls, not to the list.
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->verticalScrollBar()->setSingleStep(20);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_list->setAutoFillBackground(false);
    m_list->viewport()->setAutoFillBackground(false);
    column->addWidget(m_list, 1);

    styleScrollBar();
    m_announcement = tolviAccessibilityAnnouncement(this, m_error);

    connect(m_done, &QPushButton::clicked, this, &BoardManagementView::requestClose);
    connect(m_add, &QPushButton::clicked, this, &BoardManagementView::create);
    // Return creates even while "Add Board" is off: a blank name gets the store's message.
    connect(m_newName, &QLineEdit::returnPressed, this, &BoardManagementView::create);
    connect(m_newName, &QLineEdit::textChanged, this, &BoardManagementView::render);
    connect(&m_store, &ClipboardStore::pinboardsChanged, this, &BoardManagementView::render);
    connect(&m_store, &ClipboardStore::savingBoardsChanged, this, &BoardManagementView::render);
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget*, QWidget* now) { scrollToFocusedRow(now); });

    render();
}

BoardManagementView::~BoardManagementView()
{
    if (m_confirmation)
        m_confirmation->deleteLater();
}

bool BoardManagementView::hasUnsavedChanges() const
{
    if (!m_newName->text().isEmpty())
        return true;
    for (const Pinboard& board : m_store.pinboards()) {
        const auto typed = m_names.constFind(board.id());
        if (typed != m_names.cend() && *typed != board.name())
            return true;
    }
    return false;
}

bool BoardManagementView::isBusy() const
{
    return m_waitingForWrite || m_store.isSavingBoards();
}

int BoardManagementView::rowCount() const
{
    return m_model->rowCount();
}

BoardRowEditor* BoardManagementView::row(int index) const
{
    return qobject_cast<BoardRowEditor*>(m_list->indexWidget(m_model->index(index)));
}

QString BoardManagementView::fieldText(const Pinboard& board) const
{
    return m_names.value(board.id(), board.name());
}

bool BoardManagementView::canSave(const Pinboard& board) const
{
    const auto typed = m_names.constFind(board.id());
    return typed != m_names.cend() && *typed != board.name();
}

// ---- Showing ----------------------------------------------------------------------------

void BoardManagementView::render()
{
    syncRows();
    const bool busy = isBusy();
    const QList<Pinboard>& boards = m_store.pinboards();
    const int count = std::min<int>(int(boards.size()), rowCount());
    for (int i = 0; i < count; ++i) {
        if (BoardRowEditor* editor = row(i)) {
            const Pinboard& board = boards.at(i);
            editor->showBoard(board, fieldText(board), !busy && canSave(board), !busy && i > 0, !busy && i < count - 1,
                         !busy);
        }
    }
    m_add->setEnabled(!busy && !TextCharacters::trimmedWhitespaceAndNewlines(m_newName->text()).isEmpty());
    m_done->setEnabled(!busy);
    m_saving->setVisible(busy);
    if (busy)
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
    m_errorText->setText(m_error.value_or(QString()));
    m_errorLine->setAccessibleName(m_error.value_or(QString()));
    // While a change is written the last refusal is out of date: the write's outcome replaces it.
    m_errorLine->setVisible(m_error.has_value() && !busy);
    m_announcement->setMessage(m_error);
}

void BoardManagementView::syncRows()
{
    for (int row : m_model->setBoards(m_store.pinboards()))
        m_list->openPersistentEditor(m_model->index(row));
}

void BoardManagementView::editorCreated(BoardRowEditor* editor)
{
    connect(editor, &BoardRowEditor::nameEdited, this, [this, editor](const QUuid& id, const QString& text) {
        m_names.insert(id, text);
        for (const Pinboard& board : m_store.pinboards()) {
            if (board.id() == id)
                editor->saveButton()->setEnabled(!isBusy() && canSave(board));
        }
    });
    connect(editor, &BoardRowEditor::saveRequested, this, &BoardManagementView::save);
    connect(editor, &BoardRowEditor::moveRequested, this, &BoardManagementView::move);
    connect(editor, &BoardRowEditor::removeRequested, this, &BoardManagementView::confirmRemoval);
}

void BoardManagementView::paintEvent(QPaintEvent*)
{
    // The card: the window's canvas with a hairline edge, which keeps it apart from the dimmed
    // window around it in the dark appearance too.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const DesignContext context = DesignContext::of(this);
    painter.setPen(QPen(context.color(ColorToken::glassStroke), 1));
    painter.setBrush(context.color(ColorToken::canvas));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
}

void BoardManagementView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && m_list)
        styleScrollBar();
}

// The window's slim scroll handle in the muted ink, without arrows or a track.
void BoardManagementView::styleScrollBar()
{
    m_list->verticalScrollBar()->setStyleSheet(slimScrollBarStyleSheet(DesignContext::of(this), QStringLiteral("0 0 0 2px")));
}

void BoardManagementView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Once the sheet is on screen, the new board's field has the keyboard.
    QTimer::singleShot(0, this, [this] {
        if (isVisible() && !m_newName->hasFocus())
            m_newName->setFocus(Qt::OtherFocusReason);
    });
}

void BoardManagementView::scrollToFocusedRow(QWidget* focused)
{
    if (!focused || !m_list->viewport()->isAncestorOf(focused))
        return;
    for (QWidget* widget = focused; widget && widget != m_list->viewport(); widget = widget->parentWidget()) {
        if (auto* editor = qobject_cast<BoardRowEditor*>(widget)) {
            const int row = m_model->rowOf(editor->boardID());
            if (row >= 0)
                m_list->scrollTo(m_model->index(row));
            return;
        }
    }
}

// ---- Operations -------------------------------------------------------------------------

// Runs one store operation: a refusal shows its message at once; otherwise the sheet waits,
// showing that it saves, until the store reports the write's outcome (which clears the message
// or replaces it).
void BoardManagementView::perform(const Operation& operation, std::function<void()> succeeded)
{
    if (isBusy())
        return;
    QPointer<BoardManagementView> self(this);
    auto finished = [self, succeeded = std::move(succeeded)](const std::optional<QString>& failure) {
        if (!self)
            return;
        self->m_waitingForWrite = false;
        self->m_error = failure;
        if (!failure && succeeded)
            succeeded();
        self->render();
        self->restoreFocus();
    };
    // Before the store is called: it reports the write as started, and the buttons go dark, at once.
    keepFocusWhileSaving();
    std::optional<QString> refusal;
    try {
        operation(finished);
    } catch (const ClipboardHistoryImportError& error) {
        refusal = error.errorDescription();
    } catch (const std::exception& error) {
        refusal = QString::fromLocal8Bit(error.what());
    }
    if (refusal) {
        // Nothing is being written.
        m_error = std::move(refusal);
        render();
        restoreFocus();
        return;
    }
    m_waitingForWrite = true;
    render();
}

void BoardManagementView::create()
{
    const QString submitted = m_newName->text();
    perform(
        [this, submitted](auto done) { m_store.createPinboardAsync(submitted, QStringLiteral("pinboard"), done); },
        [this, submitted] {
            // Whatever was typed while the board was saved stays.
            if (m_newName->text() == submitted)
                m_newName->clear();
        });
}

void BoardManagementView::save(const QUuid& boardID)
{
    const int index = m_model->rowOf(boardID);
    if (index < 0)
        return;
    const QString name = m_names.value(boardID, m_model->board(index).name());
    perform([this, boardID, name](auto done) { m_store.renamePinboardAsync(boardID, name, done); });
}

void BoardManagementView::move(const QUuid& boardID, int offset)
{
    QList<QUuid> ids;
    for (const Pinboard& board : m_store.pinboards())
        ids.append(board.id());
    const qsizetype index = ids.indexOf(boardID);
    if (index < 0)
        return;
    const qsizetype target = index + offset;
    if (target < 0 || target >= ids.size())
        return;
    ids.swapItemsAt(index, target);
    perform([this, ids](auto done) { m_store.reorderPinboardsAsync(ids, done); });
}

void BoardManagementView::confirmRemoval(const QUuid& boardID)
{
    if (isBusy() || m_confirmation)
        return;
    for (const Pinboard& board : m_store.pinboards()) {
        if (board.id() == boardID)
            m_deleting = board;
    }
    if (!m_deleting)
        return;
    QMessageBox* box = makeConfirmation(QStringLiteral("Remove board? Its clips will stay in history."));
    QPushButton* remove = box->addButton(QStringLiteral("Remove ") + buttonText(m_deleting->name()),
                                         QMessageBox::ActionRole);
    QPushButton* cancel = box->addButton(QStringLiteral("Cancel"), QMessageBox::ActionRole);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    const QUuid id = m_deleting->id();
    connect(box, &QMessageBox::finished, this, [this, box, remove, id] {
        const bool confirmed = box->clickedButton() == remove;
        m_confirmation = nullptr;
        m_deleting.reset();
        if (confirmed)
            this->remove(id);
    });
    box->open();
}

void BoardManagementView::remove(const QUuid& boardID)
{
    perform([this, boardID](auto done) { m_store.deletePinboardAsync(boardID, done); });
}

// ---- Closing ----------------------------------------------------------------------------

void BoardManagementView::requestClose()
{
    if (isBusy() || m_confirmation)
        return;
    if (hasUnsavedChanges()) {
        confirmDiscard();
        return;
    }
    emit finished();
}

void BoardManagementView::requestInteractiveDismissal()
{
    if (isBusy() || m_confirmation || hasUnsavedChanges())
        return;
    emit finished();
}

void BoardManagementView::confirmDiscard()
{
    QMessageBox* box = makeConfirmation(QStringLiteral("Discard unsaved board names?"));
    QPushButton* discard = box->addButton(QStringLiteral("Discard Changes"), QMessageBox::ActionRole);
    QPushButton* keep = box->addButton(QStringLiteral("Keep Editing"), QMessageBox::ActionRole);
    box->setDefaultButton(keep);
    box->setEscapeButton(keep);
    connect(box, &QMessageBox::finished, this, [this, box, discard] {
        const bool discarded = box->clickedButton() == discard;
        m_confirmation = nullptr;
        if (discarded)
            emit finished();
    });
    box->open();
}

// A window-modal question over the panel, in the window's colours on an opaque surface of its
// own (the window draws its background itself and leaves its palette's clear).
QMessageBox* BoardManagementView::makeConfirmation(const QString& text)
{
    QWidget* owner = window();
    QMessageBox* box = makeThemedWarningBox(owner);
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    // Room for the question and its buttons on one line each.
    reserveMessageWidth(box, 360);
    m_confirmation = box;
    return box;
}

// ---- Focus while saving -----------------------------------------------------------------

// The buttons take no input while a change is saved. Rather than let the keyboard jump on to
// whatever control comes next (where a second Space or Return would act on something the user
// did not choose), the sheet holds it and gives it back when the write is done. A text field
// keeps it: typing goes on while the change is saved.
void BoardManagementView::keepFocusWhileSaving()
{
    m_rowFocus.reset();
    m_focus = nullptr;
    QWidget* focused = QApplication::focusWidget();
    if (!focused || !isAncestorOf(focused))
        return;
    for (QWidget* widget = focused; widget && widget != this; widget = widget->parentWidget()) {
        if (auto* editor = qobject_cast<BoardRowEditor*>(widget)) {
            if (const std::optional<BoardRowEditor::Control> control = editor->controlOf(focused))
                m_rowFocus = FocusSpot{editor->boardID(), *control};
            break;
        }
    }
    if (!m_rowFocus)
        m_focus = focused;
    if (!qobject_cast<QLineEdit*>(focused))
        setFocus(Qt::OtherFocusReason);
}

void BoardManagementView::restoreFocus()
{
    const std::optional<FocusSpot> spot = std::exchange(m_rowFocus, std::nullopt);
    const QPointer<QWidget> before = std::exchange(m_focus, nullptr);
    QWidget* now = QApplication::focusWidget();
    // The user put the keyboard somewhere else meanwhile: it stays there.
    if (now && now != this && isAncestorOf(now))
        return;
    QWidget* target = nullptr;
    if (spot) {
        const int index = m_model->rowOf(spot->boardID);
        if (BoardRowEditor* editor = index >= 0 ? row(index) : nullptr) {
            QWidget* control = editor->control(spot->control);
            target = control->isEnabled() ? control : editor->nameField();
        }
    } else if (before && before->isEnabled() && before->isVisible()) {
        target = before;
    }
    if (!target)
        target = m_newName;
    target->setFocus(Qt::OtherFocusReason);
}

} // namespace tolvi
