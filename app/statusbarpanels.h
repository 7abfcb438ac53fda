#pragma once

class QStatusBar;

// Puts the window's four fixed text panels into its status bar, left to right, as labels
// named Panel1 to Panel4, and gives the bar its fixed height and no size grip (the window
// keeps its size). The texts never change.
void setupStatusBarPanels(QStatusBar *bar);
