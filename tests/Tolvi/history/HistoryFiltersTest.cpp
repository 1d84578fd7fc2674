// The history window's header and filter controls (scope bar and menu, category bar, Power
// Search menu, active filter bar) driven as a user drives them, over a small mixed history.
#include "Tolvi/history/ClipboardHistoryPanel.h"
#include "Tolvi/history/ClipboardPanelController.h"
#include "Tolvi/history/HistoryFilterBars.h"
#include "Tolvi/history/HistoryHeader.h"
#include "Tolvi/history/HistoryWindowState.h"
#include "Tolvi/history/PowerSearchMenu.h"
#include "Tolvi/clipviews/ThumbnailCache.h"

#include "HistoryTestSupport.h"

#include "Tolvi/design/Badges.h"
#include "Tolvi/platform/shell/Clock.h"
#include "Tolvi/shell/PreferencesStore.h"
#include "TolviCore/model/ReferenceDate.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <ostream>
#include <set>

// Readable failure messages for texts (and sets of them).
static void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

using namespace tolvi;
using namespace tolvi::test;

namespace {

// Two hours east of UTC, all year.
const QTimeZone zone(2 * 3600);

double at(int year, int month, int day, int hour, int minute, double second = 0)
{
    const QDateTime local(QDate(year, month, day), QTime(hour, minute), zone);
    return ReferenceDate::fromDateTime(local) + second;
}

const double now = at(2026, 3, 10, 15, 0);

using Labels = std::set<QString>;

class HistoryFiltersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        store = makeMemoryStore();
        const ClipboardSourceApp notes(QStringLiteral("Notes"), QStringLiteral("com.notes"));
        add(QStringLiteral("old draft"), at(2026, 1, 29, 10, 0), notes);
        addImage(0xff0000ff, std::nullopt, at(2026, 2, 18, 12, 0), std::nullopt);
        addImage(0xff00ff00, QStringLiteral("receipt total 42"), at(2026, 3, 9, 23, 30),
                 ClipboardSourceApp(QStringLiteral("Screenshot"), QStringLiteral("org.gnome.Screenshot")));
        add(QStringLiteral("let total = price * 2"), at(2026, 3, 7, 11, 0), ClipboardSourceApp(QStringLiteral("Code Editor")));
        add(QStringLiteral("https://example.com/docs"), at(2026, 3, 10, 8, 0),
            ClipboardSourceApp(QStringLiteral("Firefox"), QStringLiteral("org.mozilla.firefox")));
        add(QStringLiteral("meeting notes"), at(2026, 3, 10, 9, 0), notes);

        store->togglePinned(item(QStringLiteral("meeting notes")));
        store->togglePinned(item(QStringLiteral("image 0xff0000ff")));
        store->togglePinboard(board(DefaultPinboards::workID()), item(QStringLiteral("meeting notes")));
        store->togglePinboard(board(DefaultPinboards::codeID()), item(QStringLiteral("let total = price * 2")));
    }

    void add(const QString& text, double createdAt, std::optional<ClipboardSourceApp> app)
    {
        ASSERT_TRUE(store->record(text, createdAt, std::move(app)));
        labelNewClip(text);
    }

    void addImage(QRgb color, std::optional<QString> text, double createdAt, std::optional<ClipboardSourceApp> app)
    {
        ClipboardImage image(pngBytes(4, 4, color), QStringLiteral("public.png"), 4, 4, std::move(text));
        ASSERT_TRUE(store->record(ClipboardContent::image(image), createdAt, std::move(app)));
        labelNewClip(QStringLiteral("image 0x%1").arg(color, 8, 16, QLatin1Char('0')));
    }

    // The clips are recorded out of time order, so the new one can be anywhere in the list.
    void labelNewClip(const QString& label)
    {
        for (const ClipboardItem& clip : store->items()) {
            if (!labels.contains(clip.id()))
                labels.insert(clip.id(), label);
        }
    }

    ClipboardItem item(const QString& label) const
    {
        for (auto it = labels.cbegin(); it != labels.cend(); ++it) {
            if (it.value() == label)
                return *store->item(it.key());
        }
        ADD_FAILURE() << label.toStdString();
        return ClipboardItem(label);
    }

    Pinboard board(const QUuid& id) const
    {
        for (const Pinboard& board : store->pinboards()) {
            if (board.id() == id)
                return board;
        }
        ADD_FAILURE();
        return store->pinboards().first();
    }

    HistoryWindowState& makeState()
    {
        HistoryWindowActions actions;
        actions.showSetup = [this] { ++setupShown; };
        state = std::make_unique<HistoryWindowState>(*store, nullptr, FeatureFlags(TolviDistributionChannel::direct, false),
                                                     false, actions);
        state->setClock([this] { return clockNow; }, zone);
        state->setOverlayAvailability([this](HistoryOverlay overlay) { return available.contains(int(overlay)); });
        return *state;
    }

    Labels shown() const
    {
        Labels result;
        for (const ClipboardItem& clip : state->filteredItems())
            result.insert(labels.value(clip.id()));
        return result;
    }

    static QAction* actionWithData(QMenu* menu, const QVariant& data)
    {
        for (QAction* action : menu->actions()) {
            if (action->data() == data)
                return action;
        }
        return nullptr;
    }

    static QStringList checkedTexts(QMenu* menu)
    {
        QStringList texts;
        for (QAction* action : menu->actions()) {
            if (action->isChecked())
                texts.append(action->text());
        }
        return texts;
    }

    static QStringList titles(const QList<FilterChoiceChip*>& chips, bool checkedOnly = false)
    {
        QStringList result;
        for (const FilterChoiceChip* chip : chips) {
            if (chip->isChecked() || !checkedOnly)
                result.append(chip->title());
        }
        return result;
    }
    static QStringList checkedTitles(const QList<FilterChoiceChip*>& chips) { return titles(chips, true); }

    static QStringList chipTitles(const ActiveFilterBar& bar)
    {
        QStringList result;
        for (const ActiveFilterChip* chip : bar.chips())
            result.append(chip->title() + QLatin1Char('|') + chip->systemImage());
        return result;
    }

    std::unique_ptr<ClipboardStore> store;
    QHash<QUuid, QString> labels;
    std::unique_ptr<HistoryWindowState> state;
    double clockNow = now;
    QSet<int> available{int(HistoryOverlay::clearHistoryConfirmation), int(HistoryOverlay::newSnippet)};
    int setupShown = 0;
};

