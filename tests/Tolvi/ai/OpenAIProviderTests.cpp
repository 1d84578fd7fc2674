#include "AITestSupport.h"
#include "ScriptedHttpServer.h"

#include "Tolvi/ai/OpenAIProvider.h"
#include "Tolvi/ai/OpenAIProviderError.h"
#include "Tolvi/ai/OpenAIResponsesMessages.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <memory>

using namespace std::chrono_literals;
using namespace tolvi;
using namespace tolvi::testing;

namespace {

const QString kResponsesPath = QStringLiteral("/v1/responses");

class OpenAIProviderTest : public ::testing::Test {
protected:
    std::unique_ptr<OpenAIProvider> makeProvider(std::optional<QString> key = QStringLiteral("sk-test"),
                                                 QString model = QString(),
                                                 AIHttpSessionConfiguration session = relaxedSession())
    {
        OpenAIProvider::Options options;
        options.apiKeyProvider = [key] { return key; };
        options.modelProvider = [model] { return model; };
        options.endpoint = server.url(kResponsesPath);
        options.sessionConfiguration = std::move(session);
        return std::make_unique<OpenAIProvider>(std::move(options));
    }

    // Runs fix_writing on "hello": "ok:" and the text, or the message of the error.
    QString outcomeFor(const ScriptedReply& reply, const QString& model = QString())
    {
        server.setReply(reply);
        auto provider = makeProvider(QStringLiteral("sk-test"), model);
        const auto result = performAndWait(*provider, AIAction::fixWriting(), QStringLiteral("hello"));
        if (!result)
            return QStringLiteral("<no result>");
        if (result->isSuccess())
            return QStringLiteral("ok:") + result->text();
        return result->error()->errorDescription();
    }

    ScriptedHttpServer server;
};

TEST_F(OpenAIProviderTest, SendsPromptAsInstructionsWithModelAndStoreFalse)
{
    ASSERT_TRUE(server.isListening());
    server.setReply(ScriptedReply::json(200, R"({"output_text":"Fixed."})"));
    auto provider = makeProvider();
    const auto result = performAndWait(*provider, AIAction::draftReply(), QStringLiteral("Can we meet?\nThanks"));
    ASSERT_TRUE(result && result->isSuccess());
    EXPECT_EQ(result->text(), QStringLiteral("Fixed."));

    ASSERT_EQ(server.requests().size(), 1);
    const RecordedRequest& request = server.requests().first();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/v1/responses");
    EXPECT_EQ(request.header("Content-Type"), QByteArray("application/json"));
    EXPECT_EQ(request.header("Authorization"), QByteArray("Bearer sk-test"));
    EXPECT_FALSE(request.header("X-Tolvi-Version").has_value());

    const QJsonObject expected{
        {QStringLiteral("model"), QStringLiteral("gpt-5-mini")},
        {QStringLiteral("store"), false},
        {QStringLiteral("instructions"), AIAction::draftReply().promptTemplate},
        {QStringLiteral("input"), QStringLiteral("Can we meet?\nThanks")},
    };
    EXPECT_EQ(QJsonDocument::fromJson(request.body).object(), expected);
    EXPECT_EQ(request.body, QJsonDocument(expected).toJson(QJsonDocument::Compact));
    EXPECT_FALSE(request.body.contains("draft_reply"));
}

TEST_F(OpenAIProviderTest, KeyGoesIntoTheHeaderExactlyAsGiven)
{
    server.setReply(ScriptedReply::json(200, R"({"output_text":"x"})"));
    auto provider = makeProvider(QStringLiteral("  sk-spaced "));
    ASSERT_TRUE(performAndWait(*provider, AIAction::fixWriting(), QStringLiteral("hello")).has_value());
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests().first().rawHeader("Authorization"), QByteArray(" Bearer   sk-spaced "));
}

