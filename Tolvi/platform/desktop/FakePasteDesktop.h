#pragma once

#include "Tolvi/platform/desktop/PasteDesktop.h"

#include <QList>

namespace tolvi {

// A desktop whose front program, running programs and focus the test sets; it records the
// activations asked for and the pastes posted (only into the program holding the focus).
class FakePasteDesktop final : public PasteDesktop {
public:
    std::optional<qint64> front;
    std::optional<qint64> focus;
    QList<qint64> running;
    bool keystrokes = true;
    // An activation gives the target the front and the focus.
    bool activationGranted = true;
    QList<qint64> activated;
    QList<qint64> pastedInto;

    std::optional<qint64> frontmostPID() override { return front; }
    bool frontmostIsUnidentified() override { return false; }
    bool targetIsRunning(qint64 target) override { return running.contains(target); }
    bool activate(qint64 target) override;
    bool canSendKeystrokes() override { return keystrokes; }
    bool keyboardFocusBelongsTo(qint64 target) override { return focus == target; }
    bool pasteInto(qint64 target) override;
    bool isViewable(std::uint32_t) override { return false; }
    bool hasBlockingDialog(qint64, std::chrono::milliseconds) override { return false; }
    std::optional<QString> describe(std::optional<qint64> target) override;
};

} // namespace tolvi
