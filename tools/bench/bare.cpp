// SPDX-License-Identifier: GPL-3.0-or-later
// The reference for kestavo-bench: a window "Rotor" with the same three
// widgets at the same place as Kestavo's, and nothing else. GO writes the
// same bytes as Kestavo's GO with a plain write(), so that what a click costs
// through X and Qt can be told apart from what Kestavo adds.

#include "platform/constants.h"
#include "support/posix.h"
#include "ui/twips.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace
{

void writeAll(int line, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote =
            ::write(line, bytes.constData() + done, static_cast<std::size_t>(bytes.size() - done));
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote < 0) {
            std::fprintf(stderr, "kestavo-bench-bare: cannot write to the line: %s\n",
                         kestavo::support::errnoText(errno).c_str());
            std::exit(EXIT_FAILURE);
        }
        done += wrote;
    }
}

} // namespace

int main(int argc, char* argv[])
{
    using namespace kestavo;

    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: kestavo-bench-bare LINE-DEVICE (kestavo-bench starts it)\n");
        return EXIT_FAILURE;
    }
    const int line = ::open(argv[1], O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (line < 0) {
        std::fprintf(stderr, "kestavo-bench-bare: cannot open %s: %s\n", argv[1],
                     kestavo::support::errnoText(errno).c_str());
        return EXIT_FAILURE;
    }

    QWidget window;
    window.setWindowTitle(QString(constants::kWindowTitle));
    auto* text = new QLineEdit(&window);
    auto* go = new QPushButton(QString(constants::kGoCaption), &window);
    auto* exit = new QPushButton(QString(constants::kExitCaption), &window);

    const ui::TwipScale scale(window.logicalDpiX(), window.logicalDpiY());
    window.setFixedSize(
        scale.toPixels(QSize(constants::kClientWidthTwips, constants::kClientHeightTwips)));
    text->setGeometry(scale.toPixels(constants::kText1Twips));
    go->setGeometry(scale.toPixels(constants::kCommand1Twips));
    exit->setGeometry(scale.toPixels(constants::kCommand2Twips));

    QObject::connect(go, &QPushButton::clicked, [line, text] {
        writeAll(line,
                 QByteArray(constants::kCommandPrefix.data(), constants::kCommandPrefix.size()) +
                     text->text().toLatin1() + char(constants::kCommandEnd));
    });

    window.show();
    const int status = QApplication::exec();
    if (::close(line) != 0) {
        std::fprintf(stderr, "kestavo-bench-bare: closing the line failed: %s\n",
                     kestavo::support::errnoText(errno).c_str());
        return EXIT_FAILURE;
    }
    return status;
}
