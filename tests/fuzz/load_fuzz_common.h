// Loads the fuzz input as a file of the given extension and checks that the
// load left a usable state: loaded and scaled, or refused and reset.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "files/spectrum_file.h"
#include "graph/curves.h"
#include "graph/picking.h"
#include "invariants.h"
#include "memory_toolkit.h"
#include "ui/dispatch.h"

namespace peakfold {

inline void fail(const std::string& why) {
    std::fprintf(stderr, "broken: %s\n", why.c_str());
    std::abort();
}

inline void loadAndCheck(const uint8_t* data, size_t size, const char* extension) {
    State s;
    MemoryToolkit ui;
    connect(s, ui);
    ui.files[ui.path(std::string("f") + extension)] =
        std::string(reinterpret_cast<const char*>(data), size);
    ui.answers.push_back("f");
    GetFile_Click(s, ui);
    if (std::string why = brokenInvariant(s, ui); !why.empty()) fail(why);
    if (s.PeakX[0] < 0 || s.PeakX[0] > kMaxWave) fail("the fit range starts outside the array");
    if (ui.windowCaption == "Form1") {
        // Refused: the reset state, nothing half loaded.
        for (double v : s.Spectrum) {
            if (v != 0) fail("a refused load left data behind");
        }
        if (ui.listCount(Control::List) != 0) fail("a refused load left list lines");
    }
    // Whatever was loaded can be drawn, picked on and listed.
    Graph_MouseUp(s, ui, 1, 0, 500, 50);
    ClearGraph_Click(s, ui);
    if (ui.listCount(Control::List) > 0) ui.setListIndex(Control::List, 0);
    if (std::string why = brokenInvariant(s, ui); !why.empty()) fail(why);
}

}  // namespace peakfold
