#include "AITestSupport.h"
#include "ScriptedHttpServer.h"

#include "Tolvi/ai/TolviAIBackendConfiguration.h"
#include "Tolvi/ai/TolviAIBackendError.h"
#include "Tolvi/ai/TolviAIBackendProvider.h"
#include "TolviCore/ai/AIResultDelivery.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>

using namespace std::chrono_literals;
using namespace tolvi;
using namespace tolvi::testing;

namespace {

const QString kRewritePath = QStringLiteral("/api/ai/rewrite");

class TolviAIBackendProviderTest : public ::testing::Test {
protected:
    std::unique_ptr<TolviAIBackendProvider> makeProvider(AccessTokenProvider tokens,
                                                         AIHttpSessionConfiguration session = relaxedSession(),
                                                         QString version = QStringLiteral("1.4 27"))
    {
        TolviAIBackendProvider::Options options;
        options.endpoint = server.url(kRewritePath);
        options.appVersion = version;
        options.accessTokenProvider = std::move(tokens);
        options.sessionConfiguration = std::move(session);
        return std::make_unique<TolviAIBackendProvider>(std::move(options));
    }

    std::unique_ptr<TolviAIBackendProvider> makeProvider()
    {
        return makeProvider([] { return std::optional<QString>(QStringLiteral("token-1")); });
    }

    // Runs fix_writing on "hello" and returns the message of the error it fails with, or the text.
    QString outcomeFor(const ScriptedReply& reply)
    {
        server.setReply(reply);
        auto provider = makeProvider();
        const auto result = performAndWait(*provider, AIAction::fixWriting(), QStringLiteral("hello"));
        if (!result)
            return QStringLiteral("<no result>");
        if (result->isSuccess())
            return QStringLiteral("ok:") + result->text();
        if (!result->errorAs<TolviAIBackendError>())
            return QStringLiteral("<foreign error>");
        return result->error()->errorDescription();
    }

    ScriptedHttpServer server;
};

TEST_F(TolviAIBackendProviderTest, SendsActionIdentifierInputTokenAndHeaders)
{
    ASSERT_TRUE(server.isListening());
    server.setReply(ScriptedReply::json(200, R"({"output":"Fixed."})"));
    auto provider = makeProvider([] { return std::optional<QString>(QStringLiteral("  token-1 \n")); });

    const auto result = performAndWait(*provider, AIAction::draftReply(), QStringLiteral("Line one\n  line two"));
    ASSERT_TRUE(result.has_value());
    ASSERT_TRUE(result->isSuccess()) << result->error()->errorDescription().toStdString();
    EXPECT_EQ(result->text(), QStringLiteral("Fixed."));

    ASSERT_EQ(server.requests().size(), 1);
    const RecordedRequest& request = server.requests().first();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/api/ai/rewrite");
    EXPECT_EQ(request.header("Content-Type"), QByteArray("application/json"));
    EXPECT_EQ(request.header("Authorization"), QByteArray("Bearer token-1"));
    EXPECT_EQ(request.header("X-Tolvi-Version"), QByteArray("1.4 27"));
    EXPECT_EQ(request.body, QByteArray(R"({"accessToken":"token-1","action":"draft_reply","input":"Line one\n  line two"})"));
    // No prompt text and no title goes to the service.
    EXPECT_FALSE(request.body.contains("Draft Reply"));
    EXPECT_FALSE(request.body.contains("Draft a useful reply"));
}

TEST_F(TolviAIBackendProviderTest, AsksForTheTokenOncePerRequestOffTheMainThread)
{
    server.setReply(ScriptedReply::json(200, R"({"output":"x"})"));
    auto calls = std::make_shared<std::atomic<int>>(0);
    auto onMainThread = std::make_shared<std::atomic<bool>>(false);
    QThread* mainThread = QCoreApplication::instance()->thread();
    auto provider = makeProvider([calls, onMainThread, mainThread]() {
        ++*calls;
        if (QThread::currentThread() == mainThread)
            *onMainThread = true;
        return std::optional<QString>(QStringLiteral("tok"));
    });

    ASSERT_TRUE(performAndWait(*provider, AIAction::fixWriting(), QStringLiteral("a")).has_value());
    ASSERT_TRUE(performAndWait(*provider, AIAction::fixWriting(), QStringLiteral("b")).has_value());
    EXPECT_EQ(calls->load(), 2);
    EXPECT_FALSE(onMainThread->load());
    EXPECT_EQ(server.requests().size(), 2);
}

TEST_F(TolviAIBackendProviderTest, MissingOrBlankTokenFailsBeforeAnythingIsSent)
{
    const QList<std::optional<QString>> tokens{std::nullopt, QString(), QStringLiteral("  \n\t ")};
    for (const auto& token : tokens) {
        auto provider = makeProvider([token] { return token; });
        const auto result = performAndWait(*provider, AIAction::fixWriting(), QStringLiteral("hello"));
        ASSERT_TRUE(result.has_value());
        const auto error = result->errorAs<TolviAIBackendError>();
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), TolviAIBackendError::Case::missingAccessToken);
        EXPECT_EQ(error->errorDescription(), TolviAIBackendError::missingAccessTokenMessage());
    }
    // A provider without any token source behaves the same.
    auto provider = makeProvider(AccessTokenProvider());
    const auto result = performAndWait(*provider, AIAction::fixWriting(), QStringLiteral("hello"));
    ASSERT_TRUE(result && result->errorAs<TolviAIBackendError>());
    EXPECT_EQ(result->errorAs<TolviAIBackendError>()->kind(), TolviAIBackendError::Case::missingAccessToken);
    spinEventLoop(50ms);
    EXPECT_EQ(server.connectionCount(), 0);
}

