#pragma once
// Ends another thread's wait on sockets early: the waiter puts descriptor() in its read set, and
// signal() from any thread makes it readable until the waiter clears it.
//   Wakeup wakeup;                      // waiter: select(... wakeup.descriptor() ...); wakeup.clear();
//   wakeup.signal();                    // another thread: the select returns now
// Where the system offers no such descriptor, descriptor() is -1 and the waiter waits in short steps.

class Wakeup {
public:
    Wakeup();
    ~Wakeup();
    Wakeup(const Wakeup&) = delete;
    Wakeup& operator=(const Wakeup&) = delete;

    int descriptor() const { return m_read; }
    void signal();
    // Takes back every signal given so far.
    void clear();

private:
    int m_read = -1;
    int m_write = -1;
};
