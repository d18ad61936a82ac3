#pragma once

#include "mapruncontrol.h"
#include "maprun.h"
#include "ui_velmora.h"

#include <QMainWindow>

class Velmora : public QMainWindow
{
    Q_OBJECT

public:
    explicit Velmora(QWidget *parent = nullptr);

    // The map run under way, to follow it.
    MapRunControl &mapRun() { return m_mapRun; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private slots:
    void mapDirectories();
    void aboutDialog();

private:
    void useFontSizeOfFixedLayout();
    MapRunWidgets mapRunWidgets();
    void setFormEnabled(bool enabled);

    Ui::VelmoraClass ui;
    MapRunControl m_mapRun;
    bool m_closeWhenRunEnds = false;
};
