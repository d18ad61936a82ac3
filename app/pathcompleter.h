#pragma once

#include "pathfield.h"

#include <QCompleter>
#include <QElapsedTimer>
#include <QStringList>

class FolderLister;
class QLineEdit;
class QStringListModel;

// Completes the path typed into a field from the folder it names so far:
// the names there that begin with what follows the last slash (hidden ones
// once that begins with a dot), only directories for a Directory field, no
// more than a few thousand. Folders are listed off the GUI thread; the list
// opens when the names come in, if the field still asks for them. No list
// opens when the text already is the only completion.
class PathCompleter : public QCompleter
{
    Q_OBJECT

public:
    PathCompleter(QLineEdit *field, PathKind kind);

private:
    void textEdited(const QString &text);
    void folderListed(const QString &folder, const QStringList &names);
    // The completions of `text` from the folder listed last.
    QStringList completionsOf(const QString &text) const;
    void setCompletions(const QStringList &completions);

    QLineEdit *const m_field;
    QStringListModel *const m_model;
    FolderLister *const m_lister;
    QString m_typed;     // the field's text as last edited
    QString m_folder;    // listed last, with its names
    QStringList m_names;
    QElapsedTimer m_listedAt;
};
