#include "Tolvi/history/gallery/EditorShots.h"

#include "Tolvi/gallerysupport/GalleryEvents.h"
#include "Tolvi/gallerysupport/GalleryHistory.h"
#include "Tolvi/gallerysupport/GalleryServices.h"
#include "Tolvi/history/ClipboardHistoryPanel.h"
#include "Tolvi/history/ClipboardPanelController.h"
#include "Tolvi/history/HistoryWindowState.h"
#include "Tolvi/inspector/ClipTextEditor.h"
#include "Tolvi/inspector/ClipTextEditorOverlay.h"
#include "Tolvi/inspector/NewSnippetOverlay.h"
#include "Tolvi/panels/EscapeClosingPanel.h"
#include "TolviCore/ai/AIProvider.h"
#include "TolviCore/ai/AIService.h"
#include "TolviCore/model/ReferenceDate.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QMutex>
#include <QTextCursor>

#include <memory>
#include <vector>

namespace tolvi {

namespace {

using gallery::GalleryHistory;
using gallery::GalleryServices;
using gallery::resizeAndWait;
using gallery::settle;
using gallery::waitFor;

// An AI provider that answers when the pictures say so: with nothing (the service then reports
// an empty result), or never while a running request is photographed.
class ScriptedProvider final : public AIProvider {
public:
    void perform(const AIAction&, const QString&, AICompletion completion) override
    {
        QMutexLocker lock(&m_mutex);
        m_pending.push_back(std::move(completion));
    }

    // Answers every request waiting with the given text.
    void answerAll(const QString& text)
    {
        std::vector<AICompletion> pending;
        {
            QMutexLocker lock(&m_mutex);
            pending.swap(m_pending);
        }
        for (AICompletion& completion : pending)
            completion(AIResult::success(text));
    }

