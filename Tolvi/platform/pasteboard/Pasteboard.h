#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace tolvi {

// One item to put on the pasteboard, or one item of an in-memory pasteboard: its
// representations in order, each a type identifier (see PasteboardTypes) with its bytes.
class PasteboardItem {
public:
    PasteboardItem() = default;

    // Adds a representation, or replaces the bytes of one the item already has.
    void setData(const QString& type, QByteArray data);
    void setString(const QString& type, const QString& text) { setData(type, text.toUtf8()); }

    QStringList types() const;
    std::optional<QByteArray> data(const QString& type) const;
    bool isEmpty() const { return entries_.isEmpty(); }

    friend bool operator==(const PasteboardItem& a, const PasteboardItem& b) { return a.entries_ == b.entries_; }

private:
    QList<std::pair<QString, QByteArray>> entries_;
};

// The system clipboard as the capture and paste services see it: a change count that moves
// with every new copy, the offered types, the items with their typed data, and writing.
//
// Readers of one change may ask several times; implementations read each representation of a
// change at most once. A read that cannot be completed gives nothing.
//
// A pasteboard that can observe the desktop's clipboard announces other programs' copies with
// changeNoticed() and changed(), so that watchers need not wait for their next look; one that
// cannot emits neither, and its readers just look at changeCount() from time to time (see
// announcesEveryChange()). Our own write() is announced by neither; a copy of ours is announced
// with copyWritten().
class Pasteboard : public QObject {
    Q_OBJECT
public:
    // What one of our own writes is for.
    enum class WriteKind {
        // Carries a clip to the program it is pasted into: no new copy.
        paste,
        // A copy made in this program (Copy in one of our windows): a new copy like any other.
        copy,
    };

    explicit Pasteboard(QObject* parent = nullptr) : QObject(parent) {}
    ~Pasteboard() override;

    // Moves whenever the contents are replaced, by another program or by write().
    virtual qint64 changeCount() = 0;

    // The offered type identifiers, in order and without duplicates; nothing when the list of
    // types could not be read. An empty clipboard offers an empty list.
    virtual std::optional<QStringList> types() = 0;

    // The items: several only for a list of file references (one item per reference).
    virtual int itemCount() = 0;
    virtual QStringList itemTypes(int index) = 0;
    virtual std::optional<QByteArray> itemData(int index, const QString& type) = 0;

    // The bytes of the first item that offers the type.
    virtual std::optional<QByteArray> data(const QString& type) = 0;

    // data() decoded as UTF-8.
    std::optional<QString> string(const QString& type);

    // Replaces the whole contents by the items in one step, as a write of the given kind. True
    // only when the new contents are in place afterwards; when it fails the previous contents may
    // or may not remain, but nothing partial is ever offered.
    bool write(const QList<PasteboardItem>& items, WriteKind kind);

    // Whether the current change, the one changeCount() names, is one of our own write()s (also
    // one that failed): what is there now was not copied in another program, and no other program
    // has taken the clipboard since, as far as this pasteboard has seen. Such a change is never
    // another program's copy.
    virtual bool holdsOwnWrite() = 0;
    // Whether the current change is our own write() of a copy, and that write succeeded.
    bool holdsOwnCopy() { return lastWriteIsCopy_ && holdsOwnWrite(); }

    // Every change another program makes is announced: changeCount() moves for it only together
    // with changed(), so a watcher need not look on its own (nothing changes unannounced but our
    // own write()s). False for a pasteboard that announces nothing, or only some changes.
    virtual bool announcesEveryChange() const { return false; }

signals:
    // Another program has just taken the clipboard. Its contents may still be on their way:
    // changeCount() has not moved for it yet. Emitted again for a copy that replaced it before
    // it could be read.
    void changeNoticed();
    // The contents of the newest copy can be read now, without waiting: changeCount() has moved.
    void changed();
    // A write() of a copy has just put its contents in place (emitted before write() returns).
    void copyWritten();

protected:
    // The part of write() each pasteboard does its own way: the contents replaced, counted once.
    virtual bool writeItems(const QList<PasteboardItem>& items, WriteKind kind) = 0;

private:
    // The newest write() was a copy and succeeded.
    bool lastWriteIsCopy_ = false;
};

} // namespace tolvi
