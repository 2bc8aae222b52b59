// MIDI controller map files (".ecs"): 128 parameter tags, read over memory.
// A text is taken whole or refused; a taken map holds tags 0..1023 only, and
// its file text reads back as the same map.

#include "core/ecs_files.h"
#include "core/tags.h"
#include "fuzz_support.h"

#include <optional>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<ControllerMap> map = parseControllerMap(text);
    if (!map) return 0;
    for (int t : *map)
        if (t < 0 || t >= tag::Count) fuzz::fail("a controller bound to no parameter");
    if (parseControllerMap(formatControllerMap(*map)) != map)
        fuzz::fail("a saved map reads back as another");
    return 0;
}
