// MIDI controller map files (".ecs").
//
// A map file is plain text: exactly 128 decimal numbers, one per line, the
// number on line n being the parameter tag bound to controller n (0 for
// none, at most 1023). Saving writes "%d\n" for every controller; loading
// also accepts other white space between and after the numbers (blank lines,
// spaces, CR LF line ends). Anything else (too few or too many numbers, a
// number out of range, a word) rejects the whole file: the bindings stay as
// they were and the user is told "Problem with ECS File".
//
// Both operations (APlugin::saveECS, APlugin::loadECS) ask for the file in a
// dialog that starts in the ECS folder and run on the main thread.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

inline constexpr int ECS_CONTROLLERS = 128;
// A file we write is at most 640 bytes; trailing white space is allowed, but
// a file this large is not a controller map.
inline constexpr std::size_t ECS_MAX_FILE_BYTES = 64 * 1024;

// The tag bound to each controller.
using ControllerMap = std::array<int, ECS_CONTROLLERS>;

// The 128 tags of a map file's text, or nothing when the text is not one.
std::optional<ControllerMap> parseControllerMap(std::string_view text);
// The file text of a map.
std::string formatControllerMap(const ControllerMap& map);
