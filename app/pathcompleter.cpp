#include "pathcompleter.h"

#include "codepointorder.h"
#include "completionlist.h"
#include "folderlister.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QListView>
#include <QStringListModel>

#include <algorithm>

namespace {

// What the list offers at most: enough to scroll through, few enough that a
// folder of 100,000 names costs the GUI thread little for each key.
constexpr qsizetype mostCompletions = 2000;
// A folder listed longer ago than this is listed again as the user goes on
// typing in it, and its completions follow once it has been.
constexpr qint64 listingLifetime = 2000; // milliseconds

// The folder part of a typed path, up to its last slash; none without one.
QString folderOf(const QString &text)
{
    const qsizetype slash = text.lastIndexOf(u'/');
    return slash < 0 ? QString() : text.left(slash + 1);
}

} // namespace

PathCompleter::PathCompleter(QLineEdit *field, PathKind kind)
    : QCompleter(field)
    , m_field(field)
    , m_model(new QStringListModel(this))
    , m_lister(new FolderLister(kind == PathKind::Directory ? FolderLister::Entries::DirectoriesOnly
                                                            : FolderLister::Entries::All,
                                this))
{
    setModel(m_model);
    if (auto *list = qobject_cast<QListView *>(popup()))
        list->setUniformItemSizes(true);
    // The list of the root field opens above it, clear of the output field
    // that a user is likely to click next.
    keepCompletionListInItsPlace(this, field,
                                 kind == PathKind::Directory ? CompletionListPlace::Above : CompletionListPlace::Below);
    connect(field, &QLineEdit::textEdited, this, &PathCompleter::textEdited);
    connect(m_lister, &FolderLister::listed, this, &PathCompleter::folderListed);
}

// Called before the field updates the list for the new text.
void PathCompleter::textEdited(const QString &text)
{
    m_typed = text;
    const QString folder = folderOf(text);
    if (folder.isEmpty()) {
        setCompletions({});
        return;
    }
    if (folder != m_folder) {
        setCompletions({});
        m_lister->list(folder);
        return;
    }
    setCompletions(completionsOf(text));
    if (m_listedAt.hasExpired(listingLifetime))
        m_lister->list(folder);
}

void PathCompleter::folderListed(const QString &folder, const QStringList &names)
{
    m_folder = folder;
    m_names = names;
    m_listedAt.start();
    // What is shown follows the text the user typed; a completion chosen,
    // or a text set otherwise, is left as it is.
    if (m_field->text() != m_typed)
        return;
    const QString wanted = folderOf(m_typed);
    if (wanted != folder) {
        // Not listed while a folder above it was.
        if (!wanted.isEmpty())
            m_lister->list(wanted);
        return;
    }
    const QStringList completions = completionsOf(m_typed);
    if (completions != m_model->stringList())
        setCompletions(completions);
    if (widget() != m_field || !m_field->hasFocus())
        return;
    if (completions.isEmpty()) {
        popup()->hide();
        return;
    }
    if (completionPrefix() != m_typed)
        setCompletionPrefix(m_typed);
    complete();
}

QStringList PathCompleter::completionsOf(const QString &text) const
{
    const QString folder = folderOf(text);
    const QString begun = text.mid(folder.size());
    const bool hiddenToo = begun.startsWith(u'.');
    QStringList completions;
    for (auto name = std::lower_bound(m_names.begin(), m_names.end(), begun, precedesByCodePoint);
         name != m_names.end() && name->startsWith(begun) && completions.size() < mostCompletions; ++name) {
        if (hiddenToo || !name->startsWith(u'.'))
            completions << folder + *name;
    }
    if (completions.size() == 1 && completions.constFirst() == text)
        return {};
    return completions;
}

void PathCompleter::setCompletions(const QStringList &completions)
{
    m_model->setStringList(completions);
}
