#include "velmora.h"

#include "applicationicon.h"
#include "narrowtext.h"
#include "outcomelabel.h"
#include "pathfield.h"
#include "reportmenu.h"
#include "version.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QCompleter>
#include <QKeyEvent>
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

    m_reportMenu = new ReportMenu(ui.menubar, ui.menuHelp->menuAction());
    connect(m_reportMenu, &ReportMenu::settingsFault, ui.statusbar, [this](const QString &text) { ui.statusbar->showMessage(text); });

    connect(ui.exitButton, SIGNAL(clicked()), this, SLOT(close()));
    connect(ui.mapButton, SIGNAL(clicked()), this, SLOT(mapDirectories()));
    connect(ui.actionExit, SIGNAL(triggered()), this, SLOT(close()));
    connect(ui.actionAbout, SIGNAL(triggered()), this, SLOT(aboutDialog()));

    ui.actionExit->setStatusTip(tr("Exit This Application"));
    // Return and Enter click a focused push button, as in every dialog, and
    // Map is the form's default: Return in either field presses it.
    ui.mapButton->setAutoDefault(true);
    ui.exitButton->setAutoDefault(true);
    ui.mapButton->setDefault(true);
    for (QLineEdit *field : {ui.rootDirectoryLineEdit, ui.outputFileLineEdit}) {
        // Unless it takes a completion chosen in the open list.
        connect(field, &QLineEdit::returnPressed, this, [this, field] {
            if (!field->completer() || !field->completer()->popup()->isVisible())
                ui.mapButton->click();
        });
    }
    ui.directoryOnlyRadioButton->setChecked(true);
    for (MapStage stage : mapStages)
        showProgressLabel(stage, false, progressCaption(stage));

    makePathField(ui.rootDirectoryLineEdit, ui.label, PathKind::Directory);
    makePathField(ui.outputFileLineEdit, ui.label_2, PathKind::File);
    ui.outputFileLineEdit->setAccessibleDescription(ui.label_4->text());
    followMapRun();
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

// The outcome of a run is a widget of the status bar's own, so that it
// stays until the next run: a status tip covers it only while it shows.
// Progress during a run goes in the status bar's passing messages.
void Velmora::followMapRun()
{
    m_outcome = new OutcomeLabel(ui.statusbar);
    m_outcome->setObjectName(QStringLiteral("runOutcome"));
    // A long path is shortened rather than widen the window; the text
    // begins where a status tip's does.
    m_outcome->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_outcome->setContentsMargins(4, 0, 0, 0);
    ui.statusbar->addWidget(m_outcome, 1);

    connect(&m_mapRun, &MapRun::labelChanged, this, &Velmora::showProgressLabel);
    connect(&m_mapRun, &MapRun::progressChanged, this, [this](const QString &status) { ui.statusbar->showMessage(status); });
    connect(&m_mapRun, &MapRun::outcomeChanged, this, &Velmora::showOutcome);
    connect(&m_mapRun, &MapRun::warning, this,
            [this](const QString &title, const QString &text) { QMessageBox::about(this, title, text); });
    connect(&m_mapRun, &MapRun::finished, this, &Velmora::mapRunEnded);
}

void Velmora::showProgressLabel(MapStage stage, bool enabled, const QString &text)
{
    QLabel *shown = stage == MapStage::Counting ? ui.appProgress1
        : stage == MapStage::Mapping            ? ui.appProgress2
                                                : ui.appProgress3;
    shown->setEnabled(enabled);
    shown->setText(text);
}

void Velmora::showOutcome(const QString &outcome, const QString &details, const QString &path)
{
    ui.statusbar->clearMessage();
    m_outcome->setOutcome(outcome, path);
    const QString whole = details.isEmpty() ? outcome : outcome + u'\n' + details;
    // As rich text, so that no path is taken for markup, each line whole.
    m_outcome->setToolTip(whole.isEmpty() ? QString()
                                          : QStringLiteral("<p style='white-space:pre'>%1</p>").arg(whole.toHtmlEscaped()));
}

// While a run is under way the form is greyed: the run has read it, and a
// press of Map must not start another. Input to a disabled widget is dropped
// by Qt itself, the same on every platform, where input held back for later
// would have to be queued and replayed by hand. The Report menu's choices,
// read by the run too, are greyed with it. Exit, the menus, Esc and the
// close box stay live, to stop the run.
void Velmora::setFormEnabled(bool enabled)
{
    for (QWidget *widget : {static_cast<QWidget *>(ui.rootDirectoryLineEdit), static_cast<QWidget *>(ui.outputFileLineEdit),
                            static_cast<QWidget *>(ui.directoryOnlyRadioButton), static_cast<QWidget *>(ui.radioButton_2),
                            static_cast<QWidget *>(ui.openCheckBox), static_cast<QWidget *>(ui.mapButton)})
        widget->setEnabled(enabled);
    m_reportMenu->setEnabled(enabled);
    // A list of completions would stay open, or open once a folder has been
    // read, and take Esc for itself: a greyed field's completer is detached.
    for (QLineEdit *field : {ui.rootDirectoryLineEdit, ui.outputFileLineEdit})
        if (QCompleter *completer = field->completer())
            completer->setWidget(enabled ? field : nullptr);
}

void Velmora::mapDirectories()
{
    if (m_mapRun.isRunning())
        return;
    // Qt would hand the focus of a greyed Map button on to Exit, where the
    // next Return would end the program; the window holds it meanwhile.
    m_focusedBeforeRun = focusWidget();
    setFocus(Qt::OtherFocusReason);
    setFormEnabled(false);
    // The form stays greyed until the run is over: what it reads now is
    // what the run would read at each stage.
    m_mapRun.start({ui.rootDirectoryLineEdit->text(), ui.outputFileLineEdit->text(),
                    ui.directoryOnlyRadioButton->isChecked(), ui.openCheckBox->isChecked(), m_reportMenu->format(),
                    m_reportMenu->readSizes()});
}

void Velmora::mapRunEnded()
{
    setFormEnabled(true);
    if (m_focusedBeforeRun && focusWidget() == this)
        m_focusedBeforeRun->setFocus(Qt::OtherFocusReason);
    if (m_closeWhenRunEnds)
        close();
}

// Closing the window during a run stops the run first; the window closes as
// soon as it has ended.
void Velmora::closeEvent(QCloseEvent *event)
{
    if (!m_mapRun.isRunning()) {
        QMainWindow::closeEvent(event);
        return;
    }
    m_closeWhenRunEnds = true;
    m_mapRun.cancelAndLeave();
    event->ignore();
}

void Velmora::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && m_mapRun.isRunning()) {
        m_mapRun.cancel();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void Velmora::aboutDialog()
{
    const std::string text = "<h1>Velmora " + versionText + "</h1>"
        + "<p>This program indexes the selected directory and creates"
        + " an HTML file displaying all folders and files.</p>"
        + "<p>" + authorCredit + "</p>";
    QMessageBox::about(this, tr("About Dialog"), fromNarrowText(text));
}
