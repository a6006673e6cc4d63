#include "app/commandline.h"
#include "platform/constants.h"
#include "platform/errorpath.h"
#include "platform/qtdialogs.h"
#include "platform/runtime.h"
#include "ui/form1.h"

#include <QApplication>
#include <QIcon>
#include <QSize>
#include <QStringList>

int main(int argc, char* argv[])
{
    using namespace kestavo;

    QApplication::setApplicationName(QString(constants::kProgramName));
    QApplication::setApplicationVersion(QString(constants::kProgramVersion));

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    if (const auto status = app::answerInformationRequest(arguments, stdout))
        return *status;

    QApplication application(argc, argv);
    QApplication::setDesktopFileName(QString(constants::kDesktopFileName));
    // From PNGs compiled in: no icon-theme lookup at start and no image plugin,
    // so the window carries it even without a window manager or Qt's SVG
    // plugin. Every dialog inherits it.
    QIcon icon;
    for (const int size : constants::kWindowIconSizes)
        icon.addFile(QStringLiteral(":/icons/kestavo-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);

    platform::QtDialogs dialogs;
    platform::ErrorPath errors(dialogs);
    platform::RunTime runTime(errors);
    ui::Form1 form1(runTime, dialogs);
    return runTime.run([&] {
        form1.load();
        form1.show();
    });
}
