#include "headlessbrowser.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace {

// Where the browser's own messages go, for when it cannot start.
const char logName[] = "/chromium.log";

// Keys as the keyboard sends them: the key, its code and its Windows key
// code, which Chromium needs to act on the key as the keyboard's.
struct KeyCode
{
    const char *key;
    const char *code;
    int windowsCode;
};

const KeyCode keyCodes[] = {
    {"ArrowDown", "ArrowDown", 40}, {"ArrowUp", "ArrowUp", 38}, {"ArrowLeft", "ArrowLeft", 37},
    {"ArrowRight", "ArrowRight", 39}, {"Home", "Home", 36}, {"End", "End", 35},
    {"PageDown", "PageDown", 34}, {"PageUp", "PageUp", 33}, {"Enter", "Enter", 13},
    {"Escape", "Escape", 27}, {"Tab", "Tab", 9},
};

} // namespace

HeadlessBrowser::HeadlessBrowser()
{
    if (!start() && m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
}

HeadlessBrowser::~HeadlessBrowser()
{
    if (m_process.state() != QProcess::NotRunning) {
        // Asked to close even after a failure, which stops every other call.
        m_failure.clear();
        if (m_toBrowser >= 0)
            send("Browser.close", {}, {}, 5000);
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }
    for (int fd : {m_toBrowser, m_fromBrowser})
        if (fd >= 0)
            ::close(fd);
}

bool HeadlessBrowser::start()
{
    if (!m_profile.isValid())
        return fail("no temporary folder for the browser's profile"), false;
    int toBrowser[2];
    int fromBrowser[2];
    if (::pipe2(toBrowser, O_CLOEXEC) != 0)
        return fail("no pipe"), false;
    if (::pipe2(fromBrowser, O_CLOEXEC) != 0) {
        ::close(toBrowser[0]);
        ::close(toBrowser[1]);
        return fail("no pipe"), false;
    }
    m_toBrowser = toBrowser[1];
    m_fromBrowser = fromBrowser[0];
    ::fcntl(m_fromBrowser, F_SETFL, O_NONBLOCK);
    // A browser that dies must not take the test with it.
    std::signal(SIGPIPE, SIG_IGN);
    const int commands = toBrowser[0];
    const int answers = fromBrowser[1];
    m_process.setChildProcessModifier([commands, answers] {
        // Out of the way of 3 and 4 first, which either may be.
        const int in = ::fcntl(commands, F_DUPFD, 10);
        const int out = ::fcntl(answers, F_DUPFD, 10);
        if (in < 0 || out < 0 || ::dup2(in, 3) != 3 || ::dup2(out, 4) != 4)
            ::_exit(127);
        ::close(in);
        ::close(out);
    });
    QStringList arguments = {"--headless", "--disable-gpu", "--disable-quic", "--no-first-run",
                             "--disable-background-networking", "--disable-component-update", "--disable-sync",
                             "--disable-default-apps", "--disable-extensions", "--mute-audio",
                             "--user-data-dir=" + m_profile.path(), "--remote-debugging-pipe", "about:blank"};
    // Chromium's sandbox refuses to run as root.
    if (::geteuid() == 0)
        arguments.prepend("--no-sandbox");
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(m_profile.path() + logName);
    m_process.start("chromium", arguments);
    const bool started = m_process.waitForStarted(30000);
    ::close(toBrowser[0]);
    ::close(fromBrowser[1]);
    if (!started)
        return fail("chromium could not be started: " + m_process.errorString()), false;

    const QJsonObject target = callBrowser("Target.createTarget", {{"url", "about:blank"}});
    const QJsonObject attached
        = callBrowser("Target.attachToTarget", {{"targetId", target["targetId"]}, {"flatten", true}});
    m_session = attached["sessionId"].toString();
    if (m_session.isEmpty())
        return false;
    for (const char *domain : {"Page.enable", "Runtime.enable", "Log.enable", "Network.enable"})
        if (call(domain).isEmpty() && !isReady())
            return false;
    return true;
}

QJsonObject HeadlessBrowser::call(const QString &method, const QJsonObject &params, int timeoutMs)
{
    return send(method, params, m_session, timeoutMs);
}

QJsonObject HeadlessBrowser::callBrowser(const QString &method, const QJsonObject &params, int timeoutMs)
{
    return send(method, params, {}, timeoutMs);
}

QJsonObject HeadlessBrowser::send(const QString &method, const QJsonObject &params, const QString &session, int timeoutMs)
{
    if (!isReady())
        return {};
    const int id = m_nextId++;
    QJsonObject message{{"id", id}, {"method", method}, {"params", params}};
    if (!session.isEmpty())
        message["sessionId"] = session;
    const QByteArray bytes = QJsonDocument(message).toJson(QJsonDocument::Compact) + '\0';
    for (qsizetype written = 0; written < bytes.size();) {
        const ssize_t got = ::write(m_toBrowser, bytes.constData() + written, size_t(bytes.size() - written));
        if (got < 0 && errno != EINTR)
            return fail(method + ": the browser's pipe is closed"), QJsonObject();
        written += got < 0 ? 0 : got;
    }
    for (QDeadlineTimer deadline(timeoutMs);;) {
        for (qsizetype i = 0; i < m_answers.size(); ++i) {
            if (m_answers[i]["id"].toInt() != id)
                continue;
            const QJsonObject answer = m_answers.takeAt(i);
            if (answer.contains("error"))
                return fail(method + ": " + answer["error"].toObject()["message"].toString()), QJsonObject();
            return answer["result"].toObject();
        }
        if (deadline.hasExpired() || !readMessages(int(deadline.remainingTime())))
            return fail(method + ": no answer from the browser"), QJsonObject();
    }
}

bool HeadlessBrowser::readMessages(int timeoutMs)
{
    pollfd wanted{m_fromBrowser, POLLIN, 0};
    if (::poll(&wanted, 1, timeoutMs) <= 0)
        return false;
    char buffer[65536];
    bool any = false;
    for (ssize_t got; (got = ::read(m_fromBrowser, buffer, sizeof buffer)) > 0;) {
        m_received.append(buffer, got);
        any = true;
    }
    for (qsizetype end; (end = m_received.indexOf('\0')) >= 0;) {
        const QJsonObject message = QJsonDocument::fromJson(m_received.left(end)).object();
        m_received.remove(0, end + 1);
        (message.contains("id") ? m_answers : m_events).append(message);
    }
    return any;
}

bool HeadlessBrowser::load(const QString &url, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    m_events.clear();
    if (call("Page.navigate", {{"url", url}}).isEmpty())
        return false;
    for (;;) {
        for (const QJsonObject &event : m_events)
            if (event["method"] == "Page.loadEventFired")
                return true;
        if (deadline.hasExpired() || !readMessages(int(deadline.remainingTime())))
            return fail("no load event for " + url), false;
    }
}

QJsonValue HeadlessBrowser::evaluate(const QString &expression, int timeoutMs)
{
    const QJsonObject result = call(
        "Runtime.evaluate", {{"expression", expression}, {"returnByValue", true}, {"awaitPromise", true}}, timeoutMs);
    if (result.contains("exceptionDetails")) {
        const QJsonObject details = result["exceptionDetails"].toObject();
        fail("the page threw: " + details["exception"].toObject()["description"].toString(details["text"].toString()));
        return QJsonValue::Undefined;
    }
    return result["result"].toObject()["value"];
}

bool HeadlessBrowser::waitUntil(const QString &expression, int timeoutMs)
{
    const QString polled = "new Promise(resolve => { const check = () => { if (" + expression
                           + ") resolve(true); else setTimeout(check, 20); }; check(); })";
    return evaluate(polled, timeoutMs).toBool();
}

void HeadlessBrowser::pressKey(const QString &key)
{
    QJsonObject event{{"key", key}};
    for (const KeyCode &known : keyCodes) {
        if (key == known.key) {
            event["code"] = known.code;
            event["windowsVirtualKeyCode"] = known.windowsCode;
        }
    }
    // A printable key also gives its text, and so does Enter, which
    // activates a button by it.
    if (key.size() == 1 || key == "Enter")
        event["text"] = key == "Enter" ? QString("\r") : key;
    event["type"] = event.contains("text") ? "keyDown" : "rawKeyDown";
    call("Input.dispatchKeyEvent", event);
    event.remove("text");
    event["type"] = "keyUp";
    call("Input.dispatchKeyEvent", event);
}

void HeadlessBrowser::typeText(const QString &text)
{
    call("Input.insertText", {{"text", text}});
}

void HeadlessBrowser::fail(const QString &why)
{
    if (!m_failure.isEmpty())
        return;
    m_failure = why;
    const QByteArray log = [this] {
        QFile file(m_profile.path() + logName);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    if (m_process.state() == QProcess::NotRunning && !log.isEmpty())
        m_failure += " (chromium said: " + QString::fromLocal8Bit(log.right(600)).trimmed() + ")";
}