TEST_F(OpenAIProviderTest, MissingBlankOrUnsafeKeySendsNothing)
{
    server.setReply(ScriptedReply::json(200, R"({"output_text":"x"})"));
    const QList<std::optional<QString>> keys{std::nullopt,
                                             QString(),
                                             QStringLiteral(" \n\t "),
                                             QStringLiteral("sk-test\r\nX-Injected: yes"),
                                             QStringLiteral("sk-test\n"),
                                             QStringLiteral("sk\x01test")};
    for (const auto& key : keys) {
        auto provider = makeProvider(key);
        const auto result = performAndWait(*provider, AIAction::fixWriting(), QStringLiteral("hello"));
        ASSERT_TRUE(result && result->errorAs<OpenAIProviderError>());
        EXPECT_EQ(result->errorAs<OpenAIProviderError>()->kind(), OpenAIProviderError::Case::missingAPIKey);
        EXPECT_EQ(result->error()->errorDescription(),
                  QStringLiteral("Tolvi AI is not connected in this build. No content was sent."));
    }
    auto clean = makeProvider();
    ASSERT_TRUE(performAndWait(*clean, AIAction::fixWriting(), QStringLiteral("hello")).has_value());
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_FALSE(server.requests().first().hasHeaderLike("Injected"));
}

TEST_F(OpenAIProviderTest, ModelComesFromTheSourceTrimmedOrDefaults)
{
    server.setReply(ScriptedReply::json(200, R"({"output_text":"x"})"));
    const QList<QPair<QString, QString>> cases{
        {QString(), QStringLiteral("gpt-5-mini")},
        {QStringLiteral(" \n "), QStringLiteral("gpt-5-mini")},
        {QStringLiteral("  gpt-test-1 \n"), QStringLiteral("gpt-test-1")},
    };
    for (const auto& [configured, sent] : cases) {
        auto provider = makeProvider(QStringLiteral("sk-test"), configured);
        EXPECT_EQ(provider->configuredModel(), sent);
        ASSERT_TRUE(performAndWait(*provider, AIAction::fixWriting(), QStringLiteral("hello")).has_value());
        EXPECT_EQ(QJsonDocument::fromJson(server.requests().last().body).object().value(QStringLiteral("model")).toString(),
                  sent);
    }
}

TEST_F(OpenAIProviderTest, SuccessfulAnswers)
{
    // The text comes back as the interface gave it; the AI service trims.
    EXPECT_EQ(outcomeFor(ScriptedReply::json(200, R"({"output_text":"  Hi there \n"})")),
              QStringLiteral("ok:  Hi there \n"));
    EXPECT_EQ(outcomeFor(ScriptedReply::json(200, R"({"output_text":" \n ","output":[
        {"type":"reasoning"},
        {"content":[{"type":"output_text","text":"First"},{"type":"annotation"}]},
        {"content":[{"text":"Second"}]}]})")),
              QStringLiteral("ok:First\nSecond"));
}

TEST_F(OpenAIProviderTest, AnswersWithoutTextOrUnreadable)
{
    const QString noText = QStringLiteral("OpenAI returned no text.");
    EXPECT_EQ(outcomeFor(ScriptedReply::json(200, "{}")), noText);
    EXPECT_EQ(outcomeFor(ScriptedReply::json(200, R"({"output_text":"  ","output":[{"content":[{"text":" "}]}]})")),
              noText);
    EXPECT_EQ(outcomeFor(ScriptedReply::json(200, R"({"output":[]})")), noText);

    const auto decodingError = [this](const QByteArray& body) {
        server.setReply(ScriptedReply::json(200, body));
        auto provider = makeProvider();
        const auto result = performAndWait(*provider, AIAction::fixWriting(), QStringLiteral("hello"));
        return result ? result->errorAs<ResponsesDecodingError>() : nullptr;
    };
    for (const QByteArray& body : {QByteArray("not json"), QByteArray("<html>ok</html>"), QByteArray(""),
                                   QByteArray("[1,2]"), QByteArray(R"({"output":5})"),
                                   QByteArray(R"({"output_text":5})"), QByteArray(R"({"output":[{"content":[{"text":3}]}]})"),
                                   QByteArray("{\"output_text\":\"caf\xc3\x28\"}")}) {
        const auto error = decodingError(body);
        ASSERT_TRUE(error) << body.toStdString();
        EXPECT_TRUE(error->errorDescription().startsWith(QStringLiteral("OpenAI returned an answer that could not be read")))
            << error->errorDescription().toStdString();
    }
}

