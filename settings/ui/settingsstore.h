#pragma once
// Loading the settings file into the main window's controls once at start, and writing
// the controls back once at close. The controls are the only copy of the settings.
#include "platform/windowhost.h"

namespace zp {

class SettingsStore {
public:
    explicit SettingsStore(WindowHost& host);

    // Never fails: a missing file, key or a malformed number gives the defaults. Runs
    // the controls' own handlers (through the window) in the order they need.
    void loadSettings();
    // Writes every setting and replaces the file in one step. A refused write shows the
    // two information messages and returns normally, leaving the old file whole.
    void saveSettings();

    // Hand-edited counts beyond these are read as these, so a typing slip in the file
    // cannot make the start hang or fill the memory.
    static constexpr int kMaxBodyLines = 10000;
    static constexpr int kMaxRecipients = 10000;

private:
    WindowHost& m_host;
};

} // namespace zp
