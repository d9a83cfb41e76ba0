#include "app/mainwindow.h"

#include "productnames.h"

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(ProductName);
    resize(480, 320);
}
