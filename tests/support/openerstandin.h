#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// An xdg-open of the test's own, put first on PATH for the object's
// lifetime, that writes down the arguments it was started with.
class OpenerStandIn
{
public:
    explicit OpenerStandIn(const QString &folder);
    ~OpenerStandIn();
    OpenerStandIn(const OpenerStandIn &) = delete;
    OpenerStandIn &operator=(const OpenerStandIn &) = delete;

    // Where the record appears once the stand-in has run.
    QString recordPath() const { return m_record; }
    // The argument count, then each argument.
    QList<QByteArray> record() const;

private:
    QString m_record;
    QByteArray m_previousPath;
};
