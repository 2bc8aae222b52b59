// The preference store: user settings of the plug-in, shared by every
// instance in the process and kept across host restarts.
//
// Two scopes are read:
//   own domain (read-write)  ${XDG_CONFIG_HOME:-$HOME/.config}/Haldmer/<file>
//   any user   (read-only)   <first entry of ${XDG_CONFIG_DIRS:-/etc/xdg}>/Haldmer/<file>
// where <file> is PREF_PATH_STR followed by ".prefs".
// When ONDIX_PREFS_DIR is set and not empty it replaces both folders: the own
// file lives in $ONDIX_PREFS_DIR/ and the any-user file in
// $ONDIX_PREFS_DIR/any-user/. Tests and tools use it so they never touch the
// user's settings.
//
// Each entry is a string (bytes, kept exactly) or a 32-bit integer. A value
// of the other kind reads as missing. Both files are read on first use into
// one in-memory snapshot guarded by a mutex, which reads are served from.
// Several processes share the own file (hosts that run each plug-in in a
// process of its own), so before a read the own file is looked at (one stat):
// when it was replaced or edited since it was last read or written, it is
// read again. The any-user file is read once, until reloadPrefs().
//
// Every write updates the snapshot and then, before it returns, stores the
// entries this process has set on top of the own file as it is on disk at
// that moment: under an advisory lock (see below) the file is read again,
// those entries are laid over it and it is replaced durably (temporary file,
// fsync, rename, fsync of the folder; a link to the file is followed, see
// platform/file_io.h). Entries saved by another process in the meantime, and
// entries it dropped, stay as it left them.
//
// The lock is flock on these, each left out when it cannot be opened or
// locked: the settings folder; .<file>.lock beside the file, for other
// builds that lock it alone (opened read-only when it cannot be written, left
// out when it cannot be opened at all: another user's private file, a link);
// and lock files of the user's own outside the folder, which the user can
// lock where neither of the others can be (a folder of mode 0300 with such a
// lock file): ondix-prefs-<uid>-<device>-<inode>.lock in /tmp and in
// /dev/shm, <device> and <inode> (hexadecimal) naming the settings folder, so
// that every process saving there meets at the same names whatever its
// environment. Each is made with mode 0600 and never through a link, is used
// only when it is a regular file of the user's, and is removed by each holder
// before it lets go. Nothing is ever written without the lock while another
// process may hold it; only where none of them can be locked does a write go
// ahead unlocked, and standard error is told so once a process. Such a write
// does not count as a save made: the checked writes answer false and the
// editor is told (takePrefsNotice), once until a save is made under the
// lock, that saves of other instances at the same moment may undo it.
//
// While a save writes, the lock files it holds that it can write name its
// temporary file; the next save that holds one removes a temporary file named
// there whose writer has ended (a save killed while it wrote), also where the
// folder cannot be listed (mode 0300) and the sweep of platform/file_io.h
// finds nothing.
//
// A save waits for the lock at most 200 ms, however often it changes hands
// meanwhile; when another process holds it longer, the entries are kept in
// memory (reads see them) and later saves only try the lock without waiting,
// until one gets it: the next save or the editor's idle pass
// (retryPrefsSave) stores them. A plug-in that closes (finishPrefsSaves)
// waits for the lock up to 5 s, however often it changes hands meanwhile, to
// store what still waits, and says on standard error which keys it could not
// store. A write that
// fails keeps its entry in memory and the next write stores it too; why it
// failed (a folder that cannot be written, a full disk, a file size limit)
// is kept for the editor (takePrefsNotice), once for each reason until a save
// stores again. Writes made while a PrefsSaveGroup exists are stored in one
// save when the last group ends.
//
// An own file that is there but cannot be read whole (no permission, a
// folder or other non-file in its place, a link into a folder that cannot be
// entered, a loop of links, larger than PREFS_MAX_FILE_BYTES) is never
// written over: the values set meanwhile live in memory for this process, the
// reason is said once on standard error and kept for the editor
// (takePrefsNotice). When the file can be read again, the values set
// meanwhile win for their own keys and the rest of the file is kept; only
// fill-ins (defaults written back, copies from the any-user scope) yield to a
// value the file holds.
//
// Threads: every function may be called from any thread but the audio thread;
// each takes the snapshot's mutex. A save lets go of it while it waits for
// the lock and while it writes the file, so that no read or write on another
// thread (an instance that opens while another closes) waits for another
// process. One save of the process runs at a time: it also stores what other
// threads set while it ran, and a save that finds it under way waits for it
// no longer than it would wait for the lock. The engine keeps the values it
// needs on the audio thread ("MIDICapture", the controller map,
// "MIDIChannel", "A4") in atomics refreshed from the main thread, and learned
// controllers reach the store from the main thread.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <string_view>

