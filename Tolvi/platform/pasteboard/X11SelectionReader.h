#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHash>
#include <QList>

#include <cstdint>
#include <optional>

struct xcb_connection_t;

namespace tolvi {

// Reads the CLIPBOARD selection of an X server over a connection of its own, with deadlines.
//
// A frozen selection owner blocks every conversion request; Qt's own clipboard waits for it in
// the caller's thread for seconds. Here every wait ends at the caller's deadline, so one stuck
// owner costs at most the budget the caller gives. The reader also watches the selection
// (XFixes), so a new copy made while it reads is noticed.
class X11SelectionReader {
public:
    // Connects to the display named by DISPLAY (or the given name).
    explicit X11SelectionReader(const QByteArray& displayName = {});
    ~X11SelectionReader();
    X11SelectionReader(const X11SelectionReader&) = delete;
    X11SelectionReader& operator=(const X11SelectionReader&) = delete;

    bool isValid() const { return connection_ != nullptr; }
    // Whether the server reports new owners (the XFixes extension); without it waitForChange() fails.
    bool watchesChanges() const { return hasXFixes_; }

    // The current owner window of CLIPBOARD (0 when none, or on failure).
    std::uint32_t owner();
    // The window belongs to the window manager's own connection (the client that named its
    // check window on the root). Under XWayland the window manager is the compositor, and a
    // selection it owns is one it carried over from the Wayland side.
    bool belongsToWindowManager(std::uint32_t window);

    // A descriptor that, once readable, ends every wait of the reader at once (as a timeout does).
    void setInterruptDescriptor(int descriptor) { interruptDescriptor_ = descriptor; }
    // With abandonOnChange, a read gives up as soon as a new owner takes CLIPBOARD: what it would
    // give belongs to a copy that is already gone.
    void setAbandonReadsOnChange(bool abandonOnChange) { abandonOnChange_ = abandonOnChange; }

    // Waits until a new owner takes CLIPBOARD (or the owner goes away); false on interruption or
    // a broken connection. The change is then reported by changedSinceMark() too.
    bool waitForChange();

    // Forgets selection events seen so far; changedSinceMark() then reports only later ones.
    void markUnchanged();
    // True when a new owner took CLIPBOARD (or the owner went away) since markUnchanged().
    bool changedSinceMark();

    // The target names the owner offers; nothing on timeout or refusal.
    std::optional<QList<QByteArray>> targets(const QDeadlineTimer& deadline);

    // The bytes the owner gives for one target; nothing on timeout, refusal, when the data
    // would exceed maximumBytes, or when the reply is not of bytes (format 8) or, for a text
    // target (UTF8_STRING, STRING, text/...), not of the type asked for.
    std::optional<QByteArray> read(const QByteArray& target, const QDeadlineTimer& deadline,
                                   qint64 maximumBytes = 64 * 1024 * 1024);

private:
    std::uint32_t atom(const QByteArray& name);
    QList<QByteArray> atomNames(const QList<std::uint32_t>& atoms);
    bool createWindow();
    void recreateWindow();
    std::optional<QByteArray> convert(std::uint32_t target, const QDeadlineTimer& deadline, qint64 maximumBytes,
                                      std::uint32_t* type, std::uint8_t* format);
    static bool acceptsReply(const QByteArray& target, std::uint32_t targetAtom, std::uint32_t type,
                             std::uint8_t format);
    // The next event that is not a selection-change notice (those only set changed_); null on
    // timeout or a broken connection. The caller frees it.
    void* nextEvent(const QDeadlineTimer& deadline);
    void drainEvents();

    xcb_connection_t* connection_ = nullptr;
    std::uint32_t root_ = 0;
    std::uint32_t window_ = 0;
    std::uint8_t xfixesFirstEvent_ = 0;
    bool hasXFixes_ = false;
    bool changed_ = false;
    bool abandonOnChange_ = false;
    int interruptDescriptor_ = -1;
    QHash<QByteArray, std::uint32_t> atoms_;
    QHash<std::uint32_t, QByteArray> names_;
};

} // namespace tolvi