// ---- Filters combined, chosen through the controls ---------------------------------------

TEST_F(HistoryFiltersTest, ControlsCombineScopeCategoryDateRecognisedTextAndApplication)
{
    HistoryWindowState& s = makeState();
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* scopes = new ScopeBar(s);
    auto* categories = new CategoryBar(s);
    auto* power = new PowerSearchButton(s);
    auto* bar = new ActiveFilterBar(s);
    for (QWidget* widget : std::initializer_list<QWidget*>{scopes, categories, power, bar})
        layout->addWidget(widget);
    PowerSearchMenu* menu = power->powerSearchMenu();

    struct Combination {
        QString scope;
        ClipboardSearchContentFilter content = ClipboardSearchContentFilter::all;
        ClipboardSearchDateFilter date = ClipboardSearchDateFilter::anyTime;
        bool ocr = false;
        std::optional<QString> app;
        Labels expected;
    };
    const QString work = QStringLiteral("pinboard:") + DefaultPinboards::workID().toString(QUuid::WithoutBraces).toUpper();
    const QString screenshots =
        QStringLiteral("pinboard:") + DefaultPinboards::screenshotsID().toString(QUuid::WithoutBraces).toUpper();
    using C = ClipboardSearchContentFilter;
    using D = ClipboardSearchDateFilter;
    const QString meeting = QStringLiteral("meeting notes");
    const QString link = QStringLiteral("https://example.com/docs");
    const QString code = QStringLiteral("let total = price * 2");
    const QString receipt = QStringLiteral("image 0xff00ff00");
    const QString photo = QStringLiteral("image 0xff0000ff");
    const QString draft = QStringLiteral("old draft");
    const std::vector<Combination> combinations = {
        {QStringLiteral("all"), C::all, D::anyTime, false, {}, {meeting, link, code, receipt, photo, draft}},
        // Filing a clip on a board pins it.
        {QStringLiteral("pinned"), C::all, D::anyTime, false, {}, {meeting, code, photo}},
        {QStringLiteral("pinned"), C::images, D::anyTime, false, {}, {photo}},
        {work, C::all, D::anyTime, false, {}, {meeting}},
        {work, C::images, D::anyTime, false, {}, {}},
        // The Screenshots board is every image, filed there or not.
        {screenshots, C::all, D::anyTime, false, {}, {receipt, photo}},
        {screenshots, C::all, D::anyTime, true, {}, {receipt}},
        // Today is counted in the local time zone: 23:30 yesterday is not today.
        {QStringLiteral("all"), C::all, D::today, false, {}, {meeting, link}},
        {QStringLiteral("all"), C::all, D::last7Days, false, {}, {meeting, link, code, receipt}},
        {QStringLiteral("all"), C::text, D::last30Days, false, {}, {meeting, link, code}},
        {QStringLiteral("all"), C::links, D::anyTime, false, {}, {link}},
        {QStringLiteral("all"), C::code, D::anyTime, false, {}, {code}},
        {QStringLiteral("all"), C::all, D::anyTime, true, {}, {receipt}},
        {QStringLiteral("all"), C::all, D::anyTime, false, QStringLiteral("com.notes"), {meeting, draft}},
        {QStringLiteral("all"), C::all, D::today, false, QStringLiteral("com.notes"), {meeting}},
        // An application recorded without a bundle identifier is known by its name.
        {QStringLiteral("all"), C::code, D::anyTime, false, QStringLiteral("Code Editor"), {code}},
        {QStringLiteral("pinned"), C::text, D::today, false, QStringLiteral("com.notes"), {meeting}},
        {QStringLiteral("pinned"), C::all, D::anyTime, false, QStringLiteral("org.mozilla.firefox"), {}},
    };

    for (const Combination& c : combinations) {
        SCOPED_TRACE(c.scope.toStdString() + " " + ClipboardSearchFilters::rawValue(c.content).toStdString() + " "
                     + ClipboardSearchFilters::rawValue(c.date).toStdString() + (c.ocr ? " ocr " : " ")
                     + c.app.value_or(QString()).toStdString());
        for (FilterChoiceChip* chip : scopes->scopeButtons()) {
            if (chip->property("scopeKey").toString() == c.scope)
                chip->click();
        }
        for (FilterChoiceChip* chip : categories->categoryButtons()) {
            if (chip->property("contentFilter").toInt() == int(c.content))
                chip->click();
        }
        menu->rebuild();
        actionWithData(menu->dateMenu(), int(c.date))->trigger();
        menu->rebuild();
        if (menu->ocrTextOnlyAction()->isChecked() != c.ocr)
            menu->ocrTextOnlyAction()->trigger();
        menu->rebuild();
        if (c.app)
            actionWithData(menu->sourceAppMenu(), *c.app)->trigger();

        EXPECT_EQ(s.filterKey(), c.scope);
        EXPECT_EQ(s.contentFilter(), c.content);
        EXPECT_EQ(checkedTitles(categories->categoryButtons()), QStringList{HistoryFilterVocabulary::title(c.content)});
        EXPECT_EQ(s.dateFilter(), c.date);
        EXPECT_EQ(s.requiresOCRText(), c.ocr);
        EXPECT_EQ(s.sourceAppIdentifier(), c.app);
        EXPECT_EQ(shown(), c.expected);

        // The chips show what is chosen, the icon is filled, and one press clears it all.
        const bool active = s.searchCriteria().hasActiveNonQueryFilters();
        EXPECT_EQ(bar->isVisibleTo(&window), active);
        EXPECT_EQ(power->systemImage().endsWith(QStringLiteral(".fill")), active);
        if (active) {
            bar->clearButton()->click();
            EXPECT_FALSE(s.searchCriteria().hasActiveNonQueryFilters());
            EXPECT_EQ(shown().size(), 6u);
        }
    }
}

