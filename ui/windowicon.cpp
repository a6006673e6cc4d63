// SPDX-License-Identifier: GPL-3.0-or-later
#include "windowicon.h"

#include "platform/constants.h"

#include <QApplication>
#include <QByteArray>
#include <QEvent>
#include <QImage>
#include <QPixmap>
#include <QResource>
#include <QWidget>
#include <QtEndian>

namespace kestavo::ui
{
namespace
{

// Waits for the window's first paint, then for the event loop to come round
// once more: by then the frame has gone to the screen.
class AfterFirstFrame final : public QObject
{
public:
    explicit AfterFirstFrame(QWidget& window) : QObject(&window)
    {
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QMetaObject::invokeMethod(
                this,
                [this] {
                    useWindowIcon();
                    deleteLater();
                },
                Qt::QueuedConnection);
        }
        return false;
    }
};

} // namespace

QIcon windowIcon()
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

void useWindowIcon()
{
    if (QApplication::windowIcon().isNull())
        QApplication::setWindowIcon(windowIcon());
}

void useWindowIconAfterFirstFrame(QWidget& window)
{
    new AfterFirstFrame(window);
}

} // namespace kestavo::ui
