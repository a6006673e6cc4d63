// SPDX-License-Identifier: GPL-3.0-or-later
#include "termiosdescription.h"

namespace kestavo::virtualrotor
{
namespace
{

struct SpeedName {
    speed_t code;
    unsigned baud;
};

constexpr SpeedName kSpeeds[] = {
    {B50, 50},         {B75, 75},         {B110, 110},         {B134, 134},       {B150, 150},
    {B200, 200},       {B300, 300},       {B600, 600},         {B1200, 1200},     {B1800, 1800},
    {B2400, 2400},     {B4800, 4800},     {B9600, 9600},       {B19200, 19200},   {B38400, 38400},
    {B57600, 57600},   {B115200, 115200}, {B230400, 230400},   {B460800, 460800}, {B500000, 500000},
    {B576000, 576000}, {B921600, 921600}, {B1000000, 1000000},
};

[[nodiscard]] std::optional<unsigned> baudOf(speed_t code)
{
    for (const SpeedName& speed : kSpeeds) {
        if (speed.code == code)
            return speed.baud;
    }
    return std::nullopt;
}

[[nodiscard]] int dataBitsOf(tcflag_t flags)
{
    switch (flags & CSIZE) {
    case CS5:
        return 5;
    case CS6:
        return 6;
    case CS7:
        return 7;
    default:
        return 8;
    }
}

[[nodiscard]] Parity parityOf(tcflag_t flags)
{
    if (!(flags & PARENB))
        return Parity::None;
    const bool odd = (flags & PARODD) != 0;
    if (flags & CMSPAR)
        return odd ? Parity::Mark : Parity::Space;
    return odd ? Parity::Odd : Parity::Even;
}

[[nodiscard]] const char* parityName(Parity parity)
{
    switch (parity) {
    case Parity::None:
        return "no parity";
    case Parity::Even:
        return "even parity";
    case Parity::Odd:
        return "odd parity";
    case Parity::Mark:
        return "mark parity";
    case Parity::Space:
        return "space parity";
    }
    return "unknown parity";
}

} // namespace

LineFraming framingOf(const termios& attributes)
{
    // Output speed: the one a sender sets to talk to us.
    return LineFraming{baudOf(::cfgetospeed(&attributes)), dataBitsOf(attributes.c_cflag),
                       parityOf(attributes.c_cflag), (attributes.c_cflag & CSTOPB) ? 2 : 1};
}

std::string describe(const LineFraming& framing)
{
    std::string text = framing.baud ? std::to_string(*framing.baud) + " baud" : "unknown speed";
    text += ", " + std::to_string(framing.dataBits) + " data bits, ";
    text += parityName(framing.parity);
    text += ", " + std::to_string(framing.stopBits) +
            (framing.stopBits == 1 ? " stop bit" : " stop bits");
    return text;
}

} // namespace kestavo::virtualrotor
