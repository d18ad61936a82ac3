#pragma once

#include "reportformat.h"

#include <QObject>

class QAction;
class QMenuBar;
class SettingsFile;

// The Report menu: whether a run writes the plain report or the browsable
// page, and whether the page shows each entry's size and date, which only
// it can. Both choices are off until the user makes them, and remembered
// from then on in the user's settings, or for the session where they
// cannot be.
class ReportMenu : public QObject
{
    Q_OBJECT

public:
    // Adds the menu to `bar`, before the menu of `before`.
    ReportMenu(QMenuBar *bar, QAction *before);

    ReportFormat format() const;
    bool readSizes() const;
    // Greyed while a run is under way, as the form is: the run has read it.
    void setEnabled(bool enabled);

signals:
    // The settings could not be read, or a choice not saved: the path at
    // fault and why.
    void settingsFault(const QString &text);

private:
    void remember(const QString &key, bool checked);

    SettingsFile *m_settings = nullptr;
    QAction *m_browsablePage = nullptr;
    QAction *m_sizesAndDates = nullptr;
    bool m_enabled = true;
};
