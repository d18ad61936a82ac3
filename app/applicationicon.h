#pragma once

#include <QIcon>

// Velmora's icon from the PNGs built into the program, one per size the
// desktop asks for: it needs no icon theme and no SVG renderer.
QIcon applicationIcon();
