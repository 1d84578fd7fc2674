// Shows the history window over a sample history and saves each of its main states in the light
// and dark themes as PNG files named history-<state>-<light|dark>.png:
//   TolviHistoryScreenshots <output folder>
// It needs a real X server with a window manager (scripts/screenshots.sh provides one): the
// clear-history confirmation is a window of its own and is captured from the screen.
#include "PreviewShots.h"
#include "BoardShots.h"

#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/history/ClipboardHistoryPanel.h"
#include "Tolvi/history/ClipboardPanelController.h"
#include "Tolvi/history/HistoryWindowState.h"
#include "Tolvi/history/ClipRowMenu.h"
#include "Tolvi/clipviews/PasteAsMenu.h"
#include "Tolvi/history/PowerSearchMenu.h"
#include "Tolvi/clipviews/ThumbnailCache.h"
#include "Tolvi/history/gallery/EditorShots.h"
#include "Tolvi/history/gallery/InspectorShots.h"
#include "Tolvi/gallerysupport/GalleryCamera.h"
#include "Tolvi/gallerysupport/GalleryEvents.h"
#include "Tolvi/gallerysupport/GalleryProgram.h"
#include "Tolvi/gallerysupport/GalleryServices.h"
#include "Tolvi/panels/EscapeClosingPanel.h"
#include "Tolvi/platform/pasteboard/PasteboardTypes.h"
#include "Tolvi/services/paste/InertPasteEnvironment.h"
#include "Tolvi/services/paste/PasteService.h"
#include "TolviCore/model/ReferenceDate.h"
#include "TolviCore/model/UuidText.h"
#include "TolviCore/persistence/FileClipboardHistoryPersistence.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QAbstractButton>
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QLinearGradient>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QTemporaryDir>
#include <QUrl>
#include <QWindow>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>

namespace {

using namespace tolvi;

using gallery::GalleryCamera;
using gallery::GalleryServices;
using gallery::resizeAndWait;
using gallery::settle;
using gallery::waitFor;

// Sample pictures --------------------------------------------------------------------------

QByteArray encodedPNG(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QFont pictureFont(int pixelSize, bool bold = false, bool monospace = false)
{
    QFont font(monospace ? QStringLiteral("DejaVu Sans Mono") : QStringLiteral("DejaVu Sans"));
    font.setPixelSize(std::max(8, pixelSize));
    font.setBold(bold);
    return font;
}

// A window as a screenshot shows it: a title bar, then lines of text on its page.
QImage windowPicture(QSize size, QColor page, QColor ink, QColor bar, const QString& title, const QStringList& lines,
                     bool monospace = false)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(page);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const int barHeight = std::max(24, size.height() / 12);
    painter.fillRect(0, 0, size.width(), barHeight, bar);
    painter.setFont(pictureFont(barHeight / 2, true));
    painter.setPen(Qt::white);
    painter.drawText(QRect(barHeight / 2, 0, size.width() - barHeight, barHeight), Qt::AlignVCenter | Qt::AlignLeft,
                     title);
    const QFont text = pictureFont(std::min(size.height() / 18, size.width() / 28), false, monospace);
    const QFontMetrics metrics(text);
    painter.setFont(text);
    painter.setPen(ink);
    int y = barHeight + metrics.height();
    for (const QString& line : lines) {
        painter.drawText(barHeight / 2, y + metrics.ascent(), line);
        y += metrics.height() * 3 / 2;
    }
    return image;
}

// A banner: one large line of text on a coloured ground.
QImage bannerPicture(QSize size, QColor ground, QColor ink, const QString& text)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(ground);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(pictureFont(size.height() * 2 / 5, true));
    painter.setPen(ink);
    painter.drawText(image.rect(), Qt::AlignCenter, text);
    return image;
}

// A landscape without any text: sky, sun and hills.
QImage landscapePicture(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, size.height());
    sky.setColorAt(0, QColor(0x1d, 0x3b, 0x8f));
    sky.setColorAt(0.7, QColor(0xf2, 0x9e, 0x4c));
    painter.fillRect(image.rect(), sky);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xff, 0xd8, 0x6b));
    painter.drawEllipse(QPointF(size.width() * 0.7, size.height() * 0.55), size.height() * 0.12, size.height() * 0.12);
    painter.setBrush(QColor(0x2f, 0x5d, 0x3a));
    painter.drawEllipse(QRectF(-size.width() * 0.2, size.height() * 0.62, size.width() * 0.9, size.height() * 0.8));
    painter.setBrush(QColor(0x24, 0x4a, 0x2e));
    painter.drawEllipse(QRectF(size.width() * 0.35, size.height() * 0.7, size.width() * 0.9, size.height() * 0.7));
    return image;
}

