#include "BoardShots.h"

#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/history/ClipboardHistoryPanel.h"
#include "Tolvi/history/ClipboardPanelController.h"
#include "Tolvi/history/HistoryWindowState.h"
#include "Tolvi/clipviews/ThumbnailCache.h"
#include "Tolvi/inspector/BoardManagementView.h"
#include "Tolvi/panels/EscapeClosingPanel.h"
#include "Tolvi/platform/pasteboard/InMemoryPasteboard.h"
#include "Tolvi/platform/settings/InMemoryKeyValueSettings.h"
#include "Tolvi/platform/shell/Clock.h"
#include "Tolvi/services/paste/InertPasteEnvironment.h"
#include "Tolvi/services/paste/PasteService.h"
#include "Tolvi/shell/PreferencesStore.h"
#include "Tolvi/shell/UsageMetricsStore.h"
#include "TolviCore/model/ReferenceDate.h"
#include "TolviCore/persistence/ClipboardHistoryPersisting.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTextStream>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace tolvi {

namespace {

// A history in memory whose writes wait while held, as a large history's write takes its time.
class HeldHistory final : public ClipboardHistoryPersisting {
public:
    ClipboardHistoryState load() override { return ClipboardHistoryState{{}, DefaultPinboards::all()}; }
    void save(const ClipboardHistoryState&) override
    {
        std::unique_lock lock(m_mutex);
        m_released.wait(lock, [this] { return !m_held; });
    }
    void hold()
    {
        std::lock_guard lock(m_mutex);
        m_held = true;
    }
    void release()
    {
        std::lock_guard lock(m_mutex);
        m_held = false;
        m_released.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_held = false;
};

void settle(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

bool waitFor(const std::function<bool()>& condition, int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > milliseconds)
            return false;
        settle(10);
    }
    return true;
}

void typeInto(QLineEdit* field, const QString& text)
{
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
    QTest::keyClicks(field, text);
}

class BoardCamera {
public:
    BoardCamera(QDir folder, QString theme) : m_folder(std::move(folder)), m_theme(std::move(theme)) {}

    QStringList& failures() { return m_failures; }
    void fail(const QString& what) { m_failures.append(what); }

    void saveWindow(QWidget* panel, const QString& state)
    {
        // The card's fade and the rows' editors settle.
        settle(400);
        save(panel->grab(), state);
    }

    // The window and its dialog as the screen shows them.
    void saveWithDialog(QWidget* panel, QWidget* dialog, const QString& state)
    {
        if (!waitFor([dialog] { return dialog->windowHandle() && dialog->windowHandle()->isExposed(); }, 5000)) {
            fail(QStringLiteral("the dialog for \"%1\" never appeared").arg(state));
            return;
        }
        settle(700);
        QScreen* screen = panel->screen();
        if (!screen) {
            fail(QStringLiteral("no screen to capture \"%1\" from").arg(state));
            return;
        }
        const QRect area = panel->frameGeometry()
                               .united(dialog->frameGeometry())
                               .adjusted(-24, -24, 24, 24)
                               .intersected(screen->geometry());
        save(screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()), state);
    }

private:
    void save(const QPixmap& picture, const QString& state)
    {
        const QString path = m_folder.filePath(QStringLiteral("history-boards-%1-%2.png").arg(state, m_theme));
        if (picture.isNull() || !picture.save(path, "PNG")) {
            fail(QStringLiteral("cannot write %1").arg(path));
            return;
        }
        QTextStream(stdout) << path << "\n";
    }

    QDir m_folder;
    QString m_theme;
    QStringList m_failures;
};

QAbstractButton* dialogButton(QMessageBox* box, const QString& text)
{
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

// Boards a user might keep, with a few clips filed on them.
void fillBoards(ClipboardStore& store, double now, BoardCamera& camera)
{
    const char* const texts[] = {"Quarterly numbers are in the shared folder", "git rebase -i HEAD~3",
                                 "Dinner on Friday at 19:30?", "https://docs.qt.io/qt-6/qlistview.html"};
    double age = 60;
    for (const char* text : texts) {
        if (!store.record(QString::fromUtf8(text), now - age))
            camera.fail(QStringLiteral("the store refused a sample clip"));
        age += 300;
    }
    try {
        store.createPinboard(QStringLiteral("Release notes"), QStringLiteral("pinboard"));
        store.createPinboard(QStringLiteral("Recipes & ideas"), QStringLiteral("pinboard"));
        store.createPinboard(QStringLiteral("Kundenprojekt N\u00f6rdlingen \u2013 Angebote und Rechnungen 2025"),
                             QStringLiteral("pinboard"));
    } catch (const std::exception& error) {
        camera.fail(QStringLiteral("a sample board could not be created: ") + QString::fromLocal8Bit(error.what()));
    }
    const QList<Pinboard> boards = store.pinboards();
    if (boards.size() >= 2 && store.itemCount() >= 2) {
        store.togglePinboard(boards[0], store.itemAt(0));
        store.togglePinboard(boards[1], store.itemAt(1));
    }
}

} // namespace