TEST_F(HistoryFiltersTest, FilterBarShowsEveryActiveFilterAndClearsThemAllButTheQuery)
{
    HistoryWindowState& s = makeState();
    // In a place within a section, as the window has it.
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* place = new QWidget;
    auto* placeLayout = new QVBoxLayout(place);
    auto* bar = new ActiveFilterBar(s);
    auto* power = new PowerSearchButton(s);
    placeLayout->addWidget(bar);
    layout->addWidget(place);
    layout->addWidget(power);
    layout->addStretch(1);
    window.resize(1000, 200);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    // A query alone is no filter: no bar, no filled icon, no "Clear Filters" in the menu.
    s.setQuery(QStringLiteral("total"));
    EXPECT_FALSE(bar->isVisibleTo(&window));
    EXPECT_EQ(power->systemImage(), QStringLiteral("line.3.horizontal.decrease.circle"));
    power->powerSearchMenu()->rebuild();
    EXPECT_FALSE(power->powerSearchMenu()->clearFiltersAction()->isVisible());

    // The scope alone counts.
    s.setFilterKey(QStringLiteral("pinned"));
    EXPECT_TRUE(bar->isVisibleTo(&window));
    EXPECT_EQ(chipTitles(*bar), QStringList{QStringLiteral("Pinned|pin.fill")});
    EXPECT_EQ(power->systemImage(), QStringLiteral("line.3.horizontal.decrease.circle.fill"));
    power->powerSearchMenu()->rebuild();
    EXPECT_TRUE(power->powerSearchMenu()->clearFiltersAction()->isVisible());

    s.setFilterKey(QStringLiteral("pinboard:") + DefaultPinboards::codeID().toString(QUuid::WithoutBraces).toUpper());
    s.setContentFilter(ClipboardSearchContentFilter::code);
    s.setDateFilter(ClipboardSearchDateFilter::last7Days);
    s.setRequiresOCRText(true);
    s.setSourceAppIdentifier(QStringLiteral("Code Editor"));
    EXPECT_EQ(chipTitles(*bar),
              (QStringList{QStringLiteral("Code|") + board(DefaultPinboards::codeID()).systemName(),
                           QStringLiteral("Code|chevron.left.forwardslash.chevron.right"),
                           QStringLiteral("Last 7 days|calendar"), QStringLiteral("OCR Text|text.viewfinder"),
                           QStringLiteral("Code Editor|app")}));
    // The bar appeared with its first chip and took the others on while shown: all show whole.
    QTest::qWait(20);
    for (const ActiveFilterChip* chip : bar->chips())
        EXPECT_EQ(chip->visibleRegion().boundingRect(), chip->rect()) << chip->title().toStdString();

    // The application's last clip deleted: the chip falls back to the identifier it filters by.
    s.setSourceAppIdentifier(QStringLiteral("org.mozilla.firefox"));
    EXPECT_TRUE(chipTitles(*bar).contains(QStringLiteral("Firefox|app")));
    store->remove(item(QStringLiteral("https://example.com/docs")));
    EXPECT_TRUE(chipTitles(*bar).contains(QStringLiteral("org.mozilla.firefox|app")));

    QSignalSpy changes(&s, &HistoryWindowState::criteriaChanged);
    bar->clearButton()->click();
    EXPECT_EQ(changes.size(), 1);
    EXPECT_EQ(s.filterKey(), QStringLiteral("all"));
    EXPECT_EQ(s.contentFilter(), ClipboardSearchContentFilter::all);
    EXPECT_EQ(s.dateFilter(), ClipboardSearchDateFilter::anyTime);
    EXPECT_FALSE(s.requiresOCRText());
    EXPECT_FALSE(s.sourceAppIdentifier());
    EXPECT_EQ(s.query(), QStringLiteral("total"));
    EXPECT_FALSE(bar->isVisibleTo(&window));
    EXPECT_TRUE(bar->chips().isEmpty());
    EXPECT_EQ(power->systemImage(), QStringLiteral("line.3.horizontal.decrease.circle"));
}

