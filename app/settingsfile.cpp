#include "settingsfile.h"

#include "settingsfault.h"

#include <QMetaObject>
#include <QSettings>
#include <QStandardPaths>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace {

// How long the program's end waits for values still being written: a huge
// file takes seconds, a folder that does not answer would take for ever.
constexpr std::chrono::seconds longestWaitForWrites{10};

// ~/.config/velmora/velmora.conf, where QSettings("velmora", "velmora")
// keeps its values, found without asking the file system.
QString settingsPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/velmora/velmora.conf");
}

// Writes the values into the file, keeping what else it holds; gives what
// was at fault when they could not be.
QString write(const QString &path, const QMap<QString, bool> &values)
{
    if (QString fault = settingsWriteFault(path); !fault.isEmpty())
        return fault;
    QSettings settings(path, QSettings::IniFormat);
    for (auto value = values.begin(); value != values.end(); ++value)
        settings.setValue(value.key(), value.value());
    settings.sync();
    if (settings.status() == QSettings::NoError)
        return {};
    if (QString fault = settingsWriteFault(path); !fault.isEmpty())
        return fault;
    return path + QStringLiteral(": the file could not be written");
}

} // namespace

// Shared by the object and its writing thread, which outlives it when the
// file does not answer. `file` is set and cleared under the mutex, so that no
// write posts to an object that is gone.
struct SettingsFile::Writer
{
    std::mutex mutex;
    std::condition_variable changed;
    QMap<QString, bool> pending; // the latest value of each key not yet taken
    bool writing = false;
    bool stopping = false;
    SettingsFile *file = nullptr;
    std::thread thread;

    void run(const QString &path)
    {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return !pending.isEmpty() || stopping; });
            if (pending.isEmpty())
                return;
            const QMap<QString, bool> values = std::exchange(pending, {});
            writing = true;
            lock.unlock();
            const QString fault = write(path, values);
            lock.lock();
            writing = false;
            changed.notify_all();
            if (SettingsFile *told = file) {
                const QString text = fault.isEmpty() ? QString() : QStringLiteral("Choice not saved: ") + fault;
                QMetaObject::invokeMethod(told, [told, text] { told->tell(text); }, Qt::QueuedConnection);
            }
        }
    }
};

SettingsFile::SettingsFile(QObject *parent)
    : QObject(parent)
    , m_path(settingsPath())
    , m_writer(std::make_shared<Writer>())
{
    m_writer->file = this;
    // Read here, before the window shows the values: a regular file answers.
    if (const QString fault = settingsReadFault(m_path); !fault.isEmpty()) {
        QMetaObject::invokeMethod(this, [this, fault] { tell(QStringLiteral("Settings not read: ") + fault); },
                                  Qt::QueuedConnection);
        return;
    }
    const QSettings settings(m_path, QSettings::IniFormat);
    for (const QString &key : settings.allKeys())
        m_values.insert(key, settings.value(key).toBool());
}

SettingsFile::~SettingsFile()
{
    std::unique_lock<std::mutex> lock(m_writer->mutex);
    m_writer->file = nullptr;
    m_writer->stopping = true;
    m_writer->changed.notify_all();
    if (!m_writer->thread.joinable())
        return;
    const bool written = m_writer->changed.wait_for(lock, longestWaitForWrites, [this] {
        return m_writer->pending.isEmpty() && !m_writer->writing;
    });
    lock.unlock();
    if (written)
        m_writer->thread.join();
    else
        m_writer->thread.detach();
}

bool SettingsFile::value(const QString &key, bool defaultValue) const
{
    return m_values.value(key, defaultValue);
}

void SettingsFile::setValue(const QString &key, bool value)
{
    m_values.insert(key, value);
    const std::lock_guard<std::mutex> lock(m_writer->mutex);
    m_writer->pending.insert(key, value);
    m_writer->changed.notify_all();
    if (m_writer->thread.joinable())
        return;
    try {
        m_writer->thread = std::thread([writer = m_writer, path = m_path] { writer->run(path); });
    } catch (const std::system_error &error) {
        m_writer->pending.clear();
        tell(QStringLiteral("Choice not saved: ") + m_path + QStringLiteral(": ") + QString::fromLocal8Bit(error.what()));
    }
}

// Each fault once, until another, or a write that succeeds, takes its place.
void SettingsFile::tell(const QString &text)
{
    if (text == m_told)
        return;
    m_told = text;
    if (!text.isEmpty())
        emit fault(text);
}
