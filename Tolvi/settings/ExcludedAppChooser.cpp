#include "Tolvi/settings/ExcludedAppChooser.h"

#include "Tolvi/design/Badges.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/services/capture/AppExclusionStore.h"
#include "Tolvi/settings/SettingsComponents.h"
#include "TolviCore/concurrency/WaitingWorkPool.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QThreadPool>
#include <QVBoxLayout>

#include <memory>

namespace tolvi {

namespace {

constexpr int iconSide = TolviIconTile::side;
constexpr int candidateRole = Qt::UserRole + 1;

bool sameIdentifier(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QImage readIcon(const QString& path, int side)
{
    const QFileInfo info(path);
    // Icons are small; anything big is not read on behalf of a menu entry.
    if (!info.isFile() || info.size() > 2 * 1024 * 1024)
        return {};
    QImageReader reader(path);
    if (reader.format() == "svg" || path.endsWith(QLatin1String(".svg")))
        reader.setScaledSize(QSize(side, side));
    QImage image = reader.read();
    if (image.isNull())
        return {};
    if (image.size() != QSize(side, side))
        image = image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

} // namespace

QString ExclusionCandidate::detail() const
{
    if (!windowClass)
        return QStringLiteral("Names no window class, so Tolvi cannot recognise its windows. Open the app, then "
                              "choose it under Open Windows.");
    if (isAlreadyExcluded)
        return QStringLiteral("Already excluded (window class %1)").arg(*windowClass);
    return QStringLiteral("Window class %1").arg(*windowClass);
}

QList<ExclusionCandidate> exclusionCandidates(const QList<RunningApplication>& running,
                                              const QList<DesktopEntries::Application>& applications,
                                              const AppExclusionStore& exclusions, const QString& ownIdentifier)
{
    auto isOwn = [&ownIdentifier](const std::optional<QString>& identifier) {
        return identifier && !ownIdentifier.isEmpty() && sameIdentifier(*identifier, ownIdentifier);
    };
    QList<ExclusionCandidate> result;
    for (const RunningApplication& app : running) {
        if (!app.identifier || app.identifier->isEmpty() || isOwn(app.identifier))
            continue;
        ExclusionCandidate candidate;
        candidate.source = ExclusionCandidate::Source::openWindow;
        candidate.name = app.name.trimmed().isEmpty() ? *app.identifier : app.name;
        candidate.windowClass = app.identifier;
        candidate.isAlreadyExcluded = exclusions.excludes(app.identifier);
        result.append(candidate);
    }
    for (const DesktopEntries::Application& application : applications) {
        const std::optional<QString> windowClass = DesktopEntries::windowClassFor(application, running);
        if (isOwn(windowClass) || (!ownIdentifier.isEmpty() && sameIdentifier(application.desktopID, ownIdentifier)))
            continue;
        if (windowClass && !AppExclusionStore::isValidBundleIdentifier(*windowClass))
            continue;
        ExclusionCandidate candidate;
        candidate.source = ExclusionCandidate::Source::desktopEntry;
        candidate.name = application.name;
        candidate.windowClass = windowClass;
        candidate.isAlreadyExcluded = exclusions.excludes(windowClass);
        result.append(candidate);
    }
    return result;
}

QImage desktopEntryIcon(const QString& icon, const QStringList& applicationFolders, int side)
{
    if (icon.isEmpty())
        return {};
    if (QDir::isAbsolutePath(icon))
        return readIcon(icon, side);
    // Only a plain name is looked up: a name with a path in it is not an icon name.
    if (icon.contains(QLatin1Char('/')) || icon.startsWith(QLatin1Char('.')))
        return {};
    static const QStringList sizes{QStringLiteral("48x48"), QStringLiteral("64x64"), QStringLiteral("32x32"),
                                   QStringLiteral("128x128"), QStringLiteral("256x256")};
    for (const QString& folder : applicationFolders) {
        const QString data = QFileInfo(folder).path();
        for (const QString& size : sizes) {
            const QString png = data + QStringLiteral("/icons/hicolor/") + size + QStringLiteral("/apps/") + icon
                                + QStringLiteral(".png");
            if (QImage image = readIcon(png, side); !image.isNull())
                return image;
        }
        for (const QString& path :
             {data + QStringLiteral("/icons/hicolor/scalable/apps/") + icon + QStringLiteral(".svg"),
              data + QStringLiteral("/pixmaps/") + icon + QStringLiteral(".png"),
              data + QStringLiteral("/pixmaps/") + icon + QStringLiteral(".svg"),
              data + QStringLiteral("/pixmaps/") + icon + QStringLiteral(".xpm")}) {
            if (QImage image = readIcon(path, side); !image.isNull())
                return image;
        }
    }
    return {};
}

ExcludedAppChooser::ExcludedAppChooser(AppExclusionStore& exclusions, Workspace& workspace,
                                       QStringList applicationFolders, QString ownIdentifier, QWidget* parent)
    : QDialog(parent)
    , m_exclusions(exclusions)
    , m_workspace(workspace)
    , m_folders(std::move(applicationFolders))
    , m_ownIdentifier(std::move(ownIdentifier))
{
    setWindowTitle(title);
    setObjectName(QStringLiteral("tolviExcludedAppChooser"));
    resize(440, 520);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(10);

    auto* heading = new QLabel(title, this);
    heading->setTextFormat(Qt::PlainText);
    QFont headingFont = heading->font();
    headingFont.setBold(true);
    heading->setFont(headingFont);
    layout->addWidget(heading);

    m_filter = new QLineEdit(this);
    m_filter->setPlaceholderText(QStringLiteral("Filter apps"));
    m_filter->setClearButtonEnabled(true);
    layout->addWidget(m_filter);

    m_list = new QListWidget(this);
    m_list->setIconSize(QSize(iconSide, iconSide));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setWordWrap(true);
    m_list->setUniformItemSizes(false);
    layout->addWidget(m_list, 1);

    m_status = new QLabel(this);
    m_status->setTextFormat(Qt::PlainText);
    m_status->setWordWrap(true);
    m_status->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(m_status);

    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_exclude = new QPushButton(prompt, this);
    m_exclude->setDefault(true);
    buttons->addWidget(cancel);
    buttons->addWidget(m_exclude);
    layout->addLayout(buttons);

    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_exclude, &QPushButton::clicked, this, &ExcludedAppChooser::excludeSelected);
    connect(m_filter, &QLineEdit::textChanged, this, &ExcludedAppChooser::applyFilter);
    connect(m_list, &QListWidget::itemSelectionChanged, this, &ExcludedAppChooser::updateButton);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &ExcludedAppChooser::excludeSelected);
    updateButton();
}

ExcludedAppChooser::~ExcludedAppChooser() = default;

void ExcludedAppChooser::present()
{
    // A window of its own: it takes the theme of the window it belongs to.
    if (parentWidget())
        setPalette(TolviTheme::palette(DesignContext::of(parentWidget()).appearance));
    m_filter->clear();
    m_list->clear(); // a choice from an earlier opening is not kept
    // Window lists are answered by the X server, never by the listed programs.
    m_running = m_workspace.runningApplications();
    m_candidates = exclusionCandidates(m_running, {}, m_exclusions, m_ownIdentifier);
    m_isLoading = true;
    rebuildList();

    const quint64 generation = ++m_generation;
    QPointer<ExcludedAppChooser> self(this);
    const QStringList folders = m_folders;
    waitingWorkPool().start([self, generation, folders] {
        QList<LoadedEntry> loaded;
        for (const DesktopEntries::Application& application : DesktopEntries::applications(folders))
            loaded.append({application, desktopEntryIcon(application.icon, folders, iconSide)});
        QMetaObject::invokeMethod(
            qApp,
            [self, generation, loaded] {
                if (self && self->m_generation == generation)
                    self->entriesLoaded(loaded);
            },
            Qt::QueuedConnection);
    });

    setWindowModality(Qt::WindowModal);
    open();
    m_filter->setFocus();
}

void ExcludedAppChooser::entriesLoaded(const QList<LoadedEntry>& entries)
{
    QList<DesktopEntries::Application> applications;
    for (const LoadedEntry& entry : entries)
        applications.append(entry.application);
    m_candidates = exclusionCandidates(m_running, applications, m_exclusions, m_ownIdentifier);
    // Icons belong to entries; open windows take the icon of the entry with their class.
    for (ExclusionCandidate& candidate : m_candidates) {
        for (const LoadedEntry& entry : entries) {
            const bool sameEntry = candidate.source == ExclusionCandidate::Source::desktopEntry
                                       ? candidate.name == entry.application.name
                                       : candidate.windowClass
                                             && DesktopEntries::windowClassFor(entry.application, m_running)
                                                    .value_or(QString())
                                                    .compare(*candidate.windowClass, Qt::CaseInsensitive)
                                                    == 0;
            if (sameEntry && !entry.icon.isNull()) {
                candidate.icon = entry.icon;
                break;
            }
        }
    }
    m_isLoading = false;
    rebuildList();
    emit candidatesLoaded();
}

void ExcludedAppChooser::rebuildList()
{
    // The row the user chose stays chosen when the list is rebuilt (the desktop entries arrive
    // after the open windows): the same app from the same section.
    std::optional<ExclusionCandidate> chosen;
    if (const QListWidgetItem* current = m_list->currentItem(); current && current->isSelected()) {
        const int index = current->data(candidateRole).toInt();
        if (index >= 0 && index < m_previousCandidates.size())
            chosen = m_previousCandidates.at(index);
    }
    m_previousCandidates = m_candidates;
    const QSignalBlocker quiet(m_list);
    m_list->clear();
    // Apps without an icon of their own get the app symbol on a tinted tile.
    QPixmap fallback(QSize(iconSide, iconSide) * devicePixelRatioF());
    fallback.setDevicePixelRatio(devicePixelRatioF());
    fallback.fill(Qt::transparent);
    {
        QPainter painter(&fallback);
        painter.setRenderHint(QPainter::Antialiasing);
        TolviIconTile::paintTile(painter, QRectF(0, 0, iconSide, iconSide), QStringLiteral("app"),
                                 palette().color(QPalette::Highlight));
    }
    std::optional<ExclusionCandidate::Source> section;
    for (qsizetype i = 0; i < m_candidates.size(); ++i) {
        const ExclusionCandidate& candidate = m_candidates.at(i);
        if (section != candidate.source) {
            section = candidate.source;
            auto* header = new QListWidgetItem(candidate.source == ExclusionCandidate::Source::openWindow
                                                   ? QStringLiteral("Open Windows")
                                                   : QStringLiteral("Applications"),
                                               m_list);
            QFont bold = header->font();
            bold.setBold(true);
            header->setFont(bold);
            header->setFlags(Qt::NoItemFlags);
            header->setData(candidateRole, -1);
        }
        auto* item = new QListWidgetItem(candidate.name + QLatin1Char('\n') + candidate.detail(), m_list);
        item->setData(candidateRole, int(i));
        if (chosen && chosen->source == candidate.source && chosen->name == candidate.name
            && chosen->windowClass == candidate.windowClass && candidate.canBeChosen()) {
            m_list->setCurrentItem(item);
            chosen.reset();
        }
        item->setIcon(candidate.icon.isNull() ? QIcon(fallback) : QIcon(QPixmap::fromImage(candidate.icon)));
        item->setToolTip(plainToolTip(candidate.detail()));
        if (!candidate.canBeChosen()) {
            item->setFlags(Qt::ItemIsEnabled);
            item->setForeground(palette().brush(QPalette::PlaceholderText));
        }
    }
    if (m_isLoading)
        m_status->setText(QStringLiteral("Reading the applications of this computer\u2026"));
    else if (m_candidates.isEmpty())
        m_status->setText(QStringLiteral("No apps found. Open the app you want to exclude, then choose again."));
    else
        m_status->clear();
    applyFilter();
    updateButton();
}

void ExcludedAppChooser::applyFilter()
{
    const QString filter = m_filter->text().trimmed();
    for (int row = 0; row < m_list->count(); ++row) {
        QListWidgetItem* item = m_list->item(row);
        const int index = item->data(candidateRole).toInt();
        if (index < 0) {
            item->setHidden(false);
            continue;
        }
        const ExclusionCandidate& candidate = m_candidates.at(index);
        const bool matches = filter.isEmpty() || candidate.name.contains(filter, Qt::CaseInsensitive)
                             || candidate.windowClass.value_or(QString()).contains(filter, Qt::CaseInsensitive);
        item->setHidden(!matches);
    }
    // A section header with nothing shown under it goes too.
    for (int row = 0; row < m_list->count(); ++row) {
        QListWidgetItem* item = m_list->item(row);
        if (item->data(candidateRole).toInt() >= 0)
            continue;
        bool anyShown = false;
        for (int next = row + 1; next < m_list->count() && m_list->item(next)->data(candidateRole).toInt() >= 0; ++next)
            anyShown = anyShown || !m_list->item(next)->isHidden();
        item->setHidden(!anyShown);
    }
}

void ExcludedAppChooser::updateButton()
{
    const QList<QListWidgetItem*> selected = m_list->selectedItems();
    bool enabled = false;
    if (!selected.isEmpty()) {
        const int index = selected.first()->data(candidateRole).toInt();
        enabled = index >= 0 && m_candidates.at(index).canBeChosen();
    }
    m_exclude->setEnabled(enabled && !m_exclusions.loadIssue());
}

bool ExcludedAppChooser::selectCandidate(const QString& name, ExclusionCandidate::Source source)
{
    for (int row = 0; row < m_list->count(); ++row) {
        QListWidgetItem* item = m_list->item(row);
        const int index = item->data(candidateRole).toInt();
        if (index < 0)
            continue;
        const ExclusionCandidate& candidate = m_candidates.at(index);
        if (candidate.name == name && candidate.source == source && candidate.canBeChosen()) {
            m_list->setCurrentItem(item);
            return true;
        }
    }
    return false;
}

void ExcludedAppChooser::excludeSelected()
{
    const QList<QListWidgetItem*> selected = m_list->selectedItems();
    if (selected.isEmpty())
        return;
    const int index = selected.first()->data(candidateRole).toInt();
    if (index < 0 || !m_candidates.at(index).canBeChosen() || m_exclusions.loadIssue())
        return;
    const ExclusionCandidate& candidate = m_candidates.at(index);
    m_exclusions.add(*candidate.windowClass, candidate.name);
    accept();
}

} // namespace tolvi