// ---- Scope bar and scope menu ------------------------------------------------------------

TEST_F(HistoryFiltersTest, ScopeStripAndMenuChooseTheSameScope)
{
    HistoryWindowState& s = makeState();
    ScopeBar bar(s);
    QMenu* menu = bar.scopeMenu();
    auto openMenu = [menu] { emit menu->aboutToShow(); };

    // A new window: "History" is chosen, the menu says "All History".
    QStringList expected{QStringLiteral("History"), QStringLiteral("Pinned")};
    for (const Pinboard& board : store->pinboards())
        expected.append(board.name());
    EXPECT_EQ(titles(bar.scopeButtons()), expected);
    EXPECT_EQ(checkedTitles(bar.scopeButtons()), QStringList{QStringLiteral("History")});
    EXPECT_EQ(bar.scopeMenuButton()->accessibleDescription(), QStringLiteral("All History"));
    openMenu();
    EXPECT_EQ(checkedTexts(menu), QStringList{QStringLiteral("History")});

    // A board chosen in the strip is marked in the menu, and the other way round.
    const Pinboard work = board(DefaultPinboards::workID());
    const QString workKey = HistoryFilterVocabulary::scopeKey(work);
    bar.scopeButtons().at(2)->click();
    EXPECT_EQ(s.filterKey(), workKey);
    EXPECT_EQ(checkedTitles(bar.scopeButtons()), QStringList{work.name()});
    openMenu();
    EXPECT_EQ(checkedTexts(menu), QStringList{work.name()});
    actionWithData(menu, QStringLiteral("pinned"))->trigger();
    EXPECT_EQ(s.filterKey(), QStringLiteral("pinned"));
    EXPECT_EQ(checkedTitles(bar.scopeButtons()), QStringList{QStringLiteral("Pinned")});
    EXPECT_EQ(bar.scopeMenuButton()->accessibleDescription(), QStringLiteral("Pinned"));

    // Pressing the chosen scope again changes nothing and keeps it marked.
    QSignalSpy changes(&s, &HistoryWindowState::criteriaChanged);
    bar.scopeButtons().at(1)->click();
    actionWithData(menu, QStringLiteral("pinned"))->trigger();
    EXPECT_EQ(changes.size(), 0);
    EXPECT_EQ(checkedTitles(bar.scopeButtons()), QStringList{QStringLiteral("Pinned")});
    EXPECT_EQ(checkedTexts(menu), QStringList{QStringLiteral("Pinned")});

    // The Screenshots board: its own title and symbol, and the image clips.
    const Pinboard shots = board(DefaultPinboards::screenshotsID());
    bar.scopeButtons().at(2 + int(store->pinboards().indexOf(shots)))->click();
    EXPECT_EQ(s.scopeTitle(), shots.name());
    EXPECT_EQ(s.scopeSystemImage(), shots.systemName());
    EXPECT_EQ(shown(), (Labels{QStringLiteral("image 0xff00ff00"), QStringLiteral("image 0xff0000ff")}));

    // A board made, with markup and an ampersand in its name, joins strip and menu as plain text.
    const Pinboard odd = store->createPinboard(QStringLiteral("R&D <b>x</b>"), QStringLiteral("briefcase"));
    EXPECT_EQ(bar.scopeButtons().last()->title(), QStringLiteral("R&D <b>x</b>"));
    EXPECT_EQ(bar.scopeButtons().last()->toolTip(), QStringLiteral("<qt>R&amp;D &lt;b&gt;x&lt;/b&gt;</qt>"));
    openMenu();
    EXPECT_EQ(menu->actions().last()->text(), QStringLiteral("R&&D <b>x</b>"));
    EXPECT_EQ(checkedTexts(menu), QStringList{shots.name()});

    // The chosen board renamed, then deleted: the name follows; then the key stays but reads as
    // all history, with nothing marked and no filter left.
    bar.scopeButtons().last()->click();
    ActiveFilterBar filters(s);
    store->renamePinboard(odd.id(), QStringLiteral("Research"));
    EXPECT_EQ(checkedTitles(bar.scopeButtons()), QStringList{QStringLiteral("Research")});
    EXPECT_EQ(bar.scopeMenuButton()->accessibleDescription(), QStringLiteral("Research"));
    EXPECT_EQ(chipTitles(filters), QStringList{QStringLiteral("Research|briefcase")});
    const QString oddKey = s.filterKey();
    store->deletePinboard(odd.id());
    EXPECT_EQ(s.filterKey(), oddKey);
    EXPECT_TRUE(checkedTitles(bar.scopeButtons()).isEmpty());
    EXPECT_FALSE(titles(bar.scopeButtons()).contains(QStringLiteral("Research")));
    EXPECT_EQ(bar.scopeMenuButton()->accessibleDescription(), QStringLiteral("All History"));
    EXPECT_EQ(s.scopeSystemImage(), QStringLiteral("clock.arrow.circlepath"));
    EXPECT_EQ(shown().size(), 6u);
    EXPECT_TRUE(filters.chips().isEmpty());
    EXPECT_FALSE(s.searchCriteria().hasActiveNonQueryFilters());
    openMenu();
    EXPECT_TRUE(checkedTexts(menu).isEmpty());
}

