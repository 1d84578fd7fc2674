#include "Tolvi/inspector/NewSnippetOverlay.h"

#include "Tolvi/design/TolviPrimaryButton.h"
#include "Tolvi/inspector/ClipTextEditor.h"
#include "Tolvi/inspector/EditorOverlayParts.h"
#include "Tolvi/inspector/EditorStatusText.h"
#include "Tolvi/inspector/LooksLikeCode.h"
#include "Tolvi/panels/PanelCommandBus.h"

#include <QHBoxLayout>
#include <QMessageBox>
#include <QTimer>
#include <QVBoxLayout>

namespace tolvi {

using namespace EditorOverlayParts;
using TolviDesign::ColorToken;

NewSnippetOverlay::NewSnippetOverlay(Actions actions, QWidget* dialogOwner, QWidget* host)
    : TolviCardOverlay(new CardSurface(ColorToken::violet), EditorOverlayParts::cardGeometry(minimumCardSize, idealCardSize, maximumCardSize), host),
      m_actions(std::move(actions)),
      m_dialogOwner(dialogOwner)
{
    setObjectName(QStringLiteral("newSnippetOverlay"));
    buildCard();
    connect(this, &TolviCardOverlay::backdropClicked, this, &NewSnippetOverlay::requestClose);
    PanelCommandBus::shared().subscribe(PanelKeyboardCommand::dismissHistoryOverlay, nullptr, this,
                                        [this] { requestClose(); });
    render();
}

NewSnippetOverlay::~NewSnippetOverlay()
{
    dropQuestion(m_question);
}

void NewSnippetOverlay::buildCard()
{
    QVBoxLayout* column = makeCardColumn(this);
    QWidget* surface = column->parentWidget();

    const Header header = makeHeader(QStringLiteral("square.and.pencil"), ColorToken::violet,
                                     QStringLiteral("New Snippet"), QStringLiteral("Close new snippet"), surface);
    header.subtitle->setStatus(QStringLiteral("Create reusable text without copying first."), false);
    m_close = header.closeButton;
    connect(m_close, &QAbstractButton::clicked, this, &NewSnippetOverlay::requestClose);
    column->addWidget(header.widget);

    auto* plate = new TextPlate(surface);
    auto* plateLayout = new QVBoxLayout(plate);
    plateLayout->setContentsMargins(8, 8, 8, 8);
    m_editor = new ClipTextEditor(plate);
    m_editor->setObjectName(QStringLiteral("newSnippetText"));
    m_editor->setAccessibleName(QStringLiteral("Snippet text"));
    plateLayout->addWidget(m_editor);
    column->addWidget(plate, 1);
    connect(m_editor, &ClipTextEditor::storedTextEdited, this, [this] {
        m_text = m_editor->storedText();
        // A failed save's message gives way to the count as soon as the text changes.
        m_statusMessage.reset();
        render();
    });

    // The status when it is too long for the footer: above it, wrapped.
    const Footer footerParts = makeFooter(surface, column);
    m_statusOverflow = footerParts.overflow;
    m_status = footerParts.status;
    const FooterButtons buttons =
        finishFooter(footerParts, surface, column, QStringLiteral("Save && Paste"), this,
                     {[this] { save(); }, [this] { copy(); }, [this] { saveAndPaste(); }});
    buttons.primary->setAccessibleName(QStringLiteral("Save & Paste"));
    m_save = buttons.save;
    m_copy = buttons.copy;
    m_saveAndPaste = buttons.primary;
    surface->setFocusProxy(m_editor);
}

QAbstractButton* NewSnippetOverlay::saveButton() const
{
    return m_save;
}

QAbstractButton* NewSnippetOverlay::copyButton() const
{
    return m_copy;
}

QAbstractButton* NewSnippetOverlay::saveAndPasteButton() const
{
    return m_saveAndPaste;
}

QAbstractButton* NewSnippetOverlay::closeButton() const
{
    return m_close;
}

void NewSnippetOverlay::showEvent(QShowEvent* event)
{
    TolviCardOverlay::showEvent(event);
    // Once the window has settled, typing goes straight into the editor.
    QTimer::singleShot(0, m_editor, [editor = m_editor] { editor->setFocus(Qt::OtherFocusReason); });
    m_editor->setFocus(Qt::OtherFocusReason);
}

QString NewSnippetOverlay::text() const
{
    return m_text;
}

bool NewSnippetOverlay::canUseText() const
{
    return !m_text.trimmed().isEmpty();
}

QString NewSnippetOverlay::statusText() const
{
    if (m_statusMessage)
        return *m_statusMessage;
    return EditorStatusText::characterCount(m_count.count(m_text));
}

bool NewSnippetOverlay::store()
{
    if (m_actions.saveSnippet && m_actions.saveSnippet(m_text))
        return true;
    m_statusMessage = QStringLiteral("Snippet could not be saved.");
    render();
    return false;
}

void NewSnippetOverlay::save()
{
    if (m_closed || m_question || !canUseText())
        return;
    if (store())
        finishClose();
}

void NewSnippetOverlay::copy()
{
    if (m_closed || !canUseText() || !m_actions.copyText)
        return;
    m_actions.copyText(m_text);
}

void NewSnippetOverlay::saveAndPaste()
{
    if (m_closed || m_question || !canUseText())
        return;
    const QString text = m_text;
    if (!store())
        return;
    if (m_actions.pasteText)
        m_actions.pasteText(text);
    finishClose();
}

void NewSnippetOverlay::restoreText(const QString& text)
{
    if (m_closed)
        return;
    m_editor->replaceStoredText(text);
    m_text = m_editor->storedText();
    m_statusMessage.reset();
    render();
}

void NewSnippetOverlay::requestClose()
{
    if (m_closed || isDismissing())
        return;
    if (m_question) {
        m_question->activateWindow();
        return;
    }
    if (!canUseText()) {
        finishClose();
        return;
    }
    askToDiscard(m_question, this, m_dialogOwner ? m_dialogOwner.data() : window(),
                 QStringLiteral("Discard unsaved snippet?"), QStringLiteral("Your snippet has not been saved."),
                 [this] { finishClose(); }, [this] { m_editor->setFocus(Qt::OtherFocusReason); });
}

void NewSnippetOverlay::finishClose()
{
    m_closed = true;
    if (m_actions.close)
        m_actions.close();
}

void NewSnippetOverlay::endSession()
{
    m_closed = true;
    closeQuestion(m_question);
}

void NewSnippetOverlay::render()
{
    const bool usable = canUseText();
    m_status->setStatus(statusText(), m_statusMessage.has_value());
    m_save->setEnabled(usable);
    m_copy->setEnabled(usable);
    m_saveAndPaste->setEnabled(usable);
    m_editor->setMonospaced(m_looksLikeCode.test(m_text));
}

} // namespace tolvi
