#pragma once

// Creates the application and the main window, runs the event loop until the
// last window has been closed and returns the loop's result.
int runVelmora(int &argc, char **argv);