    bool hasPending()
    {
        QMutexLocker lock(&m_mutex);
        return !m_pending.empty();
    }

private:
    QMutex m_mutex;
    std::vector<AICompletion> m_pending;
};

void record(ClipboardStore& store, const QString& text, double age, const QString& app, const QString& identifier)
{
    store.record(text, ReferenceDate::now() - age, ClipboardSourceApp(app, identifier));
}

} // namespace

void photographEditors(TolviTheme& theme, const EditorShotCamera& camera)
{
    ClipboardStore store(std::make_shared<GalleryHistory>(), ClipboardStore::Configuration::standard());
    record(store, QStringLiteral("https://github.com/tolvi-app/tolvi/pull/482"), 3600, QStringLiteral("Firefox"),
           QStringLiteral("org.mozilla.firefox"));
    record(store, QStringLiteral("Meet at 14:30 by the north entrance"), 1800, QStringLiteral("Element"),
           QStringLiteral("im.riot.Riot"));
    record(store, QStringLiteral("221B Baker Street\nLondon NW1 6XE\nUnited Kingdom"), 900, QStringLiteral("Firefox"),
           QStringLiteral("org.mozilla.firefox"));
    const QString email = QStringLiteral(
        "Hi team,\n\nthe release candidate is ready for testing. Please try the new history window, the board "
        "manager and the multi-paste queue, and file anything odd before Thursday.\n\nThanks,\nAda");
    record(store, email, 120, QStringLiteral("Thunderbird Mail"), QStringLiteral("org.mozilla.Thunderbird"));
    if (store.itemCount() != 4) {
        camera.fail(QStringLiteral("the editors' sample history has %1 clips").arg(store.itemCount()));
        return;
    }

    GalleryServices services;
    auto provider = std::make_shared<ScriptedProvider>();
    AIService ai(provider);
    ClipboardPanelController controller(ClipboardPanelController::Dependencies{
        store, FeatureFlags(TolviDistributionChannel::direct, true), services.usage, services.paste,
        &services.preferences, &ai, {}, {}, &theme, nullptr, &services.thumbnails, QStringLiteral("tolvi"), {}, {}, {},
        [](const QUrl&) { return true; }, {}});
    controller.show(false);
    EscapeClosingPanel* panel = controller.panel();
    if (!waitFor([panel] { return panel->isActiveWindow(); }, 5000)) {
        camera.fail(QStringLiteral("the history window for the editors never became active"));
        return;
    }
    HistoryWindowState& state = *controller.windowState();
    ClipboardHistoryPanel& view = *controller.view();
    // The cards come in with a fade: photograph them at rest.
    auto rest = [] { settle(400); };

    // Quick edit with a sentence added.
    state.setEditingItem(store.itemAt(0));
    ClipTextEditorOverlay* editor = view.quickEditOverlay();
    if (!editor) {
        camera.fail(QStringLiteral("the quick editor did not open"));
        return;
    }
    rest();
    editor->editor()->moveCursor(QTextCursor::End);
    editor->editor()->insertPlainText(QStringLiteral(" See you at the demo on Friday!"));
    camera.savePanel(panel, QStringLiteral("quick-edit"));

    // In the narrowest window the AI actions keep only their symbols.
    const QSize size = panel->size();
    if (!resizeAndWait(panel, ClipboardPanelController::minimumSize))
        camera.fail(QStringLiteral("the window did not take its smallest size"));
    camera.savePanel(panel, QStringLiteral("quick-edit-narrow"));
    resizeAndWait(panel, size);

    // An AI request running, then its failure.
    editor->runAI(AIAction::fixWriting());
    if (!waitFor([&provider] { return provider->hasPending(); }, 3000))
        camera.fail(QStringLiteral("the AI request did not reach the provider"));
    camera.savePanel(panel, QStringLiteral("quick-edit-ai-running"));
    provider->answerAll(QString());
    if (!waitFor([editor] { return editor->aiErrorMessage().has_value(); }, 3000))
        camera.fail(QStringLiteral("the AI request did not fail"));
    camera.savePanel(panel, QStringLiteral("quick-edit-ai-error"));

    // The question before the typed text is thrown away.
    editor->requestClose();
    if (QMessageBox* question = editor->openQuestion()) {
        camera.saveScreenArea(panel, question, QStringLiteral("quick-edit-discard"));
        if (QAbstractButton* keep = question->escapeButton())
            keep->click();
    } else {
        camera.fail(QStringLiteral("closing with unsaved text did not ask"));
    }

    // The clip deleted elsewhere while it is edited.
    store.remove(store.itemAt(0));
    if (!editor->isClipGone())
        camera.fail(QStringLiteral("the quick editor did not notice its clip was gone"));
    camera.savePanel(panel, QStringLiteral("quick-edit-clip-gone"));
    state.setEditingItem(std::nullopt);
    settle(300);

    // A new snippet being written.
    state.setCreatingSnippet(true);
    NewSnippetOverlay* snippet = view.newSnippetOverlay();
    if (!snippet) {
        camera.fail(QStringLiteral("the new-snippet editor did not open"));
        return;
    }
    rest();
    snippet->editor()->insertPlainText(
        QStringLiteral("Kind regards,\nAda Lovelace\nAnalytical Engines Ltd. · +44 20 7946 0958"));
    camera.savePanel(panel, QStringLiteral("new-snippet"));
    state.setCreatingSnippet(false);
    settle(300);

    // Edits over the history's character limit, refused (the window shows the history's notice).
    QString filler;
    while (filler.size() <= store.configuration().maxCharactersPerItem)
        filler += QStringLiteral(" Please also check the exports and the board sheet.");
    state.setEditingItem(store.itemAt(0));
    editor = view.quickEditOverlay();
    if (!editor) {
        camera.fail(QStringLiteral("the quick editor did not open again"));
        return;
    }
    rest();
    editor->editor()->moveCursor(QTextCursor::End);
    editor->editor()->insertPlainText(filler);
    editor->save();
    if (editor->notice().isEmpty())
        camera.fail(QStringLiteral("the refused edit showed no reason"));
    editor->editor()->moveCursor(QTextCursor::Start);
    camera.savePanel(panel, QStringLiteral("quick-edit-refused"));
    state.setEditingItem(std::nullopt);
    settle(300);

    state.setCreatingSnippet(true);
    snippet = view.newSnippetOverlay();
    if (!snippet) {
        camera.fail(QStringLiteral("the new-snippet editor did not open again"));
        return;
    }
    rest();
    snippet->editor()->insertPlainText(QStringLiteral("Release checklist:") + filler);
    snippet->save();
    snippet->editor()->moveCursor(QTextCursor::Start);
    if (!snippet->statusMessage())
        camera.fail(QStringLiteral("the refused snippet showed no message"));
    camera.savePanel(panel, QStringLiteral("new-snippet-refused"));
    state.setCreatingSnippet(false);
    settle(300);
    controller.orderOut();
}

} // namespace tolvi