// The sample history -----------------------------------------------------------------------

// Records the sample clips into a store and hands back each stored clip. Every clip gets its
// own creation time, by which it is found again after recording.
class SampleHistory {
public:
    SampleHistory(ClipboardStore& store, double now) : m_store(store), m_now(now) {}

    std::optional<ClipboardItem> text(const QString& text, double age, std::optional<ClipboardSourceApp> app = {},
                                      std::optional<ClipboardOriginalPayload> payload = std::nullopt)
    {
        const double createdAt = m_now - age;
        if (!m_store.record(text, createdAt, std::move(app), std::move(payload)))
            return refused(QStringLiteral("text clip \"%1\"").arg(text.left(40)));
        return recorded(createdAt);
    }

    std::optional<ClipboardItem> image(const QImage& picture, double age, std::optional<ClipboardSourceApp> app = {},
                                       std::optional<QString> recognizedText = std::nullopt)
    {
        const double createdAt = m_now - age;
        ClipboardImage image(encodedPNG(picture), PasteboardTypes::png, picture.width(), picture.height(),
                             std::move(recognizedText));
        if (!m_store.record(ClipboardContent::image(std::move(image)), createdAt, std::move(app)))
            return refused(QStringLiteral("image %1 x %2").arg(picture.width()).arg(picture.height()));
        return recorded(createdAt);
    }

    // File references as a file manager copies them: the paths as the text, the URLs kept.
    std::optional<ClipboardItem> files(const QStringList& urls, double age, std::optional<ClipboardSourceApp> app = {})
    {
        std::optional<ClipboardOriginalPayload> payload = ClipboardOriginalPayload::create(std::nullopt, std::nullopt, urls);
        if (!payload)
            return refused(QStringLiteral("file references %1").arg(urls.join(QLatin1Char(' '))));
        QStringList paths;
        for (const QString& url : urls)
            paths.append(QUrl(url).path(QUrl::FullyDecoded));
        return text(paths.join(QLatin1Char('\n')), age, std::move(app), std::move(payload));
    }

    const QStringList& failures() const { return m_failures; }
    void fail(const QString& what) { m_failures.append(what); }

private:
    std::optional<ClipboardItem> refused(const QString& what)
    {
        fail(QStringLiteral("the store refused the ") + what);
        return std::nullopt;
    }

    std::optional<ClipboardItem> recorded(double createdAt)
    {
        const QList<ClipboardItem> items = m_store.items();
        const auto found = std::find_if(items.cbegin(), items.cend(),
                                        [createdAt](const ClipboardItem& item) { return item.createdAt() == createdAt; });
        if (found == items.cend()) {
            fail(QStringLiteral("a recorded clip is missing from the history"));
            return std::nullopt;
        }
        return *found;
    }

    ClipboardStore& m_store;
    double m_now;
    QStringList m_failures;
};

QString longText(qsizetype length)
{
    const QString sentence = QStringLiteral(
        "The quick brown fox jumps over the lazy dog while the clipboard keeps every word of it. ");
    QString text;
    text.reserve(length);
    int paragraph = 0;
    while (text.size() < length) {
        text += sentence;
        if (++paragraph % 6 == 0)
            text += QStringLiteral("\n\n");
    }
    text.truncate(length);
    return text;
}

