#include "outcomelabel.h"

#include <QFontMetrics>

#include <algorithm>

OutcomeLabel::OutcomeLabel(QWidget *parent)
    : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
}

void OutcomeLabel::setOutcome(const QString &text, const QString &path)
{
    m_text = text;
    m_path = path;
    fit();
}

void OutcomeLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    fit();
}

void OutcomeLabel::fit()
{
    const QFontMetrics metrics = fontMetrics();
    const int room = contentsRect().width();
    const qsizetype at = m_path.isEmpty() ? -1 : m_text.indexOf(m_path);
    if (at < 0 || metrics.horizontalAdvance(m_text) <= room) {
        setText(m_text);
        return;
    }
    const QString before = m_text.left(at);
    const QString after = m_text.mid(at + m_path.size());
    const int pathRoom = std::max(0, room - metrics.horizontalAdvance(before) - metrics.horizontalAdvance(after));
    QString path = metrics.elidedText(m_path, Qt::ElideMiddle, pathRoom);
    if (path.isEmpty())
        path = QString(QChar(0x2026));
    setText(before + path + after);
}
