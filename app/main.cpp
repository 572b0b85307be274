#include "app/Allocator.h"
#include "app/AppManager.h"
#include "app/SharedTypes.h"
#include "ui/Fonts.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    Allocator::keepLargeBlocksInProcess();
    registerMainMetaTypes();
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication app(argc, argv);
    registerFontSubstitutions();

    AppManager manager;
    manager.start();
    const int code = app.exec();
    manager.shutdown();
    return code;
}