// Fills the store with about thirty clips of every kind; the problems met, if any.
QStringList fillSampleHistory(ClipboardStore& store, double now)
{
    SampleHistory history(store, now);
    const ClipboardSourceApp firefox(QStringLiteral("Firefox"), QStringLiteral("org.mozilla.firefox"));
    const ClipboardSourceApp terminal(QStringLiteral("Terminal"), QStringLiteral("org.gnome.Terminal"));
    const ClipboardSourceApp editor(QStringLiteral("Text Editor"), QStringLiteral("org.gnome.TextEditor"));
    const ClipboardSourceApp files(QStringLiteral("Files"), QStringLiteral("org.gnome.Nautilus"));
    const ClipboardSourceApp screenshot(QStringLiteral("Screenshot"), QStringLiteral("org.gnome.Screenshot"));
    const ClipboardSourceApp mail(QStringLiteral("Thunderbird Mail"), QStringLiteral("org.mozilla.Thunderbird"));
    const ClipboardSourceApp chat(QStringLiteral("Element"), QStringLiteral("im.riot.Riot"));
    const double minute = 60;
    const double hour = 60 * minute;
    const double day = 24 * hour;

    // Plain texts.
    const auto meeting = history.text(QStringLiteral("Meet at 14:30 by the north entrance"), 25, chat);
    history.text(QStringLiteral("OK"), 3 * minute, chat);
    history.text(QStringLiteral("ada.lovelace@example.org"), 7 * minute, mail);
    history.text(QStringLiteral("+44 20 7946 0958"), 11 * minute);
    const auto email = history.text(QStringLiteral(
        "Hi team,\n\nthe release candidate is ready for testing. Please try the new history window, the board "
        "manager and the multi-paste queue, and file anything odd before Thursday.\n\nThanks,\nAda"),
        18 * minute, mail);
    history.text(QStringLiteral("Grüße aus Köln — 東京 ✈️ naïve café, ½ price"), 26 * minute, chat);
    history.text(QStringLiteral("<b>Bold</b> & <i>italic</i> are plain text here, not markup & never links"),
                 33 * minute, editor);
    history.text(QStringLiteral("\tIndented with a tab\n    and four spaces\n\n\nafter three line breaks"), 41 * minute,
                 editor);
    history.text(QStringLiteral("eyJhbGciOiJIUzI1NiIsInR5cCI6IkpXVCJ9.eyJzdWIiOiIxMjM0NTY3ODkwIiwibmFtZSI6IkFkYSBMb3Zl"
                                "bGFjZSIsImlhdCI6MTUxNjIzOTAyMn0.SflKxwRJSMeKKF2QT4fwpMeJf36POk6yJV_adQssw5c"),
                 55 * minute, terminal);
    history.text(QStringLiteral("221B Baker Street\nLondon NW1 6XE\nUnited Kingdom"), 2 * hour, firefox);
    history.text(longText(50'000), 3 * hour, editor);

    // Links.
    history.text(QStringLiteral("https://github.com/tolvi-app/tolvi/pull/482"), 4 * minute, firefox);
    history.text(QStringLiteral("https://docs.qt.io/qt-6/qwidget.html#grab"), 52 * minute, firefox);
    history.text(QStringLiteral("https://maps.example.com/search/?api=1&query=north+entrance+central+station&zoom=17"
                                "&layers=transit,bicycling&utm_source=newsletter&utm_medium=email"),
                 5 * hour, mail);

    // Code and JSON.
    const auto code = history.text(QStringLiteral(
        "for (const ClipboardItem& item : store.items()) {\n"
        "    if (item.isPinned())\n"
        "        pinned.append(item.id());\n"
        "}"), 14 * minute, editor);
    history.text(QStringLiteral("git log --oneline --graph --decorate -n 20 | grep -i history"), 22 * minute, terminal);
    history.text(QStringLiteral("def fingerprint(data: bytes) -> str:\n    return hashlib.sha256(data).hexdigest()\n"),
                 6 * hour, editor);
    const auto json = history.text(QStringLiteral(
        "{\n  \"name\": \"tolvi\",\n  \"version\": \"0.1.0\",\n  \"boards\": [\"Work\", \"Code\"],\n"
        "  \"limits\": { \"maxItems\": 80, \"maxCharacters\": 50000 }\n}"), 47 * minute, editor);
    history.text(QStringLiteral("{\"id\":482,\"state\":\"open\",\"labels\":[\"ui\",\"history\"],\"draft\":false}"),
                 9 * hour, firefox);

    // Images with and without text.
    const auto report = history.image(
        windowPicture({1440, 900}, QColor(0xf7, 0xf7, 0xf2), QColor(0x22, 0x22, 0x22), QColor(0x2b, 0x57, 0x9a),
                      QStringLiteral("Quarterly Report - Q3"),
                      {QStringLiteral("Revenue grew 12% over the quarter."),
                       QStringLiteral("Support tickets fell to 214, the lowest this year."),
                       QStringLiteral("Next review: 14 November.")}),
        9 * minute, screenshot);
    history.image(
        windowPicture({600, 900}, Qt::white, Qt::black, QColor(0x55, 0x55, 0x55), QStringLiteral("RECEIPT #20931"),
                      {QStringLiteral("Coffee       3.20"), QStringLiteral("Croissant    2.80"),
                       QStringLiteral("Total        6.00"), QStringLiteral("Thank you!")}, true),
        1.5 * hour, screenshot,
        QStringLiteral("RECEIPT #20931 Coffee 3.20 Croissant 2.80 Total 6.00 Thank you!"));
    history.image(
        bannerPicture({320, 120}, QColor(0xd9, 0x3f, 0x3f), Qt::white, QStringLiteral("SALE -40%")), 4 * hour, firefox);
    const auto terminalShot = history.image(
        windowPicture({1600, 400}, QColor(0x1e, 0x1e, 0x1e), QColor(0x9c, 0xdc, 0x7c), QColor(0x3a, 0x3a, 0x3a),
                      QStringLiteral("ada@workstation: ~/tolvi"),
                      {QStringLiteral("$ ctest --output-on-failure"), QStringLiteral("100% tests passed, 0 tests failed")},
                      true),
        1 * day + 2 * hour, screenshot);
    const auto landscape = history.image(landscapePicture({1200, 800}), 2 * day, firefox);
    const auto scan = history.image(
        windowPicture({900, 1200}, QColor(0xee, 0xe8, 0xd5), QColor(0x55, 0x44, 0x33), QColor(0x8a, 0x6d, 0x3b),
                      QStringLiteral("Scan 0042"), {QStringLiteral("(faded handwriting)")}),
        3 * day, files);
    const auto diagram = history.image(
        windowPicture({1024, 640}, QColor(0xe8, 0xf1, 0xfb), QColor(0x12, 0x3a, 0x63), QColor(0x1f, 0x6f, 0xb2),
                      QStringLiteral("Architecture"), {QStringLiteral("store -> state -> view")}),
        10 * minute + 5, screenshot);

    // File references.
    const auto oneFile = history.files({QStringLiteral("file:///home/ada/Documents/Quarterly%20Report%20Q3.pdf")},
                                       36 * minute, files);
    history.files({QStringLiteral("file:///home/ada/Pictures/holiday-01.jpg"),
                   QStringLiteral("file:///home/ada/Pictures/holiday-02.jpg"),
                   QStringLiteral("file:///home/ada/Pictures/holiday-03.jpg"),
                   QStringLiteral("file:///home/ada/Pictures/holiday-04.jpg"),
                   QStringLiteral("file:///home/ada/Pictures/holiday-05.jpg")},
                  8 * day, files);

    // Text recognition: found text, nothing found, a failure and a recognition under way.
    if (report)
        store.updateRecognizedText(QStringLiteral("Quarterly Report - Q3 Revenue grew 12% over the quarter. Support "
                                                  "tickets fell to 214, the lowest this year. Next review: 14 November."),
                                   report->content().imageValue().fingerprint(), report->id());
    if (terminalShot)
        store.updateRecognizedText(QStringLiteral("$ ctest --output-on-failure 100% tests passed, 0 tests failed"),
                                   terminalShot->content().imageValue().fingerprint(), terminalShot->id());
    if (landscape)
        store.setOCRStatus(ClipboardStore::OCRStatus::noText, landscape->content().imageValue().fingerprint());
    if (scan)
        store.setOCRStatus(ClipboardStore::OCRStatus::failed, scan->content().imageValue().fingerprint());
    if (diagram)
        store.setOCRProcessing(true, diagram->content().imageValue().fingerprint());

    // Pins and boards: two clips pinned on no board, others on one or two boards.
    auto board = [&store](const QUuid& id) -> std::optional<Pinboard> {
        for (const Pinboard& b : store.pinboards()) {
            if (b.id() == id)
                return b;
        }
        return std::nullopt;
    };
    auto current = [&store](const std::optional<ClipboardItem>& item) { return item ? store.item(item->id()) : item; };
    std::optional<Pinboard> releaseNotes;
    try {
        releaseNotes = store.createPinboard(QStringLiteral("Release notes"), QStringLiteral("doc.text"));
    } catch (const std::exception& error) {
        history.fail(QStringLiteral("the board could not be created: ") + QString::fromLocal8Bit(error.what()));
    }
    const std::optional<Pinboard> work = board(DefaultPinboards::workID());
    const std::optional<Pinboard> codeBoard = board(DefaultPinboards::codeID());
    const std::optional<Pinboard> screenshots = board(DefaultPinboards::screenshotsID());
    if (!work || !codeBoard || !screenshots)
        history.fail(QStringLiteral("the history has not got its default boards"));
    try {
        if (const auto clip = current(meeting))
            store.togglePinned(*clip);
        if (const auto clip = current(oneFile))
            store.togglePinned(*clip);
        if (const auto clip = current(email); clip && work)
            store.togglePinboard(*work, *clip);
        if (const auto clip = current(email); clip && releaseNotes)
            store.togglePinboard(*releaseNotes, *clip);
        if (const auto clip = current(code); clip && codeBoard)
            store.togglePinboard(*codeBoard, *clip);
        if (const auto clip = current(json); clip && codeBoard)
            store.togglePinboard(*codeBoard, *clip);
        if (const auto clip = current(json); clip && work)
            store.togglePinboard(*work, *clip);
        if (const auto clip = current(report); clip && screenshots)
            store.togglePinboard(*screenshots, *clip);
    } catch (const std::exception& error) {
        history.fail(QStringLiteral("a board change failed: ") + QString::fromLocal8Bit(error.what()));
    }
    return history.failures();
}

// Taking the pictures -----------------------------------------------------------------------

// Saves the window's states into the output folder once the window and its preview tiles are
// drawn.
class Photographer {
public:
    Photographer(GalleryCamera& camera, ThumbnailCache& thumbnails) : m_camera(camera), m_thumbnails(thumbnails) {}

    void fail(const QString& what) { m_camera.fail(what); }

    // Waits until the window was drawn and every preview tile it asked for is decoded.
    bool waitUntilDrawn(QWidget* window, const QString& state)
    {
        if (!waitFor([window] { return window->windowHandle() && window->windowHandle()->isExposed(); }, 5000)) {
            fail(QStringLiteral("the window never appeared for \"%1\"").arg(state));
            return false;
        }
        window->update();
        settle(250);
        if (!waitFor([this] { return m_thumbnails.pendingCount() == 0; }, 15000)) {
            fail(QStringLiteral("thumbnails were still decoding for \"%1\"").arg(state));
            return false;
        }
        // The rows repaint with their tiles.
        settle(250);
        return true;
    }

    void savePanel(QWidget* panel, const QString& state)
    {
        if (!waitUntilDrawn(panel, state))
            return;
        QPixmap picture = panel->grab();
        if (m_thumbnails.pendingCount() > 0) {
            // The grab drew rows the screen had not shown yet: once more with their tiles.
            if (!waitUntilDrawn(panel, state))
                return;
            picture = panel->grab();
        }
        m_camera.save(picture, state);
    }

    // The screen area that holds the window and its dialog, as the compositor shows it.
    void saveScreenArea(QWidget* panel, QWidget* dialog, const QString& state)
    {
        if (!waitUntilDrawn(panel, state) || !waitUntilDrawn(dialog, state))
            return;
        // The window manager places and maps the dialog, the compositor draws it.
        settle(600);
        m_camera.saveScreenArea(panel, dialog, state);
    }

private:
    GalleryCamera& m_camera;
    ThumbnailCache& m_thumbnails;
};

// A desktop with one other program in front that takes every paste (no keystroke is sent), so
// that a paste queue shows its bands.
PasteService::Environment desktopWithOneProgram()
{
    PasteService::Environment env = inertPasteEnvironment();
    env.frontmostPID = [] { return std::optional<PasteService::Pid>(4242); };
    env.isRunning = [](PasteService::Pid pid) { return pid == 4242; };
    env.activate = [](PasteService::Pid) { return true; };
    env.isTrusted = [] { return true; };
    env.applicationDescription = [](std::optional<PasteService::Pid>) {
        return std::optional<QString>(QStringLiteral("Text Editor"));
    };
    return env;
}

std::unique_ptr<ClipboardPanelController> makeController(ClipboardStore& store, GalleryServices& services, TolviTheme& theme)
{
    return std::make_unique<ClipboardPanelController>(ClipboardPanelController::Dependencies{
        store, FeatureFlags(TolviDistributionChannel::direct, false), services.usage, services.paste,
        // Recognition that can be asked for again, so the inspector shows its read and retry buttons.
        &services.preferences, nullptr, [](const ClipboardItem&) {}, {}, &theme, nullptr, &services.thumbnails,
        QStringLiteral("tolvi"), {}, {}, {}, [](const QUrl&) { return true; }, [](QWidget*) {}});
}

// Opens the window and waits until the window manager gave it the keyboard: the window closes
// itself when the program loses it.
EscapeClosingPanel* open(ClipboardPanelController& controller, Photographer& photographer)
{
    controller.show(false);
    EscapeClosingPanel* panel = controller.panel();
    if (!waitFor([panel] { return panel->isActiveWindow(); }, 5000))
        photographer.fail(QStringLiteral("the history window never became active"));
    return panel;
}

// The window states over the sample history.
void photographSampleHistory(ClipboardStore& store, GalleryServices& services, TolviTheme& theme, Photographer& photographer)
{
    auto controller = makeController(store, services, theme);
    EscapeClosingPanel* panel = open(*controller, photographer);
    HistoryWindowState& state = *controller->windowState();
    ClipboardHistoryPanel& view = *controller->view();

    photographer.savePanel(panel, QStringLiteral("wide"));
    // As under a desktop's high-contrast theme: opaque, outlined plates.
    theme.accessibility().setIncreasedContrast(true);
    theme.accessibility().setReduceTransparency(true);
    photographer.savePanel(panel, QStringLiteral("high-contrast"));
    theme.accessibility().setIncreasedContrast(false);
    photographer.savePanel(panel, QStringLiteral("reduce-transparency"));
    theme.accessibility().setReduceTransparency(false);
    photographInspector(state, panel, {[&](const QString& name) { photographer.savePanel(panel, name); },
                                       [&](QWidget* popup, const QString& name) { photographer.saveScreenArea(panel, popup, name); },
                                       [&](const QString& problem) { photographer.fail(problem); }});

    if (resizeAndWait(panel, {600, 640}))
        photographer.savePanel(panel, QStringLiteral("narrow"));
    else
        photographer.fail(QStringLiteral("the window did not take the narrow size"));
    if (!resizeAndWait(panel, ClipboardPanelController::initialSize))
        photographer.fail(QStringLiteral("the window did not take its initial size again"));

    // Four rows down, with two clips (one of them the inspected one) chosen for multi-paste.
    const QList<ClipboardItem>& rows = state.filteredItems();
    if (rows.size() >= 5) {
        state.selectItem(rows.first().id());
        state.moveSelection(4);
        state.setQueuedItemIDs({rows.at(2).id(), rows.at(4).id()});
        photographer.savePanel(panel, QStringLiteral("selection"));
        state.setQueuedItemIDs({});
        state.selectItem(state.filteredItems().first().id());
    } else {
        photographer.fail(QStringLiteral("the sample history has too few clips"));
    }

    // Several clips chosen: the footer offers to paste them; narrow, the footer wraps and the
    // action strip shows under the list.
    if (rows.size() >= 6) {
        state.setQueuedItemIDs({rows.at(5).id(), rows.at(1).id(), rows.at(3).id()});
        photographer.savePanel(panel, QStringLiteral("multi-paste"));
        if (resizeAndWait(panel, {560, 640}))
            photographer.savePanel(panel, QStringLiteral("multi-paste-narrow"));
        resizeAndWait(panel, ClipboardPanelController::initialSize);
        state.setQueuedItemIDs({});
    }

    // Filters: the pinned scope with a category and a date, as chips under the field.
    state.setFilterKey(QStringLiteral("pinned"));
    state.setContentFilter(ClipboardSearchContentFilter::text);
    state.setDateFilter(ClipboardSearchDateFilter::last7Days);
    photographer.savePanel(panel, QStringLiteral("filters"));
    state.clearSearchFilters();
    state.setFilterKey(QStringLiteral("pinboard:") + UuidText::format(DefaultPinboards::screenshotsID()));
    photographer.savePanel(panel, QStringLiteral("scope-screenshots"));
    state.clearSearchFilters();

    // Menus, as they open over the window.
    const QPoint menuAt = panel->mapToGlobal(QPoint(panel->width() - 300, 70));
    auto photographMenu = [&](QMenu* menu, const QString& name) {
        menu->popup(menuAt);
        if (!waitFor([menu] { return menu->isVisible(); }, 3000))
            photographer.fail(QStringLiteral("the %1 menu did not open").arg(name));
        else
            photographer.saveScreenArea(panel, menu, name);
        menu->close();
        delete menu;
    };
    photographMenu(new PowerSearchMenu(state, panel), QStringLiteral("power-search-menu"));
    const ClipboardItem& first = state.filteredItems().first();
    photographMenu(view.makeRowMenu(first.id(), panel), QStringLiteral("row-menu"));
    auto lookUp = [&store](const QUuid& id) { return store.item(id); };
    photographMenu(PasteAsMenu::create(first, lookUp, [](const ClipboardItem&) {}, [](const QString&) {}, panel),
                   QStringLiteral("paste-as-text"));
    for (const ClipboardItem& item : state.filteredItems()) {
        const ClipboardImage* image = item.content().imageIf();
        if (image && image->recognizedText() && !image->recognizedText()->isEmpty()) {
            photographMenu(PasteAsMenu::create(item, lookUp, [](const ClipboardItem&) {}, [](const QString&) {}, panel),
                           QStringLiteral("paste-as-image"));
            auto* tools = new QMenu(panel);
            ClipRowMenuEntries::addTools(*tools, state, item);
            if (!tools->actions().isEmpty() && tools->actions().first()->menu())
                photographMenu(tools->actions().first()->menu(), QStringLiteral("tools-menu"));
            delete tools;
            break;
        }
    }

    // A paste queue of three clips with kept representations: waiting for "Paste Next", then
    // stopped by a change of the clipboard.
    QList<ClipboardItem> rich;
    for (const char* text : {"Quarterly summary", "Action items", "Sign-off"}) {
        const QByteArray html = QByteArray("<b>") + text + "</b>";
        rich.append(ClipboardItem(QUuid::createUuid(), QString::fromLatin1(text), ReferenceDate::now(), false, {},
                                  std::nullopt, ClipboardOriginalPayload::create(std::nullopt, html, {})));
    }
    if (rich.size() >= 2) {
        services.paste.pasteItems(rich);
        if (!waitFor([&services] {
                return services.paste.queueStatus().kind == PasteService::PasteQueueStatus::Kind::ready;
            }, 5000))
            photographer.fail(QStringLiteral("the paste queue did not get ready"));
        photographer.savePanel(panel, QStringLiteral("paste-queue"));
        services.paste.cancelPendingPaste(QStringLiteral("The clipboard changed, so the paste queue stopped."));
        photographer.savePanel(panel, QStringLiteral("paste-queue-stopped"));
        services.paste.resetPendingPaste();
    } else {
        photographer.fail(QStringLiteral("the sample history has too few clips with kept representations"));
    }

    state.setQuery(QStringLiteral("https"));
    if (state.filteredItems().isEmpty() || state.filteredItems().size() > 6)
        photographer.fail(QStringLiteral("the search matched %1 clips").arg(state.filteredItems().size()));
    state.moveSelection(1);
    photographer.savePanel(panel, QStringLiteral("search"));

    state.setQuery(QStringLiteral("no clip says this"));
    if (!state.filteredItems().isEmpty())
        photographer.fail(QStringLiteral("the no-matches query matched clips"));
    photographer.savePanel(panel, QStringLiteral("no-matches"));
    state.setQuery(QString());

    const qsizetype clips = store.itemCount();
    state.requestClearHistory();
    QMessageBox* confirmation = view.clearHistoryConfirmation();
    if (!confirmation || !waitFor([confirmation] { return confirmation->isVisible(); }, 5000)) {
        photographer.fail(QStringLiteral("the clear-history confirmation did not open"));
    } else {
        photographer.saveScreenArea(panel, confirmation, QStringLiteral("clear-confirmation"));
        // Cancel, so the history stays for the next theme.
        if (QAbstractButton* cancel = confirmation->escapeButton())
            cancel->click();
        else
            confirmation->reject();
        if (!waitFor([&view] { return view.clearHistoryConfirmation() == nullptr; }, 5000))
            photographer.fail(QStringLiteral("the clear-history confirmation did not close"));
    }
    if (store.itemCount() != clips)
        photographer.fail(QStringLiteral("cancelling the confirmation changed the history"));

    photographPreviews(state, panel, [&](QWidget* window, const QString& name) { photographer.savePanel(window, name); },
                       [&](const QString& problem) { photographer.fail(problem); });
}

void photographEmptyHistory(ClipboardStore& store, GalleryServices& services, TolviTheme& theme, Photographer& photographer)
{
    auto controller = makeController(store, services, theme);
    EscapeClosingPanel* panel = open(*controller, photographer);
    photographer.savePanel(panel, QStringLiteral("empty"));
}

// A history whose notice is up: one that cannot be read, or one that dropped a clip.
void photographNotice(ClipboardStore& store, GalleryServices& services, TolviTheme& theme, Photographer& photographer,
                      const QString& state)
{
    auto controller = makeController(store, services, theme);
    EscapeClosingPanel* panel = open(*controller, photographer);
    photographer.savePanel(panel, state);
}

// The bytes of an image kept in a history file that changed under the program: nothing is left of them.
class VanishedImageBytes final : public StoredImageBytes {
public:
    std::optional<QByteArray> decode() const override { return std::nullopt; }
    bool intact() const override { return false; }
    bool writeBase64(const std::function<void(std::string_view)>&) const override { return false; }
};

std::unique_ptr<ClipboardStore> makeStore(const QString& folder)
{
    return std::make_unique<ClipboardStore>(
        std::make_shared<FileClipboardHistoryPersistence>(QDir(folder).filePath(QStringLiteral("history.json"))),
        ClipboardStore::Configuration::standard());
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString program = QStringLiteral("TolviHistoryScreenshots");
    const std::optional<QDir> folder = gallery::outputFolder(argc, argv, program);
    if (!folder)
        return 1;
    GalleryCamera camera(*folder, program, QStringLiteral("history"));

    // Private folders (owner only, as the history file requires), removed on exit.
    QTemporaryDir sampleFolder;
    QTemporaryDir emptyFolder;
    QTemporaryDir damagedFolder;
    QTemporaryDir droppedFolder;
    if (!sampleFolder.isValid() || !emptyFolder.isValid() || !damagedFolder.isValid() || !droppedFolder.isValid()) {
        camera.fail(QStringLiteral("cannot create a temporary folder"));
        return 1;
    }
    const std::unique_ptr<ClipboardStore> sample = makeStore(sampleFolder.path());
    const std::unique_ptr<ClipboardStore> empty = makeStore(emptyFolder.path());
    if (sample->storageIssue() || empty->storageIssue()) {
        camera.fail(QStringLiteral("cannot open the sample histories"));
        return 1;
    }

    // A history file that is not a history: the window says it cannot be opened.
    {
        QFile damaged(QDir(damagedFolder.path()).filePath(QStringLiteral("history.json")));
        if (!damaged.open(QIODevice::WriteOnly) || damaged.write("{ this is not a history") < 0) {
            camera.fail(QStringLiteral("cannot write the damaged sample history"));
            return 1;
        }
        damaged.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }
    const std::unique_ptr<ClipboardStore> damaged = makeStore(damagedFolder.path());

    // A history that had to drop an image it could no longer read: the window says so.
    const std::unique_ptr<ClipboardStore> dropped = makeStore(droppedFolder.path());
    dropped->record(QStringLiteral("Notes from the design review"), ReferenceDate::now() - 120);
    dropped->record(ClipboardContent::image(ClipboardImage(std::make_shared<VanishedImageBytes>(), 4096, 0,
                                                           QStringLiteral("public.png"))),
                    ReferenceDate::now());
    if (!waitFor([&dropped] { return dropped->lastCaptureIssue().has_value(); }, 10000))
        camera.fail(QStringLiteral("the history did not drop the image it could not read"));

    GalleryServices services(desktopWithOneProgram());
    Photographer photographer(camera, services.thumbnails);
    for (const QString& problem : fillSampleHistory(*sample, ReferenceDate::now()))
        camera.fail(problem);

    for (const gallery::GalleryTheme& entry : gallery::galleryThemes) {
        TolviTheme theme;
        theme.setAppearance(entry.appearance);
        camera.setTheme(QString::fromLatin1(entry.name));
        photographSampleHistory(*sample, services, theme, photographer);
        photographEmptyHistory(*empty, services, theme, photographer);
        photographNotice(*damaged, services, theme, photographer, QStringLiteral("storage-notice"));
        photographNotice(*dropped, services, theme, photographer, QStringLiteral("dropped-image-notice"));
        photographBoardSheet(camera, theme);
        photographEditors(theme, {[&](QWidget* window, const QString& state) { photographer.savePanel(window, state); },
                                  [&](QWidget* window, QWidget* dialog, const QString& state) {
                                      photographer.saveScreenArea(window, dialog, state);
                                  },
                                  [&](const QString& problem) { camera.fail(problem); }});
    }

    try {
        sample->flushPersistence();
        empty->flushPersistence();
    } catch (const std::exception& error) {
        camera.fail(QStringLiteral("the sample history could not be written: ") + QString::fromLocal8Bit(error.what()));
    }
    return camera.failed() ? 1 : 0;
}