TEST_F(TolviAIBackendProviderTest, ControlCharactersInTokenOrVersionNeverReachTheWire)
{
    server.setReply(ScriptedReply::json(200, R"({"output":"x"})"));
    const QList<QString> tokens{QStringLiteral("tok\r\nX-Injected: yes"), QStringLiteral("tok\nX-Injected: yes"),
                                QStringLiteral("tok\rX"), QStringLiteral("to\tk"), QStringLiteral("tok\x7f"),
                                QStringLiteral("tok") + QChar(0x85) + QStringLiteral("X")};
    for (const QString& token : tokens) {
        auto provider = makeProvider([token] { return std::optional<QString>(token); });
        const auto result = performAndWait(*provider, AIAction::fixWriting(), QStringLiteral("hello"));
        ASSERT_TRUE(result && result->errorAs<TolviAIBackendError>());
        EXPECT_EQ(result->errorAs<TolviAIBackendError>()->kind(), TolviAIBackendError::Case::missingAccessToken)
            << token.toStdString();
    }

    auto badVersion = makeProvider([] { return std::optional<QString>(QStringLiteral("tok")); }, relaxedSession(),
                                   QStringLiteral("1.4\r\nX-Injected: yes"));
    const auto versionResult = performAndWait(*badVersion, AIAction::fixWriting(), QStringLiteral("hello"));
    ASSERT_TRUE(versionResult && versionResult->errorAs<TolviAIBackendError>());
    EXPECT_EQ(versionResult->errorAs<TolviAIBackendError>()->kind(), TolviAIBackendError::Case::requestFailed);
    EXPECT_EQ(versionResult->error()->errorDescription(), TolviAIBackendError::requestNotSentMessage());

    // A clean request afterwards is the only one the server ever sees.
    auto clean = makeProvider();
    ASSERT_TRUE(performAndWait(*clean, AIAction::fixWriting(), QStringLiteral("hello")).has_value());
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_FALSE(server.requests().first().hasHeaderLike("Injected"));
}

TEST_F(TolviAIBackendProviderTest, EmptyVersionIsSentAsAnEmptyHeader)
{
    server.setReply(ScriptedReply::json(200, R"({"output":"x"})"));
    auto provider = makeProvider([] { return std::optional<QString>(QStringLiteral("tok")); }, relaxedSession(),
                                 QString());
    ASSERT_TRUE(performAndWait(*provider, AIAction::fixWriting(), QStringLiteral("hello")).has_value());
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests().first().header("X-Tolvi-Version"), QByteArray(""));
}

