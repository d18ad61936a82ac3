#pragma once

#include <QMap>
#include <QObject>
#include <QString>

#include <memory>

// The user's settings, in ~/.config/velmora/velmora.conf. They are read once,
// as the object is made, and only from a regular file: a FIFO there would
// hold the window up, and anything else is no settings file. Values set are
// written on a thread of their own, the latest of each key, so that a huge
// file or a slow disk never holds the window up; the object waits for them
// as it goes, a while. What cannot be read or written is told by fault(),
// once until it changes; a value that was not written still holds until the
// program ends.
class SettingsFile : public QObject
{
    Q_OBJECT

public:
    explicit SettingsFile(QObject *parent = nullptr);
    ~SettingsFile() override;

    bool value(const QString &key, bool defaultValue) const;
    void setValue(const QString &key, bool value);

signals:
    // The path at fault and why, in a sentence for the status bar.
    void fault(const QString &text);

private:
    void tell(const QString &text);

    struct Writer;
    const QString m_path;
    QMap<QString, bool> m_values;
    const std::shared_ptr<Writer> m_writer;
    QString m_told;
};
