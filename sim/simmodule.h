#pragma once
// stub: the simulated module, to be written
class SimModule {};
