#include <QCoreApplication>
#include <QHttpServer>
#include <QHttpServerResponder>
#include <QTimer>
#include <memory>
#include <vector>
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QHttpServer server;
    std::vector<std::unique_ptr<QHttpServerResponder>> streams;
    server.route("/api/v1/events", [&](const QHttpServerRequest&, QHttpServerResponder&& r) {
        r.writeStatusLine();
        r.writeHeader("Content-Type", "text/event-stream");
        r.writeHeader("Transfer-Encoding", "identity");
        streams.push_back(std::make_unique<QHttpServerResponder>(std::move(r)));
        streams.back()->writeBody("\n");
    });
    server.route("/", [] { return "ok"; });
    QTimer beat;
    QObject::connect(&beat, &QTimer::timeout, [&] {
        for (auto& s : streams) s->writeBody("event: beat\ndata: {}\n\n");
    });
    beat.start(1000);
    server.listen(QHostAddress::LocalHost, quint16(atoi(argv[1])));
    return app.exec();
}
