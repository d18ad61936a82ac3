#include "pathfield.h"

#include "pathcompleter.h"

#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>
#include <QValidator>

namespace {

bool isLineBreak(QChar c)
{
    switch (c.unicode()) {
    case u'\n':
    case u'\v':
    case u'\f':
    case u'\r':
    case 0x85:   // next line
    case 0x2028: // line separator
    case 0x2029: // paragraph separator
        return true;
    default:
        return false;
    }
}

// A line break in a one-line field shows as nothing, yet would become part
// of the path: every edit, typed, pasted, dropped or set, is taken without
// the line breaks in it.
class LineBreakRemover : public QValidator
{
public:
    using QValidator::QValidator;

    State validate(QString &input, int &position) const override
    {
        qsizetype kept = 0;
        int removedBeforeCursor = 0;
        for (qsizetype i = 0; i < input.size(); ++i) {
            if (!isLineBreak(input[i]))
                input[kept++] = input[i];
            else if (i < position)
                ++removedBeforeCursor;
        }
        input.truncate(kept);
        position -= removedBeforeCursor;
        return Acceptable;
    }
};

// The local path of what a file manager drags: a list of file:// URLs.
QString draggedPath(const QMimeData *data)
{
    if (!data || !data->hasUrls() || data->urls().isEmpty())
        return {};
    const QUrl url = data->urls().constFirst();
    return url.isLocalFile() ? url.toLocalFile() : QString();
}

// Takes a dragged file or folder as its path, where the line edit itself
// would take only dragged text.
class PathDropTaker : public QObject
{
public:
    explicit PathDropTaker(QLineEdit *field)
        : QObject(field)
        , m_field(field)
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto *drag = static_cast<QDropEvent *>(event);
            if (draggedPath(drag->mimeData()).isEmpty())
                break;
            drag->acceptProposedAction();
            return true;
        }
        case QEvent::Drop: {
            auto *drop = static_cast<QDropEvent *>(event);
            const QString path = draggedPath(drop->mimeData());
            if (path.isEmpty())
                break;
            m_field->setText(path);
            m_field->setFocus(Qt::OtherFocusReason);
            drop->acceptProposedAction();
            return true;
        }
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QLineEdit *const m_field;
};

} // namespace

void makePathField(QLineEdit *field, QLabel *label, PathKind kind)
{
    label->setBuddy(field);
    field->setAccessibleName(label->text());
    field->setValidator(new LineBreakRemover(field));
    field->setCompleter(new PathCompleter(field, kind));
    field->installEventFilter(new PathDropTaker(field));
}
