#include "platform/wakeup.h"

// Windows waits on sockets alone; the waiter wakes in short steps instead.
Wakeup::Wakeup() = default;
Wakeup::~Wakeup() = default;

void Wakeup::signal() { }

void Wakeup::clear() { }
