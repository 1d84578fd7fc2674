#include "Tolvi/shell/UnsavedDrafts.h"

#include "TolviCore/persistence/OwnRegularFile.h"
#include "TolviCore/persistence/PersistenceError.h"
#include "TolviCore/persistence/PrivateAtomicFileWriter.h"
#include "TolviCore/persistence/PrivateFolders.h"

#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QTimer>

#include <cerrno>
#include <cstdio>

namespace tolvi {

namespace {

Q_LOGGING_CATEGORY(lcDrafts, "tolvi.drafts")

constexpr int fileVersion = 1;

QByteArray encode(const QList<UnsavedDraft>& drafts)
{
    QJsonArray list;
    for (const UnsavedDraft& draft : drafts) {
        QJsonObject object{{QStringLiteral("editor"), draft.editor},
                           {QStringLiteral("originalText"), draft.originalText},
                           {QStringLiteral("editedText"), draft.editedText}};
        if (draft.clipID)
            object.insert(QStringLiteral("clipID"), draft.clipID->toString(QUuid::WithoutBraces));
        list.append(object);
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("version"), fileVersion}, {QStringLiteral("drafts"), list}})
        .toJson(QJsonDocument::Compact);
}

std::optional<QList<UnsavedDraft>> decode(const QByteArray& bytes)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject root = document.object();
    if (root.value(QStringLiteral("version")).toInt() != fileVersion || !root.value(QStringLiteral("drafts")).isArray())
        return std::nullopt;
    QList<UnsavedDraft> drafts;
    for (const QJsonValue& value : root.value(QStringLiteral("drafts")).toArray()) {
        const QJsonObject object = value.toObject();
        UnsavedDraft draft;
        draft.editor = object.value(QStringLiteral("editor")).toString();
        draft.originalText = object.value(QStringLiteral("originalText")).toString();
        draft.editedText = object.value(QStringLiteral("editedText")).toString();
        const QUuid clip = QUuid::fromString(object.value(QStringLiteral("clipID")).toString());
        if (!clip.isNull())
            draft.clipID = clip;
        if (draft.editor.isEmpty() || !object.value(QStringLiteral("editedText")).isString())
            return std::nullopt;
        drafts.append(draft);
    }
    return drafts;
}

} // namespace

UnsavedDrafts::UnsavedDrafts(QString filePath, QObject* parent)
    : UnsavedDrafts(std::move(filePath), {}, parent)
{
}

UnsavedDrafts::UnsavedDrafts(QString filePath, std::function<qint64()> unixSecondsNow, QObject* parent)
    : QObject(parent), m_filePath(std::move(filePath)), m_unixSecondsNow(std::move(unixSecondsNow))
{
    if (!m_unixSecondsNow)
        m_unixSecondsNow = [] { return QDateTime::currentSecsSinceEpoch(); };
}

UnsavedDrafts::~UnsavedDrafts() = default;

QString UnsavedDrafts::filePathBeside(const QString& historyFilePath)
{
    return QFileInfo(historyFilePath).dir().filePath(QStringLiteral("unsaved-drafts.json"));
}

void UnsavedDrafts::add(QObject* owner, Editor editor)
{
    m_editors.append(Entry{owner, std::move(editor)});
    const Entry& entry = m_editors.last();
    if (hasRecovered(entry.editor.kind)) {
        QPointer<QObject> alive(owner);
        const QString kind = entry.editor.kind;
        QTimer::singleShot(0, this, [this, alive, kind] {
            for (const Entry& candidate : std::as_const(m_editors)) {
                if (alive && candidate.owner == alive && candidate.editor.kind == kind) {
                    offerRecovered(candidate);
                    return;
                }
            }
        });
    }
}

bool UnsavedDrafts::hasRecovered(const QString& kind) const
{
    return std::any_of(m_recovered.cbegin(), m_recovered.cend(),
                       [&](const UnsavedDraft& draft) { return draft.editor == kind; });
}

void UnsavedDrafts::offerRecovered(const Entry& entry)
{
    // One draft per editor at a time; a second of the same kind waits for a later run's file.
    for (qsizetype i = 0; i < m_recovered.size(); ++i) {
        if (m_recovered[i].editor != entry.editor.kind)
            continue;
        const UnsavedDraft draft = m_recovered.takeAt(i);
        qCInfo(lcDrafts).noquote() << "Tolvi offers unsaved text kept at the last end in the editor" << draft.editor;
        if (entry.editor.offer)
            entry.editor.offer(draft);
        break;
    }
    // Every kept draft is in an editor again (or waits in the file rewritten below).
    keep();
}