TEST_F(HistoryFiltersTest, BoardManagementOpensOnlyWhereTheWindowCanShowIt)
{
    HistoryWindowState& s = makeState();
    ScopeBar bar(s);
    QAbstractButton* manage = bar.manageBoardsButton();
    EXPECT_FALSE(manage->isEnabled());
    manage->click();
    EXPECT_FALSE(s.isManagingBoards());
    EXPECT_FALSE(s.isHistoryInteractionBlocked());

    available.insert(int(HistoryOverlay::boardManagement));
    s.setOverlayAvailability([this](HistoryOverlay overlay) { return available.contains(int(overlay)); });
    ASSERT_TRUE(manage->isEnabled());
    manage->click();
    EXPECT_TRUE(s.isManagingBoards());
    EXPECT_TRUE(s.isHistoryInteractionBlocked());
}

// ---- Power Search menu -------------------------------------------------------------------

TEST_F(HistoryFiltersTest, PowerSearchMarksFollowTheStateAndTheApplicationsOfTheHistory)
{
    HistoryWindowState& s = makeState();
    PowerSearchMenu menu(s);
    menu.rebuild();
    EXPECT_EQ(checkedTexts(menu.typeMenu()), QStringList{QStringLiteral("All")});
    EXPECT_EQ(checkedTexts(menu.dateMenu()), QStringList{QStringLiteral("Any time")});
    EXPECT_FALSE(menu.ocrTextOnlyAction()->isChecked());
    ASSERT_TRUE(menu.sourceAppMenu()->menuAction()->isEnabled());
    // One entry per application, by name; the same application twice is one entry.
    QStringList apps;
    for (QAction* action : menu.sourceAppMenu()->actions()) {
        if (!action->isSeparator())
            apps.append(action->text());
    }
    EXPECT_EQ(apps, (QStringList{QStringLiteral("All Apps"), QStringLiteral("Code Editor"), QStringLiteral("Firefox"),
                                 QStringLiteral("Notes"), QStringLiteral("Screenshot")}));
    EXPECT_EQ(checkedTexts(menu.sourceAppMenu()), QStringList{QStringLiteral("All Apps")});

    // Choices made anywhere move the marks, also while the menu stays open.
    s.setContentFilter(ClipboardSearchContentFilter::images);
    s.setDateFilter(ClipboardSearchDateFilter::today);
    menu.rebuild();
    EXPECT_EQ(checkedTexts(menu.typeMenu()), QStringList{QStringLiteral("Images")});
    EXPECT_EQ(checkedTexts(menu.dateMenu()), QStringList{QStringLiteral("Today")});
    actionWithData(menu.sourceAppMenu(), QStringLiteral("com.notes"))->trigger();
    EXPECT_EQ(checkedTexts(menu.sourceAppMenu()), QStringList{QStringLiteral("Notes")});
    // Choosing the chosen one again keeps it chosen.
    actionWithData(menu.typeMenu(), int(ClipboardSearchContentFilter::images))->trigger();
    EXPECT_EQ(s.contentFilter(), ClipboardSearchContentFilter::images);
    EXPECT_EQ(checkedTexts(menu.typeMenu()), QStringList{QStringLiteral("Images")});

    // The chosen application's clips all deleted: it leaves the menu, and nothing is marked.
    store->remove(item(QStringLiteral("meeting notes")));
    store->remove(item(QStringLiteral("old draft")));
    menu.rebuild();
    EXPECT_EQ(actionWithData(menu.sourceAppMenu(), QStringLiteral("com.notes")), nullptr);
    EXPECT_TRUE(checkedTexts(menu.sourceAppMenu()).isEmpty());
    EXPECT_EQ(s.sourceAppFilterTitle(), std::optional<QString>(QStringLiteral("com.notes")));

    menu.clearFiltersAction()->trigger();
    EXPECT_FALSE(s.searchCriteria().hasActiveNonQueryFilters());

    // No clip with an application: the submenu cannot be opened.
    store->clear();
    menu.rebuild();
    EXPECT_FALSE(menu.sourceAppMenu()->menuAction()->isEnabled());
}

