// The backend behind every modal dialog of the plug-in: file selection, text
// input and alerts.
//
// The dialogs in dialogs.h and the file selector of the GUI layer describe
// what they want as a request and hand it to the current DialogService, which
// shows something to the user (or not) and returns the answer. Three services
// exist:
//
//   HeadlessDialogService  no user interface; every dialog is cancelled.
//   ScriptedDialogService  answers from queues filled beforehand and records
//                          every request; used by the tests.
//   ZenityDialogService    runs the zenity program for each dialog.
//   MissingZenityDialogService  cancels every dialog like the headless one;
//                          the first says on standard error that zenity is
//                          needed and how to install it.
//
// Until setDialogService() installs one, the first dialog picks a default:
// zenity when a display is present (DISPLAY or WAYLAND_DISPLAY is set and not
// empty) and an executable zenity is found on PATH, the missing-zenity service
// when a display is present without zenity, headless otherwise. Being
// process-wide, the default services say so once per process.
//
// Threads: dialogs are modal and block the calling thread until the user
// answers, which can take minutes. They belong to the main (user-interface)
// thread only and must never run on the audio thread. The zenity service
// starts a child process and waits for it, servicing the plug-in's windows
// meanwhile (modal_windows.h); the others return at once.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// One entry of a file dialog's type list.
struct FileDialogFilter {
    std::string description;
    std::string extension; // without the dot: "wav"

    bool operator==(const FileDialogFilter&) const = default;
};

struct FileDialogRequest {
    enum class Mode { open, save, folder };

    Mode mode = Mode::open;
    std::string title;           // "" when not set
    std::string initialFolder;   // "" when not set
    std::string defaultSaveName; // save only; "" when not set
    std::vector<FileDialogFilter> filters;
    std::optional<FileDialogFilter> defaultFilter;
    bool allowMultiple = false;
};

struct TextInputRequest {
    std::string title;
    std::string prompt;
    std::string initialText;
};

// Answers of an alert. The default button is always present; the alternate
// one only when its title is not empty.
enum AlertAnswer : int {
    ALERT_DISMISSED = 0, // nothing shown, or closed without a button
    ALERT_DEFAULT = 1,
    ALERT_ALTERNATE = 2,
};

struct AlertRequest {
    std::string title = "Ondix"; // window title, where the platform shows one
    std::string header;          // the alert's main text
    std::string message;         // optional smaller text below it
    std::string defaultButton = "OK";
    std::string alternateButton; // "" for none
};

class DialogService {
public:
    virtual ~DialogService() = default;

    // The chosen files (absolute paths) in the order the dialog gives them;
    // empty when the user cancelled.
    virtual std::vector<std::string> runFileSelector(const FileDialogRequest& request) = 0;
    // The text the user confirmed (possibly empty); nullopt when cancelled.
    virtual std::optional<std::string> inputText(const TextInputRequest& request) = 0;
    // One of AlertAnswer.
    virtual int alert(const AlertRequest& request) = 0;
};

// The service the dialogs run; never null.
DialogService& dialogService();
// Installs a service (the caller keeps ownership and keeps it alive while it
// is installed); nullptr returns to the default chosen as described above.
void setDialogService(DialogService* service);

// Installs a service for the lifetime of the object and puts the previous one
// back afterwards.
class ScopedDialogService {
public:
    explicit ScopedDialogService(DialogService& service);
    ~ScopedDialogService();
    ScopedDialogService(const ScopedDialogService&) = delete;
    ScopedDialogService& operator=(const ScopedDialogService&) = delete;

private:
    DialogService* previous;
};

// ------------------------------------------------------------------ headless

class HeadlessDialogService : public DialogService {
public:
    std::vector<std::string> runFileSelector(const FileDialogRequest&) override { return {}; }
    std::optional<std::string> inputText(const TextInputRequest&) override { return std::nullopt; }
    int alert(const AlertRequest&) override { return ALERT_DISMISSED; }
};

// ------------------------------------------------------------ missing zenity

// A notice about a missing program: the first tell() writes text to out
// (nothing when out is null), later ones nothing. text must outlive it.
class OnceNotice {
public:
    explicit OnceNotice(const char* text, std::FILE* out = stderr) : text(text), out(out) {}
    void tell();

private:
    const char* text;
    std::FILE* out;
    std::atomic<bool> told{false};
};

// What the missing-zenity service writes, once.
inline constexpr char MISSING_ZENITY_TEXT[] =
    "Ondix: file dialogs and messages need the program zenity, which was not found; "
    "install it with your package manager (Debian, Ubuntu: sudo apt-get install zenity)\n";

