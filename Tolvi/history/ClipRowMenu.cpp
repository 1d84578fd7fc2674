#include "Tolvi/history/ClipRowMenu.h"

#include "Tolvi/clipviews/PasteAsMenu.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/history/HistoryWindowState.h"
#include "Tolvi/history/NarrowClipActions.h"
#include "TolviCore/model/ByteCountFormatter.h"
#include "TolviCore/store/ClipboardStore.h"
#include "TolviCore/text/TextTransform.h"

#include <QMenu>
#include <QPointer>

namespace tolvi {

using TolviDesign::ColorToken;

namespace {

QString menuText(const QString& userText)
{
    QString text = userText;
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

std::optional<QString> nonEmptyRecognizedText(const ClipboardItem& item)
{
    const ClipboardImage* image = item.content().imageIf();
    if (!image || !image->recognizedText() || image->recognizedText()->isEmpty())
        return std::nullopt;
    return image->recognizedText();
}

// Runs `act` with the clip as the history holds it when the action runs.
template <typename Act>
auto withCurrentClip(HistoryWindowState& state, const QUuid& id, Act act)
{
    return [weak = QPointer<HistoryWindowState>(&state), id, act] {
        if (!weak)
            return;
        if (const std::optional<ClipboardItem> current = weak->store().item(id))
            act(*weak, *current);
    };
}

QMenu* addSubmenu(QMenu& menu, const QString& title)
{
    auto* submenu = new QMenu(title, &menu);
    // A menu is a window of its own; it follows the theme of the one it opens from.
    submenu->setAttribute(Qt::WA_WindowPropagation);
    menu.addMenu(submenu);
    return submenu;
}

void copyText(const HistoryWindowState& state, const QString& text)
{
    if (state.actions().copyText)
        state.actions().copyText(text);
}

// One entry per transform offered for `text`, copying the transform of `source(current clip)`.
template <typename Source>
void addTransformEntries(QMenu& menu, HistoryWindowState& state, const QUuid& id, const QString& text, Source source)
{
    for (TextTransform transform : TextTransform::available(text)) {
        QAction* action = menu.addAction(transform.title());
        QObject::connect(action, &QAction::triggered, &menu,
                         withCurrentClip(state, id, [transform, source](HistoryWindowState& s, const ClipboardItem& clip) {
                             if (const std::optional<QString> current = source(clip))
                                 copyText(s, transform.apply(*current));
                         }));
    }
}

} // namespace

namespace ClipRowMenu {

QMenu* make(HistoryWindowState& state, const QUuid& itemID, QWidget* parent, QWidget* context)
{
    const std::optional<ClipboardItem> item = state.store().item(itemID);
    if (!item)
        return nullptr;
    auto* menu = new QMenu(parent);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // Submenus take their colours from this menu.
    menu->setAttribute(Qt::WA_WindowPropagation);
    menu->setPalette(context->palette());
    ClipRowMenuEntries::add(*menu, state, itemID, ClipRowMenuEntries::Part::leading);
    // Each action finds its clip again when it runs: the history may have changed meanwhile.
    auto withClip = [&state, itemID](auto&& act) {
        return [&state, itemID, act] {
            if (const std::optional<ClipboardItem> current = state.store().item(itemID))
                act(*current);
        };
    };
    const HistoryWindowActions& actions = state.actions();
    menu->addAction(item->isPinned() ? QStringLiteral("Unpin") : QStringLiteral("Pin"), context,
                    withClip([&actions](const ClipboardItem& clip) {
                        if (actions.togglePinned)
                            actions.togglePinned(clip);
                    }));
    QMenu* boards = menu->addMenu(QStringLiteral("Pinboard"));
    for (const Pinboard& board : state.store().pinboards()) {
        QAction* entry = boards->addAction(menuText(board.name()));
        if (item->pinboardIDs().contains(board.id()))
            entry->setIcon(QIcon(SymbolCatalog::pixmap(QStringLiteral("checkmark"), 16,
                                                       DesignContext::of(context).color(ColorToken::ink),
                                                       context->devicePixelRatioF())));
        const QUuid boardID = board.id();
        QObject::connect(entry, &QAction::triggered, context,
                         withClip([&state, &actions, boardID](const ClipboardItem& clip) {
                             for (const Pinboard& current : state.store().pinboards()) {
                                 if (current.id() == boardID && actions.togglePinboard)
                                     actions.togglePinboard(current, clip);
                             }
                         }));
    }
    ClipRowMenuEntries::add(*menu, state, itemID, ClipRowMenuEntries::Part::middle);
    if (item->content().isText() && state.canPresent(HistoryOverlay::quickEdit)) {
        menu->addAction(QStringLiteral("Edit"), context,
                        withClip([&state](const ClipboardItem& clip) { state.setEditingItem(clip); }));
    }
    menu->addAction(QStringLiteral("Copy"), context, withClip([&actions](const ClipboardItem& clip) {
                        if (actions.copyItem)
                            actions.copyItem(clip);
                    }));
    menu->addSeparator();
    menu->addAction(QStringLiteral("Delete"), context, withClip([&actions](const ClipboardItem& clip) {
                        if (actions.deleteItem)
                            actions.deleteItem(clip);
                    }));
    return menu;
}

} // namespace ClipRowMenu

namespace ClipRowMenuEntries {

QAction* addRetryOCR(QMenu& menu, HistoryWindowState& state, const ClipboardItem& item)
{
    if (!state.canRetryOCR(item))
        return nullptr;
    QAction* action = menu.addAction(PasteAsMenu::menuIcon(QStringLiteral("text.viewfinder"), &menu),
                                     NarrowClipActions::ocrButtonTitle(state.store(), item));
    QObject::connect(action, &QAction::triggered, &menu,
                     withCurrentClip(state, item.id(), [](HistoryWindowState& s, const ClipboardItem& clip) {
                         if (s.canRetryOCR(clip) && s.actions().retryOCR)
                             s.actions().retryOCR(clip);
                     }));
    return action;
}

QAction* addQueueToggle(QMenu& menu, HistoryWindowState& state, const ClipboardItem& item)
{
    QAction* action = menu.addAction(state.isQueued(item.id()) ? QStringLiteral("Remove from Multi-Paste Selection")
                                                               : QStringLiteral("Select for Multi-Paste"));
    QObject::connect(action, &QAction::triggered, &menu,
                     withCurrentClip(state, item.id(),
                                     [](HistoryWindowState& s, const ClipboardItem& clip) { s.toggleQueue(clip.id()); }));
    return action;
}

QMenu* addPasteAs(QMenu& menu, HistoryWindowState& state, const ClipboardItem& item)
{
    const QPointer<HistoryWindowState> weak(&state);
    QMenu* pasteAs = PasteAsMenu::create(
        item,
        [weak](const QUuid& id) { return weak ? weak->store().item(id) : std::nullopt; },
        [weak](const ClipboardItem& clip) {
            if (weak && weak->actions().pasteItem)
                weak->actions().pasteItem(clip);
        },
        [weak](const QString& text) {
            if (weak && weak->actions().pasteText)
                weak->actions().pasteText(text);
        },
        &menu);
    menu.addMenu(pasteAs);
    return pasteAs;
}

QMenu* addTools(QMenu& menu, HistoryWindowState& state, const ClipboardItem& item)
{
    QMenu* tools = addSubmenu(menu, QStringLiteral("Tools"));
    const QUuid id = item.id();
    if (const QString* text = item.content().textIf()) {
        addTransformEntries(*tools, state, id, *text, [](const ClipboardItem& clip) -> std::optional<QString> {
            if (const QString* current = clip.content().textIf())
                return *current;
            return std::nullopt;
        });
        return tools;
    }
    if (const std::optional<QString> recognized = nonEmptyRecognizedText(item)) {
        QAction* copy = tools->addAction(QStringLiteral("Copy OCR Text"));
        QObject::connect(copy, &QAction::triggered, tools,
                         withCurrentClip(state, id, [](HistoryWindowState& s, const ClipboardItem& clip) {
                             if (const std::optional<QString> current = nonEmptyRecognizedText(clip))
                                 copyText(s, *current);
                         }));
        QMenu* format = addSubmenu(*tools, QStringLiteral("Format OCR Text"));
        addTransformEntries(*format, state, id, *recognized, nonEmptyRecognizedText);
    }
    QAction* size = tools->addAction(QStringLiteral("Copy Image Size"));
    QObject::connect(size, &QAction::triggered, tools,
                     withCurrentClip(state, id, [](HistoryWindowState& s, const ClipboardItem& clip) {
                         if (const ClipboardImage* image = clip.content().imageIf())
                             copyText(s, QStringLiteral("Image ") + image->pixelDescription());
                     }));
    QAction* bytes = tools->addAction(QStringLiteral("Copy Byte Size"));
    QObject::connect(bytes, &QAction::triggered, tools,
                     withCurrentClip(state, id, [](HistoryWindowState& s, const ClipboardItem& clip) {
                         if (const ClipboardImage* image = clip.content().imageIf())
                             copyText(s, ByteCountFormatter::fileStyle(image->byteCount()));
                     }));
    return tools;
}

void add(QMenu& menu, HistoryWindowState& state, const QUuid& itemID, Part part)
{
    const std::optional<ClipboardItem> item = state.store().item(itemID);
    if (!item)
        return;
    switch (part) {
    case Part::leading:
        addRetryOCR(menu, state, *item);
        break;
    case Part::middle:
        addQueueToggle(menu, state, *item);
        addPasteAs(menu, state, *item);
        addTools(menu, state, *item);
        break;
    }
}

} // namespace ClipRowMenuEntries

} // namespace tolvi
