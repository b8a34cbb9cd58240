#include "tests/support/browser_rig.h"

#include <signal.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTcpServer>
#include <QThread>
#include <QTimer>

namespace testsupport {

namespace {

int freePort() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

// One HTTP exchange with the driver; the reply's JSON, or null.
QJsonObject exchange(const QByteArray& verb, const QString& url, const QJsonObject& body,
                     int timeoutMs = 60000) {
    static QNetworkAccessManager* net = new QNetworkAccessManager(QCoreApplication::instance());
    QNetworkRequest request{QUrl(url)};
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    const QByteArray data = verb == "GET" ? QByteArray() : QJsonDocument(body).toJson();
    QNetworkReply* reply = net->sendCustomRequest(request, verb, data);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
    reply->deleteLater();
    return answer;
}

// The flags that keep Debian's chromium to the pages it is sent to.
QJsonArray chromiumArgs(const QString& profile) {
    return {"--headless",
            "--no-sandbox",
            "--disable-gpu",
            "--no-first-run",
            "--disable-background-networking",
            "--disable-component-update",
            "--disable-sync",
            "--disable-dev-shm-usage",
            "--window-size=1400,1000",
            "--user-data-dir=" + profile};
}

}  // namespace

Browser::Browser() {
    const int port = freePort();
    base_ = QStringLiteral("http://127.0.0.1:%1").arg(port);
    driver_ = std::make_unique<QProcess>();
    driver_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    driver_->setStandardOutputFile(QProcess::nullDevice());
    // Niced, with the browser it starts: the suite's tests that wait on
    // simulated serial lines keep their timing while a page is drawn.
    driver_->start(QStringLiteral("nice"),
                   {QStringLiteral("-n"), QStringLiteral("10"), QStringLiteral("chromedriver"),
                    QStringLiteral("--port=%1").arg(port)});
    if (!driver_->waitForStarted(10000)) {
        error_ = QStringLiteral("chromedriver does not start (chromium-driver)");
        return;
    }
    QElapsedTimer waited;
    waited.start();
    while (!exchange("GET", base_ + "/status", {}, 1000)
                .value("value")
                .toObject()
                .value("ready")
                .toBool()) {
        if (waited.elapsed() > 15000) {
            error_ = QStringLiteral("chromedriver does not answer");
            return;
        }
        QThread::msleep(50);
    }
    const QJsonObject options{{"binary", "/usr/bin/chromium"},
                              {"args", chromiumArgs(profile_.path())}};
    const QJsonObject wanted{{"browserName", "chrome"},
                             {"goog:chromeOptions", options},
                             {"goog:loggingPrefs", QJsonObject{{"browser", "ALL"}}}};
    const QJsonObject answer = exchange("POST", base_ + "/session",
                                        {{"capabilities", QJsonObject{{"alwaysMatch", wanted}}}});
    session_ = answer.value("value").toObject().value("sessionId").toString();
    if (session_.isEmpty())
        error_ = QStringLiteral("no browser session: ") + QJsonDocument(answer).toJson();
}

Browser::~Browser() {
    if (!session_.isEmpty()) exchange("DELETE", base_ + "/session/" + session_, {});
    if (driver_ && driver_->state() != QProcess::NotRunning) {
        driver_->terminate();
        if (!driver_->waitForFinished(5000)) driver_->kill(), driver_->waitForFinished();
    }
}

QJsonValue Browser::command(const QByteArray& verb, const QString& path, const QJsonObject& body) {
    const QJsonObject answer = exchange(verb, base_ + "/session/" + session_ + path, body);
    const QJsonValue value = answer.value("value");
    if (value.isObject() && value.toObject().contains("error"))
        error_ = value.toObject().value("message").toString();
    return value;
}

bool Browser::go(const QString& url) {
    error_.clear();
    command("POST", "/url", {{"url", url}});
    return ok();
}

QJsonValue Browser::script(const QString& body, const QJsonArray& args) {
    return command("POST", "/execute/sync", {{"script", body}, {"args", args}});
}

QJsonValue Browser::waitFor(const QString& body, int ms) {
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < ms) {
        const QJsonValue v = script(body);
        const bool truthy = v.isBool()     ? v.toBool()
                            : v.isDouble() ? v.toDouble() != 0
                            : v.isString() ? !v.toString().isEmpty()
                                           : v.isObject() || v.isArray();
        if (truthy) return v;
        QThread::msleep(50);
        QCoreApplication::processEvents();
    }
    return QJsonValue();
}

QString Browser::newTab() {
    const QString handle =
        command("POST", "/window/new", {{"type", "tab"}}).toObject().value("handle").toString();
    switchTo(handle);
    return handle;
}

QString Browser::tab() { return command("GET", "/window").toString(); }

QStringList Browser::tabs() {
    QStringList all;
    for (const QJsonValue& h : command("GET", "/window/handles").toArray()) all << h.toString();
    return all;
}

bool Browser::switchTo(const QString& handle) {
    error_.clear();
    command("POST", "/window", {{"handle", handle}});
    return ok();
}

QStringList Browser::consoleLines() {
    QStringList lines;
    for (const QJsonValue& e : command("POST", "/se/log", {{"type", "browser"}}).toArray())
        lines << e.toObject().value("level").toString() + ": " +
                     e.toObject().value("message").toString();
    return lines;
}

WebService::WebService(const QString& program, const QString& db, const QStringList& more)
    : program_(program), db_(db), more_(more) {}

WebService::~WebService() { stop(); }

bool WebService::start(int port) {
    p_ = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QUARN_CONFIG_DIR", config_.path());
    env.insert("QUARN_DB", db_);
    p_->setProcessEnvironment(env);
    p_->setProcessChannelMode(QProcess::MergedChannels);
    p_->start(program_, QStringList{"--listen", QStringLiteral("127.0.0.1:%1").arg(port)} + more_);
    static const QRegularExpression serving(QStringLiteral("serving http://127.0.0.1:(\\d+)/"));
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 15000 && p_->state() != QProcess::NotRunning) {
        p_->waitForReadyRead(100);
        out_ += QString::fromUtf8(p_->readAll());
        const QRegularExpressionMatch m = serving.match(out_);
        if (m.hasMatch()) return port_ = m.captured(1).toInt(), true;
    }
    out_ += QString::fromUtf8(p_->readAll());
    return false;
}

void WebService::stop() {
    if (!p_ || p_->state() == QProcess::NotRunning) return;
    p_->terminate();
    if (!p_->waitForFinished(10000)) p_->kill(), p_->waitForFinished();
    out_ += QString::fromUtf8(p_->readAll());
}

void WebService::kill() {
    if (!p_ || p_->state() == QProcess::NotRunning) return;
    p_->kill();
    p_->waitForFinished();
}

QString WebService::url(const QString& path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(path);
}

}  // namespace testsupport
