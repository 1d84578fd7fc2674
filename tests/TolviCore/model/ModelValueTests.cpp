#include "TolviCore/model/ClipboardHistoryImportError.h"
#include "TolviCore/model/ClipboardTextDraft.h"
#include "TolviCore/model/ExcludedApp.h"
#include "TolviCore/model/Pinboard.h"
#include "TolviCore/model/ReferenceDate.h"
#include "TolviCore/model/UnicodeText.h"
#include "TolviCore/model/UuidText.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

#include <cmath>
#include <limits>

#include <QJsonDocument>

using namespace tolvi;

TEST(DefaultPinboards, FixedIdsAndOneCreationTimePerProcess)
{
    const QList<Pinboard>& boards = DefaultPinboards::all();
    ASSERT_EQ(boards.size(), 4);
    const QStringList names = {"Work", "Code", "Screenshots", "Personal"};
    const QStringList symbols = {"briefcase", "chevron.left.forwardslash.chevron.right", "photo", "person"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(boards[i].name(), names[i]);
        EXPECT_EQ(boards[i].systemName(), symbols[i]);
        EXPECT_EQ(UuidText::format(boards[i].id()), QString(36, QChar(u'1' + i)).replace(8, 1, "-").replace(13, 1, "-").replace(18, 1, "-").replace(23, 1, "-"));
    }
    EXPECT_EQ(boards[2].id(), DefaultPinboards::screenshotsID());
    EXPECT_LE(boards[0].createdAt(), boards[3].createdAt());
    EXPECT_EQ(DefaultPinboards::all(), boards);

    Pinboard renamed = boards[0];
    renamed.setName(QStringLiteral("Office"));
    EXPECT_NE(renamed, boards[0]);
}

TEST(UuidText, StrictFormAndUpperCaseOutput)
{
    const QUuid uuid(QStringLiteral("{6f1c2b1e-0d2a-4c7b-9e3a-1b2c3d4e5f60}"));
    EXPECT_EQ(UuidText::format(uuid), QStringLiteral("6F1C2B1E-0D2A-4C7B-9E3A-1B2C3D4E5F60"));
    EXPECT_EQ(UuidText::parse(QStringView(u"6f1c2b1e-0d2a-4c7b-9e3a-1b2c3d4e5f60")), uuid);
    EXPECT_EQ(UuidText::parse(std::string_view("6F1C2B1E-0D2A-4C7B-9E3A-1B2C3D4E5F60")), uuid);
    const auto zero = UuidText::parse(std::string_view("00000000-0000-0000-0000-000000000000"));
    ASSERT_TRUE(zero.has_value());
    EXPECT_TRUE(zero->isNull());
    for (const char* bad : {"{6F1C2B1E-0D2A-4C7B-9E3A-1B2C3D4E5F60}", "6F1C2B1E0D2A4C7B9E3A1B2C3D4E5F60",
                            "6F1C2B1E-0D2A-4C7B-9E3A-1B2C3D4E5F6", "6F1C2B1E-0D2A-4C7B-9E3A-1B2C3D4E5F6G",
                            "6F1C2B1E-0D2A-4C7B-9E3A1-B2C3D4E5F60", ""}) {
        EXPECT_FALSE(UuidText::parse(std::string_view(bad)).has_value()) << bad;
    }
}

TEST(UnicodeText, SurrogatesLengthsAndCharacters)
{
    QString lone = QStringLiteral("a");
    lone.append(QChar(0xD800));
    lone.append(QStringLiteral("b"));
    lone.append(QChar(0xDC00));
    EXPECT_TRUE(UnicodeText::hasLoneSurrogates(lone));
    EXPECT_EQ(UnicodeText::replacingLoneSurrogates(lone), QString::fromUtf8("a\xEF\xBF\xBD" "b\xEF\xBF\xBD"));
    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80"); // one pair
    EXPECT_FALSE(UnicodeText::hasLoneSurrogates(emoji));
    EXPECT_EQ(UnicodeText::utf8Length(emoji), 4);
    EXPECT_EQ(UnicodeText::utf8Length(QString::fromUtf8("a\xC3\xA9\xE2\x82\xAC")), 6);
    EXPECT_EQ(UnicodeText::utf8Length(lone), UnicodeText::replacingLoneSurrogates(lone).toUtf8().size());
}

// Long ASCII runs are counted sixteen units at a time: every mixture, with pairs and lone
// surrogates on either side of those blocks, counts as its UTF-8 form.
TEST(UnicodeText, UTF8LengthOfMixedTextAcrossBlocksIsThatOfItsUTF8Form)
{
    QRandomGenerator random(5);
    const char16_t units[] = {u'a', u'\n', 0x7f, 0x80, 0xe9, 0x7ff, 0x800, 0x20ac, 0xffff, 0xd83d, 0xde00, 0xdbff, 0xdc00};
    for (int round = 0; round < 2000; ++round) {
        QString text;
        const int pieces = random.bounded(1, 8);
        for (int p = 0; p < pieces; ++p) {
            text += QString(random.bounded(0, 40), QLatin1Char('x'));
            const int others = random.bounded(0, 4);
            for (int o = 0; o < others; ++o)
                text += QChar(units[random.bounded(int(std::size(units)))]);
        }
        ASSERT_EQ(UnicodeText::utf8Length(text), UnicodeText::replacingLoneSurrogates(text).toUtf8().size())
            << text.toStdU16String().size();
    }
}

