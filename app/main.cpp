#include "app/Allocator.h"
#include "app/AppManager.h"
#include "app/InstanceGuard.h"
#include "app/RuntimePaths.h"
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

    // Before anything writes beside the executable (the log's clean-up at its
    // first line, the recorder, the server client).
    InstanceGuard guard(RuntimePaths::appDir());
    if (!guard.claim())
        return app.exec(); // closing the box ends it

    AppManager manager;
    manager.start();
    const int code = app.exec();
    manager.shutdown();
    return code;
}
