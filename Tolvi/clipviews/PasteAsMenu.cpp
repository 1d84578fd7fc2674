#include "Tolvi/clipviews/PasteAsMenu.h"

#include "Tolvi/design/SymbolCatalog.h"

#include <QMenu>
#include <QWidget>

#include <array>

namespace tolvi {

namespace {

using Kind = PasteAsMenu::Entry::Kind;

// The transforms this menu offers, most specific first. Case changes, line sorting and quoting
// are left to the tools menu.
constexpr std::array<TextTransform::Case, 11> priority = {
    TextTransform::cleanURL,  TextTransform::markdownLink,   TextTransform::prettyJSON, TextTransform::emailDraft,
    TextTransform::codeBlock, TextTransform::trimWhitespace, TextTransform::collapseSpaces,
    TextTransform::checklist, TextTransform::bulletList,     TextTransform::numberedList,
    TextTransform::slugify,
};

const QString* recognizedTextOf(const ClipboardItem& item)
{
    const ClipboardImage* image = item.content().imageIf();
    if (!image || !image->recognizedText() || image->recognizedText()->isEmpty())
        return nullptr;
    return &*image->recognizedText();
}

} // namespace

QList<TextTransform> PasteAsMenu::pasteTransforms(const QString& text)
{
    const QList<TextTransform> available = TextTransform::available(text);
    QList<TextTransform> result;
    for (TextTransform::Case candidate : priority) {
        if (available.contains(TextTransform(candidate)))
            result.append(candidate);
    }
    return result;
}

QList<PasteAsMenu::Entry> PasteAsMenu::entries(const ClipboardItem& item)
{
    QList<Entry> list;
    if (const QString* text = item.content().textIf()) {
        list.append({Kind::plainText, QStringLiteral("Plain Text"), QStringLiteral("doc.plaintext"), std::nullopt});
        list.append(Entry());
        for (TextTransform transform : pasteTransforms(*text))
            list.append({Kind::transformed, transform.resultTitle(), PasteAsMenu::systemImage(transform), transform});
        return list;
    }
    list.append({Kind::image, QStringLiteral("Image"), QStringLiteral("photo"), std::nullopt});
    if (const QString* recognized = recognizedTextOf(item)) {
        list.append(Entry());
        list.append({Kind::recognizedText, QStringLiteral("Extracted Text (OCR)"), QStringLiteral("text.viewfinder"),
                     std::nullopt});
        for (TextTransform transform : pasteTransforms(*recognized)) {
            list.append({Kind::recognizedTransformed, QStringLiteral("OCR ") + transform.resultTitle(),
                         PasteAsMenu::systemImage(transform), transform});
        }
    }
    list.append(Entry());
    list.append({Kind::imageSize, QStringLiteral("Paste Image Size"), QStringLiteral("ruler"), std::nullopt});
    return list;
}

PasteAsMenu::Outcome PasteAsMenu::outcome(const Entry& entry, const ClipboardItem& current)
{
    const QString* text = current.content().textIf();
    const ClipboardImage* image = current.content().imageIf();
    switch (entry.kind) {
    case Kind::separator:
        break;
    case Kind::plainText:
        if (text)
            return {std::nullopt, *text};
        break;
    case Kind::transformed:
        if (text && entry.transform)
            return {std::nullopt, entry.transform->apply(*text)};
        break;
    case Kind::image:
        if (image)
            return {current, std::nullopt};
        break;
    case Kind::recognizedText:
        if (const QString* recognized = recognizedTextOf(current))
            return {std::nullopt, *recognized};
        break;
    case Kind::recognizedTransformed:
        if (const QString* recognized = recognizedTextOf(current); recognized && entry.transform)
            return {std::nullopt, entry.transform->apply(*recognized)};
        break;
    case Kind::imageSize:
        if (image)
            return {std::nullopt, QStringLiteral("Image ") + image->pixelDescription()};
        break;
    }
    return {};
}

QIcon PasteAsMenu::menuIcon(const QString& systemImage, const QWidget* context)
{
    // The colours of the menu's own text, so the symbols match however the menu is themed.
    const QPalette palette = context ? context->palette() : QPalette();
    const qreal ratio = context ? context->devicePixelRatioF() : 1.0;
    constexpr int side = 16;
    QIcon icon;
    icon.addPixmap(SymbolCatalog::pixmap(systemImage, side, palette.color(QPalette::Active, QPalette::Text), ratio),
                   QIcon::Normal);
    icon.addPixmap(
        SymbolCatalog::pixmap(systemImage, side, palette.color(QPalette::Active, QPalette::HighlightedText), ratio),
        QIcon::Active);
    icon.addPixmap(SymbolCatalog::pixmap(systemImage, side, palette.color(QPalette::Disabled, QPalette::Text), ratio),
                   QIcon::Disabled);
    return icon;
}

void PasteAsMenu::populate(QMenu& menu, const ClipboardItem& item, LookUp lookUp, PasteItem pasteItem,
                           PasteText pasteText)
{
    const QUuid id = item.id();
    for (const Entry& entry : entries(item)) {
        if (entry.kind == Kind::separator) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(menuIcon(entry.systemImage, &menu), entry.title);
        QObject::connect(action, &QAction::triggered, &menu, [id, entry, lookUp, pasteItem, pasteText] {
            // The clip as it is now: it may have been edited, recognised or deleted meanwhile.
            const std::optional<ClipboardItem> current = lookUp ? lookUp(id) : std::nullopt;
            if (!current)
                return;
            const Outcome result = outcome(entry, *current);
            if (result.item && pasteItem)
                pasteItem(*result.item);
            else if (result.text && pasteText)
                pasteText(*result.text);
        });
    }
}

QMenu* PasteAsMenu::create(const ClipboardItem& item, LookUp lookUp, PasteItem pasteItem, PasteText pasteText,
                           QWidget* parent)
{
    auto* menu = new QMenu(title(), parent);
    // A menu is a window of its own; it follows the theme of the one it opens from.
    menu->setAttribute(Qt::WA_WindowPropagation);
    menu->setIcon(menuIcon(systemImage(), parent));
    populate(*menu, item, std::move(lookUp), std::move(pasteItem), std::move(pasteText));
    return menu;
}

QString PasteAsMenu::systemImage(TextTransform transform)
{
    switch (transform.value()) {
    case TextTransform::trimWhitespace:
    case TextTransform::collapseSpaces: return QStringLiteral("textformat");
    case TextTransform::sentenceCase:
    case TextTransform::titleCase:
    case TextTransform::uppercase:
    case TextTransform::lowercase: return QStringLiteral("textformat.size");
    case TextTransform::bulletList: return QStringLiteral("list.bullet");
    case TextTransform::numberedList: return QStringLiteral("list.number");
    case TextTransform::checklist: return QStringLiteral("checklist");
    case TextTransform::emailDraft: return QStringLiteral("envelope");
    case TextTransform::sortLines: return QStringLiteral("arrow.up.arrow.down");
    case TextTransform::deduplicateLines: return QStringLiteral("line.3.horizontal.decrease");
    case TextTransform::quoteLines: return QStringLiteral("quote.opening");
    case TextTransform::codeBlock: return QStringLiteral("chevron.left.forwardslash.chevron.right");
    case TextTransform::slugify: return QStringLiteral("number");
    case TextTransform::prettyJSON: return QStringLiteral("curlybraces");
    case TextTransform::cleanURL: return QStringLiteral("link");
    case TextTransform::markdownLink: return QStringLiteral("curlybraces.square");
    }
    return QStringLiteral("textformat");
}

} // namespace tolvi
