// Services of the parameter context menu and the control menu that tests
// replace or drive: the random values of "Set to Random" and the way a web
// address is opened.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace menu_services {

// The value a 15-bit random number gives a parameter: (r AND 0x7FFF) / 32767,
// so both 0 and 1 can come out.
float randomParameterValue(int r);
// The next random parameter value from the editor's own generator (GUI
// thread; the audio thread's generators are not touched).
float nextRandomParameterValue();
// Restarts the editor's generator from a seed (0 is allowed).
void seedRandomParameterValues(std::uint32_t seed);

// The maker's web site, opened by the control menu.
inline constexpr const char* kMakerWebsite = "https://www.haldmer.com/";
// Opens a web address in the desktop's browser; returns at once.
void openWebAddress(const std::string& address);
// Replaces the way addresses are opened (nullptr: the desktop's browser).
void setWebAddressOpener(std::function<void(const std::string&)> opener);

} // namespace menu_services
