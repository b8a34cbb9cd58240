#pragma once
// A real browser for the tests and the bench: Debian's chromium, headless,
// driven through chromium-driver's WebDriver protocol (W3C), with a fresh
// profile in a temporary folder and every flag that keeps it off the
// network but for the pages it is sent to. And quarn-plant-web as a child
// process on a port of its own. Both end with their objects.

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace testsupport {

class Browser {
public:
    Browser();
    ~Browser();
    Browser(const Browser&) = delete;
    Browser& operator=(const Browser&) = delete;

    bool ok() const { return error_.isEmpty(); }
    QString error() const { return error_; }

    bool go(const QString& url);
    // The script's return value (its body: "return document.title;").
    QJsonValue script(const QString& body, const QJsonArray& args = {});
    // Runs body until it returns something truthy, every 50 ms, for at most
    // ms; that value, or null when it never did.
    QJsonValue waitFor(const QString& body, int ms);
    // A new tab (made current), the current one, every one, one made current.
    QString newTab();
    QString tab();
    QStringList tabs();
    bool switchTo(const QString& handle);
    // The browser's console lines since the last call ("SEVERE: ...").
    QStringList consoleLines();

private:
    QJsonValue command(const QByteArray& verb, const QString& path, const QJsonObject& body = {});

    QTemporaryDir profile_;
    std::unique_ptr<QProcess> driver_;
    QString base_, session_, error_;
};

// quarn-plant-web on 127.0.0.1 at a free port, reading db.
class WebService {
public:
    explicit WebService(const QString& program, const QString& db, const QStringList& more = {});
    ~WebService();
    bool start(int port = 0);  // 0: a free one; then port() says which
    void stop();               // SIGTERM, and waits
    void kill();               // SIGKILL: as a crash
    int port() const { return port_; }
    qint64 pid() const { return p_ ? p_->processId() : 0; }
    QString url(const QString& path = QStringLiteral("/")) const;
    QString output() const { return out_; }

private:
    QString program_, db_;
    QStringList more_;
    QTemporaryDir config_;
    std::unique_ptr<QProcess> p_;
    int port_ = 0;
    QString out_;
};

}  // namespace testsupport