TEST_F(TolviAIBackendProviderTest, SuccessfulAnswers)
{
    EXPECT_EQ(outcomeFor(ScriptedReply::json(200, R"({"output":"\n\n  Fixed text.  \n"})")),
              QStringLiteral("ok:Fixed text."));
    // An error member in a successful answer is ignored.
    EXPECT_EQ(outcomeFor(ScriptedReply::json(200, R"({"output":"Done","error":"ignored","extra":[1]})")),
              QStringLiteral("ok:Done"));
    EXPECT_EQ(outcomeFor(ScriptedReply::json(201, R"({"output":"Créé ✓"})")), QStringLiteral("ok:Créé ✓"));
}

TEST_F(TolviAIBackendProviderTest, SuccessfulAnswersWithoutUsableTextAreEmptyOutput)
{
    const QString empty = QStringLiteral("AI returned an empty result.");
    EXPECT_EQ(outcomeFor(ScriptedReply::json(200, R"({"output":"  \n\t "})")), empty);
    EXPECT_EQ(outcomeFor(ScriptedReply::json(200, R"({"output":""})")), empty);
    EXPECT_EQ(outcomeFor(ScriptedReply::json(200, R"({"output":null})")), empty);
    EXPECT_EQ(outcomeFor(ScriptedReply::json(200, R"({"error":"something"})")), empty);
    EXPECT_EQ(outcomeFor(ScriptedReply::json(200, R"({"output":5})")), empty);
    // A wrongly typed member spoils the whole answer, as a strict decoder would.
    EXPECT_EQ(outcomeFor(ScriptedReply::json(200, R"({"output":"text","error":7})")), empty);
    EXPECT_EQ(outcomeFor(ScriptedReply::json(200, R"(["output","text"])")), empty);
    EXPECT_EQ(outcomeFor(ScriptedReply::withBody(200, "text/plain", "Fixed text.")), empty);
    EXPECT_EQ(outcomeFor(ScriptedReply::withBody(200, "text/html", "<html><body>ok</body></html>")), empty);
    EXPECT_EQ(outcomeFor(ScriptedReply::json(200, "")), empty);
    EXPECT_EQ(outcomeFor(ScriptedReply::json(200, QByteArray("{\"output\":\"caf\xc3\x28\"}"))), empty);
}

TEST_F(TolviAIBackendProviderTest, StatusMessages)
{
    const QString failed = QStringLiteral("Tolvi AI failed. No clip was saved or pasted.");
    const QString unavailable =
        QStringLiteral("Tolvi AI is unavailable. Your request reached Tolvi, but no result was saved or pasted.");
    const struct {
        int status;
        QString message;
    } cases[] = {
        {413, QStringLiteral("That clip is too large for Tolvi AI.")},
        {429, QStringLiteral("AI limit reached. Try again later.")},
        {501, unavailable},
        {503, unavailable},
        {401, TolviAIBackendError::accessRefusedMessage()},
        {402, TolviAIBackendError::accessRefusedMessage()},
        {403, TolviAIBackendError::accessRefusedMessage()},
        {400, failed},
        {404, failed},
        {500, failed},
        {502, failed},
        {302, failed},
    };
    for (const auto& entry : cases) {
        EXPECT_EQ(outcomeFor(ScriptedReply::json(entry.status, "{}")), entry.message) << entry.status;
    }
    EXPECT_EQ(outcomeFor(ScriptedReply::withBody(500, "text/html", "<html><h1>Internal error</h1></html>")), failed);
    EXPECT_EQ(outcomeFor(ScriptedReply::withBody(503, "text/plain", "down")), unavailable);
}

TEST_F(TolviAIBackendProviderTest, ServiceErrorTextWinsOverTheStatusMessageUnlessBlank)
{
    EXPECT_EQ(outcomeFor(ScriptedReply::json(429, R"({"error":"Daily limit of 20 rewrites reached."})")),
              QStringLiteral("Daily limit of 20 rewrites reached."));
    // Shown as the service sent it.
    EXPECT_EQ(outcomeFor(ScriptedReply::json(404, R"({"error":"  Unknown action. "})")),
              QStringLiteral("  Unknown action. "));
    const QString limit = QStringLiteral("AI limit reached. Try again later.");
    EXPECT_EQ(outcomeFor(ScriptedReply::json(429, R"({"error":""})")), limit);
    EXPECT_EQ(outcomeFor(ScriptedReply::json(429, R"({"error":"   \n\t "})")), limit);
    EXPECT_EQ(outcomeFor(ScriptedReply::json(429, R"({"error":null})")), limit);
    EXPECT_EQ(outcomeFor(ScriptedReply::json(429, R"({"error":42})")), limit);

    const auto blank = TolviAIBackendError::http(503, QStringLiteral(" \n "));
    EXPECT_FALSE(blank.message().has_value());
}

