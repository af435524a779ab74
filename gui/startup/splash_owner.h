// What the start-up form needs from the window that runs it, and nothing more.
#pragma once

namespace harbeat {

class frmOptions;

class SplashOwner {
public:
    // The options form, loaded if it is not, with the owner's side of it connected (the server
    // check's options loop and the "Options..." link show it).
    virtual frmOptions &optionsForm() = 0;
    // The program ends from the start-up form: the owner unloads first (its unload stops the
    // engine's running operation and saves the settings).
    virtual void unloadForQuit() = 0;

protected:
    ~SplashOwner() = default;
};

}  // namespace harbeat
