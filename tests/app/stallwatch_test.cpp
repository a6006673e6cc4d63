// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/stallwatch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace
{

// Events at milliseconds after the start: "go T @t" (a target in tenths),
// "stop @t", and "read A..B @t0..t1", a reading every 0.5 s from t0 to t1,
// the bearing moving evenly from A to B (past 3599 it goes on from 0).
// changes: when the stall began or ended, as seen after each event.
TEST(StallWatch, ToldWhenTheRotorDoesNotTurn)
{
    const struct {
        const char* name;
        std::vector<const char*> events;
        std::vector<int> changes;
    } cases[] = {
        {"freezes mid-turn",
         {"go 900 @0", "read 100..400 @0..6000", "read 400..400 @6500..17000"},
         {16000}},
        {"slow but turning", {"go 900 @0", "read 100..200 @0..20000"}, {}},
        {"a reading within the grace does not count",
         {"go 900 @0", "read 100..100 @2500..2500", "read 100..100 @12500..23000"},
         {22500}},
        {"never moves, 1.1 degrees short", {"go 900 @0", "read 889..889 @0..14000"}, {13000}},
        {"creeps across north", {"go 900 @0", "read 3595..3614 @0..14000"}, {13000}},
        {"arriving across north",
         {"go 5 @0", "read 3580..3580 @0..14000", "read 3595..3595 @14500..30000"},
         {13000, 14500}},
        {"moves 2 degrees, then stops again",
         {"go 900 @0", "read 100..100 @0..14000", "read 119..119 @14500..15000",
          "read 120..120 @15500..26000"},
         {13000, 15500, 25500}},
        {"a new command",
         {"go 900 @0", "read 100..100 @0..14000", "go 1800 @14000", "read 100..100 @14500..28000"},
         {13000, 14000, 27000}},
        {"a stop",
         {"go 900 @0", "read 100..100 @0..14000", "stop @14000", "read 100..100 @14500..40000"},
         {13000, 14000}},
    };
    const auto at = [](int ms) {
        return kestavo::app::StallWatch::Clock::time_point{} + std::chrono::milliseconds{ms};
    };
    for (const auto& c : cases) {
        kestavo::app::StallWatch watch;
        std::vector<int> changes;
        for (const char* event : c.events) {
            int a = 0, b = 0, t0 = 0, t1 = 0;
            if (std::sscanf(event, "read %d..%d @%d..%d", &a, &b, &t0, &t1) == 4) {
                for (int t = t0; t <= t1; t += 500) {
                    const bool was = watch.stalled();
                    const int bearing = (a + (b - a) * (t - t0) / std::max(t1 - t0, 1)) % 3600;
                    const bool changed = watch.bearingRead(bearing, at(t));
                    EXPECT_EQ(changed, watch.stalled() != was) << c.name << " at " << t;
                    if (changed)
                        changes.push_back(t);
                }
                continue;
            }
            const bool was = watch.stalled();
            const bool go = std::sscanf(event, "go %d @%d", &a, &t0) == 2;
            ASSERT_TRUE(go || std::sscanf(event, "stop @%d", &t0) == 1) << event;
            watch.commandSent(go ? std::optional<int>(a) : std::nullopt, at(t0));
            if (watch.stalled() != was)
                changes.push_back(t0);
        }
        EXPECT_EQ(changes, c.changes) << c.name;
    }
}

} // namespace