TEST_F(TolviAIBackendProviderTest, HugeAnswerArrivesWhole)
{
    QString text;
    text.reserve(4'000'000);
    for (int index = 0; text.size() < 4'000'000; ++index)
        text += QStringLiteral("word%1 ").arg(index);
    text = text.trimmed();
    const QByteArray body = QJsonDocument(QJsonObject{{QStringLiteral("output"), text}}).toJson(QJsonDocument::Compact);
    EXPECT_EQ(outcomeFor(ScriptedReply::json(200, body)), QStringLiteral("ok:") + text);
}

TEST_F(TolviAIBackendProviderTest, TransportFailures)
{
    const QString couldNotConnect = QStringLiteral("Tolvi AI could not connect. No clip was saved or pasted.");
    EXPECT_EQ(outcomeFor(ScriptedReply::closeWithoutReply()), couldNotConnect);

    TolviAIBackendProvider::Options options;
    options.endpoint = unreachableURL(kRewritePath);
    options.appVersion = QStringLiteral("1");
    options.accessTokenProvider = [] { return std::optional<QString>(QStringLiteral("tok")); };
    options.sessionConfiguration = relaxedSession();
    TolviAIBackendProvider unreachable(std::move(options));
    const auto result = performAndWait(unreachable, AIAction::fixWriting(), QStringLiteral("hello"));
    ASSERT_TRUE(result && result->errorAs<TolviAIBackendError>());
    const auto error = result->errorAs<TolviAIBackendError>();
    EXPECT_EQ(error->kind(), TolviAIBackendError::Case::network);
    EXPECT_FALSE(error->transportError().timedOut);
    EXPECT_EQ(error->errorDescription(), couldNotConnect);
}

TEST_F(TolviAIBackendProviderTest, TimeLimits)
{
    const QString timedOut = QStringLiteral("Tolvi AI timed out. No clip was saved or pasted.");
    const auto run = [this](AIHttpSessionConfiguration session, std::chrono::milliseconds ownTimeout) {
        TolviAIBackendProvider::Options options;
        options.endpoint = server.url(kRewritePath);
        options.accessTokenProvider = [] { return std::optional<QString>(QStringLiteral("tok")); };
        options.sessionConfiguration = std::move(session);
        options.requestTimeout = ownTimeout;
        TolviAIBackendProvider provider(std::move(options));
        const auto result = performAndWait(provider, AIAction::fixWriting(), QStringLiteral("hello"));
        return result ? result->errorAs<TolviAIBackendError>() : nullptr;
    };

    // A server that never answers: the wait between bytes runs out.
    server.setReply(ScriptedReply::hang());
    auto idle = run(session(250ms, 20s), 20s);
    ASSERT_TRUE(idle);
    EXPECT_EQ(idle->kind(), TolviAIBackendError::Case::network);
    EXPECT_TRUE(idle->transportError().timedOut);
    EXPECT_EQ(idle->errorDescription(), timedOut);

    // The request's own limit applies when it is the shorter one.
    auto own = run(session(20s, 20s), 250ms);
    ASSERT_TRUE(own);
    EXPECT_EQ(own->errorDescription(), timedOut);

    // Bytes that keep trickling in never end the wait between bytes, but the whole exchange is
    // bounded.
    server.setReply(ScriptedReply::drip(200, QByteArray(R"({"output":")") + QByteArray(400, 'a') + "\"}", 20ms, 1));
    auto drip = run(session(2s, 300ms), 20s);
    ASSERT_TRUE(drip);
    EXPECT_EQ(drip->errorDescription(), timedOut);
}

