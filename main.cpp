#include "platform/constants.h"
#include "platform/errorpath.h"
#include "platform/qtdialogs.h"
#include "platform/runtime.h"
#include "ui/form1.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    using namespace kestavo;

    QApplication application(argc, argv);
    QApplication::setApplicationName(QString(constants::kProgramName));
    QApplication::setApplicationVersion(QString(constants::kProgramVersion));

    platform::QtDialogs dialogs;
    platform::ErrorPath errors(dialogs);
    platform::RunTime runTime(errors);
    ui::Form1 form1(runTime, dialogs);
    return runTime.run([&] {
        form1.load();
        form1.show();
    });
}
