// How long one AI exchange costs on our side (pool hop, network thread, JSON) against a loopback
// server that answers at once, and how fast large answers are decoded.
#include "Tolvi/ai/OpenAIResponsesMessages.h"
#include "Tolvi/ai/TolviAIBackendMessages.h"
#include "Tolvi/ai/TolviAIBackendProvider.h"
#include "TolviCore/ai/AIResultDelivery.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>

#include <benchmark/benchmark.h>

#include <memory>

using namespace tolvi;

namespace {

QString sampleText(int bytes)
{
    QString text;
    for (int index = 0; text.size() < bytes; ++index)
        text += QStringLiteral("word%1 ").arg(index);
    return text;
}

// Answers every request with the same body once the whole request has arrived.
class InstantServer : public QObject {
public:
    explicit InstantServer(QByteArray body)
        : m_body(std::move(body))
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this]() {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket]() {
                    m_buffer[socket] += socket->readAll();
                    const QByteArray& buffer = m_buffer[socket];
                    const qsizetype end = buffer.indexOf("\r\n\r\n");
                    if (end < 0)
                        return;
                    const qsizetype lengthAt = buffer.toLower().indexOf("content-length:");
                    const qsizetype length =
                        buffer.mid(lengthAt + 15, buffer.indexOf("\r\n", lengthAt) - lengthAt - 15).trimmed().toLongLong();
                    if (buffer.size() < end + 4 + length)
                        return;
                    m_buffer.remove(socket);
                    socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: "
                                  + QByteArray::number(m_body.size()) + "\r\n\r\n" + m_body);
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    quint16 port() const { return m_server.serverPort(); }

private:
    QTcpServer m_server;
    QByteArray m_body;
    QHash<QTcpSocket*, QByteArray> m_buffer;
};

void BM_BackendExchange(benchmark::State& state)
{
    const QString output = sampleText(static_cast<int>(state.range(0)));
    InstantServer server(QJsonDocument(QJsonObject{{QStringLiteral("output"), output}}).toJson(QJsonDocument::Compact));
    TolviAIBackendProvider::Options options;
    options.endpoint = QUrl(QStringLiteral("http://127.0.0.1:%1/api/ai/rewrite").arg(server.port()));
    options.appVersion = QStringLiteral("1.0 1");
    options.accessTokenProvider = [] { return std::optional<QString>(QStringLiteral("token")); };
    options.sessionConfiguration.proxy = QNetworkProxy(QNetworkProxy::NoProxy);
    TolviAIBackendProvider provider(std::move(options));
    const QString input = sampleText(2000);

    for (auto _ : state) {
        QEventLoop loop;
        bool ok = false;
        provider.perform(AIAction::fixWriting(), input, deliverOnThread(nullptr, [&](AIResult result) {
                             ok = result.isSuccess();
                             loop.quit();
                         }));
        loop.exec();
        if (!ok) {
            state.SkipWithError("exchange failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * output.size());
}
BENCHMARK(BM_BackendExchange)->Arg(1000)->Arg(1'000'000)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_ResponsesDecode(benchmark::State& state)
{
    const QString text = sampleText(static_cast<int>(state.range(0)));
    QJsonArray parts;
    for (qsizetype offset = 0; offset < text.size(); offset += 4096)
        parts.append(QJsonObject{{QStringLiteral("type"), QStringLiteral("output_text")},
                                 {QStringLiteral("text"), text.mid(offset, 4096)}});
    const QByteArray body = QJsonDocument(QJsonObject{
        {QStringLiteral("output"), QJsonArray{QJsonObject{{QStringLiteral("content"), parts}}}}}).toJson(QJsonDocument::Compact);
    for (auto _ : state) {
        auto decoded = ResponsesResponse::decode(body);
        benchmark::DoNotOptimize(std::get<ResponsesResponse>(decoded).outputTextValue());
    }
    state.SetBytesProcessed(state.iterations() * body.size());
}
BENCHMARK(BM_ResponsesDecode)->Arg(10'000)->Arg(1'000'000)->Unit(benchmark::kMicrosecond);

void BM_BackendResponseDecode(benchmark::State& state)
{
    const QByteArray body = QJsonDocument(QJsonObject{{QStringLiteral("output"), sampleText(static_cast<int>(state.range(0)))}})
                                .toJson(QJsonDocument::Compact);
    for (auto _ : state)
        benchmark::DoNotOptimize(BackendAIResponse::decode(body));
    state.SetBytesProcessed(state.iterations() * body.size());
}
BENCHMARK(BM_BackendResponseDecode)->Arg(10'000)->Arg(1'000'000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
