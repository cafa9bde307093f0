#ifndef COREKIT_PLATFORMWINDOW_H
#define COREKIT_PLATFORMWINDOW_H

// Window-system services the toolkit does not offer, kept apart from the rest of the code.
namespace PlatformWindow {

/// Makes a held key arrive as repeated presses with no releases in between, for the window of
/// the current GL context. Without it, X reports every auto-repeat as a release followed by a
/// press, and a held key would answer "pressed once" again at every repeat. False when the
/// window system cannot do it (the repeats then stay as they were).
bool makeKeyRepeatDetectable();

}  // namespace PlatformWindow

#endif
