#pragma once

#include <QLabel>
#include <QString>

// A line of the status bar that may name a path. Where the whole line does
// not fit, the path is shortened in the middle, so that what follows it,
// such as why a report was not written, stays in view.
class OutcomeLabel : public QLabel
{
public:
    explicit OutcomeLabel(QWidget *parent = nullptr);

    // `path` as it is written in `text`; empty where it names none.
    void setOutcome(const QString &text, const QString &path);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void fit();

    QString m_text;
    QString m_path;
};
