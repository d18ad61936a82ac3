#include "maprun.h"

#include "directorytest.h"
#include "mapjob.h"
#include "narrowtext.h"
#include "outputfile.h"
#include "reportopener.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QStatusBar>

#include <cstring>
#include <iostream>

namespace {

QString windowText(const char *text)
{
    return QCoreApplication::translate("Velmora", text);
}

void showWarning(QWidget *window, const char *title, const QString &text)
{
    QMessageBox::about(window, windowText(title), text);
}

void letEventsThrough()
{
    QCoreApplication::processEvents();
}

void showNotWritten(const MapRunWidgets &widgets, const QString &typedOutput, const QString &reason)
{
    widgets.writingProgress->setEnabled(true);
    widgets.writingProgress->setText(QString::fromLatin1("<font color=red>HTML Not Written</font>"));
    showWarning(widgets.window, "Output File Not Written",
                QString::fromLatin1("Warning - Output File Could Not Be Written") + u'\n' + typedOutput + u'\n' + reason);
}

QString failureReason(MapFailure failure)
{
    switch (failure) {
    case MapFailure::OutOfMemory:
        return QString::fromLatin1("The tree is too large to map in the memory available");
    case MapFailure::TooManyEntries:
        return QString::fromLatin1("The tree has more entries than a report can count");
    case MapFailure::OutOfDescriptors:
        return QString::fromLatin1("No file descriptor was free to read the tree");
    case MapFailure::None:
    case MapFailure::Cancelled:
    case MapFailure::NotWritten:
        break;
    }
    return {};
}

} // namespace

void resetProgress(const MapRunWidgets &widgets)
{
    widgets.countingProgress->setEnabled(false);
    widgets.mappingProgress->setEnabled(false);
    widgets.writingProgress->setEnabled(false);
    widgets.countingProgress->setText(QString::fromLatin1("Calculating # Files and Folders"));
    widgets.mappingProgress->setText(QString::fromLatin1("Mapping Files and Folders"));
    widgets.writingProgress->setText(QString::fromLatin1("Writing HTML File"));
}

void runMap(const MapRunWidgets &widgets)
{
    // What the status bar said of an earlier run is no longer true.
    widgets.statusBar->clearMessage();
    resetProgress(widgets);
    letEventsThrough();

    widgets.countingProgress->setEnabled(true);
    letEventsThrough();

    const std::string rootPath = toNarrowText(widgets.rootDirectory->text());
    const QString typedOutput = widgets.outputFile->text();
    const std::string outputPath = toNarrowText(typedOutput);

    if (const int error = rootDirectoryError(rootPath)) {
        showWarning(widgets.window, "File Does Not Exist",
                    QString::fromLatin1("Warning - Root Directory Folder Does Not Exist") + u'\n'
                        + QString::fromLocal8Bit(std::strerror(error)));
        return;
    }
    if (outputPath.empty())
        showWarning(widgets.window, "Output File Not Specified", QString::fromLatin1("Warning - Output File Path Not Specified"));

    MapJob job(rootPath, std::cout);
    if (!job.count()) {
        showNotWritten(widgets, typedOutput, failureReason(job.failure()));
        return;
    }
    widgets.countingProgress->setText(QString::fromLatin1("<font color=green>Number Files and Folders Calculated</font>"));
    letEventsThrough();

    widgets.mappingProgress->setEnabled(true);
    letEventsThrough();

    // The report goes to its file as it is made; the file is opened only
    // now, after the listing, so that a report inside the root is not listed.
    // The tree is mapped whole even when the file fails: the labels tell
    // what was done, and the failure is shown once writing ends.
    OutputFile file(outputPath);
    if (!job.map(widgets.directoriesOnly->isChecked(), [&file](std::string_view piece) {
            file.write(piece);
            return true;
        })) {
        showNotWritten(widgets, typedOutput, failureReason(job.failure()));
        return;
    }
    widgets.mappingProgress->setText(QString::fromLatin1("<font color=green>Directory Information Mapped</font>"));
    letEventsThrough();

    widgets.writingProgress->setEnabled(true);
    letEventsThrough();

    const bool written = file.commit();
    const QString reason = QString::fromLocal8Bit(file.errorString());
    if (written) {
        widgets.writingProgress->setText(QString::fromLatin1("<font color=green>HTML Written</font>"));
    } else if (outputPath.empty()) {
        // An empty output field was already warned about at the start.
        widgets.writingProgress->setText(QString::fromLatin1("<font color=red>HTML Not Written</font>"));
    } else {
        showNotWritten(widgets, typedOutput, reason);
    }
    letEventsThrough();

    if (written && widgets.openReport->isChecked() && !openReport(outputPath))
        widgets.statusBar->showMessage(windowText("The report could not be opened: xdg-open could not be started"));
}
