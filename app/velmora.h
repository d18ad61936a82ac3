#pragma once

#include "maprun.h"
#include "ui_velmora.h"

#include <QMainWindow>

class Velmora : public QMainWindow
{
    Q_OBJECT

public:
    explicit Velmora(QWidget *parent = nullptr);

private slots:
    void mapDirectories();
    void aboutDialog();

private:
    void useFontSizeOfFixedLayout();
    MapRunWidgets mapRunWidgets();

    Ui::VelmoraClass ui;
};
