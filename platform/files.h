// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>

class QSaveFile;

namespace kestavo::platform
{

// File lookup with the plain-files mask: name when a regular file, or a link
// to one, of that name exists; the empty string otherwise (nothing there, a
// directory, a FIFO, a socket, a device, a broken link).
[[nodiscard]] QString fileLookup(const QString& name);

// A sequential text file, opened as file number 1 for one read or one write.
// Output goes to a temporary file that only replaces the real one when close()
// succeeds, so a failed write never leaves a partial or empty file behind;
// a file that is not closed is discarded when this object goes away.
class SequentialFile
{
public:
    enum class Mode { Input, Output };

    SequentialFile();
    ~SequentialFile();
    SequentialFile(const SequentialFile&) = delete;
    SequentialFile& operator=(const SequentialFile&) = delete;

    void open(const QString& name, Mode mode);

    // Reads the next numeric item: leading blanks skipped, a comma or the
    // line end closes it, and it converts as textToInt16 does.
    [[nodiscard]] std::int16_t readInt16Item();
    // What is left of the current line, without its end; empty when the
    // last item read closed the line.
    [[nodiscard]] QString readRestOfLine();

    // Writes text, then CR LF.
    void writeLine(const QString& text);

    void close();

private:
    [[nodiscard]] QString displayName() const;

    QString m_name;
    Mode m_mode = Mode::Input;
    bool m_open = false;
    QByteArray m_input;
    qsizetype m_position = 0;
    bool m_inputTruncated = false;
    std::unique_ptr<QSaveFile> m_output;
};

} // namespace kestavo::platform
