#include "reportmenu.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>

namespace {

// ~/.config/velmora/velmora.conf, named here rather than by the
// application's names, which only the program sets and the tests do not.
const QString settingsFolder = QStringLiteral("velmora");
const QString settingsFile = QStringLiteral("velmora");
const QString browsablePageKey = QStringLiteral("report/browsablePage");
const QString sizesAndDatesKey = QStringLiteral("report/sizesAndDates");

QAction *addChoice(QMenu *menu, const char *name, const QString &text, const QString &tip, bool checked)
{
    QAction *action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    action->setCheckable(true);
    action->setChecked(checked);
    action->setStatusTip(tip);
    return action;
}

} // namespace

ReportMenu::ReportMenu(QMenuBar *bar, QAction *before)
    : QObject(bar)
{
    auto *menu = new QMenu(tr("&Report"), bar);
    menu->setObjectName(QStringLiteral("menuReport"));
    bar->insertMenu(before, menu);

    const QSettings settings(settingsFolder, settingsFile);
    m_browsablePage = addChoice(menu, "actionBrowsablePage", tr("&Browsable Page"),
                                tr("Write a Page That Folds and Searches the Tree, Not the Plain Report"),
                                settings.value(browsablePageKey, false).toBool());
    m_sizesAndDates = addChoice(menu, "actionSizesAndDates", tr("&Sizes and Dates"),
                                tr("Show Each Entry's Size and Date on the Browsable Page"),
                                settings.value(sizesAndDatesKey, false).toBool());
    setEnabled(true);

    connect(m_browsablePage, &QAction::toggled, this, [this](bool checked) {
        remember(browsablePageKey, checked);
        setEnabled(m_enabled);
    });
    connect(m_sizesAndDates, &QAction::toggled, this, [this](bool checked) { remember(sizesAndDatesKey, checked); });
}

ReportFormat ReportMenu::format() const
{
    return m_browsablePage->isChecked() ? ReportFormat::Browse : ReportFormat::Html;
}

// A choice of sizes kept while the plain report is chosen, which shows none,
// is greyed and not acted on.
bool ReportMenu::readSizes() const
{
    return m_browsablePage->isChecked() && m_sizesAndDates->isChecked();
}

void ReportMenu::setEnabled(bool enabled)
{
    m_enabled = enabled;
    m_browsablePage->setEnabled(enabled);
    m_sizesAndDates->setEnabled(enabled && m_browsablePage->isChecked());
}

// Written at once on the GUI thread, as desktop programs write their
// settings: the user's configuration folder, unlike the trees the window
// maps, is taken to answer. A choice that cannot be written holds for this
// session only.
void ReportMenu::remember(const QString &key, bool checked)
{
    QSettings settings(settingsFolder, settingsFile);
    settings.setValue(key, checked);
}
