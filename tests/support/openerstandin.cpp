#include "openerstandin.h"

#include <QFile>

OpenerStandIn::OpenerStandIn(const QString &folder)
    : m_record(folder + "/xdg-open.args")
    , m_previousPath(qgetenv("PATH"))
{
    QFile script(folder + "/xdg-open");
    if (script.open(QIODevice::WriteOnly))
        script.write("#!/bin/sh\n"
                     "printf '%s\\0' \"$#\" \"$@\" > \"$0.tmp\"\n"
                     "mv \"$0.tmp\" \"$0.args\"\n");
    script.close();
    script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("PATH", QFile::encodeName(folder) + ':' + m_previousPath);
}

OpenerStandIn::~OpenerStandIn()
{
    qputenv("PATH", m_previousPath);
}

QList<QByteArray> OpenerStandIn::record() const
{
    QFile file(m_record);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> fields = file.readAll().split('\0');
    fields.removeLast(); // what follows the last terminator
    return fields;
}
