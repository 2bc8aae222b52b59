// The plug-in's windows while a modal dialog waits for the user.
//
// A dialog (a zenity process) blocks the user-interface thread until it is
// closed, and with it the editor's idle pass. So that the editor neither
// shows holes where other windows were nor acts later on clicks made while
// the dialog was up, the dialog's waiting loop calls serviceModalWindows()
// every few milliseconds: each window registered on the calling thread then
// answers its exposures (shows its last image again) and drops pointer and
// key input unseen. Nothing else of the editor runs meanwhile.
//
// Windows register on the thread that owns them and are serviced only from
// that thread. With none registered (no editor open, tools without a
// display) servicing does nothing. Never called on the audio thread.
#pragma once

class ModalWindow {
public:
    virtual ~ModalWindow() = default;
    // Handles the window's pending events in modal fashion: exposures are
    // answered, input is discarded. Must not register or remove windows.
    virtual void serviceWhileModal() = 0;
};

// Registers window for the calling thread; it must stay valid until removed.
void addModalWindow(ModalWindow* window);
// Removes window whatever thread registered it; unknown windows are ignored.
void removeModalWindow(ModalWindow* window);
// Services every window registered on the calling thread.
void serviceModalWindows();
