// SPDX-License-Identifier: GPL-3.0-or-later
#include "windowicon.h"

#include "platform/constants.h"

#include <QByteArray>
#include <QImage>
#include <QPixmap>
#include <QResource>
#include <QtEndian>

namespace kestavo::ui
{

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

} // namespace kestavo::ui
