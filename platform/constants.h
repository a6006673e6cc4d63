// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLatin1StringView>
#include <QStringView>

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>

// Every fixed text and value of Kestavo, so that nothing drifts between the
// start-up sequence, the platform layer and the tests.
namespace kestavo::constants
{

inline constexpr QLatin1StringView kProgramName{"Kestavo"};
inline constexpr QLatin1StringView kProgramVersion{KESTAVO_VERSION};
inline constexpr QLatin1StringView kExecutableName{"kestavo"};
// The desktop entry's and the AppStream component's id.
inline constexpr QLatin1StringView kDesktopFileName{"io.github.kestavo.kestavo"};
// The window icon's sizes compiled in as resources (data/icons/kestavo-N.png):
// title bars and task bars. Larger ones cost start-up time on every start
// (128 alone is two thirds of the pixels); menus, docks and switchers take
// the installed PNGs through the desktop entry instead.
inline constexpr std::array<int, 3> kWindowIconSizes{16, 32, 48};

// Start-up
inline constexpr QLatin1StringView kPortFileName{"Tavimer.ini"};
inline constexpr QLatin1StringView kPromptText{"Comport for Kestavo?"};
inline constexpr QLatin1StringView kPromptTitle{"Comport"};
inline constexpr QLatin1StringView kCancelWarning{"User pressed Cancel"};
inline constexpr std::int16_t kStartInputLen = 4;
inline constexpr QLatin1StringView kLineSettings{"4800,n,8,1"};

// Position command: the prefix, the target text, then CR.
inline constexpr QLatin1StringView kCommandPrefix{"AP1"};
inline constexpr char16_t kCommandEnd = 13;

// Headings as the rotor and the front door see them: whole degrees 0-359,
// written with three digits. A target may come in as -180..450 (a tracker
// may go past north either way) and is taken into 0-359.
inline constexpr int kDegreesPerTurn = 360;
inline constexpr double kLowestTarget = -180.0;
inline constexpr double kHighestTarget = 450.0;
inline constexpr int kHeadingDigits = 3;

// A stop asked for again, with no other command between, goes out at most
// this often, whoever asks.
inline constexpr std::chrono::milliseconds kRepeatedStopInterval{1000};

// The front door: hamlib's rotator network protocol on TCP (--listen).
inline constexpr QLatin1StringView kListenOption{"--listen"};
inline constexpr QLatin1StringView kReadBackOption{"--read-back"};
// The controller's command set: the option, and the same names as items in
// Tavimer.ini ("42,two-step").
inline constexpr QLatin1StringView kCommandSetOption{"--command-set"};
inline constexpr QLatin1StringView kOneStepName{"one-step"};
inline constexpr QLatin1StringView kTwoStepName{"two-step"};
inline constexpr QLatin1StringView kTenthsName{"tenths"};
// What a station sets up once: the options, and the same names as items
// with a value in Tavimer.ini ("42,park=270,offset=180,home=JO62QM").
inline constexpr QLatin1StringView kParkOption{"--park"};
inline constexpr QLatin1StringView kParkAfterOption{"--park-after"};
inline constexpr QLatin1StringView kOffsetOption{"--offset"};
inline constexpr QLatin1StringView kHomeOption{"--home"};
inline constexpr QLatin1StringView kParkItem{"park"};
inline constexpr QLatin1StringView kParkAfterItem{"park-after"};
inline constexpr QLatin1StringView kOffsetItem{"offset"};
inline constexpr QLatin1StringView kHomeItem{"home"};
inline constexpr int kMaxParkAfterMinutes = 1440;
// The web page (--web, "web=" in Tavimer.ini), served by the plugin in
// Kestavo's library folder. Beyond the loopback it needs the password in
// web-password in Kestavo's per-user folder, readable by its owner only.
inline constexpr QLatin1StringView kWebOption{"--web"};
inline constexpr QLatin1StringView kWebItem{"web"};
inline constexpr QLatin1StringView kWebPasswordFile{"web-password"};
inline constexpr qsizetype kMaxPasswordLength = 1024;
inline constexpr QLatin1StringView kWebPluginName{"kestavo-web"};
// The page's bounds. Connections as the front door's, and beyond the
// loopback fewer from one address, so that one stranger cannot take them
// all; a request must come whole within its time and size; an idle
// keep-alive connection goes, and makes room sooner when all are taken.
inline constexpr int kMaxWebConnectionsFromOne = 12;
inline constexpr qsizetype kMaxWebRequestBytes = 16 * 1024;
inline constexpr qsizetype kMaxWebBodyBytes = 1024;
inline constexpr qsizetype kMaxWebGoText = 64;
inline constexpr std::chrono::seconds kWebRequestTime{10};
inline constexpr std::chrono::seconds kWebIdleTime{30};
// A page that lets this much of what it is sent pile up, or reads none of
// it for this long, has stopped reading and is dropped. The kernel's own
// buffer for it is kept small, so that this shows soon.
inline constexpr qsizetype kMaxWebUnsent = 64 * 1024;
inline constexpr std::chrono::seconds kWebSendTime{10};
inline constexpr int kWebSocketBuffer = 16 * 1024;
// Passwords: a token per browser (the oldest forgotten beyond the limit);
// after the free tries from one address, each wrong one doubles the wait
// before the next is heard, up to the longest.
inline constexpr qsizetype kWebTokenBytes = 32;
inline constexpr std::size_t kMaxWebTokens = 64;
inline constexpr std::size_t kMaxWebTriesKept = 256;
inline constexpr int kFreeWebTries = 3;
inline constexpr std::chrono::seconds kLongestWebTryWait{60};
inline constexpr QLatin1StringView kListenDefaultHost{"127.0.0.1"};
inline constexpr QLatin1StringView kLocalhostName{"localhost"};
// A newcomer beyond this many makes room: the oldest connection that never
// completed a line goes, else the client silent longest if it has been
// silent this long, else the newcomer itself. Each of the three is told at
// most once per notice interval.
inline constexpr int kMaxClients = 16;
inline constexpr std::chrono::seconds kSilenceBeforeMakingRoom{60};
inline constexpr std::chrono::seconds kRoomNoticeInterval{10};
// A connection whose peer vanished (a laptop suspended, out of range) is
// probed after this long idle and closed after the probes go unanswered.
inline constexpr std::chrono::seconds kKeepAliveIdle{60};
inline constexpr std::chrono::seconds kKeepAliveInterval{10};
inline constexpr int kKeepAliveProbes = 3;
// A line longer than this is refused and skipped up to its end.
inline constexpr qsizetype kMaxLineLength = 256;
// A client that lets this much of its replies pile up has stopped reading.
inline constexpr qsizetype kMaxUnreadReplies = 64 * 1024;
inline constexpr qsizetype kReceiveChunk = 4096;
inline constexpr QLatin1StringView kRotorInfo{"Kestavo " KESTAVO_VERSION};

// Read-back: the controller is asked for its own bearing. Its answer is
// ";ddd" (some older units "ddd;"); ";" alone stops a turn. The lasting
// way to turn it on is a second item in Tavimer.ini, as in "3,read-back".
inline constexpr QLatin1StringView kBearingQuestion{"AI1;"};
inline constexpr QLatin1StringView kStopCommand{";"};
// The two-step set: "AP1ddd;" sets the heading, "AM1;" turns, "AS1;" stops.
inline constexpr QLatin1StringView kTwoStepEnd{";"};
inline constexpr QLatin1StringView kTwoStepMove{"AM1;"};
inline constexpr QLatin1StringView kTwoStepStop{"AS1;"};
// The tenths set asks with this, and is answered "ddd.d;".
inline constexpr QLatin1StringView kTenthsQuestion{"BI1;"};
inline constexpr char kDecimalPoint = '.';
inline constexpr QLatin1StringView kReadBackItem{"read-back"};
inline constexpr char kAnswerMark = ';';
// Asked this often while the rotor may be turning, at rest (a turn at the
// controller's own knob still shows), and while no answer comes.
inline constexpr std::chrono::milliseconds kAskWhileTurning{500};
inline constexpr std::chrono::milliseconds kAskAtRest{5000};
inline constexpr std::chrono::milliseconds kAskWhileSilent{10000};
// An answer not complete within this is a miss (hamlib waits as long); one
// that completes later, before the next question, still counts. This many
// misses in a row and the controller counts as one that does not answer.
inline constexpr std::chrono::milliseconds kAnswerTimeout{1500};
inline constexpr int kMissesUntilSilent = 3;
// A rotor takes a moment to start, and some back up first: answers to
// questions asked sooner after a command tell nothing of arrival.
inline constexpr std::chrono::milliseconds kStartingTime{2000};
// The controller's resolution: a bearing this close counts as the target.
inline constexpr double kBearingResolution = 1.0;
// From this long after a command, a rotor whose bearing moves less than the
// minimum travel within the window while short of its target has stalled.
inline constexpr std::chrono::milliseconds kStallGrace{3000};
inline constexpr std::chrono::milliseconds kStallWindow{10000};
inline constexpr double kStallMinimumTravel = 2.0;
// At most this much of what the device sends is held between two reads.
inline constexpr qint64 kReadBufferLimit = 256;

// Tavimer.ini holds one short line; anything past this is never looked at,
// so a huge or endless file cannot stall start-up.
inline constexpr qsizetype kPortFileReadLimit = 4096;

// Bytes still waiting when the program ends get the time they need on the
// line plus this grace, but never more than the cap.
inline constexpr std::chrono::milliseconds kDrainGrace{1000};
inline constexpr std::chrono::milliseconds kDrainCap{5000};
// How long after a write's time on the line its queue is looked at, to know
// before any hang-up that it left.
inline constexpr std::chrono::milliseconds kSentCheckMargin{5};

// Per-user port table: $XDG_CONFIG_HOME/kestavo/ports/COM<n>
inline constexpr QLatin1StringView kConfigSubdir{"kestavo"};
inline constexpr QLatin1StringView kPortTableSubdir{"ports"};
inline constexpr QLatin1StringView kPortTablePrefix{"COM"};
// An entry quoted in a report is cut to this many characters.
inline constexpr qsizetype kShownEntryLength = 80;

// Built-in numbering of Linux serial devices, 32 numbers per kind.
inline constexpr int kPortsPerKind = 32;
inline constexpr QLatin1StringView kOnboardDevicePrefix{"/dev/ttyS"}; // 1-32
inline constexpr QLatin1StringView kUsbDevicePrefix{"/dev/ttyUSB"};   // 33-64
inline constexpr QLatin1StringView kAcmDevicePrefix{"/dev/ttyACM"};   // 65-96

// Links that name a serial adapter the same way whichever socket it is in.
inline constexpr QLatin1StringView kStableDeviceDirectory{"/dev/serial/by-id"};
// The prompt and the errors name at most this many ports; --list-ports all.
inline constexpr qsizetype kPortsNamedAtMost = 12;

// Main window "Rotor", laid out in twips (1440 to the inch).
inline constexpr QLatin1StringView kWindowTitle{"Rotor"};
inline constexpr int kTwipsPerInch = 1440;

struct TwipRect {
    int left;
    int top;
    int width;
    int height;
};

inline constexpr int kClientWidthTwips = 1680;
inline constexpr int kClientHeightTwips = 1392;
inline constexpr TwipRect kText1Twips{120, 240, 732, 372};
inline constexpr TwipRect kCommand1Twips{120, 840, 372, 372};
inline constexpr TwipRect kCommand2Twips{600, 840, 372, 372};

inline constexpr QLatin1StringView kGoCaption{"GO"};
inline constexpr QLatin1StringView kExitCaption{"X"};
// Park, for a station that has a park heading or parks after a while:
// beside Stop with read-back, else under GO and X, as wide as both, the
// window that much taller.
inline constexpr QLatin1StringView kParkCaption{"Park"};
inline constexpr TwipRect kParkTwips{120, 1440, 852, 372};

inline constexpr QLatin1StringView kFontFamily{"MS Sans Serif"};
inline constexpr double kWindowFontPoints = 13.8;
inline constexpr double kButtonFontPoints = 7.8;
// Why GO sent nothing goes below the rest, in lines no narrower than this
// (the window widens for them).
inline constexpr int kRefusalWidthTwips = 2880;

// Read-back: where the antenna points, shown under the window's controls.
// The dial is 120 px square at 96 dpi and still readable at half that.
inline constexpr int kDialSideTwips = 1800;
inline constexpr int kDialSmallestSideTwips = 900;
inline constexpr int kDialTickStepDegrees = 30;
inline constexpr QStringView kBearingCaption{u"Bearing %1\u00B0"};
inline constexpr QStringView kBearingToTargetCaption{u"Bearing %1\u00B0 \u2192 %2\u00B0"};
inline constexpr QLatin1StringView kBearingWaiting{"Bearing: waiting for the controller"};
inline constexpr QLatin1StringView kBearingLost{"No bearing from the controller"};
inline constexpr QLatin1StringView kStopCaption{"Stop"};

} // namespace kestavo::constants
