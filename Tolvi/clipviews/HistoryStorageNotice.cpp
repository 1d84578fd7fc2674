#include "Tolvi/clipviews/HistoryStorageNotice.h"

#include "Tolvi/design/DesignTokens.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/TolviTheme.h"
#include "TolviCore/persistence/FileClipboardHistoryPersistence.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace tolvi {

using TolviDesign::ColorToken;
using TolviDesign::Typography;
using StorageIssue = ClipboardStore::StorageIssue;

namespace {

// The platform's callout size, between meta and body.
constexpr qreal calloutPoints = 12;

struct IssueTexts {
    QString title;
    QString detail;
    QString retryLabel;
    QString message;
};

IssueTexts textsFor(StorageIssue issue)
{
    switch (issue) {
    case StorageIssue::loadFailed:
        return {QStringLiteral("History could not be opened"),
                QStringLiteral("Capture is paused to protect the saved file. Retry after checking the history folder. "
                               "Any corruption backup is kept there."),
                QStringLiteral("Retry opening clipboard history"),
                QStringLiteral("History could not be opened. Capture is paused. Retry is available.")};
    case StorageIssue::saveFailed:
        return {QStringLiteral("History changes are not saved"),
                QStringLiteral("Clips are still available in this session. Retry saving or export a copy before "
                               "quitting."),
                QStringLiteral("Retry saving clipboard history"),
                QStringLiteral("History changes are not saved. Retry saving or export a copy before quitting.")};
    }
    return {};
}

// A symbol in the ink colour, set on the first line of the text beside it; decoration only.
TolviSymbolMark* symbolBeside(const QString& name, Typography style, QWidget* parent)
{
    return TolviSymbolMark::onFirstLine(name, ColorToken::ink,
                                        SymbolCatalog::pixelSizeForPointSize(TolviDesign::layoutPointSize(style)),
                                        TolviDesign::font(style), parent);
}

// The storage block's wash: amber at a tenth of its strength.
class AmberWash final : public QWidget {
public:
    explicit AmberWash(QWidget* parent) : QWidget(parent) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        QColor wash = DesignContext::of(this).color(ColorToken::amber);
        wash.setAlphaF(0.1f);
        painter.fillRect(rect(), wash);
    }
};

QPushButton* makeButton(const QString& title, QWidget* parent)
{
    auto* button = new QPushButton(title, parent);
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::StrongFocus);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return button;
}

} // namespace

HistoryStorageNotice::Actions HistoryStorageNotice::actionsFor(QWidget* window, QString historyFilePath,
                                                               std::function<bool(const QUrl&)> openUrl,
                                                               std::function<void(QWidget* parent)> exportHistory)
{
    Actions actions;
    actions.historyFilePath = std::move(historyFilePath);
    actions.openUrl = std::move(openUrl);
    if (exportHistory) {
        actions.exportCopy = [owner = QPointer<QWidget>(window), exportHistory = std::move(exportHistory)] {
            if (owner)
                exportHistory(owner);
        };
    }
    return actions;
}

