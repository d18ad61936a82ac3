#include "completionlist.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScreen>
#include <QWindow>

namespace {

bool windowPositionsAreKnown()
{
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

// Watches the list before the completer does: the completer would swallow a
// press outside the list, and Tab or Return with it.
class CompletionListManners : public QObject
{
public:
    CompletionListManners(QAbstractItemView *list, QLineEdit *field, CompletionListPlace place)
        : QObject(list)
        , m_list(list)
        , m_field(field)
        , m_place(place)
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto *press = static_cast<QMouseEvent *>(event);
            if (m_list->rect().contains(m_list->mapFromGlobal(press->globalPosition().toPoint())))
                break;
            passOn(*press);
            return true;
        }
        case QEvent::KeyPress:
            return keyPressed(static_cast<QKeyEvent *>(event));
        case QEvent::Show:
        case QEvent::Move:
        case QEvent::Resize:
            if (m_place == CompletionListPlace::Above)
                placeAbove();
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool keyPressed(QKeyEvent *key)
    {
        switch (key->key()) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // A completion chosen with the arrow keys is the completer's to take.
            if (m_list->currentIndex().isValid())
                return false;
            break;
        default:
            return false;
        }
        m_list->hide();
        QCoreApplication::sendEvent(m_field, key);
        return true;
    }

    // Closes the list and hands the press to the window under it, as it
    // would have gone had no list been open.
    void passOn(const QMouseEvent &press)
    {
        // The window system is not to replay it as well.
        m_list->setAttribute(Qt::WA_NoMouseReplay);
        m_list->hide();
        const QPoint global = press.globalPosition().toPoint();
        QWidget *target = QApplication::widgetAt(global);
        if (!target)
            return;
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && !modal->isAncestorOf(target) && modal != target)
            return;
        QWindow *window = target->window()->windowHandle();
        if (!window)
            return;
        const QPointF local = window->mapFromGlobal(press.globalPosition());
        QMouseEvent replayed(QEvent::MouseButtonPress, local, local, press.globalPosition(), press.button(),
                             press.buttons(), press.modifiers(), press.pointingDevice());
        QCoreApplication::sendEvent(window, &replayed);
    }

    // Above the field where the screen has room; else beside it, on its
    // right, level with it. Where the window system does not tell a window
    // where it is (Wayland), the room cannot be known: the list goes above
    // the field, where the compositor keeps it on the screen.
    void placeAbove()
    {
        const QPoint fieldTop = m_field->mapToGlobal(QPoint(0, 0));
        QPoint place(fieldTop.x(), fieldTop.y() - m_list->height());
        const QScreen *screen = m_field->screen();
        if (screen && place.y() < screen->availableGeometry().top() && windowPositionsAreKnown())
            place = QPoint(fieldTop.x() + m_field->width(), fieldTop.y());
        if (m_list->pos() != place)
            m_list->move(place);
    }

    QAbstractItemView *const m_list;
    QLineEdit *const m_field;
    const CompletionListPlace m_place;
};

} // namespace

void keepCompletionListInItsPlace(QCompleter *completer, QLineEdit *field, CompletionListPlace place)
{
    QAbstractItemView *list = completer->popup();
    // Filters run in the reverse order of their installing: this one first.
    list->installEventFilter(new CompletionListManners(list, field, place));
}