QStringList photographBoardSheet(const QDir& folder, const QString& themeName, TolviTheme& theme)
{
    BoardCamera camera(folder, themeName);
    auto history = std::make_shared<HeldHistory>();
    ClipboardStore store(history, ClipboardStore::Configuration::standard());
    fillBoards(store, ReferenceDate::now(), camera);

    InMemoryPasteboard pasteboard;
    PasteService paste(pasteboard, inertPasteEnvironment());
    InMemoryKeyValueSettings settings;
    SystemClock clock;
    UsageMetricsStore usage(settings, clock);
    PreferencesStore preferences(settings);
    ThumbnailCache thumbnails;
    ClipboardPanelController controller(ClipboardPanelController::Dependencies{
        store, FeatureFlags(TolviDistributionChannel::direct, false), usage, paste, &preferences, nullptr, {}, {},
        &theme, nullptr, &thumbnails, QStringLiteral("tolvi"), {}, {}, {}, [](const QUrl&) { return true; }, {}});
    controller.show(false);
    EscapeClosingPanel* panel = controller.panel();
    if (!waitFor([panel] { return panel->isActiveWindow(); }, 5000)) {
        camera.fail(QStringLiteral("the history window never became active"));
        return camera.failures();
    }
    auto* manage = controller.view()->findChild<QAbstractButton*>(QStringLiteral("manageBoardsButton"));
    if (!manage || !manage->isEnabled()) {
        camera.fail(QStringLiteral("the window offers no Manage Boards button"));
        return camera.failures();
    }
    manage->click();
    BoardManagementView* sheet = controller.view()->boardSheet();
    if (!sheet || !waitFor([sheet] { return sheet->isVisible() && sheet->rowCount() >= 7; }, 5000)) {
        camera.fail(QStringLiteral("the board sheet did not open with the sample boards"));
        return camera.failures();
    }

    // Several boards, one name typed and not yet saved.
    typeInto(sheet->row(1)->nameField(), QStringLiteral("Code snippets"));
    sheet->newNameField()->setFocus(Qt::OtherFocusReason);
    camera.saveWindow(panel, QStringLiteral("unsaved"));

    // A refusal: a board of that name exists (letter case does not count).
    typeInto(sheet->newNameField(), QStringLiteral("work"));
    QTest::keyClick(sheet->newNameField(), Qt::Key_Return);
    if (sheet->error() != QStringLiteral("A board with that name already exists."))
        camera.fail(QStringLiteral("the duplicate name was not refused"));
    // With the list at its end: the long names and the one with an ampersand.
    sheet->list()->scrollToBottom();
    camera.saveWindow(panel, QStringLiteral("error"));
    sheet->list()->scrollToTop();

    // A change being written.
    history->hold();
    sheet->row(1)->saveButton()->setFocus(Qt::OtherFocusReason);
    sheet->row(1)->saveButton()->click();
    if (!sheet->isBusy())
        camera.fail(QStringLiteral("the sheet did not show the change being saved"));
    camera.saveWindow(panel, QStringLiteral("saving"));

    history->release();
    if (!waitFor([sheet] { return !sheet->isBusy(); }, 5000))
        camera.fail(QStringLiteral("the change was never saved"));

    // The removal question.
    sheet->newNameField()->clear();
    sheet->row(3)->removeButton()->click();
    if (QMessageBox* box = sheet->confirmation()) {
        camera.saveWithDialog(panel, box, QStringLiteral("remove"));
        if (QAbstractButton* cancel = dialogButton(box, QStringLiteral("Cancel")))
            cancel->click();
        waitFor([sheet] { return !sheet->confirmation(); }, 5000);
    } else {
        camera.fail(QStringLiteral("the removal question did not open"));
    }

    // The discard question: a name typed and Done.
    typeInto(sheet->row(0)->nameField(), QStringLiteral("Office"));
    sheet->requestClose();
    if (QMessageBox* box = sheet->confirmation()) {
        camera.saveWithDialog(panel, box, QStringLiteral("discard"));
        if (QAbstractButton* discard = dialogButton(box, QStringLiteral("Discard Changes")))
            discard->click();
    } else {
        camera.fail(QStringLiteral("the discard question did not open"));
    }
    if (!waitFor([&controller] { return !controller.windowState()->isManagingBoards(); }, 5000))
        camera.fail(QStringLiteral("the board sheet did not close"));
    controller.orderOut();
    return camera.failures();
}

} // namespace tolvi
