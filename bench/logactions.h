#pragma once

struct WindowHarness;

// What a person does with a large receive log in the real window: go to its top, click
// into it, go to its end, select all, copy, save, clear. Each action is timed by the
// longest the window goes without answering (the stall probe's worst gap) from the action
// until its work is done, and the copy and the saved file are checked byte for byte
// against the log. Under an X server another program (xclip) reads the copy; elsewhere
// the clipboard is read back in the process, after the copy is timed.
// Prints figures; returns 0 when the copy and the file held exactly the log's text.
int runLogActions(WindowHarness &window, double megabytes);
