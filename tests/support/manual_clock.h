// A hand-driven clock for the GUI layer: time stands still until the test
// moves it, so rate limits and double clicks are exact.
#pragma once

#include "vstgui/testing.h"

#include <cstdint>
#include <memory>

class ManualClock {
public:
    explicit ManualClock(uint32_t start = 100000) : now(std::make_shared<uint32_t>(start)) {
        auto shared = now;
        VSTGUI::Testing::setClock([shared] { return *shared; });
    }
    ~ManualClock() { VSTGUI::Testing::resetClock(); }
    ManualClock(const ManualClock&) = delete;
    ManualClock& operator=(const ManualClock&) = delete;

    void advance(uint32_t ms) { *now += ms; }
    uint32_t ticks() const { return *now; }

private:
    std::shared_ptr<uint32_t> now;
};
