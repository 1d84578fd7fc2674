#include "BoardShots.h"

#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/gallerysupport/GalleryCamera.h"
#include "Tolvi/gallerysupport/GalleryEvents.h"
#include "Tolvi/gallerysupport/GalleryHistory.h"
#include "Tolvi/gallerysupport/GalleryServices.h"
#include "Tolvi/history/ClipboardHistoryPanel.h"
#include "Tolvi/history/ClipboardPanelController.h"
#include "Tolvi/history/HistoryWindowState.h"
#include "Tolvi/inspector/BoardManagementView.h"
#include "Tolvi/panels/EscapeClosingPanel.h"
#include "TolviCore/model/ReferenceDate.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QWindow>

#include <memory>

namespace tolvi {

namespace {

using gallery::GalleryCamera;
using gallery::GalleryHistory;
using gallery::GalleryServices;
using gallery::settle;
using gallery::waitFor;

void typeInto(QLineEdit* field, const QString& text)
{
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
    QTest::keyClicks(field, text);
}

// Saves the board sheet's states as history-boards-<state>-<theme>.png.
class BoardCamera {
public:
    explicit BoardCamera(GalleryCamera& camera) : m_camera(camera) {}

    void fail(const QString& what) { m_camera.fail(what); }

    void saveWindow(QWidget* panel, const QString& state)
    {
        // The card's fade and the rows' editors settle.
        settle(400);
        m_camera.save(panel->grab(), name(state));
    }

    // The window and its dialog as the screen shows them.
    void saveWithDialog(QWidget* panel, QWidget* dialog, const QString& state)
    {
        if (!waitFor([dialog] { return dialog->windowHandle() && dialog->windowHandle()->isExposed(); }, 5000)) {
            fail(QStringLiteral("the dialog for \"%1\" never appeared").arg(state));
            return;
        }
        settle(700);
        m_camera.saveScreenArea(panel, dialog, name(state));
    }

private:
    static QString name(const QString& state) { return QStringLiteral("boards-") + state; }

    GalleryCamera& m_camera;
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

void photographBoardSheet(GalleryCamera& gallery, TolviTheme& theme)
{
    BoardCamera camera(gallery);
    auto history = std::make_shared<GalleryHistory>();
    ClipboardStore store(history, ClipboardStore::Configuration::standard());
    fillBoards(store, ReferenceDate::now(), camera);

    GalleryServices services;
    ClipboardPanelController controller(ClipboardPanelController::Dependencies{
        store, FeatureFlags(TolviDistributionChannel::direct, false), services.usage, services.paste,
        &services.preferences, nullptr, {}, {}, &theme, nullptr, &services.thumbnails, QStringLiteral("tolvi"), {}, {},
        {}, [](const QUrl&) { return true; }, {}});
    controller.show(false);
    EscapeClosingPanel* panel = controller.panel();
    if (!waitFor([panel] { return panel->isActiveWindow(); }, 5000)) {
        camera.fail(QStringLiteral("the history window never became active"));
        return;
    }
    auto* manage = controller.view()->findChild<QAbstractButton*>(QStringLiteral("manageBoardsButton"));
    if (!manage || !manage->isEnabled()) {
        camera.fail(QStringLiteral("the window offers no Manage Boards button"));
        return;
    }
    manage->click();
    BoardManagementView* sheet = controller.view()->boardSheet();
    if (!sheet || !waitFor([sheet] { return sheet->isVisible() && sheet->rowCount() >= 7; }, 5000)) {
        camera.fail(QStringLiteral("the board sheet did not open with the sample boards"));
        return;
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
}

} // namespace tolvi
