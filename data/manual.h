// The user manual: one HTML page and its pictures, compiled into the plug-in
// from data/manual/ and written out to the data folder when the editor's Help
// button first needs them.
#pragma once

#include <string>

// The manual's page, as named in data/manual/ and in the "Help" preference.
#define ONDIX_MANUAL_FILE "Ondix Manual.html"

// Writes every file of the embedded manual into folder (created when
// missing), leaving files that already hold the same bytes alone. False with
// error set when a file cannot be written.
bool installManual(const std::string& folder, std::string& error);