TEST_F(HistoryFiltersTest, ApplicationNamesAreShownAsPlainText)
{
    ASSERT_TRUE(store->record(QStringLiteral("x"), now, ClipboardSourceApp(QStringLiteral("AT&T\tMail"), QStringLiteral("com.att"))));
    HistoryWindowState& s = makeState();
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* bar = new ActiveFilterBar(s);
    layout->addWidget(bar);
    PowerSearchMenu menu(s);
    menu.rebuild();
    QAction* att = actionWithData(menu.sourceAppMenu(), QStringLiteral("com.att"));
    ASSERT_NE(att, nullptr);
    EXPECT_EQ(att->text(), QStringLiteral("AT&&T Mail"));
    att->trigger();
    ASSERT_EQ(bar->chips().size(), 1);
    EXPECT_EQ(bar->chips().first()->title(), QStringLiteral("AT&T\tMail"));
    EXPECT_EQ(bar->chips().first()->toolTip(), QStringLiteral("<qt>AT&amp;T\tMail</qt>"));
}

// ---- Header ------------------------------------------------------------------------------

TEST_F(HistoryFiltersTest, HeaderSwitchesTheThemeAndShowsTheCaptureStatus)
{
    HistoryWindowState& s = makeState();
    InMemoryKeyValueSettings settings;
    PreferencesStore preferences(settings);
    HistoryHeader header(s, &preferences);

    QAbstractButton* theme = header.appearanceButton();
    EXPECT_EQ(theme->toolTip(), QStringLiteral("Switch to Dark Glass"));
    EXPECT_EQ(static_cast<HistorySymbolButton*>(theme)->systemImage(), QStringLiteral("moon"));
    theme->click();
    EXPECT_EQ(preferences.appearance(), TolviAppearance::dark);
    EXPECT_EQ(settings.value(PreferencesStore::appearanceKey).toString(), QStringLiteral("dark"));
    EXPECT_EQ(theme->toolTip(), QStringLiteral("Switch to Light Glass"));
    EXPECT_EQ(theme->accessibleName(), QStringLiteral("Switch to Light Glass"));
    EXPECT_EQ(static_cast<HistorySymbolButton*>(theme)->systemImage(), QStringLiteral("sun.max"));
    theme->click();
    EXPECT_EQ(settings.value(PreferencesStore::appearanceKey).toString(), QStringLiteral("light"));
    // Switched elsewhere (settings), shown here.
    preferences.setAppearance(TolviAppearance::dark);
    EXPECT_EQ(static_cast<HistorySymbolButton*>(theme)->systemImage(), QStringLiteral("sun.max"));

    // The pill reads what the preferences say once they hold the new values.
    TolviStatusPill* pill = header.statusPill();
    auto expectStatus = [&](const QString& symbol) {
        EXPECT_EQ(pill->title(), preferences.captureStatusTitle());
        EXPECT_EQ(pill->toolTip(), preferences.captureStatusDetail());
        EXPECT_EQ(pill->accessibleDescription(), preferences.captureStatusDetail());
        EXPECT_EQ(pill->systemImage(), std::optional<QString>(symbol));
        EXPECT_EQ(header.statusGroup()->accessibleName(),
                  QStringLiteral("Clipboard status. Capture: ") + preferences.captureStatusDetail());
    };
    EXPECT_EQ(pill->title(), QStringLiteral("Capture on"));
    expectStatus(QStringLiteral("record.circle"));
    preferences.setClipboardMonitoringEnabled(false);
    EXPECT_EQ(pill->title(), QStringLiteral("Paused"));
    expectStatus(QStringLiteral("pause.fill"));
    preferences.setClipboardMonitoringEnabled(true);
    preferences.setCapturePrivacyBlocked(true);
    EXPECT_EQ(pill->title(), QStringLiteral("Capture blocked"));
    expectStatus(QStringLiteral("exclamationmark.triangle.fill"));
    EXPECT_EQ(pill->accessibleName(), QStringLiteral("Clipboard capture"));

    // A session where capture cannot see every copy says which copies are missed.
    preferences.setCaptureScopeNote(QStringLiteral("Copies made in Wayland apps are missed"));
    preferences.setCapturePrivacyBlocked(false);
    EXPECT_EQ(pill->toolTip(), QStringLiteral("On. Copies made in Wayland apps are missed"));
    expectStatus(QStringLiteral("record.circle"));
}