class MissingZenityDialogService : public DialogService {
public:
    // out: where the notice goes (standard error by default).
    explicit MissingZenityDialogService(std::FILE* out = stderr)
        : notice(MISSING_ZENITY_TEXT, out) {}

    std::vector<std::string> runFileSelector(const FileDialogRequest&) override;
    std::optional<std::string> inputText(const TextInputRequest&) override;
    int alert(const AlertRequest&) override;

private:
    OnceNotice notice;
};

// ------------------------------------------------------------------ scripted

// Each dialog takes the oldest queued answer of its kind; an empty queue
// answers like the headless service (cancel, ALERT_DISMISSED).
class ScriptedDialogService : public DialogService {
public:
    // When set, each dialog stays open until it returns true: it is called
    // again and again, the windows being serviced before each call as the
    // zenity service's waiting does (serviceModalWindows).
    std::function<bool()> whileOpen;

    void pushFile(std::string path) { fileAnswers.push_back({std::move(path)}); }
    void pushFiles(std::vector<std::string> paths) { fileAnswers.push_back(std::move(paths)); }
    void pushFileCancel() { fileAnswers.push_back({}); }
    void pushText(std::string text) { textAnswers.emplace_back(std::move(text)); }
    void pushTextCancel() { textAnswers.emplace_back(std::nullopt); }
    void pushAlertAnswer(int answer) { alertAnswers.push_back(answer); }

    std::vector<std::string> runFileSelector(const FileDialogRequest& request) override;
    std::optional<std::string> inputText(const TextInputRequest& request) override;
    int alert(const AlertRequest& request) override;

    // Every request received, oldest first.
    std::vector<FileDialogRequest> fileRequests;
    std::vector<TextInputRequest> textRequests;
    std::vector<AlertRequest> alertRequests;

    // Answers not used yet.
    std::vector<std::vector<std::string>> fileAnswers;
    std::vector<std::optional<std::string>> textAnswers;
    std::vector<int> alertAnswers;

private:
    void stayOpen();
};

// -------------------------------------------------------------------- zenity

class ZenityDialogService : public DialogService {
public:
    // program: the executable to run, looked up on PATH when it has no '/'.
    explicit ZenityDialogService(std::string program = "zenity") : program(std::move(program)) {}

    std::vector<std::string> runFileSelector(const FileDialogRequest& request) override;
    std::optional<std::string> inputText(const TextInputRequest& request) override;
    int alert(const AlertRequest& request) override;

private:
    std::string program;
    // When zenity cannot be started after all (removed since), this says so.
    MissingZenityDialogService missing;
};

// Argument vectors for zenity, without the program name.
std::vector<std::string> zenityFileSelectionArgs(const FileDialogRequest& request);
std::vector<std::string> zenityEntryArgs(const TextInputRequest& request);
std::vector<std::string> zenityAlertArgs(const AlertRequest& request);

// The paths in zenity's answer to a file selection: one per line (the
// separator zenityFileSelectionArgs asks for); empty lines are dropped.
std::vector<std::string> splitZenityPaths(const std::string& output);
// output without one trailing "\n" (or "\r\n").
std::string stripTrailingNewline(std::string output);

// ------------------------------------------------------------- child process

struct ProcessResult {
    bool started = false;   // the program could be started
    bool exited = false;    // it ended through exit() (not through a signal)
    int exitCode = -1;      // valid when exited
    std::string output;     // what it wrote to its standard output
    bool truncated = false; // it wrote more than output holds
};

// Runs argv[0] (looked up on PATH when it holds no '/') with the arguments
// argv[1..] and no shell, standard input and error connected to /dev/null,
// in a process group of its own (its process ID), and collects its standard
// output (at most maxOutput bytes are kept; the rest is read and dropped)
// until it ends: what it started and left running may hold the output but
// does not keep the answer waiting, and is killed with its group once the
// program has ended. Blocks until the child has exited, servicing the
// calling thread's windows every 20 ms (modal_windows.h).
ProcessResult runProcessCapture(const std::vector<std::string>& argv,
                                std::size_t maxOutput = 64 * 1024);

// The full path of an executable file called name in one of the folders of
// pathList (a PATH-style, ':'-separated list; an empty entry is the current
// folder), or "" when there is none.
std::string findExecutableOnPath(const std::string& name, const std::string& pathList);

enum class DialogBackend { headless, zenity, missingZenity };

// The default backend for the given environment values (nullptr when the
// variable is not set).
DialogBackend pickDialogBackend(const char* display, const char* waylandDisplay,
                                const char* pathList);
