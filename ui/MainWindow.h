#pragma once

#include <QWidget>

class ParamManager;

class MainWindow : public QWidget
{
    Q_OBJECT
public:
    explicit MainWindow(ParamManager* paramManager, QWidget* parent = nullptr);

private:
    ParamManager* m_paramManager;
};