TEST_F(TolviAIBackendProviderTest, SlowButSteadyAnswerWithinTheLimitsSucceeds)
{
    // Every byte restarts the wait between bytes: the answer takes well over that wait in all.
    server.setReply(ScriptedReply::drip(200, R"({"output":"Slowly fixed."})", 25ms, 1));
    TolviAIBackendProvider::Options options;
    options.endpoint = server.url(kRewritePath);
    options.accessTokenProvider = [] { return std::optional<QString>(QStringLiteral("tok")); };
    options.sessionConfiguration = session(250ms, 20s);
    TolviAIBackendProvider provider(std::move(options));
    const auto result = performAndWait(provider, AIAction::fixWriting(), QStringLiteral("hello"));
    ASSERT_TRUE(result.has_value());
    ASSERT_TRUE(result->isSuccess()) << result->error()->errorDescription().toStdString();
    EXPECT_EQ(result->text(), QStringLiteral("Slowly fixed."));
}

TEST_F(TolviAIBackendProviderTest, RedirectToAnotherOriginIsNotFollowed)
{
    ScriptedHttpServer elsewhere;
    elsewhere.setReply(ScriptedReply::json(200, R"({"output":"stolen"})"));
    ScriptedReply redirect = ScriptedReply::json(307, "{}");
    redirect.headers.append({"Location", elsewhere.url(kRewritePath).toString().toUtf8()});
    EXPECT_EQ(outcomeFor(redirect), QStringLiteral("Tolvi AI failed. No clip was saved or pasted."));
    EXPECT_EQ(elsewhere.connectionCount(), 0);
}

TEST_F(TolviAIBackendProviderTest, UnusableEndpointSendsNothing)
{
    const QList<QUrl> endpoints{QUrl(), QUrl(QStringLiteral("file:///etc/passwd")),
                                QUrl(QStringLiteral("relative/path"))};
    for (const QUrl& endpoint : endpoints) {
        TolviAIBackendProvider::Options options;
        options.endpoint = endpoint;
        options.accessTokenProvider = [] { return std::optional<QString>(QStringLiteral("tok")); };
        options.sessionConfiguration = relaxedSession();
        TolviAIBackendProvider provider(std::move(options));
        const auto result = performAndWait(provider, AIAction::fixWriting(), QStringLiteral("hello"));
        ASSERT_TRUE(result && result->errorAs<TolviAIBackendError>());
        EXPECT_EQ(result->errorAs<TolviAIBackendError>()->kind(), TolviAIBackendError::Case::requestFailed);
        EXPECT_EQ(result->error()->errorDescription(), TolviAIBackendError::requestNotSentMessage());
    }
}

