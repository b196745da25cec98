#include "system/crashreport.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Lectern"));
    const QStringList args = QCoreApplication::arguments();
    const int crash = args.indexOf(QStringLiteral("--selftest-crash"));
    if (crash > 0) {
        installCrashHandler();
        return runCrashSelfTest(crash + 1 < args.size() ? args.at(crash + 1) : QStringLiteral("stack"));
    }
    QMainWindow window;
    window.show();
    return app.exec();
}
