// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandline.h"

#include "platform/constants.h"
#include "platform/errorpath.h"
#include "platform/portlist.h"

namespace kestavo::app
{

std::optional<int> answerInformationRequest(const QStringList& arguments, std::FILE* out)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == u"--version" || argument == u"-v") {
            std::fprintf(out, "%s %s\n", constants::kProgramName.data(),
                         constants::kProgramVersion.data());
            return platform::kExitNormal;
        }
        if (argument == u"--list-ports") {
            std::fputs(platform::portListingText(platform::listPorts()).toLocal8Bit().constData(),
                       out);
            return platform::kExitNormal;
        }
        if (argument == u"--help" || argument == u"-h") {
            std::fprintf(out,
                         "Usage: %s\n"
                         "Turns an antenna rotor to the heading typed into its window.\n"
                         "The port is asked for at the first start and kept in %s\n"
                         "in the directory Kestavo is started in.\n"
                         "\n"
                         "Options:\n"
                         "  -h, --help     print this help and exit\n"
                         "  -v, --version  print the version and exit\n"
                         "  --list-ports   list the port numbers that lead to a device, and exit\n"
                         "Any other argument is left to Qt (-platform, -display, ...).\n"
                         "The port table, the files and the error numbers: man %s\n",
                         constants::kExecutableName.data(), constants::kPortFileName.data(),
                         constants::kExecutableName.data());
            return platform::kExitNormal;
        }
    }
    return std::nullopt;
}

} // namespace kestavo::app