void UnsavedDrafts::recover()
{
    if (m_filePath.isEmpty())
        return;
    std::optional<QByteArray> bytes;
    try {
        bytes = OwnRegularFile::read(m_filePath, QStringLiteral("unsaved text file"), maximumFileBytes);
    } catch (const PersistenceError& error) {
        if (error.kind() == PersistenceError::Kind::system
            && (error.code() == EINVAL || error.code() == EISDIR || error.code() == EACCES || error.code() == ELOOP)) {
            // Not a file Tolvi wrote (a link, a FIFO, a device, another user's file): no typed
            // text of ours is in it, and it is never read, removed or changed.
            qCWarning(lcDrafts).noquote() << "Tolvi does not read" << m_filePath << ":" << error.what();
            m_nameTaken = true;
            return;
        }
        qCWarning(lcDrafts).noquote() << "Tolvi could not read the unsaved text kept in" << m_filePath << ":"
                                      << error.what() << "and leaves the file as it is";
        m_unreadable = true;
        return;
    }
    if (!bytes)
        return;
    const std::optional<QList<UnsavedDraft>> drafts = decode(*bytes);
    if (!drafts) {
        qCWarning(lcDrafts).noquote() << "Tolvi could not understand the unsaved text kept in" << m_filePath
                                      << "and leaves the file as it is";
        m_unreadable = true;
        return;
    }
    m_recovered = *drafts;
    qCInfo(lcDrafts).noquote() << "Tolvi found" << m_recovered.size() << "unsaved text(s) kept at the last end";
}

bool UnsavedDrafts::setAside()
{
    // The text in it may be the user's (damaged, or written by a newer Tolvi): it keeps its bytes
    // under a dated name beside, so that this run's drafts can take the name.
    const QString aside = QFileInfo(m_filePath).dir().filePath(
        QStringLiteral("unsaved-drafts.unreadable-%1.json").arg(m_unixSecondsNow()));
    if (QFileInfo::exists(aside) || ::rename(QFile::encodeName(m_filePath).constData(), QFile::encodeName(aside).constData()) != 0)
        return false;
    qCWarning(lcDrafts).noquote() << "Tolvi keeps the unsaved text it could not read as" << aside;
    m_unreadable = false;
    return true;
}

QList<UnsavedDraft> UnsavedDrafts::unsavedDrafts() const
{
    QList<UnsavedDraft> drafts;
    for (const Entry& entry : m_editors) {
        if (!entry.owner || !entry.editor.unsaved)
            continue;
        if (std::optional<UnsavedDraft> draft = entry.editor.unsaved()) {
            draft->editor = entry.editor.kind;
            drafts.append(*draft);
        }
    }
    return drafts;
}

bool UnsavedDrafts::keep()
{
    if (m_filePath.isEmpty())
        return false;
    const QList<UnsavedDraft> drafts = unsavedDrafts() + m_recovered;
    try {
        if (m_unreadable) {
            // The file that could not be read stays; it makes room only for drafts to keep.
            if (drafts.isEmpty())
                return true;
            if (!setAside()) {
                qCWarning(lcDrafts).noquote() << "Tolvi could not keep" << drafts.size() << "unsaved text(s): the file"
                                              << m_filePath << "holds text it could not read and could not be moved";
                return false;
            }
        }
        if (drafts.isEmpty()) {
            // Only a file this run read or wrote goes; whatever else stands under the name stays.
            if (!m_nameTaken && QFileInfo::exists(m_filePath) && !QFile::remove(m_filePath))
                throw PersistenceError::system(errno, QStringLiteral("remove"));
            return true;
        }
        const QString folder = folderOf(m_filePath);
        createPrivateFolders(folder);
        requirePrivateFolder(folder);
        PrivateAtomicFileWriter::write(encode(drafts), m_filePath);
        m_nameTaken = false;
        qCInfo(lcDrafts).noquote() << "Tolvi kept" << drafts.size() << "unsaved text(s) in" << m_filePath;
        return true;
    } catch (const std::exception& error) {
        qCWarning(lcDrafts).noquote() << "Tolvi could not keep unsaved text in" << m_filePath << ":" << error.what();
        return false;
    }
}

UnsavedDrafts::CommitAnswer UnsavedDrafts::commitData(const std::function<bool()>& mayAsk)
{
    if (m_asking)
        return CommitAnswer::proceed;
    QList<Entry> holding;
    for (const Entry& entry : std::as_const(m_editors)) {
        if (entry.owner && entry.editor.unsaved && entry.editor.unsaved())
            holding.append(entry);
    }
    if (holding.isEmpty())
        return CommitAnswer::proceed;
    if (!mayAsk || !mayAsk()) {
        keep();
        return CommitAnswer::proceed;
    }
    // The session manager waits for the answer within its request, so the questions are asked
    // and answered here, one editor after another.
    m_asking = true;
    bool keepEditing = false;
    for (const Entry& entry : std::as_const(holding)) {
        if (!entry.owner || !entry.editor.askToDiscard || !entry.editor.unsaved())
            continue;
        QEventLoop loop;
        std::optional<bool> dropped;
        QPointer<QEventLoop> waiting(&loop);
        auto answered = std::make_shared<bool>(false);
        entry.editor.askToDiscard([waiting, &dropped, answered](bool choice) {
            if (*answered)
                return;
            *answered = true;
            dropped = choice;
            if (waiting)
                waiting->quit();
        });
        // An editor that goes away meanwhile takes its question with it.
        QMetaObject::Connection gone;
        if (entry.owner)
            gone = connect(entry.owner, &QObject::destroyed, &loop, &QEventLoop::quit);
        if (!dropped)
            loop.exec();
        disconnect(gone);
        *answered = true;
        if (dropped == false) {
            keepEditing = true;
            break;
        }
    }
    m_asking = false;
    return keepEditing ? CommitAnswer::cancel : CommitAnswer::proceed;
}

} // namespace tolvi
