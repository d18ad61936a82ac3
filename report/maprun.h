#pragma once

class MapRunControl;
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

// Performs one whole map run: checks the root, counts and maps the tree
// below it, writes the report and, when asked to, opens it. The progress
// labels tell each stage as it begins and ends, and pending events are
// handled between the stages. The stages themselves are done off the GUI
// thread, which handles events meanwhile and shows their progress in the
// status bar; `control` can stop them, leaving an earlier report as it was.
void runMap(const MapRunWidgets &widgets, MapRunControl &control);
