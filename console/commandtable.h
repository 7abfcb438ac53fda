#pragma once

#include <array>

// The fifteen buttons of "ESP8266常用命令" whose command is a fixed text.
struct FixedCommand
{
    const char *button; // object name of the button in the form
    const char *text;   // command text, sent followed by CR LF
    int count;          // bytes the line adds to TxCount: length + 2
};

extern const std::array<FixedCommand, 15> kFixedCommands;
