// Small file, path and string helpers shared by the whole plug-in.
//
// Everything works on bytes (no multi-byte awareness) and is independent of
// the process locale: character classes and case mapping are plain ASCII, and
// numbers are read with std::from_chars, whatever LC_NUMERIC a host sets.
// Paths are split at '/' or, when a path holds no '/', at '\'.
//
// Buffer forms take the plug-in's fixed 256-byte character buffers: a text
// written into one holds at most 255 bytes plus its terminator, a file name at
// most 254. Nothing here creates folders or reports errors; an unusable input
// gives an empty or unchanged result.
#pragma once

#include <string>
#include <string_view>

// Size of the fixed text and path buffers, terminator included.
inline constexpr int TEXT_BUFFER_SIZE = 256;
// Longest file name the name helpers return.
inline constexpr int MAX_FILE_NAME_LEN = 254;

// true when path names an existing file (not a folder) that we may read;
// false for an empty path, without touching the file system.
bool fileExists(const std::string& path);

// ASCII upper-casing in place; bytes 128..255 stay as they are.
void upperCase(std::string& text);
void upperCase(char* text);

// The file name of path: the text after the last '/' (or the last '\' when
// there is no '/'), the whole path when it has neither. With withoutExtension
// the name ends before its last '.'; a '.' in a folder name does not count.
// name receives at most 254 bytes and the terminator.
void getFileNameOnly(const char* path, char* name, bool withoutExtension);
std::string getFileNameOnlyStr(const std::string& path, bool withoutExtension);
void getFileNameNoExtension(const char* path, char* name);

// The extension of the path's file name, from its last '.', dot included
// (".wav"); "" when the file name has no '.'.
std::string getFileNameExtensionsStr(const std::string& path);

// Keeps only '0'..'9', '+', '-' and '.', in their order.
void stripAllButNum(char* text);
void stripAllButNum(std::string& text);

// Keeps at most the first 24 bytes and ends the name before the first byte
// below 32 (bytes 128..255 count as below 32).
void safename(char* name);
void safename(std::string& name);

// The byte to store for a file-name-safe character: 0 for bytes below 32 and
// 128..255, ' ' for '"', '*', '/', '<', '>', '?', '\' and '|', '-' for ':',
// every other byte unchanged.
char validChar(char c);

// Reads the leading number of a typed text the way atoi and atof do (leading
// white space, an optional sign, then as many characters as form a number; 0
// when there is none), with '.' as the decimal point in every locale. Out of
// range values saturate: textToInt to INT_MIN/INT_MAX, textToDouble to
// -DBL_MAX/DBL_MAX (and to 0 when too small); "inf" and "nan" read as 0.
int textToInt(std::string_view text);
double textToDouble(std::string_view text);
// Whether textToDouble finds a number at all: after white space and an
// optional sign, a digit or a point followed by a digit. A text without one
// reads as 0 above; dialogs treat it as unreadable and keep their value.
bool startsWithNumber(std::string_view text);
