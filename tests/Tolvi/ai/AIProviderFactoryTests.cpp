#include "AITestSupport.h"

#include "Tolvi/ai/AIProviderFactory.h"
#include "Tolvi/ai/OpenAIEnvironment.h"
#include "Tolvi/ai/OpenAIProvider.h"
#include "Tolvi/ai/TolviAIBackendProvider.h"

#include <QCoreApplication>
#include <QHash>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace tolvi;

namespace {

OpenAIEnvironment environmentOf(QHash<QString, QString> variables)
{
    return OpenAIEnvironment([variables](const QString& name) -> std::optional<QString> {
        if (!variables.contains(name))
            return std::nullopt;
        return variables.value(name);
    });
}

AccessTokenProvider noToken()
{
    return [] { return std::optional<QString>(); };
}

TEST(OpenAIEnvironmentTest, ReadsTheProcessEnvironment)
{
    const QByteArray name = "TOLVI_AI_TEST_VARIABLE_" + QByteArray::number(qint64(QCoreApplication::applicationPid()));
    const QString key = QString::fromLatin1(name);
    const auto environment = OpenAIEnvironment::process();
    qunsetenv(name.constData());
    EXPECT_EQ(environment.value(key), std::nullopt);
    qputenv(name.constData(), " value ");
    EXPECT_EQ(environment.value(key), QStringLiteral(" value "));
    qputenv(name.constData(), "   ");
    EXPECT_EQ(environment.value(key), std::nullopt);
    qunsetenv(name.constData());
}

TEST(OpenAIProviderDefaultsTest, SourcesReadTheEnvironment)
{
    auto options = OpenAIProvider::defaultOptions(environmentOf(
        {{QStringLiteral("OPENAI_API_KEY"), QStringLiteral(" sk-env ")}, {QStringLiteral("TOLVI_OPENAI_MODEL"), QStringLiteral(" gpt-env ")}}));
    EXPECT_EQ(options.apiKeyProvider(), QStringLiteral(" sk-env "));
    EXPECT_EQ(options.modelProvider(), QStringLiteral(" gpt-env "));
    EXPECT_EQ(options.endpoint, QUrl(QStringLiteral("https://api.openai.com/v1/responses")));
    EXPECT_EQ(options.endpoint.path(), QStringLiteral("/v1/responses"));

    auto bare = OpenAIProvider::defaultOptions(environmentOf({{QStringLiteral("TOLVI_OPENAI_MODEL"), QStringLiteral(" ")}}));
    EXPECT_EQ(bare.apiKeyProvider(), std::nullopt);
    EXPECT_EQ(bare.modelProvider(), QStringLiteral("gpt-5-mini"));
}

TEST(AIProviderFactoryTest, DevelopmentBuildWithKeyUsesTheResponsesInterface)
{
    const auto environment = environmentOf(
        {{QStringLiteral("OPENAI_API_KEY"), QStringLiteral("sk-dev")}, {QStringLiteral("TOLVI_OPENAI_MODEL"), QStringLiteral("gpt-dev")}});
    auto provider = AIProviderFactory::make(TolviDistributionChannel::development, environment, noToken(), {});
    auto* openAI = dynamic_cast<OpenAIProvider*>(provider.get());
    ASSERT_NE(openAI, nullptr);
    EXPECT_EQ(openAI->endpoint(), QUrl(OpenAIProvider::defaultEndpointURL()));
    EXPECT_EQ(openAI->configuredModel(), QStringLiteral("gpt-dev"));
    EXPECT_EQ(openAI->sessionConfiguration().requestTimeout, 25s);
    EXPECT_EQ(openAI->sessionConfiguration().resourceTimeout, 35s);
}

TEST(AIProviderFactoryTest, EveryOtherBuildUsesTheRewriteService)
{
    TolviAIBackendConfiguration configuration;
    configuration.endpointURLValue = QStringLiteral(" https://ai.example.test/api/ai/rewrite ");
    const auto withKey = environmentOf({{QStringLiteral("OPENAI_API_KEY"), QStringLiteral("sk-dev")}});
    const auto blankKey = environmentOf({{QStringLiteral("OPENAI_API_KEY"), QStringLiteral("  ")}});

    const struct {
        TolviDistributionChannel channel;
        OpenAIEnvironment environment;
    } cases[] = {
        {TolviDistributionChannel::development, blankKey},
        {TolviDistributionChannel::direct, withKey},
        {TolviDistributionChannel::appStore, withKey},
    };
    for (const auto& entry : cases) {
        auto provider = AIProviderFactory::make(entry.channel, entry.environment, noToken(), configuration);
        auto* backend = dynamic_cast<TolviAIBackendProvider*>(provider.get());
        ASSERT_NE(backend, nullptr) << static_cast<int>(entry.channel);
        EXPECT_EQ(backend->endpoint(), QUrl(QStringLiteral("https://ai.example.test/api/ai/rewrite")));
        EXPECT_EQ(backend->sessionConfiguration().requestTimeout, 30s);
        EXPECT_EQ(backend->sessionConfiguration().resourceTimeout, 45s);
    }

    auto fallback = AIProviderFactory::make(TolviDistributionChannel::direct, blankKey, noToken(), {});
    auto* backend = dynamic_cast<TolviAIBackendProvider*>(fallback.get());
    ASSERT_NE(backend, nullptr);
    EXPECT_EQ(backend->endpoint(), QUrl(TolviAIBackendConfiguration::defaultEndpointURL()));
}

} // namespace
