#include "app/startup.h"
#include "platform/constants.h"
#include "platform/errorpath.h"
#include "platform/qtdialogs.h"
#include "platform/serialcontrol.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    using namespace kestavo;

    QApplication application(argc, argv);
    QApplication::setApplicationName(QString(constants::kProgramName));
    QApplication::setApplicationVersion(QString(constants::kProgramVersion));

    platform::QtDialogs dialogs;
    platform::SerialControl comm1;
    platform::ErrorPath errors(dialogs);
    return errors.run([&] {
        app::startUp(comm1, dialogs);
        return QApplication::exec();
    });
}
