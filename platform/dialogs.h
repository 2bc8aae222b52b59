// Modal dialogs of the plug-in: file open and save dialogs, text input and
// message boxes.
//
// Every function here blocks until the user answers and runs the current
// DialogService (dialog_service.h). Call them on the main (user-interface)
// thread only, never on the audio thread. A cancelled dialog reports no
// error: it leaves its outputs untouched (file dialogs) or gives an empty
// text (input boxes).
//
// Buffer forms use the plug-in's fixed 256-byte buffers (TEXT_BUFFER_SIZE):
// a text written into one holds at most 255 bytes and its terminator. A path
// coming back from a file dialog that does not fit is refused as if the
// dialog had been cancelled; a typed text that does not fit is cut at a
// character boundary.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// ---------------------------------------------------------------- file dialogs
//
// Open dialog for one existing file. A null title or start folder is not set;
// the button label and the spare text are accepted and not used. filter is a
// compact pattern list such as "*.env" or "*.wav; aiff; *.aif" (see
// extensionsFromFilter); null offers every file. After a choice, outPath
// receives the full path and outFolder its folder with the trailing '/'
// ("/a/b/x.env" gives "/a/b/"). After cancel both stay as they were.
void fileSelectLoadDir(const char* title, const char* startFolder, const char* label,
                       const char* filter, const char* spare, char* outFolder, char* outPath);
// The same with strings; spare comes back unchanged, and folder and path are
// only assigned when the dialog gives them.
void fileSelectLoadDirStr(const std::string& title, const std::string& startFolder,
                          const std::string& label, const std::string& filter, std::string& spare,
                          std::string& folder, std::string& path);

// Save dialog; an absolute start folder that does not exist yet is created
// (with its parents) first. defaultName is proposed as the file name (callers pass the
// pattern itself, "*.uwv"); when its part from its first '.' is a dot and
// three characters, the chosen name is forced to that extension (see
// forceSaveExtension). After a choice, outPath receives the full path and
// outFolder its folder without the trailing '/' ("/a/b/x.env" gives "/a/b").
// After cancel both stay as they were.
void fileSelectSaveDir(const char* title, const char* startFolder, const char* label,
                       const char* defaultName, char* outFolder, char* outPath);
void fileSelectSaveDirStr(const std::string& title, const std::string& startFolder,
                          const std::string& label, const std::string& defaultName,
                          std::string& folder, std::string& path);

// The extensions (without dot) a filter offers, in order; the last one is the
// default. Each '.' starts an extension that runs to the next ';' or the end;
// empty ones are skipped; patterns without '.' give nothing. The next '.' is
// looked for from the ';' that ended an extension, or, for the last one, from
// inside it. "*.wav; aiff; *.aif" gives {"wav", "aif"}.
std::vector<std::string> extensionsFromFilter(std::string_view filter);

// path with its file name forced to the extension of defaultName: when the
// text of defaultName from its first '.' is exactly four bytes (".env"), the
// file name (after the last '/') gets it appended when it holds no '.', or
// has everything from its first '.' replaced by it ("/x/a.old.txt" gives
// "/x/a.env"). Any other default name leaves path as it is.
std::string forceSaveExtension(std::string path, std::string_view defaultName);

// ------------------------------------------------------------------ text input
//
// Asks for a text in a modal panel with the given window title and prompt.
// text (a 256-byte buffer) holds the initial text on entry and receives the
// answer after OK, "" after Cancel. Null title or prompt count as "";
// a null text does nothing.
void runInputWindow(const char* title, const char* prompt, char* text);

// runInputWindow with the prompt first and the title second.
void inputBox(const std::string& prompt, const std::string& title, char* buffer);
void inputBox(const char* prompt, const char* title, char* buffer);

// Asks with an empty start text; text receives the answer ("" after Cancel).
// Prompt and title are cut to 255 bytes.
void inputBoxStr(const std::string& prompt, const std::string& title, std::string& text);

// Asks for a whole number, starting from initial (the current value; empty by
// default). text receives the answer cut to its digits, '+', '-' and '.';
// value receives the number it starts with (see parseLeadingInt) and the
// result is min <= value <= max. A cancel, an answer without a leading number
// or one beyond the 32-bit range give value -1 and false.
bool inputBoxNumStr(const std::string& prompt, const std::string& title, std::string& text, int min,
                    int max, int& value, std::string_view initial = {});

// Reads a decimal integer from the start of text: an optional '+' or '-'
// followed by at least one digit; reading stops at the first other byte
// ("12.7" gives 12, "3-4" gives 3). false, with value untouched, when text
// does not start that way or the number is beyond the range of int.
bool parseLeadingInt(std::string_view text, int& value);

// ---------------------------------------------------------------- message box

// messageBox types: the one every caller uses shows a single OK button.
inline constexpr int MESSAGE_BOX_OK_CANCEL = 1;
inline constexpr int MESSAGE_BOX_OK = 2;

// Answers of messageBox.
inline constexpr int MESSAGE_BOX_NONE = 0;    // nothing shown, or no button pressed
inline constexpr int MESSAGE_BOX_DEFAULT = 1; // OK
inline constexpr int MESSAGE_BOX_CANCEL = 2;  // "Cancel" (or any other button)

// Shows text in a modal note alert with an OK button, and a "Cancel" button
// too when type is MESSAGE_BOX_OK_CANCEL; every other type shows OK only.
// An empty text shows nothing and answers MESSAGE_BOX_NONE.
int messageBox(const std::string& text, int type);
