// Records every progress call of a fit search in one sequence, so that two
// searches can be compared call for call, double for double.
#pragma once

#include <bit>
#include <cstdint>
#include <functional>
#include <vector>

#include "search/fit_search.h"
#include "model/state.h"

namespace peakfold {

struct SearchEvent {
    enum class Kind { Point, Best, Pump, Check };
    Kind kind;
    double x = 0, y = 0;  // Point: the position; Best: y is the deviation
    int value = 0;        // Point: the colour; Best: the trial number

    bool operator==(const SearchEvent& o) const {
        return kind == o.kind &&
               std::bit_cast<std::uint64_t>(x) == std::bit_cast<std::uint64_t>(o.x) &&
               std::bit_cast<std::uint64_t>(y) == std::bit_cast<std::uint64_t>(o.y) &&
               value == o.value;
    }
};

struct SearchRecorder {
    std::vector<SearchEvent> events;
    int pumps = 0;
    std::function<void(int pump)> onPump;  // runs inside each PumpEvents, numbered from 1
    std::function<void(int check)> onCheck;  // runs inside each LetEventsRun, numbered from 1
    int checks = 0;

    SearchProgress progress() {
        SearchProgress p;
        p.ShowScanPoint = [this](double x, double y, int colour) {
            events.push_back({SearchEvent::Kind::Point, x, y, colour});
        };
        p.ShowBest = [this](int trial, double best) {
            events.push_back({SearchEvent::Kind::Best, 0, best, trial});
        };
        p.PumpEvents = [this] {
            events.push_back({SearchEvent::Kind::Pump});
            ++pumps;
            if (onPump) onPump(pumps);
        };
        p.LetEventsRun = [this] {
            events.push_back({SearchEvent::Kind::Check});
            ++checks;
            if (onCheck) onCheck(checks);
        };
        return p;
    }

    std::vector<SearchEvent> ofKind(SearchEvent::Kind kind) const {
        std::vector<SearchEvent> picked;
        for (const auto& e : events) {
            if (e.kind == kind) picked.push_back(e);
        }
        return picked;
    }
};

}  // namespace peakfold
