#include "maprun.h"

#include "directorytest.h"
#include "mapjob.h"
#include "narrowtext.h"
#include "reportfile.h"
#include "reportopener.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QStatusBar>

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
    resetProgress(widgets);
    letEventsThrough();

    widgets.countingProgress->setEnabled(true);
    letEventsThrough();

    const std::string rootPath = toNarrowText(widgets.rootDirectory->text());
    const QString typedOutput = widgets.outputFile->text();
    const std::string outputPath = toNarrowText(typedOutput);

    if (!isDirectory(rootPath)) {
        showWarning(widgets.window, "File Does Not Exist", QString::fromLatin1("Warning - Root Directory Folder Does Not Exist"));
        return;
    }
    if (outputPath.empty())
        showWarning(widgets.window, "Output File Not Specified", QString::fromLatin1("Warning - Output File Path Not Specified"));

    MapJob job(rootPath, std::cout);
    job.count();
    widgets.countingProgress->setText(QString::fromLatin1("<font color=green>Number Files and Folders Calculated</font>"));
    letEventsThrough();

    widgets.mappingProgress->setEnabled(true);
    letEventsThrough();

    job.map(widgets.directoriesOnly->isChecked());
    widgets.mappingProgress->setText(QString::fromLatin1("<font color=green>Directory Information Mapped</font>"));
    letEventsThrough();

    widgets.writingProgress->setEnabled(true);
    letEventsThrough();

    QString reason;
    const bool written = writeFile(outputPath, job.finish(), &reason) == 1;
    if (written) {
        widgets.writingProgress->setText(QString::fromLatin1("<font color=green>HTML Written</font>"));
    } else {
        widgets.writingProgress->setText(QString::fromLatin1("<font color=red>HTML Not Written</font>"));
        // An empty output field was already warned about at the start.
        if (!outputPath.empty())
            showWarning(widgets.window, "Output File Not Written",
                        QString::fromLatin1("Warning - Output File Could Not Be Written") + u'\n' + typedOutput + u'\n' + reason);
    }
    letEventsThrough();

    if (written && widgets.openReport->isChecked() && !openReport(outputPath))
        widgets.statusBar->showMessage(windowText("The report could not be opened: xdg-open could not be started"));
}
