// The dialog service: modal boxes over the game window and the fatal-error exit.
#pragma once

// Reached only by name: static_cast<SysDialogInterface*>(
//     NamedInterface::i()->getInterface("SysDialog")). Call it on the thread that owns the
// game window: the boxes run their modal loops there.
class SysDialogInterface {
public:
    // A box with an OK button and no icon, owned by the game window; the box's answer.
    virtual int messageBox(const char* caption, const char* text) = 0;
    // Runs the dialog with this template id from the game's own module (the instance given
    // to PlatWinMain), text in control controlId unless text is null. Only the OK button
    // (id 1) ends it, with 0; -1 when the template cannot be found.
    virtual int dialogBox(unsigned short templateId, const char* text, int controlId) = 0;
    // Writes text to the debugger output, hides the game window, shows text in a "Fatal
    // Error" box, optionally breaks into the debugger, closes the window through its close
    // protocol and ends the process with exitCode. Does not return.
    virtual void fatalError(int exitCode, const char* text, bool debugBreak) = 0;

protected:
    virtual ~SysDialogInterface() {}
};