// Identifier of the plug-in's preference domain; also the file's base name.
inline constexpr char PREF_PATH_STR[] = "com.Haldmer.QVTZ.Ondix";

// Switch keys: values "Y" (on) or "N" (off).
inline constexpr const char* REG_PRESET_WARNING_STR = "PresetWarning";
inline constexpr const char* REG_MIDI_PRESET_STR = "MIDIPreset";
inline constexpr const char* REG_MIDI_BANK_STR = "MIDIBank";
inline constexpr const char* REG_MIDI_CAPTURE_STR = "MIDICapture";
inline constexpr const char* REG_KEYBOARD_STR = "Keyboard";
inline constexpr const char* REG_DRAG_AND_DROP_STR = "DragAndDrop";
inline constexpr const char* REG_TOOL_TIP_STR = "ToolTip";
inline constexpr const char* REG_DIAL_ANIMATION_STR = "Animation";
inline constexpr const char* REG_DECAY_SUSTAIN_STR = "DecaySustain";
inline constexpr const char* REG_ENV_STR = "EnvelopeShowKnobs";
inline constexpr const char* REG_DRAW_OSC_STR = "DrawOsc";
inline constexpr const char* REG_OSC_OUT_STR = "OscOut";
// One switch per editor size, indexed by the GUI size index 0..3.
inline constexpr const char* REG_SCREEN_SIZE[4] = {"Big100", "Big125", "Big150", "Big200"};

// Integer key: MIDI input channel (0 omni, 1..16 one channel, 17 none).
inline constexpr const char* REG_MIDI_IN_CHANNEL_STR = "MIDIChannel";

// The reference pitch A4 in hertz; a stored value outside A4_MIN..A4_MAX (or
// none at all) means A4_DEFAULT.
inline constexpr const char* REG_A4_STR = "A4";
inline constexpr int A4_DEFAULT = 440;
inline constexpr int A4_MIN = 10;
inline constexpr int A4_MAX = 10000;
inline constexpr int a4OrDefault(int hz) {
    return hz >= A4_MIN && hz <= A4_MAX ? hz : A4_DEFAULT;
}

// The folder Ondix keeps the user's files in, ending in '/':
// $XDG_DATA_HOME/Haldmer/Ondix/, or ~/.local/share/Haldmer/Ondix/ when
// XDG_DATA_HOME is unset or not an absolute path. Nothing is created here.
std::string ondixDataFolder();

// Size of the working buffer a string value is read through, terminator included.
inline constexpr int PREF_MAX_LEN = 256;

// ------------------------------------------------------------------ strings
//
// Reads a string of at most maxLen - 1 bytes (maxLen counts the terminator and
// is clamped to 256). A missing value, a value of another kind, an empty value
// or one that does not fit is looked up in the any-user scope; a string found
// there (also an empty one) that fits is copied into the own domain, written to
// disk and returned. Otherwise the result is "".
void loadStringFromPrefs(const std::string& key, std::string& value, int maxLen);
// Buffer form: the same, copied with its terminator into value, which holds at
// least maxLen bytes. Nothing is written when maxLen < 1.
void loadStringFromPrefs(const std::string& key, char* value, int maxLen);