TEST(ClipboardTextDraft, CharacterStatusAndSaving)
{
    ClipboardTextDraft draft(QStringLiteral("hello"));
    EXPECT_EQ(draft.characterStatus(), QStringLiteral("5 chars"));
    draft.editedText = QStringLiteral("hello!!!");
    EXPECT_EQ(draft.characterStatus(), QStringLiteral("8 chars, +3"));
    draft.editedText = QStringLiteral("hel");
    EXPECT_EQ(draft.characterStatus(), QStringLiteral("3 chars, -2"));
    draft.editedText = QStringLiteral("hellp");
    EXPECT_EQ(draft.characterStatus(), QStringLiteral("5 chars, +0"));
    EXPECT_TRUE(draft.hasUnsavedChanges());
    draft.markSaved();
    EXPECT_FALSE(draft.hasUnsavedChanges());
    EXPECT_EQ(draft.characterStatus(), QStringLiteral("5 chars"));

    EXPECT_EQ(ClipboardTextDraft(QStringLiteral("x")).characterStatus(), QStringLiteral("1 chars"));
    EXPECT_EQ(ClipboardTextDraft().characterStatus(), QStringLiteral("0 chars"));
    EXPECT_FALSE(ClipboardTextDraft().canUseEditedText());
    EXPECT_FALSE(ClipboardTextDraft(QStringLiteral(" \n\t ")).canUseEditedText());
    EXPECT_TRUE(ClipboardTextDraft(QStringLiteral(" x ")).canUseEditedText());

    // A family emoji (man, ZWJ, woman, ZWJ, girl) is one character.
    const QString family = QString::fromUtf8("\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7");
    EXPECT_EQ(ClipboardTextDraft(family).characterStatus(), QStringLiteral("1 chars"));

    ClipboardTextDraft saved(QStringLiteral("a"));
    const ClipboardTextDraftMutation mutation = saved.applyAIResult(QStringLiteral("b"));
    EXPECT_TRUE(saved.hasUnsavedChanges());
    EXPECT_EQ(saved.originalText, QStringLiteral("a"));
    EXPECT_FALSE(mutation.shouldSaveAutomatically);
    EXPECT_FALSE(mutation.shouldPasteAutomatically);
}

TEST(ClipboardHistoryImportError, MessagesAndEquality)
{
    using Case = ClipboardHistoryImportError::Case;
    EXPECT_EQ(ClipboardHistoryImportError(Case::tooLarge).errorDescription(),
              QStringLiteral("This archive exceeds the supported size or item limits."));
    EXPECT_EQ(ClipboardHistoryImportError(Case::invalidBoardOrder).errorDescription(),
              QStringLiteral("The board order must contain every board exactly once."));
    EXPECT_STREQ(ClipboardHistoryImportError(Case::missingBoard).what(), "The board no longer exists.");
    EXPECT_EQ(ClipboardHistoryImportError(Case::storageUnavailable), ClipboardHistoryImportError(Case::storageUnavailable));
    EXPECT_FALSE(ClipboardHistoryImportError(Case::tooLarge) == ClipboardHistoryImportError(Case::invalidArchive));
    EXPECT_EQ((ClipboardImportPreview{1, 2, 3, 4}), (ClipboardImportPreview{1, 2, 3, 4}));
    EXPECT_FALSE((ClipboardImportPreview{1, 2, 3, 4}) == (ClipboardImportPreview{1, 2, 4, 4}));
}

TEST(ExcludedApp, JsonFormAndIdentity)
{
    const ExcludedApp app{QStringLiteral("org.keepass.KeePassXC"), QStringLiteral("KeePassXC")};
    const QByteArray json = QJsonDocument(app.toJson()).toJson();
    EXPECT_EQ(ExcludedApp::fromJson(QJsonDocument::fromJson(json).object()), app);
    EXPECT_FALSE(ExcludedApp::fromJson(QJsonDocument::fromJson(R"({"bundleIdentifier":"a"})").object()));
    EXPECT_FALSE(ExcludedApp::fromJson(QJsonDocument::fromJson(R"({"bundleIdentifier":"a","name":3})").object()));
    EXPECT_TRUE(ExcludedApp::fromJson(QJsonDocument::fromJson(R"({"bundleIdentifier":"a","name":"b","x":1})").object()));
    const ExcludedApp renamed{app.bundleIdentifier, QStringLiteral("Other")};
    EXPECT_EQ(renamed.id(), app.id());
    EXPECT_NE(renamed, app);
}

TEST(ReferenceDate, ConversionsKeepTheEpochOffset)
{
    EXPECT_EQ(ReferenceDate::toDateTime(0.0), QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC));
    EXPECT_DOUBLE_EQ(ReferenceDate::fromDateTime(QDateTime(QDate(2001, 1, 2), QTime(0, 0), Qt::UTC)), 86400.0);
    const double now = ReferenceDate::now();
    EXPECT_NEAR(ReferenceDate::toUnixSeconds(now), QDateTime::currentMSecsSinceEpoch() / 1000.0, 5.0);
}

TEST(ReferenceDate, ValuesWithNoInstantGiveNoDate)
{
    EXPECT_FALSE(ReferenceDate::toDateTime(std::nan("")).isValid());
    EXPECT_FALSE(ReferenceDate::toDateTime(std::numeric_limits<double>::infinity()).isValid());
    EXPECT_FALSE(ReferenceDate::toDateTime(-1e300).isValid());
    EXPECT_TRUE(ReferenceDate::toDateTime(-978307200.0).isValid());
}
