#include "simregistry.h"
// stub: to be written
namespace SimRegistry {
QString directory() { return {}; }
QList<Entry> running() { return {}; }
} // namespace SimRegistry
