#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// Debian's chromium, headless, with a fresh profile, driven over the
// DevTools protocol through a pipe (--remote-debugging-pipe: commands go to
// its descriptor 3, answers come from its descriptor 4, each a JSON message
// ended by a NUL byte). It opens one page, to which the calls below go. It
// makes no connection of its own: on a closed network those of a browser's
// background services would only be refused.
class HeadlessBrowser
{
public:
    HeadlessBrowser();
    ~HeadlessBrowser();
    HeadlessBrowser(const HeadlessBrowser &) = delete;
    HeadlessBrowser &operator=(const HeadlessBrowser &) = delete;

    // Whether the browser started and its page can be driven; if not, why.
    bool isReady() const { return m_failure.isEmpty(); }
    QString failure() const { return m_failure; }
    qint64 processId() const { return m_process.processId(); }

    // Sends a command to the page (or to the browser itself) and gives its
    // result; an empty object, with failure() set, on an error or timeout.
    QJsonObject call(const QString &method, const QJsonObject &params = {}, int timeoutMs = 60000);
    QJsonObject callBrowser(const QString &method, const QJsonObject &params = {}, int timeoutMs = 60000);

    // Navigates the page and waits for its load event.
    bool load(const QString &url, int timeoutMs = 120000);
    // The value of a JavaScript expression in the page, a promise awaited;
    // undefined, with failure() set, when it throws.
    QJsonValue evaluate(const QString &expression, int timeoutMs = 60000);
    // Waits until the expression is true in the page.
    bool waitUntil(const QString &expression, int timeoutMs = 60000);

    // A key pressed and released, as the keyboard would send it.
    void pressKey(const QString &key);
    void typeText(const QString &text);

    // Every event the page has sent so far, with its method and params.
    const QList<QJsonObject> &events() const { return m_events; }

private:
    bool start();
    QJsonObject send(const QString &method, const QJsonObject &params, const QString &session, int timeoutMs);
    bool readMessages(int timeoutMs);
    void fail(const QString &why);

    QTemporaryDir m_profile;
    QProcess m_process;
    int m_toBrowser = -1;
    int m_fromBrowser = -1;
    QByteArray m_received;
    int m_nextId = 1;
    QList<QJsonObject> m_answers;
    QList<QJsonObject> m_events;
    QString m_session;
    QString m_failure;
};
