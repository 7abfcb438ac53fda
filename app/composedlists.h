#pragma once

class QComboBox;

// Fills the lists that the composed commands read (working mode, encryption, protocol)
// with the entries the composers know, each list showing its first entry.
void fillComposedLists(QComboBox *modes, QComboBox *encryptions, QComboBox *protocols);