TEST_F(HistoryFiltersTest, HeaderButtonsActOnlyWhereTheyCan)
{
    HistoryWindowState& s = makeState();
    HistoryHeader header(s, nullptr);
    // Without preferences there is no theme switch and no status.
    EXPECT_TRUE(header.appearanceButton()->isHidden());
    EXPECT_TRUE(header.statusGroup()->isHidden());

    header.quickStartButton()->click();
    EXPECT_EQ(setupShown, 1);
    header.newSnippetButton()->click();
    EXPECT_TRUE(s.isCreatingSnippet());
    s.setCreatingSnippet(false);

    // Clear history needs a clip, pinned or not.
    ASSERT_TRUE(header.clearHistoryButton()->isEnabled());
    header.clearHistoryButton()->click();
    EXPECT_TRUE(s.isConfirmingClearHistory());
    s.setConfirmingClearHistory(false);
    store->clear();
    EXPECT_FALSE(header.clearHistoryButton()->isEnabled());
    ASSERT_TRUE(store->record(QStringLiteral("one"), now));
    store->togglePinned(store->items().first());
    EXPECT_TRUE(header.clearHistoryButton()->isEnabled());

    // An overlay the window cannot show is never asked for.
    available.clear();
    s.setOverlayAvailability([this](HistoryOverlay overlay) { return available.contains(int(overlay)); });
    EXPECT_FALSE(header.newSnippetButton()->isEnabled());
    EXPECT_FALSE(header.clearHistoryButton()->isEnabled());
    header.newSnippetButton()->click();
    EXPECT_FALSE(s.isHistoryInteractionBlocked());
}

TEST_F(HistoryFiltersTest, NarrowHeaderTakesTwoRowsWithoutShrinkingItsControls)
{
    HistoryWindowState& s = makeState();
    InMemoryKeyValueSettings settings;
    PreferencesStore preferences(settings);
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* header = new HistoryHeader(s, &preferences);
    layout->addWidget(header);
    layout->addStretch(1);
    auto settle = [&](int width) {
        window.resize(width, 300);
        QTest::qWait(20);
    };
    auto centreY = [header](const QWidget* widget) { return widget->mapTo(header, widget->rect().center()).y(); };
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    settle(900);
    ASSERT_FALSE(header->isCompact());
    const int wideHeight = header->height();
    const QSize pillSize = header->statusPill()->size();
    // One row: the status beside the buttons.
    EXPECT_LE(std::abs(centreY(header->statusPill()) - centreY(header->clearHistoryButton())), 1);

    settle(360);
    ASSERT_TRUE(header->isCompact());
    EXPECT_GT(header->height(), wideHeight);
    // The status alone below, at the leading edge, at its full size.
    EXPECT_GT(centreY(header->statusPill()), centreY(header->clearHistoryButton()) + 10);
    EXPECT_EQ(header->statusPill()->mapTo(header, QPoint()).x(), header->brand()->mapTo(header, QPoint()).x());
    EXPECT_EQ(header->statusPill()->size(), pillSize);
    EXPECT_EQ(header->clearHistoryButton()->size(), QSize(26, 26));
    EXPECT_TRUE(header->clearHistoryButton()->isVisible());
    EXPECT_TRUE(header->appearanceButton()->isVisible());

    // One row as long as it fits whole; a longer status can then push it onto two.
    const int oneRow = header->sizeHint().width();
    settle(oneRow - 1);
    EXPECT_TRUE(header->isCompact());
    settle(oneRow);
    ASSERT_FALSE(header->isCompact());
    preferences.setCapturePrivacyBlocked(true);
    QTest::qWait(20);
    EXPECT_TRUE(header->isCompact());
}

// ---- Date filters across midnight --------------------------------------------------------

TEST_F(HistoryFiltersTest, TodayMovesOnAtLocalMidnightWhileTheWindowStaysOpen)
{
    HistoryWindowState& s = makeState();
    const double midnight = at(2026, 3, 11, 0, 0);
    clockNow = midnight - 0.2;
    s.refresh();
    s.setDateFilter(ClipboardSearchDateFilter::today);
    EXPECT_EQ(shown(), (Labels{QStringLiteral("meeting notes"), QStringLiteral("https://example.com/docs")}));
    EXPECT_EQ(s.filteredDay(), QDate(2026, 3, 10));

    // Nobody touches the window: the list still moves on to the new day.
    clockNow = midnight + 1;
    QSignalSpy recomputed(&s, &HistoryWindowState::filteredItemsChanged);
    ASSERT_TRUE(recomputed.wait(5000));
    EXPECT_TRUE(shown().empty());
    EXPECT_EQ(s.filteredDay(), QDate(2026, 3, 11));

    // Other date filters have no day to follow.
    s.setDateFilter(ClipboardSearchDateFilter::last7Days);
    EXPECT_FALSE(s.filteredDay().isValid());
}

