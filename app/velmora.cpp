#include "velmora.h"

#include "applicationicon.h"
#include "maprun.h"
#include "narrowtext.h"
#include "version.h"

#include <QMessageBox>
#include <QString>

#include <string>

namespace {

const std::string authorCredit = "Written and maintained by the Velmora developers";

} // namespace

Velmora::Velmora(QWidget *parent)
    : QMainWindow(parent)
{
    ui.setupUi(this);
    useFontSizeOfFixedLayout();
    setWindowIcon(applicationIcon());
    setWindowTitle(fromNarrowText("Velmora " + versionText));
    ui.authorLabel->setText(fromNarrowText(authorCredit));

    connect(ui.exitButton, SIGNAL(clicked()), this, SLOT(close()));
    connect(ui.mapButton, SIGNAL(clicked()), this, SLOT(mapDirectories()));
    connect(ui.actionExit, SIGNAL(triggered()), this, SLOT(close()));
    connect(ui.actionAbout, SIGNAL(triggered()), this, SLOT(aboutDialog()));

    ui.actionExit->setStatusTip(tr("Exit This Application"));
    // Return and Enter click a focused push button, as in every dialog.
    ui.mapButton->setAutoDefault(true);
    ui.exitButton->setAutoDefault(true);
    ui.directoryOnlyRadioButton->setChecked(true);
    resetProgress(mapRunWidgets());
}

MapRunWidgets Velmora::mapRunWidgets()
{
    return {this,
            ui.rootDirectoryLineEdit,
            ui.outputFileLineEdit,
            ui.directoryOnlyRadioButton,
            ui.openCheckBox,
            ui.appProgress1,
            ui.appProgress2,
            ui.appProgress3,
            ui.statusbar};
}

// The form places every widget at a fixed pixel position, sized for an
// 11-pixel dialog font. Desktop fonts on Linux are larger and would cut the
// captions short, so the window keeps the desktop's family at that size.
void Velmora::useFontSizeOfFixedLayout()
{
    QFont layoutFont = font();
    layoutFont.setPixelSize(11);
    layoutFont.setStretch(91);
    setFont(layoutFont);
}

void Velmora::mapDirectories()
{
    runMap(mapRunWidgets());
}

void Velmora::aboutDialog()
{
    const std::string text = "<h1>Velmora " + versionText + "</h1>"
        + "<p>This program indexes the selected directory and creates"
        + " an HTML file displaying all folders and files.</p>"
        + "<p>" + authorCredit + "</p>";
    QMessageBox::about(this, tr("About Dialog"), fromNarrowText(text));
}
