// Preference files, read over memory. Whatever the text holds:
//  - an entry is an integer or a string, never both;
//  - a last line without its '\n' (edited by hand) reads as if it had one;
//  - lines are read one by one: the text split at a line end into two files
//    read one after the other (the later line winning) gives the same store.
//
// Input: one byte choosing where the text is split (that fraction of its
// length, moved on to the next line end), then the file's text.

#include "platform/prefs.h"
#include "fuzz_support.h"

#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const PrefsStore store = parsePrefsFile(text);
    for (const auto& [key, entry] : store)
        if (entry.isInt ? !entry.text.empty() : entry.number != 0)
            fuzz::fail("an entry that is both an integer and a string");

    if (!text.empty() && text.back() != '\n' && parsePrefsFile(std::string(text) + '\n') != store)
        fuzz::fail("a last line without its line end read otherwise");

    const std::size_t at = text.find('\n', text.size() * data[0] / 256);
    if (at == std::string_view::npos) return 0;
    PrefsStore merged = parsePrefsFile(text.substr(0, at + 1));
    for (auto& [key, entry] : parsePrefsFile(text.substr(at + 1)))
        merged.insert_or_assign(key, entry);
    if (merged != store) fuzz::fail("the text read in two parts gives another store");
    return 0;
}
