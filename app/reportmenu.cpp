#include "reportmenu.h"

#include "settingsfile.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace {

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

    m_settings = new SettingsFile(this);
    connect(m_settings, &SettingsFile::fault, this, &ReportMenu::settingsFault);
    m_browsablePage = addChoice(menu, "actionBrowsablePage", tr("&Browsable Page"),
                                tr("Write a Page That Folds and Searches the Tree, Not the Plain Report"),
                                m_settings->value(browsablePageKey, false));
    m_sizesAndDates = addChoice(menu, "actionSizesAndDates", tr("&Sizes and Dates"),
                                tr("Show Each Entry's Size and Date on the Browsable Page"),
                                m_settings->value(sizesAndDatesKey, false));
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

// A choice that cannot be written holds for this session only.
void ReportMenu::remember(const QString &key, bool checked)
{
    m_settings->setValue(key, checked);
}
