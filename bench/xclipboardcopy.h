#pragma once

class LogView;

// A copy of the whole receive log (Ctrl+A, Ctrl+C) in a real X server, timed until another
// X client (xclip) has read every byte of it from the clipboard. The log is filled with
// module-like CR LF lines up to `bytes` of UTF-8 first; what xclip reads must be exactly
// those bytes. With `reference`, xclip also hands the same bytes to xclip, for comparison.
// Prints figures; returns 0 when the copy held exactly the log's text.
int runXClipboardCopy(LogView *log, double megabytes, bool reference);
