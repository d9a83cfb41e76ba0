#include "platform/wakeup.h"

#include <fcntl.h>
#include <unistd.h>

Wakeup::Wakeup()
{
    int ends[2];
    if (pipe2(ends, O_NONBLOCK | O_CLOEXEC) == 0) {
        m_read = ends[0];
        m_write = ends[1];
    }
}

Wakeup::~Wakeup()
{
    if (m_read >= 0) {
        close(m_read);
        close(m_write);
    }
}

void Wakeup::signal()
{
    if (m_write < 0)
        return;
    const char byte = 1;
    // A full pipe is signalled already.
    [[maybe_unused]] const ssize_t written = write(m_write, &byte, 1);
}

void Wakeup::clear()
{
    if (m_read < 0)
        return;
    char bytes[64];
    while (read(m_read, bytes, sizeof bytes) > 0) { }
}
