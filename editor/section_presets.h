// Section preset files: the small text files in which the envelope (".env"),
// arpeggiator (".arp"), modulation matrix (".mod") and XY pad (".xy") menus
// keep the values of their section.
//
// Format: plain text, one item a line, each line ended by a single '\n':
//
//   V1.0
//   0.500000        value 1 of the section's tag list
//   ...             value N
//
// The values are the plug-in's normalised parameter values, written with six
// decimals and a point whatever the process locale. A line means what its
// position in the section's tag list says: no count, name or tag is stored.
//
// Reading takes whitespace-separated words of at most 255 bytes. The first
// word (the version) is skipped whatever it says, but must be there; then N
// finite numbers must follow, each a whole word ("0.5", "-1e-3"; never
// "0,5"). Words after the N-th value are ignored. Any other text is rejected
// whole: nothing is applied and the section keeps all its values. Only a
// regular file of at most MAX_FILE_BYTES is read (platform/file_io.h).
//
// Writing goes to a temporary file next to the target, which is flushed to
// disk and then renamed over the target (a link is followed), so a failed or
// interrupted save never leaves a half-written preset behind.
//
// Everything here runs on the editor's (main) thread, after a menu's popup has
// returned; the dialogs are modal (platform/dialogs.h).
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class APlugin;
struct FolderPaths;

namespace section_presets {

// What a loaded value outside 0..1 does.
enum class RangeRule {
    PassThrough,  // handed to setParameter as read (which limits it to 0..1)
    RejectFile,   // the whole file is refused
    ClampToRange, // clamped into 0..1 before it is applied
};

// The largest file read: the longest preset (XY) is about 3 kB.
inline constexpr std::size_t MAX_FILE_BYTES = std::size_t{1} << 20;

// The fixed texts, folder and rules of one section's preset files.
struct SectionPresetKind {
    const char* loadTitle;                 // open dialog title, also the menu entry text
    const char* saveTitle;                 // save dialog title, also the menu entry text
    const char* pattern;                   // file filter and default save name ("*.env")
    const char* loadFailure;               // message after a failed load
    const char* saveFailure;               // message after a failed save
    std::string FolderPaths::*startFolder; // the folder the dialogs open in
    RangeRule range;
    bool resetAfterLoad; // APlugin::reset() after a successful load
};

// Envelope: the four tags of one envelope, attack, decay, sustain, release.
extern const SectionPresetKind ENV_PRESET;
// Arpeggiator: section_tags::ARP_TAGS (166 values).
extern const SectionPresetKind ARP_PRESET;
// Modulation matrix: section_tags::MOD_ALL_TAGS (48 values).
extern const SectionPresetKind MOD_PRESET;
// XY pad: section_tags::XY_SECTION_TAGS (282 values).
extern const SectionPresetKind XY_PRESET;

// ---------------------------------------------------------------- the format

// The file text for these values: "V1.0\n" and one "%f\n" line per value.
std::string formatSectionPreset(std::span<const float> values);

// Reads exactly count values from text into values (resized to count). False
// for a malformed text (see above) or, with RangeRule::RejectFile, a value
// outside 0..1; values is then left empty. Other rules return the values as
// read.
bool parseSectionPreset(std::string_view text, std::size_t count, RangeRule range,
                        std::vector<float>& values);

// Writes formatSectionPreset(values) to path durably (temporary file, flush
// to disk, rename; a link is followed). False when any step fails; the
// target is then unchanged.
bool writeSectionPresetFile(const std::string& path, std::span<const float> values);

// Reads and parses the file at path. False when it is not a regular file of
// at most MAX_FILE_BYTES, cannot be read or does not parse; values is then
// left empty.
bool readSectionPresetFile(const std::string& path, std::size_t count, RangeRule range,
                           std::vector<float>& values);

// -------------------------------------------------------------- procedures

// The save procedure: asks for a file in the save dialog (kind.saveTitle,
// the kind's start folder, label "Save", kind.pattern as default name; the
// dialog forces four-character extensions such as ".env", not ".xy"), then
// writes getParameter(tag) of every tag in list order. A cancelled dialog
// does nothing; a failed write shows kind.saveFailure. True when a file was
// written.
bool saveSectionPreset(APlugin& plugin, const SectionPresetKind& kind, std::span<const int> tags);

// The load procedure: asks for a file in the open dialog (kind.loadTitle,
// the kind's start folder, label "Load", kind.pattern as filter), reads
// tags.size() values and, when the file is sound, applies them in list order
// with the plain setParameter (the host is not told), clamped when the kind
// says so. Then afterApply runs (when given), then APlugin::reset() when
// kind.resetAfterLoad. A cancelled dialog does nothing; a missing, unreadable
// or malformed file shows kind.loadFailure and changes nothing. True when
// values were applied.
using AfterApply = void (*)(APlugin& plugin);
bool loadSectionPreset(APlugin& plugin, const SectionPresetKind& kind, std::span<const int> tags,
                       AfterApply afterApply = nullptr);

} // namespace section_presets
