// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/commandline.h"
#include "platform/constants.h"
#include "platform/conversion.h"
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
    const std::optional<app::StartOptions> options = app::startOptions(arguments, stderr);
    if (!options)
        return platform::kExitRuntimeError;
    // From here on an ending has a port to give back, and a reader of
    // standard error that went away must not end Kestavo halfway. Answers
    // to information requests still end quietly in a closed pipe.
    if (QString reason; !platform::host::ignoreBrokenPipes(reason))
        std::fprintf(stderr,
                     "%s: cannot ignore SIGPIPE (%s); if standard error goes to a program that "
                     "ends first, Kestavo ends at once, without sending what is buffered\n",
                     constants::kExecutableName.data(), qPrintable(reason));

    platform::watchDisplay(arguments);
    QApplication application(argc, argv);
    // Qt has taken its own options by now; whatever else looks like one is
    // a mistake the user should hear of before waiting on it.
    if (const std::optional<QString> unknown = app::unknownOption(QApplication::arguments())) {
        std::fprintf(stderr, "%s: unknown option %s\n%s", constants::kExecutableName.data(),
                     qPrintable(platform::visibleText(*unknown)), qPrintable(app::usage()));
        return platform::kExitUsage;
    }
    // Under Wayland the desktop finds the icon through it.
    QApplication::setDesktopFileName(QString(constants::kDesktopFileName));

    platform::QtDialogs dialogs(ui::useWindowIcon);
    platform::ErrorPath errors(dialogs);
    platform::RunTime runTime(errors);
    ui::Form1 form1(runTime, dialogs);
    remote::FrontDoor frontDoor(form1.rotorLink(), runTime);
    return runTime.run([&] {
        form1.load(options->readBack);
        if (options->listen)
            frontDoor.listen(*options->listen);
        form1.show();
        ui::useWindowIconAfterFirstFrame(form1);
    });
}
