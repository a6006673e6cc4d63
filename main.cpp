#include "app/commandline.h"
#include "platform/constants.h"
#include "platform/errorpath.h"
#include "platform/qtdialogs.h"
#include "platform/runtime.h"
#include "ui/form1.h"

#include <QApplication>
#include <QByteArray>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QResource>
#include <QStringList>
#include <QtEndian>

namespace
{

// The window icon from raw pixels compiled in (tools/make-icons makes them
// from the PNGs): no icon-theme lookup and no image decoding at start, where
// reading PNG would have Qt load every image-format plugin to ask whether it
// reads PNG. It shows even with no window manager and no SVG plugin.
[[nodiscard]] QIcon compiledInWindowIcon()
{
    QIcon icon;
    for (const int size : kestavo::constants::kWindowIconSizes) {
        const QResource pixels(QStringLiteral(":/icons/kestavo-%1.argb").arg(size));
        const QByteArray bytes = pixels.uncompressedData();
        if (bytes.size() != qsizetype(size) * size * qsizetype(sizeof(quint32)))
            continue; // the window icon test notices a size missing
        QImage image(size, size, QImage::Format_ARGB32);
        for (int y = 0; y < size; ++y) {
            auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
            for (int x = 0; x < size; ++x)
                line[x] =
                    qFromBigEndian<quint32>(bytes.constData() + sizeof(quint32) * (y * size + x));
        }
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

} // namespace

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
    // Every dialog inherits it.
    QApplication::setWindowIcon(compiledInWindowIcon());

    platform::QtDialogs dialogs;
    platform::ErrorPath errors(dialogs);
    platform::RunTime runTime(errors);
    ui::Form1 form1(runTime, dialogs);
    return runTime.run([&] {
        form1.load();
        form1.show();
    });
}
