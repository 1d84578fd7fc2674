#include "Tolvi/shell/DiagnosticsSnapshot.h"

#include <QFileInfo>
#include <QSysInfo>
#include <QThread>
#include <QtGlobal>

namespace tolvi {

namespace {

QString isoDescription(const std::optional<QDateTime>& time)
{
    if (!time || !time->isValid())
        return QStringLiteral("none");
    return time->toUTC().toString(Qt::ISODate);
}

} // namespace

void ClipboardItemStats::add(bool isImage, const std::optional<QString>& recognizedText, bool isPinned)
{
    ++totalCount;
    if (isImage) {
        ++imageCount;
        if (recognizedText && !recognizedText->trimmed().isEmpty())
            ++ocrImageCount;
    } else {
        ++textCount;
    }
    if (isPinned)
        ++pinnedCount;
}

HistoryFileSnapshot HistoryFileSnapshot::of(const QString& filePath)
{
    HistoryFileSnapshot snapshot;
    if (filePath.isEmpty())
        return snapshot;
    const QFileInfo info(filePath);
    snapshot.exists = info.exists();
    if (snapshot.exists && info.isFile())
        snapshot.byteCount = info.size();
    return snapshot;
}

SystemFacts SystemFacts::current()
{
    SystemFacts facts;
    facts.operatingSystemVersion =
        QSysInfo::prettyProductName() + QStringLiteral(" (kernel ") + QSysInfo::kernelVersion() + QLatin1Char(')');
    facts.processorCount = QThread::idealThreadCount();
    facts.isSandboxed = qEnvironmentVariableIsSet("FLATPAK_ID") || qEnvironmentVariableIsSet("SNAP");
    return facts;
}

QString DiagnosticsSnapshot::usageLastRecordedDescription() const
{
    return isoDescription(usageLastRecordedAt);
}

QString DiagnosticsSnapshot::usageLastResetDescription() const
{
    return isoDescription(usageLastResetAt);
}

} // namespace tolvi
