#include "ui/MainWindow.h"

MainWindow::MainWindow(ParamManager* paramManager, QWidget* parent)
    : QWidget(parent), m_paramManager(paramManager)
{
    resize(1280, 800);
}