// ---- Menus in the window take the keyboard -----------------------------------------------

class HistoryFilterMenusInWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        store = makeMemoryStore();
        for (const char* text : {"first", "second", "third"})
            ASSERT_TRUE(store->record(QString::fromLatin1(text), now));
        controller = std::make_unique<ClipboardPanelController>(ClipboardPanelController::Dependencies{
            *store, FeatureFlags(TolviDistributionChannel::direct, false), usage, paste.service, nullptr, nullptr, {}, {},
            nullptr, &settings, &thumbnails, QStringLiteral("tolvi"), {}, [] { return now; }});
    }

    void TearDown() override { controller.reset(); }

    std::unique_ptr<ClipboardStore> store;
    InMemoryKeyValueSettings settings;
    FakeClock clock;
    UsageMetricsStore usage{settings, clock};
    RecordingPaste paste;
    ThumbnailCache thumbnails;
    std::unique_ptr<ClipboardPanelController> controller;
};

TEST_F(HistoryFilterMenusInWindowTest, OpenMenuTakesTheKeysAndEscapeClosesOnlyIt)
{
    controller->show(false);
    HistoryWindowState& state = *controller->windowState();
    auto* scopes = new ScopeBar(state);
    auto* power = new PowerSearchButton(state);
    controller->view()->headerPlace()->layout()->addWidget(scopes);
    controller->view()->headerPlace()->layout()->addWidget(power);
    controller->view()->updatePlaces();
    ASSERT_TRUE(QTest::qWaitForWindowActive(controller->panel()));
    QWindow* window = controller->panel()->windowHandle();

    for (QToolButton* button : {scopes->scopeMenuButton(), static_cast<QToolButton*>(power)}) {
        SCOPED_TRACE(button->objectName().toStdString());
        const QUuid lens = state.lensItem()->id();
        bool sawMenu = false;
        bool closedByEscape = false;
        // The menu runs its own event loop; the keys are pressed from inside it, as the
        // window system would deliver them to the history window.
        QTimer::singleShot(0, [&] {
            QMenu* menu = button->menu();
            sawMenu = QTest::qWaitFor([&] { return menu->isVisible(); });
            EXPECT_EQ(QApplication::activePopupWidget(), menu);
            QTest::keyClick(window, Qt::Key_Down);
            QTest::keyClick(window, Qt::Key_Down);
            QTest::keyClick(window, Qt::Key_Escape);
            closedByEscape = QTest::qWaitFor([&] { return !menu->isVisible(); }, 2000);
            if (!closedByEscape)
                menu->close();
        });
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_TRUE(sawMenu);
        EXPECT_TRUE(closedByEscape);
        // The window got neither key: the selection stayed, the window is still open.
        EXPECT_EQ(state.lensItem()->id(), lens);
        EXPECT_TRUE(controller->isWindowVisible());
    }

    // With the menus closed, the window's keys work again.
    controller->panel()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(controller->panel()));
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_FALSE(controller->isWindowVisible());
}

TEST_F(HistoryFilterMenusInWindowTest, ClickingTheFiltersLeavesTheSearchFieldFocused)
{
    controller->show(false);
    HistoryWindowState& state = *controller->windowState();
    auto* scopes = new ScopeBar(state);
    auto* categories = new CategoryBar(state);
    controller->view()->headerPlace()->layout()->addWidget(scopes);
    controller->view()->headerPlace()->layout()->addWidget(categories);
    controller->view()->updatePlaces();
    ASSERT_TRUE(QTest::qWaitForWindowActive(controller->panel()));
    QLineEdit* search = controller->view()->searchField();
    ASSERT_TRUE(QTest::qWaitFor([&] { return scopes->isVisible() && search->hasFocus(); }));

    FilterChoiceChip* pinned = scopes->scopeButtons().at(1);
    QTest::mouseClick(pinned, Qt::LeftButton, {}, pinned->rect().center());
    EXPECT_EQ(state.filterKey(), QStringLiteral("pinned"));
    FilterChoiceChip* text = categories->categoryButtons().at(1);
    QTest::mouseClick(text, Qt::LeftButton, {}, text->rect().center());
    EXPECT_EQ(state.contentFilter(), ClipboardSearchContentFilter::text);
    // Beside the chips, in the strip.
    QWidget* strip = scopes->strip()->viewport();
    QTest::mouseClick(strip, Qt::LeftButton, {}, QPoint(strip->width() - 2, strip->height() / 2));
    EXPECT_TRUE(search->hasFocus());
    EXPECT_TRUE(state.isSearchFocused());
}

} // namespace
