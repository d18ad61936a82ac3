#pragma once

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QStatusBar;
class QWidget;

// The widgets of the main window that a map run reads and updates.
struct MapRunWidgets
{
    QWidget *window = nullptr; // parent of the run's message boxes
    QLineEdit *rootDirectory = nullptr;
    QLineEdit *outputFile = nullptr;
    QRadioButton *directoriesOnly = nullptr;
    QCheckBox *openReport = nullptr;
    QLabel *countingProgress = nullptr;
    QLabel *mappingProgress = nullptr;
    QLabel *writingProgress = nullptr;
    QStatusBar *statusBar = nullptr;
};

// Greys out the three progress labels and shows their stage captions: the
// state before a run.
void resetProgress(const MapRunWidgets &widgets);

// Performs one whole map run, synchronously: checks the root, counts and
// maps the tree below it, writes the report and, when asked to, opens it.
// The progress labels tell each stage as it begins and ends; pending events
// are handled between the stages.
void runMap(const MapRunWidgets &widgets);
