#pragma once

#include "maprun.h"
#include "ui_velmora.h"

#include <QMainWindow>
#include <QPointer>

class OutcomeLabel;
class ReportMenu;

class Velmora : public QMainWindow
{
    Q_OBJECT

public:
    explicit Velmora(QWidget *parent = nullptr);

    // The map run, to follow it.
    MapRun &mapRun() { return m_mapRun; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private slots:
    void mapDirectories();
    void aboutDialog();

private:
    void useFontSizeOfFixedLayout();
    void followMapRun();
    void setFormEnabled(bool enabled);
    void showProgressLabel(MapStage stage, bool enabled, const QString &text);
    void showOutcome(const QString &outcome, const QString &details, const QString &path);
    void mapRunEnded();

    Ui::VelmoraClass ui;
    OutcomeLabel *m_outcome = nullptr; // how the last run ended, in the status bar
    ReportMenu *m_reportMenu = nullptr;
    MapRun m_mapRun;
    QPointer<QWidget> m_focusedBeforeRun;
    bool m_closeWhenRunEnds = false;
};
