#include "platform/dialogs.h"

#include "platform/dialog_service.h"
#include "platform/file_helpers.h"
#include "vstgui/cfileselector.h"

#include <charconv>
#include <cstring>
#include <filesystem>
#include <optional>
#include <system_error>

using VSTGUI::CFileExtension;
using VSTGUI::CNewFileSelector;

namespace {

constexpr std::size_t MAX_TEXT_LEN = TEXT_BUFFER_SIZE - 1;

// Releases a selector however the dialog function is left.
class SelectorRef {
public:
    explicit SelectorRef(CNewFileSelector* selector) : selector(selector) {}
    ~SelectorRef() {
        if (selector != nullptr) selector->forget();
    }
    SelectorRef(const SelectorRef&) = delete;
    SelectorRef& operator=(const SelectorRef&) = delete;

    CNewFileSelector* get() const { return selector; }
    CNewFileSelector* operator->() const { return selector; }
    explicit operator bool() const { return selector != nullptr; }

private:
    CNewFileSelector* selector;
};

// What a file dialog hands back; an empty optional leaves that output as it is.
struct FileChoice {
    std::optional<std::string> folder;
    std::optional<std::string> path;
};

// The one path the selector gave, or nothing when it gave none or several, or
// a path too long for a text buffer.
std::optional<std::string> singleChoice(CNewFileSelector& selector) {
    if (selector.getNumSelectedFiles() != 1) return std::nullopt;
    const char* chosen = selector.getSelectedFile(0);
    if (chosen == nullptr) return std::nullopt;
    std::string path = chosen;
    if (path.size() > MAX_TEXT_LEN) return std::nullopt;
    return path;
}

FileChoice runLoadDialog(const char* title, const char* startFolder, const char* filter) {
    FileChoice choice;
    SelectorRef selector(CNewFileSelector::create(nullptr, CNewFileSelector::kSelectFile));
    if (!selector) return choice;

    if (title != nullptr) selector->setTitle(title);
    if (startFolder != nullptr) selector->setInitialDirectory(startFolder);
    if (filter != nullptr) {
        for (const std::string& extension : extensionsFromFilter(filter)) {
            CFileExtension entry(extension, extension);
            selector->addFileExtension(entry);
            selector->setDefaultExtension(entry);
        }
    }
    selector->setAllowMultiFileSelection(false);
    selector->runModal();

    std::optional<std::string> path = singleChoice(*selector.get());
    if (!path) return choice;
    if (!path->empty()) {
        std::size_t slash = path->rfind('/');
        if (slash != std::string::npos) choice.folder = path->substr(0, slash + 1);
    }
    choice.path = std::move(path);
    return choice;
}

FileChoice runSaveDialog(const char* title, const char* startFolder, const char* defaultName) {
    FileChoice choice;
    SelectorRef selector(CNewFileSelector::create(nullptr, CNewFileSelector::kSelectSaveFile));
    if (!selector) return choice;

    if (title != nullptr) selector->setTitle(title);
    if (startFolder != nullptr) {
        // The plug-in's folders are made when something is first saved in
        // them, so that the dialog opens where the file belongs.
        std::error_code ec;
        if (startFolder[0] == '/') std::filesystem::create_directories(startFolder, ec);
        selector->setInitialDirectory(startFolder);
    }
    if (defaultName != nullptr) selector->setDefaultSaveName(defaultName);
    selector->setAllowMultiFileSelection(false);
    selector->runModal();

    std::optional<std::string> path = singleChoice(*selector.get());
    if (!path) return choice;
    if (defaultName != nullptr) {
        *path = forceSaveExtension(std::move(*path), defaultName);
        if (path->size() > MAX_TEXT_LEN) return choice;
    }
    if (!path->empty()) {
        std::size_t slash = path->rfind('/');
        if (slash != std::string::npos) choice.folder = path->substr(0, slash);
    }
    choice.path = std::move(path);
    return choice;
}

// Copies text into a 256-byte buffer; the caller has checked that it fits.
void putPath(char* buffer, const std::string& text) {
    std::memcpy(buffer, text.c_str(), text.size() + 1);
}

void applyToBuffers(const FileChoice& choice, char* outFolder, char* outPath) {
    if (choice.path && outPath != nullptr) putPath(outPath, *choice.path);
    if (choice.folder && outFolder != nullptr) putPath(outFolder, *choice.folder);
}

void applyToStrings(const FileChoice& choice, std::string& folder, std::string& path) {
    if (choice.path) path = *choice.path;
    if (choice.folder) folder = *choice.folder;
}

// At most maxLen bytes of text, shortened further so that a UTF-8 sequence is
// never cut in the middle.
std::string_view boundedText(std::string_view text, std::size_t maxLen = MAX_TEXT_LEN) {
    if (text.size() <= maxLen) return text;
    std::size_t len = maxLen;
    // Step back over continuation bytes (10xxxxxx) to the start of the
    // sequence that does not fit, and leave that sequence out.
    while (len > 0 && (static_cast<unsigned char>(text[len]) & 0xC0) == 0x80) --len;
    return text.substr(0, len);
}

// Copies text into a 256-byte buffer, cut to fit.
void putText(char* buffer, std::string_view text) {
    std::string_view fitting = boundedText(text);
    if (!fitting.empty()) std::memcpy(buffer, fitting.data(), fitting.size());
    buffer[fitting.size()] = '\0';
}

} // namespace

