// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/commandline.h"
#include "app/rotorlink.h"
#include "app/webstart.h"
#include "platform/constants.h"
#include "platform/displaywatch.h"
#include "platform/errorpath.h"
#include "platform/host/signals.h"
#include "platform/qtdialogs.h"
#include "platform/runtime.h"
#include "remote/frontdoor.h"
#include "ui/form1.h"
#include "ui/windowicon.h"

#include <QApplication>
#include <QStringList>

#include <cstdio>

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
    // From here on an ending has a port to give back, and a reader of
    // standard error that went away must not end Kestavo halfway. Answers
    // to information requests still end quietly in a closed pipe.
    if (QString reason; !platform::host::ignoreBrokenPipes(reason))
        std::fprintf(stderr,
                     "%s: cannot ignore SIGPIPE (%s); if standard error goes to a program that "
                     "ends first, Kestavo ends at once, without sending what is buffered\n",
                     constants::kExecutableName.data(), qPrintable(reason));

    // Before the display is reached, so that a mistake is named with or
    // without one; after SIGPIPE is ignored, so that it still ends with 2.
    app::StartOptions options;
    if (const auto status = app::readStartOptions(arguments, options, stderr))
        return *status;

    platform::watchDisplay(arguments);
    QApplication application(argc, argv);
    // Under Wayland the desktop finds the icon through it.
    QApplication::setDesktopFileName(QString(constants::kDesktopFileName));

    platform::QtDialogs dialogs(ui::useWindowIcon);
    platform::ErrorPath errors(dialogs);
    platform::RunTime runTime(errors);
    ui::Form1 form1(runTime, dialogs);
    remote::FrontDoor frontDoor(form1.rotorLink(), runTime);
    app::PageAccess pageAccess(form1.rotorLink(), runTime);
    std::unique_ptr<QObject> webPage;
    return runTime.run([&] {
        form1.load(options.readBack, options.commandSet, options.station);
        if (options.listen)
            frontDoor.listen(*options.listen);
        if (const auto& web = form1.rotorLink().station().web)
            webPage = app::startWebPage(pageAccess, *web);
        form1.show();
        ui::useWindowIconAfterFirstFrame(form1);
    });
}