// Plain http is refused when the request would go out, by the provider and by the session
// itself: the listening server never sees a connection.
TEST_F(TolviAIBackendProviderTest, PlainHttpIsNeverSent)
{
    PlainListener plain;
    ASSERT_TRUE(plain.isListening());
    const QUrl inClear = plain.url(kRewritePath);

    TolviAIBackendProvider::Options options;
    options.endpoint = inClear;
    options.accessTokenProvider = [] { return std::optional<QString>(QStringLiteral("tok")); };
    options.sessionConfiguration = relaxedSession();
    TolviAIBackendProvider provider(std::move(options));
    const auto result = performAndWait(provider, AIAction::fixWriting(), QStringLiteral("secret text"));
    ASSERT_TRUE(result && result->errorAs<TolviAIBackendError>());
    EXPECT_EQ(result->error()->errorDescription(), TolviAIBackendError::requestNotSentMessage());

    AIHttpSession session(relaxedSession());
    std::promise<AIHttpResponse> answered;
    session.post(AIHttpRequest{inClear, {}, QByteArrayLiteral("secret text")},
                 [&](AIHttpResponse answer) { answered.set_value(std::move(answer)); });
    std::future<AIHttpResponse> response = answered.get_future();
    ASSERT_EQ(response.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_FALSE(response.get().isAnswered());
    spinEventLoop(std::chrono::milliseconds(100));
    EXPECT_EQ(plain.connections(), 0);
}

TEST_F(TolviAIBackendProviderTest, ConcurrentRequestsAreIndependent)
{
    server.setReply(ScriptedReply::json(200, R"({"output":"same"})"));
    auto provider = makeProvider();
    QList<AIResult> results;
    provider->perform(AIAction::fixWriting(), QStringLiteral("one"),
                      deliverOnThread(nullptr, [&results](AIResult r) { results.append(r); }));
    provider->perform(AIAction::draftReply(), QStringLiteral("two"),
                      deliverOnThread(nullptr, [&results](AIResult r) { results.append(r); }));
    for (int round = 0; round < 1000 && results.size() < 2; ++round)
        spinEventLoop(10ms);
    ASSERT_EQ(results.size(), 2);
    EXPECT_TRUE(results.at(0).isSuccess() && results.at(1).isSuccess());
    ASSERT_EQ(server.requests().size(), 2);
    QSet<QByteArray> bodies;
    for (const auto& request : server.requests())
        bodies.insert(request.body);
    EXPECT_TRUE(bodies.contains(R"({"accessToken":"token-1","action":"fix_writing","input":"one"})"));
    EXPECT_TRUE(bodies.contains(R"({"accessToken":"token-1","action":"draft_reply","input":"two"})"));
}

TEST_F(TolviAIBackendProviderTest, DestroyingTheProviderMidRequestDropsTheAnswer)
{
    server.setReply(ScriptedReply::hang());
    auto provider = makeProvider();
    bool called = false;
    provider->perform(AIAction::fixWriting(), QStringLiteral("hello"),
                      deliverOnThread(nullptr, [&called](AIResult) { called = true; }));
    for (int round = 0; round < 1000 && server.requests().isEmpty(); ++round)
        spinEventLoop(5ms);
    ASSERT_EQ(server.requests().size(), 1);
    provider.reset();
    spinEventLoop(50ms);
    EXPECT_FALSE(called);
}

TEST(TolviAIBackendConfigurationTest, Endpoint)
{
    const QUrl fallback(TolviAIBackendConfiguration::defaultEndpointURL());
    EXPECT_EQ(fallback.path(), QStringLiteral("/api/ai/rewrite"));
    EXPECT_EQ(fallback.scheme(), QStringLiteral("https"));

    TolviAIBackendConfiguration configuration;
    EXPECT_EQ(configuration.endpoint(), fallback);
    configuration.endpointURLValue = QString();
    EXPECT_EQ(configuration.endpoint(), fallback);
    configuration.endpointURLValue = QStringLiteral(" \n\t ");
    EXPECT_EQ(configuration.endpoint(), fallback);
    configuration.endpointURLValue = QStringLiteral("  https://ai.example.test/v2/rewrite \n");
    EXPECT_EQ(configuration.endpoint(), QUrl(QStringLiteral("https://ai.example.test/v2/rewrite")));
    configuration.endpointURLValue = QStringLiteral("https://127.0.0.1:8080/api/ai/rewrite");
    EXPECT_EQ(configuration.endpoint(), QUrl(QStringLiteral("https://127.0.0.1:8080/api/ai/rewrite")));
    // A configured value that is no https URL is never replaced by somewhere else: plain http
    // would carry the user's text in clear.
    for (const char* bad : {"not a url", "file:///tmp/x", "https://", "ftp://example.test/x",
                            "http://127.0.0.1:8080/api/ai/rewrite", "HTTP://ai.example.test/rewrite"}) {
        configuration.endpointURLValue = QString::fromLatin1(bad);
        EXPECT_FALSE(configuration.endpoint().isValid()) << bad;
    }
}

TEST(TolviAIBackendConfigurationTest, AppVersion)
{
    TolviAIBackendConfiguration configuration;
    EXPECT_EQ(configuration.appVersion(), QString());
    configuration.shortVersion = QStringLiteral("1.4");
    EXPECT_EQ(configuration.appVersion(), QStringLiteral("1.4"));
    configuration.buildVersion = QStringLiteral("27");
    EXPECT_EQ(configuration.appVersion(), QStringLiteral("1.4 27"));
    configuration.shortVersion.reset();
    EXPECT_EQ(configuration.appVersion(), QStringLiteral("27"));
}

} // namespace
