#include "commandtable.h"

const std::array<FixedCommand, 15> kFixedCommands{{
    {"Command3", "AT+RST", 8},
    {"Command5", "AT", 4},
    {"Command6", "AT+GMR", 8},
    {"Command7", "AT+CWLAP", 10},
    {"Command8", "AT+CWQAP", 10},
    {"Command9", "AT+CWLIF", 10},
    {"Command10", "AT+CIPSTATUS", 14},
    {"Command11", "AT+CIPMUX=0", 13},
    {"Command12", "AT+CIPMUX=1", 13},
    {"Command18", "AT+CIFSR", 10},
    {"Command19", "AT+CWMODE?", 12},
    {"Command20", "AT+CIPSTO?", 12},
    {"Command22", "AT+CIPMODE=1", 14},
    {"Command23", "AT+CIPMODE=0", 14},
    {"Command24", "AT+CIUPDATE", 13},
}};
