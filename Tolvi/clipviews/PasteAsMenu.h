#pragma once

#include "TolviCore/model/ClipboardItem.h"
#include "TolviCore/text/TextTransform.h"

#include <QIcon>
#include <QList>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

class QMenu;
class QWidget;

namespace tolvi {

// The "Paste As" menu of one clip: the clip as stored, its plain text, its text (or the text
// recognised in an image) run through one of the local text transforms, or an image's pixel
// size. It pastes nothing itself; every entry calls one of the host's two callbacks. Entries
// find their clip again by id when chosen and work on what it holds then; a clip that is gone
// by then pastes nothing. Transforms run when an entry is chosen, never when the menu is built.
class PasteAsMenu {
public:
    using LookUp = std::function<std::optional<ClipboardItem>(const QUuid&)>;
    using PasteItem = std::function<void(const ClipboardItem&)>;
    using PasteText = std::function<void(const QString&)>;

    // One entry as listed. A separator has no title.
    struct Entry {
        enum class Kind {
            separator,
            plainText,      // text clip: its text without kept representations
            transformed,    // text clip: `transform` applied to its text
            image,          // image clip as stored
            recognizedText, // image clip: its recognised text
            recognizedTransformed, // image clip: `transform` applied to its recognised text
            imageSize,      // image clip: "Image " and its pixel size
        };
        Kind kind = Kind::separator;
        QString title;
        QString systemImage;
        std::optional<TextTransform> transform;
    };

    // The entries for a clip, in menu order.
    static QList<Entry> entries(const ClipboardItem& item);
    // The transforms offered for a text, in menu order (a fixed priority among those that
    // TextTransform::available gives).
    static QList<TextTransform> pasteTransforms(const QString& text);
    // What choosing the entry pastes for the clip as it is now: a whole clip, a text, or
    // nothing when the entry no longer fits the clip.
    struct Outcome {
        std::optional<ClipboardItem> item;
        std::optional<QString> text;
    };
    static Outcome outcome(const Entry& entry, const ClipboardItem& current);

    // A menu titled "Paste As" listing the clip's entries, owned by `parent` and following
    // its palette.
    static QMenu* create(const ClipboardItem& item, LookUp lookUp, PasteItem pasteItem, PasteText pasteText,
                         QWidget* parent);
    // Adds the clip's entries to an existing menu.
    static void populate(QMenu& menu, const ClipboardItem& item, LookUp lookUp, PasteItem pasteItem,
                         PasteText pasteText);

    // A symbol for a menu entry in the text colours of `context`'s palette (the highlighted
    // text colour while the entry is under the pointer).
    static QIcon menuIcon(const QString& systemImage, const QWidget* context);

    static QString title() { return QStringLiteral("Paste As"); }
    // The symbol a transform is listed with, wherever transforms are offered for pasting.
    static QString systemImage(TextTransform transform);
    static QString systemImage() { return QStringLiteral("textformat"); }
};

} // namespace tolvi
