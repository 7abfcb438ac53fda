#pragma once

// What a screen reader is told about the window beyond what Qt tells it by itself. The
// names, descriptions and label buddies are in the form; two things need code:
// - a list is named by its label, as a text box is, with its text (leading blanks and all)
//   as its value; Qt on Linux reads a list's text as its name;
// - a control hidden for good (the port-name list) is left out of its frame's children,
//   so that the reader never lists it.
class QWidget;

namespace Accessibility {

// Installs the interfaces for lists and for frames that hold a hidden control. Once per
// program, before the first window is built (Qt keeps the interface it first made for a
// widget); later calls do nothing.
void install();

// Gives the edit field of each of the window's lists its list's name: the field has the
// focus whenever the list has it, and the reader names what has the focus.
void nameListFields(QWidget *window);

} // namespace Accessibility