HistoryStorageNotice::HistoryStorageNotice(ClipboardStore& store, Actions actions, QWidget* parent)
    : SpokenNotice(parent)
    , m_store(&store)
    , m_actions(std::move(actions))
{
    if (m_actions.historyFilePath.isEmpty())
        m_actions.historyFilePath = FileClipboardHistoryPersistence::defaultFilePath();
    if (!m_actions.openUrl)
        m_actions.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };

    QVBoxLayout* root = column();
    const QFont& meta = TolviDesign::font(Typography::meta);

    // The refused capture or edit.
    m_captureLine = new QWidget(this);
    {
        auto* row = new QHBoxLayout(m_captureLine);
        row->setContentsMargins(10, 10, 10, 10);
        row->setSpacing(6);
        row->addWidget(symbolBeside(QStringLiteral("exclamationmark.circle"), Typography::meta, m_captureLine), 0,
                       Qt::AlignTop);
        m_captureText = makeText(meta, true, m_captureLine);
        row->addWidget(m_captureText, 1);
    }
    root->addWidget(m_captureLine);

    // The storage issue with its ways out.
    m_storageBlock = new AmberWash(this);
    {
        auto* column = new QVBoxLayout(m_storageBlock);
        column->setContentsMargins(12, 12, 12, 12);
        column->setSpacing(6);

        const QFont& headline = TolviDesign::font(Typography::bodyStrong);
        auto* titleRow = new QHBoxLayout();
        titleRow->setSpacing(6);
        titleRow->addWidget(symbolBeside(QStringLiteral("exclamationmark.triangle"), Typography::bodyStrong,
                                         m_storageBlock),
                            0, Qt::AlignTop);
        m_title = makeText(headline, true, m_storageBlock);
        titleRow->addWidget(m_title, 1);
        column->addLayout(titleRow);

        m_detail = makeText(TolviDesign::systemFont(calloutPoints), true, m_storageBlock);
        column->addWidget(m_detail);

        auto* buttons = new QHBoxLayout();
        buttons->setSpacing(8);
        m_retry = makeButton(QStringLiteral("Retry"), m_storageBlock);
        connect(m_retry, &QPushButton::clicked, this, &HistoryStorageNotice::retry);
        buttons->addWidget(m_retry, 0, Qt::AlignVCenter);
        m_showFolder = makeButton(QStringLiteral("Show History Folder"), m_storageBlock);
        connect(m_showFolder, &QPushButton::clicked, this, &HistoryStorageNotice::showFolder);
        buttons->addWidget(m_showFolder, 0, Qt::AlignVCenter);
        m_export = makeButton(QStringLiteral("Export Copy\u2026"), m_storageBlock);
        connect(m_export, &QPushButton::clicked, this, &HistoryStorageNotice::exportCopy);
        buttons->addWidget(m_export, 0, Qt::AlignVCenter);
        buttons->addStretch(1);
        column->addLayout(buttons);
    }
    root->addWidget(m_storageBlock);

    startAnnouncing(announcement(store.storageIssue(), store.lastCaptureIssue()));
    connect(&store, &ClipboardStore::storageIssueChanged, this, &HistoryStorageNotice::render);
    connect(&store, &ClipboardStore::lastCaptureIssueChanged, this, &HistoryStorageNotice::render);
    render();
}

HistoryStorageNotice::~HistoryStorageNotice() = default;

std::optional<QString> HistoryStorageNotice::announcement(std::optional<StorageIssue> storageIssue,
                                                          const std::optional<QString>& captureIssue)
{
    if (storageIssue)
        return textsFor(*storageIssue).message;
    return captureIssue;
}

QUrl HistoryStorageNotice::historyFolderUrl() const
{
    return QUrl::fromLocalFile(QFileInfo(m_actions.historyFilePath).absolutePath());
}

bool HistoryStorageNotice::showsCaptureIssue() const
{
    return !m_captureLine->isHidden();
}

bool HistoryStorageNotice::showsStorageIssue() const
{
    return !m_storageBlock->isHidden();
}

QPushButton* HistoryStorageNotice::retryButton() const
{
    return showsStorageIssue() ? m_retry : nullptr;
}

QPushButton* HistoryStorageNotice::showFolderButton() const
{
    return showsStorageIssue() ? m_showFolder : nullptr;
}

QPushButton* HistoryStorageNotice::exportButton() const
{
    return showsStorageIssue() && !m_export->isHidden() ? m_export : nullptr;
}

void HistoryStorageNotice::render()
{
    const std::optional<StorageIssue> issue = m_store ? m_store->storageIssue() : std::nullopt;
    const std::optional<QString> captureIssue = m_store ? m_store->lastCaptureIssue() : std::nullopt;

    m_captureText->setText(captureIssue.value_or(QString()));
    m_captureLine->setVisible(captureIssue.has_value());
    m_captureLine->setAccessibleName(captureIssue.value_or(QString()));

    if (issue) {
        const IssueTexts texts = textsFor(*issue);
        m_title->setText(texts.title);
        m_detail->setText(texts.detail);
        m_retry->setAccessibleName(texts.retryLabel);
        m_export->setVisible(*issue == StorageIssue::saveFailed && bool(m_actions.exportCopy));
        m_storageBlock->setAccessibleName(texts.title);
        m_storageBlock->setAccessibleDescription(texts.detail);
    }
    m_storageBlock->setVisible(issue.has_value());

    present(issue.has_value() || captureIssue.has_value(), announcement(issue, captureIssue));
    updateGeometry();
}

void HistoryStorageNotice::retry()
{
    if (m_store)
        m_store->retryStorage();
}

void HistoryStorageNotice::showFolder()
{
    // The folder, not the file: a file manager shows the history beside any corruption backup.
    // The outcome is the file manager's to report.
    m_actions.openUrl(historyFolderUrl());
}

void HistoryStorageNotice::exportCopy()
{
    if (const std::function<void()> run = m_actions.exportCopy)
        run();
}

} // namespace tolvi