TEST_F(OpenAIProviderTest, UnsuccessfulAnswers)
{
    EXPECT_EQ(outcomeFor(ScriptedReply::json(404, R"({"error":{"message":"The model `gpt-nope` does not exist or you do not have access to it.","type":"invalid_request_error"}})"),
                         QStringLiteral("gpt-nope")),
              QStringLiteral("OpenAI rejected model 'gpt-nope'. The model `gpt-nope` does not exist or you do not have access to it."));
    EXPECT_EQ(outcomeFor(ScriptedReply::json(400, R"({"error":{"message":"Parameter is Unsupported here."}})")),
              QStringLiteral("OpenAI rejected model 'gpt-5-mini'. Parameter is Unsupported here."));
    EXPECT_EQ(outcomeFor(ScriptedReply::json(401, R"({"error":{"message":"Incorrect API key provided: sk-test."}})")),
              QStringLiteral("Incorrect API key provided: sk-test."));
    EXPECT_EQ(outcomeFor(ScriptedReply::json(429, R"({"error":{"message":"Rate limit reached."}})")),
              QStringLiteral("Rate limit reached."));

    const QString generic = QStringLiteral("OpenAI request failed.");
    EXPECT_EQ(outcomeFor(ScriptedReply::withBody(500, "text/html", "<html><h1>Bad gateway</h1></html>")), generic);
    EXPECT_EQ(outcomeFor(ScriptedReply::json(503, R"({"error":"overloaded"})")), generic);
    EXPECT_EQ(outcomeFor(ScriptedReply::json(400, R"({"error":{"code":"x"}})")), generic);
    EXPECT_EQ(outcomeFor(ScriptedReply::json(400, R"({"error":{"message":" \n "}})")), generic);
    // A status outside 2xx fails even when the body looks like a success.
    EXPECT_EQ(outcomeFor(ScriptedReply::json(500, R"({"output_text":"Fixed."})")), generic);
}

TEST_F(OpenAIProviderTest, TransportFailures)
{
    EXPECT_EQ(outcomeFor(ScriptedReply::closeWithoutReply()),
              QStringLiteral("Tolvi AI could not connect. No clip was saved or pasted."));

    server.setReply(ScriptedReply::hang());
    auto slow = makeProvider(QStringLiteral("sk-test"), QString(), session(250ms, 20s));
    const auto result = performAndWait(*slow, AIAction::fixWriting(), QStringLiteral("hello"));
    ASSERT_TRUE(result && result->errorAs<OpenAIProviderError>());
    EXPECT_EQ(result->errorAs<OpenAIProviderError>()->kind(), OpenAIProviderError::Case::network);
    EXPECT_EQ(result->error()->errorDescription(), QStringLiteral("Tolvi AI timed out. No clip was saved or pasted."));

    OpenAIProvider::Options options;
    options.apiKeyProvider = [] { return std::optional<QString>(QStringLiteral("sk-test")); };
    options.endpoint = unreachableURL(kResponsesPath);
    options.sessionConfiguration = relaxedSession();
    OpenAIProvider unreachable(std::move(options));
    const auto refused = performAndWait(unreachable, AIAction::fixWriting(), QStringLiteral("hello"));
    ASSERT_TRUE(refused && refused->errorAs<OpenAIProviderError>());
    EXPECT_EQ(refused->error()->errorDescription(),
              QStringLiteral("Tolvi AI could not connect. No clip was saved or pasted."));
}

TEST(ResponsesResponseTest, OutputTextValue)
{
    const auto textOf = [](const QByteArray& body) -> std::optional<QString> {
        const auto decoded = ResponsesResponse::decode(body);
        const auto* response = std::get_if<ResponsesResponse>(&decoded);
        if (!response)
            return QStringLiteral("<decoding failed>");
        return response->outputTextValue();
    };
    EXPECT_EQ(textOf(R"({"output_text":"a","output":[{"content":[{"text":"b"}]}]})"), QStringLiteral("a"));
    // Empty texts take part in the join; the whole is trimmed.
    EXPECT_EQ(textOf(R"({"output":[{"content":[{"text":"\n a"},{"text":""},{"text":"b \n"}]}]})"),
              QStringLiteral("a\n\nb"));
    EXPECT_EQ(textOf(R"({"output":[{"content":null},{"content":[{"text":null},{"text":"c"}]}],"other":1})"),
              QStringLiteral("c"));
    EXPECT_EQ(textOf(R"({"output_text":null,"output":null})"), std::nullopt);
}

} // namespace
