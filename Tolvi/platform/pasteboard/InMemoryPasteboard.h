#pragma once

#include "Tolvi/platform/pasteboard/Pasteboard.h"

#include <functional>

namespace tolvi {

// A pasteboard held in memory, for tests: another program's copy is simulated with
// setItems(), which moves the change count like a real copy does. By default it announces
// nothing, like a clipboard that can only be looked at; with setAnnouncesChanges(true) every
// simulated copy emits changeNoticed() and then changed(). Whether it says so to its watchers
// (announcesEveryChange()) is set apart, with setAnnouncesEveryChange(): by default it does not,
// and watchers keep looking on their own as well.
class InMemoryPasteboard final : public Pasteboard {
    Q_OBJECT
public:
    InMemoryPasteboard() = default;

    // Replaces the contents as another program's copy would (raises the change count).
    void setItems(QList<PasteboardItem> items);
    void setString(const QString& text);
    // An empty clipboard (what remains when the owner exits); raises the change count.
    void clear();

    QList<PasteboardItem> items() const { return items_; }

    // Test controls.
    void setTypesReadable(bool readable) { typesReadable_ = readable; }
    void setAcceptsWrites(bool accepts) { acceptsWrites_ = accepts; }
    void setAnnouncesChanges(bool announces) { announcesChanges_ = announces; }
    // Announces every simulated copy and says so (false: says nothing of it; copies are still
    // announced as setAnnouncesChanges() chose).
    void setAnnouncesEveryChange(bool announces)
    {
        claimsEveryChange_ = announces;
        if (announces)
            announcesChanges_ = true;
    }
    // Called after every read of data (not of types), with the type read.
    void setOnDataRead(std::function<void(const QString&)> callback) { onDataRead_ = std::move(callback); }
    int writeCount() const { return writeCount_; }
    int dataReadCount() const { return dataReadCount_; }

    qint64 changeCount() override { return changeCount_; }
    std::optional<QStringList> types() override;
    int itemCount() override { return int(items_.size()); }
    QStringList itemTypes(int index) override;
    std::optional<QByteArray> itemData(int index, const QString& type) override;
    std::optional<QByteArray> data(const QString& type) override;
    bool holdsOwnWrite() override { return ownChange_ == changeCount_; }
    bool announcesEveryChange() const override { return claimsEveryChange_ && announcesChanges_; }

private:
    bool writeItems(const QList<PasteboardItem>& items, WriteKind kind) override;
    void noteRead(const QString& type);

    QList<PasteboardItem> items_;
    qint64 changeCount_ = 0;
    qint64 ownChange_ = -1;
    bool typesReadable_ = true;
    bool acceptsWrites_ = true;
    bool announcesChanges_ = false;
    bool claimsEveryChange_ = false;
    int writeCount_ = 0;
    int dataReadCount_ = 0;
    std::function<void(const QString&)> onDataRead_;
};

} // namespace tolvi
