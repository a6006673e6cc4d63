// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/commcontrol.h"
#include "platform/dialogs.h"
#include "platform/runtimeerror.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace kestavo::test
{

// Records each assignment as "Property=value"; can be told to fail one.
class RecordingCommControl final : public platform::CommControl
{
public:
    void setCommPort(std::int16_t portNumber) override
    {
        record(u"CommPort", QString::number(portNumber));
    }
    void setPortOpen(bool open) override { record(u"PortOpen", boolText(open)); }
    void setRTSEnable(bool enable) override { record(u"RTSEnable", boolText(enable)); }
    void setInputLen(std::int16_t length) override { record(u"InputLen", QString::number(length)); }
    void setSettings(const QString& settings) override { record(u"Settings", settings); }
    void setOutput(const QString& text) override { record(u"Output", text); }
    [[nodiscard]] qint64 outBufferCount() const override { return outBuffer; }
    void setReading(bool enable) override { record(u"Reading", boolText(enable)); }
    void discardInput() override { received.clear(); }
    // What the line received, handed out InputLen (4) characters at a time.
    [[nodiscard]] QString input() override
    {
        const QString chunk = received.left(4);
        received.remove(0, chunk.size());
        return chunk;
    }

    // The assignment to this property throws error instead of being recorded.
    void failOn(const QString& property, platform::RuntimeError error)
    {
        m_failProperty = property;
        m_failure = std::move(error);
    }

    QStringList assignments;
    qint64 outBuffer = 0; // what outBufferCount() reports
    QString received;     // what input() hands out

private:
    [[nodiscard]] static QString boolText(bool value)
    {
        return value ? QStringLiteral("True") : QStringLiteral("False");
    }

    void record(QStringView property, const QString& value)
    {
        if (m_failure && property == m_failProperty)
            throw *m_failure;
        assignments << property.toString() + u'=' + value;
    }

    QString m_failProperty;
    std::optional<platform::RuntimeError> m_failure;
};

// Answers the input box with a scripted reply and records every box shown.
// An error box can be told to run something while it is up, as a real box's
// event loop would.
class ScriptedDialogs final : public platform::Dialogs
{
public:
    explicit ScriptedDialogs(QString reply = QString()) : m_reply(std::move(reply)) {}

    QString inputBox(const QString& prompt, const QString& title, const QString& details) override
    {
        shown << QStringLiteral("input:%1|%2").arg(title, prompt);
        inputDetails << details;
        return m_reply;
    }
    void warningBox(const QString& text) override { shown << QStringLiteral("warning:") + text; }
    void errorBox(const QString& text) override
    {
        shown << kErrorMark + text;
        if (whileErrorShown)
            whileErrorShown();
    }

    // The texts of the error boxes only, in order.
    [[nodiscard]] QStringList errorBoxes() const
    {
        QStringList texts;
        for (const QString& box : shown) {
            if (box.startsWith(kErrorMark))
                texts << box.mid(kErrorMark.size());
        }
        return texts;
    }

    QStringList shown;
    QStringList inputDetails; // what each input box showed below its prompt
    std::function<void()> whileErrorShown;

private:
    static constexpr QLatin1StringView kErrorMark{"error:"};

    QString m_reply;
};

} // namespace kestavo::test