// ---------------------------------------------------------------- file dialogs

std::vector<std::string> extensionsFromFilter(std::string_view filter) {
    std::vector<std::string> extensions;
    std::size_t dot = filter.find('.');
    while (dot != std::string_view::npos) {
        std::size_t start = dot + 1;
        std::size_t end = filter.find(';', start);
        std::size_t stop = end == std::string_view::npos ? filter.size() : end;
        if (stop > start) extensions.emplace_back(filter.substr(start, stop - start));
        dot = filter.find('.', end == std::string_view::npos ? start : end);
    }
    return extensions;
}

std::string forceSaveExtension(std::string path, std::string_view defaultName) {
    std::size_t dot = defaultName.find('.');
    if (dot == std::string_view::npos || defaultName.size() - dot != 4) return path;
    std::string_view tail = defaultName.substr(dot);

    std::size_t slash = path.rfind('/');
    std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::size_t nameDot = path.find('.', nameStart);
    if (nameDot == std::string::npos)
        path.append(tail);
    else
        path.replace(nameDot, std::string::npos, tail);
    return path;
}

void fileSelectLoadDir(const char* title, const char* startFolder, const char* /*label*/,
                       const char* filter, const char* /*spare*/, char* outFolder, char* outPath) {
    applyToBuffers(runLoadDialog(title, startFolder, filter), outFolder, outPath);
}

void fileSelectLoadDirStr(const std::string& title, const std::string& startFolder,
                          const std::string& /*label*/, const std::string& filter,
                          std::string& /*spare*/, std::string& folder, std::string& path) {
    char filterBuffer[TEXT_BUFFER_SIZE];
    putText(filterBuffer, filter);
    applyToStrings(runLoadDialog(title.c_str(), startFolder.c_str(), filterBuffer), folder, path);
}

void fileSelectSaveDir(const char* title, const char* startFolder, const char* /*label*/,
                       const char* defaultName, char* outFolder, char* outPath) {
    applyToBuffers(runSaveDialog(title, startFolder, defaultName), outFolder, outPath);
}

void fileSelectSaveDirStr(const std::string& title, const std::string& startFolder,
                          const std::string& /*label*/, const std::string& defaultName,
                          std::string& folder, std::string& path) {
    applyToStrings(runSaveDialog(title.c_str(), startFolder.c_str(), defaultName.c_str()), folder,
                   path);
}

// ------------------------------------------------------------------ text input

void runInputWindow(const char* title, const char* prompt, char* text) {
    if (text == nullptr) return;
    TextInputRequest request;
    request.title = title != nullptr ? title : "";
    request.prompt = prompt != nullptr ? prompt : "";
    request.initialText.assign(text, ::strnlen(text, MAX_TEXT_LEN));

    std::optional<std::string> answer = dialogService().inputText(request);
    putText(text, answer ? std::string_view(*answer) : std::string_view());
}

void inputBox(const std::string& prompt, const std::string& title, char* buffer) {
    runInputWindow(title.c_str(), prompt.c_str(), buffer);
}

void inputBox(const char* prompt, const char* title, char* buffer) {
    runInputWindow(title, prompt, buffer);
}

namespace {

void askText(const std::string& prompt, const std::string& title, std::string_view initial,
             std::string& text) {
    char promptBuffer[TEXT_BUFFER_SIZE];
    char titleBuffer[TEXT_BUFFER_SIZE];
    char textBuffer[TEXT_BUFFER_SIZE] = {};
    putText(promptBuffer, prompt);
    putText(titleBuffer, title);
    putText(textBuffer, initial);
    inputBox(promptBuffer, titleBuffer, textBuffer);
    text = textBuffer;
}

} // namespace

void inputBoxStr(const std::string& prompt, const std::string& title, std::string& text) {
    askText(prompt, title, {}, text);
}

bool parseLeadingInt(std::string_view text, int& value) {
    std::size_t digits = 0;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) digits = 1;
    if (digits >= text.size() || text[digits] < '0' || text[digits] > '9') return false;
    // from_chars takes a '-' but not a '+'.
    const char* first = text.data() + (text[0] == '+' ? 1 : 0);
    int parsed = 0;
    auto [end, error] = std::from_chars(first, text.data() + text.size(), parsed);
    (void)end;
    if (error != std::errc()) return false;
    value = parsed;
    return true;
}

bool inputBoxNumStr(const std::string& prompt, const std::string& title, std::string& text, int min,
                    int max, int& value, std::string_view initial) {
    askText(prompt, title, initial, text);
    stripAllButNum(text);
    value = -1;
    if (text.empty()) return false;
    if (!parseLeadingInt(text, value)) return false;
    return value >= min && value <= max;
}

// ---------------------------------------------------------------- message box

int messageBox(const std::string& text, int type) {
    if (text.empty()) return MESSAGE_BOX_NONE;
    AlertRequest request;
    request.header = text;
    request.defaultButton = "OK";
    if (type == MESSAGE_BOX_OK_CANCEL) request.alternateButton = "Cancel";

    switch (dialogService().alert(request)) {
    case ALERT_DEFAULT:
        return MESSAGE_BOX_DEFAULT;
    case ALERT_ALTERNATE:
        return MESSAGE_BOX_CANCEL;
    default:
        return MESSAGE_BOX_NONE;
    }
}
