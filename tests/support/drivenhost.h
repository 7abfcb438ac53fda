#pragma once

#include "simhost.h"

// The simulated module on its pseudo-terminal, as a suite or a benchmark drives it: it
// can tell when the module has nothing more to say, and put a flood of its own on the line.
class DrivenHost : public SimHost
{
public:
    using SimHost::SimHost;
    // The module has nothing more to say.
    bool idle() const { return module().nextEventIn() < 0; }
    // Bytes on the line behind what the module says, as fast as the far end reads.
    void flood(const QByteArray &bytes) { putOnLine(bytes); }
    // The line is cut: what had not gone out is lost.
    void cut() { dropPending(); }
};