void saveStringToPrefs(const std::string& key, const std::string& value);
void saveStringToPrefs(const char* key, const char* value); // nullptr counts as ""
// A default written back for a key that read as "": stored like
// saveStringToPrefs, but when the own file turns out to hold a value for the
// key (it could not be read at the time, or another process saved one since),
// that value stays.
void saveDefaultStringToPrefs(const std::string& key, const std::string& value);

// ----------------------------------------------------------------- integers
//
// 0 when the key is missing or holds a string.
int loadIntFromPrefs(const std::string& key);
void saveIntToPrefs(const std::string& key, int value);

// ----------------------------------------------------------------- switches
//
// Stores "Y" for true and "N" for false.
void saveBoolToPrefs(const std::string& key, bool on);
// true for exactly "Y", false for exactly "N", def for anything else or nothing.
bool getRegisterIsOn(const std::string& key, bool def);

// ------------------------------------------------------ MIDI controller map
//
// The parameter tag latched to controller n (0 none), stored as an integer
// under the key of n in decimal ("0" .. "127"). n is not checked.
int getMidiCC(int n);
void setMidiCC(int n, int tag);

// ------------------------------------------------ checked writes and control
//
// The writes above report nothing; these twins return false when the own file
// could not be written (or was not, the lock being held or the file
// unreadable), or was written without a lock (none could be taken).
// The in-memory value is set either way, and the next successful write stores
// it too. Inside a save group they return true: the group's end saves.
bool saveStringToPrefsChecked(const std::string& key, const std::string& value);
bool saveIntToPrefsChecked(const std::string& key, int value);

// While one of these exists (on any thread) writes only set the values in
// memory; when the last one ends, they are stored in one save. For code that
// writes several keys at once (start-up, the controller map).
class PrefsSaveGroup {
public:
    PrefsSaveGroup();
    ~PrefsSaveGroup();
    PrefsSaveGroup(const PrefsSaveGroup&) = delete;
    PrefsSaveGroup& operator=(const PrefsSaveGroup&) = delete;
};

// When entries wait because another process held the lock, tries it once
// without waiting and stores them. true when nothing waits for the lock any
// more. Cheap when nothing waits: the editor calls it at every idle pass.
bool retryPrefsSave();

// Stores whatever has not been stored yet, waiting for another process's
// lock up to 5 s (only try, once such a wait was in vain); for a plug-in that
// closes, never on the audio thread. true when nothing is left; otherwise the
// keys not stored and why are said on standard error (once for each change).
bool finishPrefsSaves();

// Why the own file cannot be read ("" when it can or is not there).
std::string prefsProblem();
// A message for the user about that, once (later calls give "" until the
// file has been read again and then becomes unreadable again); else one
// about why saves fail to write the file, once for each reason until a save
// stores again. "" when there is nothing to tell.
std::string takePrefsNotice();

// Drops the snapshot: the folders are resolved again from the environment and
// both files are re-read on next use.
void reloadPrefs();

// Full paths of the two files as currently resolved ("" when no folder can be
// found, e.g. neither XDG_CONFIG_HOME nor a home folder exists).
std::string prefsOwnFilePath();
std::string prefsAnyUserFilePath();

// ------------------------------------------------------------- the file format
//
// One entry a line, each line ending in '\n':
//   s <key> = <value>      a string
//   i <key> = <decimal>    a 32-bit integer
// Keys and values are escaped: bytes below 0x20, 0x7F..0xFF, '=', '\' and a
// space at either end are written as \xHH, so every file is plain ASCII and a
// line splits at its only '='. Lines starting with '#' and lines that do not
// parse are skipped (a save writes the entries alone); a last line without
// its '\n' is read like the others; when a key appears twice the later line
// wins. A file is always read whole: one of more than PREFS_MAX_FILE_BYTES is
// not read at all (and, being the own file, never written over).

inline constexpr std::size_t PREFS_MAX_FILE_BYTES = std::size_t{16} << 20;

struct PrefsEntry {
    bool isInt = false;
    int number = 0;
    std::string text;

    bool operator==(const PrefsEntry&) const = default;
};
using PrefsStore = std::map<std::string, PrefsEntry, std::less<>>;

// The entries of a preference file's text; no file access.
PrefsStore parsePrefsFile(std::string_view text);
